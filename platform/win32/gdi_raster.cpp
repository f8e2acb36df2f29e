#include "platform/win32/gdi_raster.h"

#include <windowsx.h>

#include <string>
#include <utility>
#include <vector>

#include "core/convert.h"
#include "core/error.h"
#include "platform/win32/com/unique_any.h"
#include "platform/win32/dialog_controls.h"
#include "platform/win32/this_module.h"

namespace bm::win32 {

struct GdiRaster::FormWindow {
    GdiRaster* raster = nullptr;
    ui::PaintedForm* form = nullptr;
    HWND window = nullptr;
    WNDPROC original = nullptr;
    UniqueWindowDc dc{};
};

struct GdiRaster::BoxWindow {
    GdiRaster* raster = nullptr;
    ui::PictureBox* box = nullptr;
    // The box itself is gone by the time its form is released.
    const ui::PaintedForm* owner = nullptr;
    HWND window = nullptr;
    UniqueWindowDc dc{};
    // The persistent image: a memory context with a DIB section selected.
    UniqueMemoryDc imageDc{};
    UniqueBitmap image{};
    HGDIOBJ replaced = nullptr;
    std::int32_t width = 0, height = 0;
};

namespace {

// Where a form's window finds its record: the runtime has its user data.
constexpr wchar_t kFormRecord[] = L"Brindlemark.PaintedForm";

HDC ToHdc(ui::Hdc dc) { return reinterpret_cast<HDC>(dc); }
HGDIOBJ ToObject(ui::HGdiObj object) { return reinterpret_cast<HGDIOBJ>(object); }
ui::Hdc FromHdc(HDC dc) { return reinterpret_cast<ui::Hdc>(dc); }
ui::HGdiObj FromObject(HGDIOBJ object) { return reinterpret_cast<ui::HGdiObj>(object); }

std::int32_t Pixels(float twips, float twipsPerPixel) {
    return round_to_long(static_cast<double>(twips) / static_cast<double>(twipsPerPixel));
}

// A window as it paints itself: its back colour, then its picture at the
// top left.
ui::Image Backdrop(std::int32_t width, std::int32_t height, ui::Color back, const ui::Image& picture) {
    ui::Image image(width, height, back);
    for (std::int32_t y = 0; y < picture.Height() && y < image.Height(); ++y)
        for (std::int32_t x = 0; x < picture.Width() && x < image.Width(); ++x) image.Set(x, y, picture.At(x, y));
    return image;
}

// A 32-bit top-down DIB of the image's size.
BITMAPINFO DibInfo(std::int32_t width, std::int32_t height) {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    return info;
}

// A DIB pixel holds blue in its low byte, a colour red.
std::uint32_t DibPixel(ui::Color c) { return (c & 0x00FF00) | (c & 0xFF) << 16 | (c >> 16 & 0xFF); }

void CopyPixels(const ui::Image& image, std::uint32_t* bits) {
    for (std::int32_t y = 0; y < image.Height(); ++y)
        for (std::int32_t x = 0; x < image.Width(); ++x) *bits++ = DibPixel(image.At(x, y));
}

void PaintBackdrop(HDC dc, HWND window, ui::Color back, const ui::Image& picture) {
    RECT client{};
    GetClientRect(window, &client);
    const ui::Image image = Backdrop(client.right, client.bottom, back, picture);
    if (image.Empty()) return;
    std::vector<std::uint32_t> bits(static_cast<std::size_t>(image.Width()) * static_cast<std::size_t>(image.Height()));
    CopyPixels(image, bits.data());
    const BITMAPINFO info = DibInfo(image.Width(), image.Height());
    SetDIBitsToDevice(dc, 0, 0, static_cast<DWORD>(image.Width()), static_cast<DWORD>(image.Height()), 0, 0, 0,
                      static_cast<UINT>(image.Height()), bits.data(), &info, DIB_RGB_COLORS);
}

// The picture boxes' window class, registered while a form window is
// attached anywhere in the module.
int pictureClassUsers = 0;

void UsePictureClass(WNDPROC procedure) {
    if (pictureClassUsers == 0) {
        WNDCLASSEXW windowClass{};
        windowClass.cbSize = sizeof windowClass;
        windowClass.lpfnWndProc = procedure;
        windowClass.hInstance = ThisModule();
        windowClass.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
        windowClass.lpszClassName = dialog::kPictureClass;
        // One whose windows outlived an earlier release is still there.
        if (!RegisterClassExW(&windowClass) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS)
            raise(ErrorKind::HostFailure, "the picture window class cannot be registered (system error " +
                                              std::to_string(GetLastError()) + ")");
    }
    ++pictureClassUsers;
}

void LeavePictureClass() {
    if (--pictureClassUsers == 0) UnregisterClassW(dialog::kPictureClass, ThisModule());
}

}  // namespace

GdiRaster::GdiRaster() = default;

GdiRaster::~GdiRaster() {
    for (auto& [box, record] : boxes_) {
        detach(*record);
        dropImage(*record);
    }
    for (auto& [form, record] : forms_) detach(*record);
}

// ---------------------------------------------------------------------------
// The dialog's windows

void GdiRaster::Attach(ui::PaintedForm& form, HWND window) {
    auto& slot = forms_[&form];
    if (!slot) slot = std::make_unique<FormWindow>(FormWindow{this, &form});
    FormWindow& record = *slot;
    detach(record);  // the window of an earlier show
    UsePictureClass(&PictureProc);
    record.window = window;
    SetPropW(window, kFormRecord, &record);
    record.original =
        reinterpret_cast<WNDPROC>(SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&FormProc)));
}

