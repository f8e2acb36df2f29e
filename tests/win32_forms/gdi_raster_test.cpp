// The logo painted with GDI on real windows shows the same pixels as the
// in-memory raster paints: the key colour lets the form's own backdrop
// through (its back colour and its picture, whatever the desktop's colours),
// and the opaque copy keeps the green.

#include <windows.h>

#include <gtest/gtest.h>

#include <sstream>

#include "desktop.h"
#include "platform/portable/headless_runtime.h"
#include "platform/portable/memory_raster.h"
#include "platform/win32/dialog_controls.h"
#include "platform/win32/gdi_raster.h"
#include "platform/win32/win32_forms_runtime.h"
#include "ui/logo.h"
#include "ui/pic_blt.h"

namespace bm {
namespace {

using ui::Image;

constexpr int kFormWidth = 160, kFormHeight = 80;
constexpr int kTargetX = 20, kTargetY = 10;

// A form with the hidden logo and a visible target the logo's size, placed
// on whole pixels; its backdrop is the button face with a picture that runs
// under the left part of the target.
class Canvas : public ui::PaintedForm {
public:
    Canvas(ui::FormsRuntime& runtime, ui::Raster& raster, float tpp)
        : PaintedForm(runtime, raster),
          source(*this, "source", {100 * tpp, 10 * tpp, 57 * tpp, 56 * tpp}, false, ui::Logo()),
          target(*this, "target", {kTargetX * tpp, kTargetY * tpp, 57 * tpp, 56 * tpp}, true) {
        SetSize(kFormWidth * tpp, kFormHeight * tpp);
        picture = Image(kTargetX + 30, kFormHeight);
        for (int y = 0; y < picture.Height(); ++y)
            for (int x = 0; x < picture.Width(); ++x)
                picture.Set(x, y, ui::Rgb(std::uint8_t(x * 5), std::uint8_t(y * 3), 90));
    }
    std::string Caption() const override { return "Canvas"; }
    std::string Kind() const override { return "canvas"; }

    ui::PictureBox source, target;
};

LRESULT CALLBACK PlainWindow(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return DefWindowProcW(window, message, wParam, lParam);
}

// The pixels a device context shows, read into a DIB section.
Image ReadBack(HDC dc, int width, int height) {
    BITMAPINFO info{};
    info.bmiHeader = {sizeof info.bmiHeader, width, -height, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    void* bits = nullptr;
    HBITMAP dib = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HDC memory = CreateCompatibleDC(nullptr);
    HGDIOBJ old = SelectObject(memory, dib);
    BitBlt(memory, 0, 0, width, height, dc, 0, 0, SRCCOPY);
    GdiFlush();
    Image image(width, height);
    const auto* pixel = static_cast<const std::uint32_t*>(bits);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x, ++pixel)
            image.Set(x, y, ui::Rgb(std::uint8_t(*pixel >> 16), std::uint8_t(*pixel >> 8), std::uint8_t(*pixel)));
    SelectObject(memory, old);
    DeleteDC(memory);
    DeleteObject(dib);
    return image;
}

// The first pixels that differ, or "" when none does.
std::string Differences(const Image& shown, const Image& expected) {
    if (shown.Width() != expected.Width() || shown.Height() != expected.Height()) return "the sizes differ";
    std::ostringstream out;
    int count = 0;
    for (int y = 0; y < shown.Height(); ++y)
        for (int x = 0; x < shown.Width(); ++x)
            if (shown.At(x, y) != expected.At(x, y) && ++count <= 5)
                out << " (" << x << "," << y << ") shows " << std::hex << shown.At(x, y) << " for "
                    << expected.At(x, y) << std::dec;
    if (count) out << " in " << count << " pixels";
    return out.str();
}

TEST(GdiRaster, PaintsTheLogoAsTheMemoryRasterDoes) {
    if (!test::DesktopMakesWindows()) GTEST_SKIP() << "no desktop to show windows on";
    win32::Win32FormsRuntime desktop;
    const float tpp = desktop.TwipsPerPixelX();
    portable::HeadlessRuntime headless;
    headless.SetTwipsPerPixel(tpp, desktop.TwipsPerPixelY());
    portable::MemoryRaster memory;
    Canvas expected(headless, memory, tpp);

    WNDCLASSW plain{};
    plain.lpfnWndProc = &PlainWindow;
    plain.hInstance = GetModuleHandleW(nullptr);
    plain.lpszClassName = L"BrindlemarkTestCanvas";
    ASSERT_TRUE(RegisterClassW(&plain));
    win32::GdiRaster raster;
    {
        Canvas form(desktop, raster, tpp);
        HWND window = CreateWindowExW(0, plain.lpszClassName, L"Canvas", WS_POPUP | WS_VISIBLE | WS_CLIPCHILDREN, 0,
                                      0, kFormWidth, kFormHeight, nullptr, nullptr, plain.hInstance, nullptr);
        ASSERT_TRUE(window);
        {
            // Some desktops keep no pixels for windows: nothing to compare there.
            HDC dc = GetDC(window);
            SetPixel(dc, 0, 0, RGB(1, 2, 3));
            const COLORREF read = GetPixel(dc, 0, 0);
            ReleaseDC(window, dc);
            if (read != RGB(1, 2, 3)) {
                DestroyWindow(window);
                UnregisterClassW(plain.lpszClassName, plain.hInstance);
                GTEST_SKIP() << "this desktop gives no window pixels back";
            }
        }
        raster.Attach(form, window);
        for (ui::PictureBox* box : {&form.source, &form.target}) {
            raster.Attach(*box, CreateWindowExW(0, win32::dialog::kPictureClass, L"", WS_CHILD | WS_VISIBLE,
                                                static_cast<int>(box->place.left / tpp),
                                                static_cast<int>(box->place.top / tpp), 57, 56, window, nullptr,
                                                plain.hInstance, nullptr));
        }
        UpdateWindow(window);

        // Opaque between two transparent paintings: the second must not take
        // the first one's logo for the backdrop.
        for (std::int16_t mode : {ui::kBlitTransparent, ui::kBlitOpaque, ui::kBlitTransparent}) {
            ui::BlitPicture(mode, form, form.source, form.target, ui::kKeyGreen);
            ui::BlitPicture(mode, expected, expected.source, expected.target, ui::kKeyGreen);
            const Image shown = ReadBack(reinterpret_cast<HDC>(raster.WindowDC(form.target)), 57, 56);
            EXPECT_EQ(Differences(shown, memory.Shown(expected.target)), "") << "mode " << mode;
        }
        DestroyWindow(window);
    }
    EXPECT_EQ(raster.LiveObjects(), 0u);
    WNDCLASSEXW left{};
    left.cbSize = sizeof left;
    EXPECT_FALSE(GetClassInfoExW(GetModuleHandleW(nullptr), win32::dialog::kPictureClass, &left))
        << "the picture class outlives its windows";
    UnregisterClassW(plain.lpszClassName, plain.hInstance);
}

}  // namespace
}  // namespace bm
