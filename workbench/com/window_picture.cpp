#include "workbench/com/window_picture.h"

#include <wincodec.h>
#include <wrl/client.h>

#include <string>
#include <vector>

#include "core/error.h"
#include "platform/win32/com/error_info.h"
#include "platform/win32/com/unique_any.h"
#include "workbench/com/dll_module.h"

namespace bm::workbench {

namespace {

using Microsoft::WRL::ComPtr;

void Check(HRESULT status, const char* what) {
    if (FAILED(status))
        raise(ErrorKind::HostFailure, std::string("the window picture ") + what + " (" + win32::StatusText(status) + ")");
}

// The windows' pixels as 32-bit BGRA rows from the top, read off the screen.
std::vector<BYTE> ScreenPixels(const std::vector<HWND>& windows, int& width, int& height) {
    RECT r{};
    for (HWND window : windows) {
        RECT one{};
        if (!GetWindowRect(window, &one)) raise(ErrorKind::HostFailure, "the window to picture is gone");
        UnionRect(&r, &r, &one);
    }
    width = r.right - r.left;
    height = r.bottom - r.top;
    if (width <= 0 || height <= 0) raise(ErrorKind::HostFailure, "the window to picture has no size");
    const win32::UniqueWindowDc screen = win32::WindowDc(nullptr);
    const win32::UniqueMemoryDc memory(CreateCompatibleDC(screen.get()));
    const win32::UniqueBitmap bitmap(CreateCompatibleBitmap(screen.get(), width, height));
    if (!screen || !memory || !bitmap) raise(ErrorKind::HostFailure, "the screen cannot be read for a window picture");
    const HGDIOBJ old = SelectObject(memory.get(), bitmap.get());
    const BOOL copied = BitBlt(memory.get(), 0, 0, width, height, screen.get(), r.left, r.top, SRCCOPY);
    SelectObject(memory.get(), old);
    if (!copied) raise(ErrorKind::HostFailure, "the screen cannot be read for a window picture");

    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;  // rows from the top
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    std::vector<BYTE> pixels(static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 4);
    if (!GetDIBits(memory.get(), bitmap.get(), 0, static_cast<UINT>(height), pixels.data(), &info,
                   DIB_RGB_COLORS))
        raise(ErrorKind::HostFailure, "the screen cannot be read for a window picture");
    // The screen leaves the fourth byte undefined; the picture is opaque.
    for (std::size_t i = 3; i < pixels.size(); i += 4) pixels[i] = 0xFF;
    return pixels;
}

}  // namespace

void SaveWindowPicture(const std::vector<HWND>& windows, const std::filesystem::path& file) {
    int width = 0, height = 0;
    std::vector<BYTE> pixels = ScreenPixels(windows, width, height);

    // The imaging component is made by its own library: the session's
    // classes root may be a scratch key, without its classes and encoders.
    const com::DllModule imaging(L"windowscodecs.dll", "the imaging library");
    const ComPtr<IWICImagingFactory> factory =
        imaging.Create<IWICImagingFactory>(CLSID_WICImagingFactory, "the window picture's imaging factory");
    ComPtr<IWICStream> stream;
    Check(factory->CreateStream(&stream), "cannot be written");
    Check(stream->InitializeFromFilename(file.wstring().c_str(), GENERIC_WRITE),
          ("cannot be written to " + file.string()).c_str());
    const ComPtr<IWICBitmapEncoder> encoder =
        imaging.Create<IWICBitmapEncoder>(CLSID_WICPngEncoder, "the window picture's PNG encoder");
    Check(encoder->Initialize(stream.Get(), WICBitmapEncoderNoCache), "cannot be encoded as PNG");
    ComPtr<IWICBitmapFrameEncode> frame;
    Check(encoder->CreateNewFrame(&frame, nullptr), "cannot be encoded as PNG");
    Check(frame->Initialize(nullptr), "cannot be encoded as PNG");
    Check(frame->SetSize(static_cast<UINT>(width), static_cast<UINT>(height)), "cannot be encoded as PNG");
    WICPixelFormatGUID format = GUID_WICPixelFormat32bppBGRA;
    Check(frame->SetPixelFormat(&format), "cannot be encoded as PNG");
    // The screen's layout is the one the encoder took, so the rows go in as
    // they are (a bitmap of them would need the component's registry).
    if (format != GUID_WICPixelFormat32bppBGRA) raise(ErrorKind::HostFailure, "the window picture cannot be encoded as PNG");
    Check(frame->WritePixels(static_cast<UINT>(height), static_cast<UINT>(width) * 4, static_cast<UINT>(pixels.size()),
                             pixels.data()),
          "cannot be encoded as PNG");
    Check(frame->Commit(), "cannot be encoded as PNG");
    Check(encoder->Commit(), "cannot be written");
}

}  // namespace bm::workbench