void GdiRaster::Attach(ui::PictureBox& box, HWND window) {
    BoxWindow& record = this->record(box);
    detach(record);
    record.window = window;
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&record));
    ShowWindow(window, box.visible ? SW_SHOWNA : SW_HIDE);
}

HBRUSH GdiRaster::ControlColors(const ui::PaintedForm& form, HDC dc) const {
    SetTextColor(dc, GetSysColor(COLOR_BTNTEXT));
    ::SetBkColor(dc, form.backColor);
    // The context's own brush: nothing is made that must be deleted.
    SetDCBrushColor(dc, form.backColor);
    return static_cast<HBRUSH>(GetStockObject(DC_BRUSH));
}

LRESULT CALLBACK GdiRaster::FormProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* record = static_cast<FormWindow*>(GetPropW(window, kFormRecord));
    if (!record) return DefWindowProcW(window, message, wParam, lParam);
    const WNDPROC original = record->original;
    switch (message) {
        case WM_ERASEBKGND:
            PaintBackdrop(reinterpret_cast<HDC>(wParam), window, record->form->backColor, record->form->picture);
            return 1;
        case WM_NCDESTROY: record->raster->detach(*record); break;
        default: break;
    }
    return CallWindowProcW(original, window, message, wParam, lParam);
}

LRESULT CALLBACK GdiRaster::PictureProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* record = reinterpret_cast<BoxWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (!record) return DefWindowProcW(window, message, wParam, lParam);
    switch (message) {
        case WM_ERASEBKGND: return 1;  // WM_PAINT covers the whole box
        case WM_PAINT: {
            PAINTSTRUCT paint{};
            HDC dc = BeginPaint(window, &paint);
            PaintBackdrop(dc, window, record->box->backColor, record->box->picture);
            if (record->imageDc) ::BitBlt(dc, 0, 0, record->width, record->height, record->imageDc.get(), 0, 0, SRCCOPY);
            EndPaint(window, &paint);
            return 0;
        }
        // A click is a press and a release on the box.
        case WM_LBUTTONDOWN: SetCapture(window); return 0;
        case WM_LBUTTONUP:
            if (GetCapture() == window) {
                ReleaseCapture();
                RECT client{};
                GetClientRect(window, &client);
                if (PtInRect(&client, POINT{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)}))
                    SendMessageW(GetParent(window), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(window), STN_CLICKED),
                                 reinterpret_cast<LPARAM>(window));
            }
            return 0;
        case WM_NCDESTROY: record->raster->detach(*record); break;
        default: break;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

GdiRaster::BoxWindow& GdiRaster::record(ui::PictureBox& box) {
    auto& slot = boxes_[&box];
    if (!slot) slot = std::make_unique<BoxWindow>(BoxWindow{this, &box, &box.Parent()});
    return *slot;
}

void GdiRaster::detach(FormWindow& form) {
    if (!form.window) return;
    form.dc.reset();
    SetWindowLongPtrW(form.window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(form.original));
    RemovePropW(form.window, kFormRecord);
    form = FormWindow{this, form.form};
    LeavePictureClass();
}

void GdiRaster::detach(BoxWindow& box) {
    if (!box.window) return;
    box.dc.reset();
    SetWindowLongPtrW(box.window, GWLP_USERDATA, 0);
    box.window = nullptr;
}

