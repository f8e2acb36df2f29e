#pragma once

// A raster on in-memory bitmaps, for tests and the workbench. It keeps the
// classic desktop graphics rules the painting code must get right:
//  - a fresh memory context holds a 1 x 1 monochrome bitmap, so a bitmap
//    made compatible with it is monochrome;
//  - a bitmap is selected into at most one context, and cannot be deleted
//    while it is selected;
//  - colour-to-monochrome copies compare with the source context's
//    background colour; monochrome-to-colour copies turn 1 into the
//    destination's background colour and 0 into black;
//  - a hidden picture box without persistent drawing can be neither read
//    (it reads black) nor drawn on; hiding a box leaves its pixels on the
//    form until the form repaints.
// The screen is composed per form: the form's own layer (its backdrop and
// whatever was drawn on it) with the visible picture boxes above it.

#include <cstddef>
#include <map>
#include <optional>

#include "ui/raster.h"

namespace bm::portable {

class MemoryRaster : public ui::Raster {
public:
    // What a picture box shows now (its persistent image when it has one).
    ui::Image Shown(ui::PictureBox& box);
    // The form's client area as on screen, its visible picture boxes included.
    ui::Image Shown(ui::PaintedForm& form);

    // Memory contexts and bitmaps made and not yet deleted.
    std::size_t LiveObjects() const;
    // Makes the creation call `index` (0 for the next one) fail by
    // answering 0, as when the system runs out of graphics resources.
    void FailCreation(std::size_t index) { failAt_ = created_ + index; }
    // The background colour of a context.
    ui::Color BkColor(ui::Hdc dc) const;
    // The pixels of a bitmap made here (monochrome ones hold 0 and 1), for
    // setting up and checking; null for an unknown handle.
    ui::Image* BitmapPixels(ui::HGdiObj bitmap);

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
    // Monochrome pixels are 0 or 1; colour pixels are 0x00BBGGRR.
    struct Bitmap {
        ui::Image pixels;
        bool mono = false;
        ui::Hdc selectedInto = 0;
    };
    enum class DcKind { kMemory, kForm, kBox };
    struct Context {
        DcKind kind = DcKind::kMemory;
        ui::HGdiObj bitmap = 0;  // kMemory
        ui::PaintedForm* form = nullptr;
        ui::PictureBox* box = nullptr;
        ui::Color back = ui::kWhite;
    };
    struct FormState {
        ui::Image layer;
        ui::Hdc dc = 0;
    };
    struct BoxState {
        const ui::PaintedForm* form = nullptr;
        ui::Image surface;
        ui::Hdc dc = 0;
    };

    bool failNext();
    ui::HGdiObj addBitmap(std::int32_t width, std::int32_t height, bool mono);
    FormState& state(ui::PaintedForm& form);
    BoxState& state(ui::PictureBox& box);
    // A window as it paints itself: back colour, then picture.
    ui::Image fresh(const ui::PictureBox& box) const;
    ui::Image fresh(const ui::PaintedForm& form) const;
    // The pixels a context reads from, and whether they are monochrome.
    std::optional<ui::Image> readable(const Context& c, bool& mono);
    ui::Image* writable(const Context& c, bool& mono);

    std::map<ui::Hdc, Context> contexts_;
    std::map<ui::HGdiObj, Bitmap> bitmaps_;
    std::map<const ui::PaintedForm*, FormState> forms_;
    std::map<const ui::PictureBox*, BoxState> boxes_;
    std::uintptr_t nextHandle_ = 0x100;
    std::size_t created_ = 0;
    std::optional<std::size_t> failAt_;
};

}  // namespace bm::portable
