#pragma once

// The raster on the desktop: gdi32 device contexts and bitmaps, and the
// dialog's real windows, with the meaning the portable in-memory raster
// gives them (memory_raster.h states the rules).
//
// A view attaches the windows it makes: first the form's window, whose
// backdrop (back colour, then picture) the raster paints from then on, then
// each picture box's window, a child of class dialog::kPictureClass. That
// class is registered while any form window is attached, and no longer: the
// library may be unloaded and loaded again at another address. A box
// without persistent drawing paints its back colour and its picture; with
// persistent drawing it keeps its image in a memory bitmap, which its
// device context draws on and reads (while hidden too) and which its window
// shows. A click on a box reaches the form as WM_COMMAND with STN_CLICKED,
// as from a static control with SS_NOTIFY.
//
// A window's device context is kept from its first use until the window or
// the form goes. Persistent images stay until the form is released or its
// box's drawing turns non-persistent. Persistent drawing on a form itself
// is only recorded: the form repaints its backdrop whatever was drawn.

#include <windows.h>

#include <cstddef>
#include <map>
#include <memory>
#include <set>

#include "ui/raster.h"

namespace bm::win32 {

class GdiRaster : public ui::Raster {
public:
    GdiRaster();
    ~GdiRaster() override;
    GdiRaster(const GdiRaster&) = delete;
    GdiRaster& operator=(const GdiRaster&) = delete;

    // The form's window, before the windows of its boxes are made. Fails
    // with a HostFailure when the picture class cannot be registered.
    void Attach(ui::PaintedForm& form, HWND window);
    // A picture box's window; it is shown or hidden as the box says.
    void Attach(ui::PictureBox& box, HWND window);
    // Answers WM_CTLCOLORSTATIC for a control of the form: labels, frames
    // and check boxes stand on the form's back colour.
    HBRUSH ControlColors(const ui::PaintedForm& form, HDC dc) const;

    // Device contexts and bitmaps made here and not yet deleted, the
    // persistent images included.
    std::size_t LiveObjects() const { return contexts_.size() + bitmaps_.size(); }

    // ui::Raster
    ui::Hdc WindowDC(ui::PaintedForm& form) override;
    ui::Hdc WindowDC(ui::PictureBox& box) override;
    void SetDrawing(ui::PaintedForm& form, ui::ScaleMode scale, bool persistent) override;
    void SetDrawing(ui::PictureBox& box, ui::ScaleMode scale, bool persistent) override;
    void SetVisible(ui::PictureBox& box, bool visible) override;
    void Refresh(ui::PaintedForm& form) override;
    void Refresh(ui::PictureBox& box) override;
    void Release(const ui::PaintedForm& form) override;

    ui::Hdc CreateCompatibleDC(ui::Hdc dc) override;
    ui::HGdiObj CreateCompatibleBitmap(ui::Hdc dc, std::int32_t width, std::int32_t height) override;
    ui::HGdiObj CreateBitmap(std::int32_t width, std::int32_t height, std::uint32_t planes,
                             std::uint32_t bitsPerPixel) override;
    ui::HGdiObj SelectObject(ui::Hdc dc, ui::HGdiObj object) override;
    ui::Color SetBkColor(ui::Hdc dc, ui::Color color) override;
    bool BitBlt(ui::Hdc dest, std::int32_t x, std::int32_t y, std::int32_t width, std::int32_t height, ui::Hdc src,
                std::int32_t srcX, std::int32_t srcY, std::uint32_t rop) override;
    bool DeleteObject(ui::HGdiObj object) override;
    bool DeleteDC(ui::Hdc dc) override;

private:
    struct FormWindow;
    struct BoxWindow;
    static LRESULT CALLBACK FormProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    static LRESULT CALLBACK PictureProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

    BoxWindow& record(ui::PictureBox& box);
    // The box's persistent image, made from its back colour and picture.
    void makeImage(BoxWindow& box);
    void dropImage(BoxWindow& box);
    void detach(FormWindow& form);
    void detach(BoxWindow& box);

    std::map<const ui::PaintedForm*, std::unique_ptr<FormWindow>> forms_;
    std::map<const ui::PictureBox*, std::unique_ptr<BoxWindow>> boxes_;
    std::set<HDC> contexts_;
    std::set<HGDIOBJ> bitmaps_;
};

// The desktop raster painting `form`; fails with a HostFailure when the
// form is painted by another raster, whose pictures no window could show.
GdiRaster& DesktopRaster(const ui::PaintedForm& form);

}  // namespace bm::win32