void GdiRaster::makeImage(BoxWindow& box) {
    ui::FormsRuntime& screen = box.box->Parent().Runtime();
    const std::int32_t width = Pixels(box.box->place.width, screen.TwipsPerPixelX());
    const std::int32_t height = Pixels(box.box->place.height, screen.TwipsPerPixelY());
    if (width <= 0 || height <= 0) return;
    const BITMAPINFO info = DibInfo(width, height);
    void* bits = nullptr;
    UniqueBitmap image(CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    UniqueMemoryDc dc(::CreateCompatibleDC(nullptr));
    // Without its image the box cannot be drawn on; nothing is reported.
    if (!image || !dc) return;
    CopyPixels(Backdrop(width, height, box.box->backColor, box.box->picture), static_cast<std::uint32_t*>(bits));
    box.replaced = ::SelectObject(dc.get(), image.get());
    contexts_.insert(dc.get());
    bitmaps_.insert(image.get());
    box.imageDc = std::move(dc);
    box.image = std::move(image);
    box.width = width;
    box.height = height;
}

void GdiRaster::dropImage(BoxWindow& box) {
    if (!box.imageDc) return;
    ::SelectObject(box.imageDc.get(), box.replaced);
    contexts_.erase(box.imageDc.get());
    bitmaps_.erase(box.image.get());
    box.image.reset();
    box.imageDc.reset();
    box.replaced = nullptr;
}

ui::Hdc GdiRaster::WindowDC(ui::PaintedForm& form) {
    const auto it = forms_.find(&form);
    if (it == forms_.end() || !it->second->window) return 0;
    FormWindow& record = *it->second;
    if (!record.dc) record.dc = WindowDc(record.window);
    return FromHdc(record.dc.get());
}

ui::Hdc GdiRaster::WindowDC(ui::PictureBox& box) {
    BoxWindow& record = this->record(box);
    if (record.imageDc) return FromHdc(record.imageDc.get());
    if (!record.window) return 0;
    if (!record.dc) record.dc = WindowDc(record.window);
    return FromHdc(record.dc.get());
}

void GdiRaster::SetDrawing(ui::PaintedForm& form, ui::ScaleMode scale, bool persistent) {
    form.scaleMode = scale;
    form.persistent = persistent;
}

void GdiRaster::SetDrawing(ui::PictureBox& box, ui::ScaleMode scale, bool persistent) {
    BoxWindow& record = this->record(box);
    if (persistent && !record.imageDc) makeImage(record);
    if (!persistent) dropImage(record);
    box.scaleMode = scale;
    box.persistent = persistent;
}

void GdiRaster::SetVisible(ui::PictureBox& box, bool visible) {
    box.visible = visible;
    // A hidden box leaves the form to repaint the place it uncovers.
    if (HWND window = record(box).window) ShowWindow(window, visible ? SW_SHOWNA : SW_HIDE);
}

void GdiRaster::Refresh(ui::PaintedForm& form) {
    const auto it = forms_.find(&form);
    if (it != forms_.end() && it->second->window)
        RedrawWindow(it->second->window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
}

void GdiRaster::Refresh(ui::PictureBox& box) {
    if (HWND window = record(box).window) RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
}

void GdiRaster::Release(const ui::PaintedForm& form) {
    for (auto it = boxes_.begin(); it != boxes_.end();) {
        if (it->second->owner != &form) {
            ++it;
            continue;
        }
        detach(*it->second);
        dropImage(*it->second);
        it = boxes_.erase(it);
    }
    if (const auto it = forms_.find(&form); it != forms_.end()) {
        detach(*it->second);
        forms_.erase(it);
    }
}

// ---------------------------------------------------------------------------
// Device contexts and bitmaps

ui::Hdc GdiRaster::CreateCompatibleDC(ui::Hdc dc) {
    HDC made = ::CreateCompatibleDC(ToHdc(dc));
    if (made) contexts_.insert(made);
    return FromHdc(made);
}

ui::HGdiObj GdiRaster::CreateCompatibleBitmap(ui::Hdc dc, std::int32_t width, std::int32_t height) {
    // The system would answer an empty size with a 1 x 1 bitmap.
    if (width <= 0 || height <= 0) return 0;
    HBITMAP made = ::CreateCompatibleBitmap(ToHdc(dc), width, height);
    if (made) bitmaps_.insert(made);
    return FromObject(made);
}

ui::HGdiObj GdiRaster::CreateBitmap(std::int32_t width, std::int32_t height, std::uint32_t planes,
                                    std::uint32_t bitsPerPixel) {
    if (width <= 0 || height <= 0) return 0;
    HBITMAP made = ::CreateBitmap(width, height, planes, bitsPerPixel, nullptr);
    if (made) bitmaps_.insert(made);
    return FromObject(made);
}

ui::HGdiObj GdiRaster::SelectObject(ui::Hdc dc, ui::HGdiObj object) {
    return FromObject(::SelectObject(ToHdc(dc), ToObject(object)));
}

ui::Color GdiRaster::SetBkColor(ui::Hdc dc, ui::Color color) { return ::SetBkColor(ToHdc(dc), color); }

bool GdiRaster::BitBlt(ui::Hdc dest, std::int32_t x, std::int32_t y, std::int32_t width, std::int32_t height,
                       ui::Hdc src, std::int32_t srcX, std::int32_t srcY, std::uint32_t rop) {
    return ::BitBlt(ToHdc(dest), x, y, width, height, ToHdc(src), srcX, srcY, rop) != FALSE;
}

bool GdiRaster::DeleteObject(ui::HGdiObj object) {
    if (!::DeleteObject(ToObject(object))) return false;
    bitmaps_.erase(ToObject(object));
    return true;
}

bool GdiRaster::DeleteDC(ui::Hdc dc) {
    if (!::DeleteDC(ToHdc(dc))) return false;
    contexts_.erase(ToHdc(dc));
    return true;
}

GdiRaster& DesktopRaster(const ui::PaintedForm& form) {
    auto* raster = dynamic_cast<GdiRaster*>(&form.Graphics());
    if (!raster)
        raise(ErrorKind::HostFailure,
              "the dialog '" + form.Kind() + "' is painted by a raster no window can show");
    return *raster;
}

}  // namespace bm::win32
