#pragma once

// Painting pictures on dialogs. A dialog that shows pictures derives from
// PaintedForm and holds PictureBox members; a Raster paints them. The Raster
// offers the few device-context operations the logo painting needs, with the
// classic desktop graphics meaning (handles, selections, raster operations),
// and the window operations around them: device contexts of the form and its
// picture boxes, their drawing attributes, hiding and repainting.
//
// The Win32 raster maps these onto gdi32 and the dialog's windows; the
// portable one paints in-memory bitmaps.
//
// Lifetime: the raster must outlive every dialog painted with it. A dialog
// tells its raster when it goes (Release), so nothing is kept for it after.

#include <cstdint>
#include <string>
#include <vector>

#include "ui/forms.h"

namespace bm::ui {

// A colour as 0x00BBGGRR: red in the low byte, then green, then blue.
using Color = std::uint32_t;

constexpr Color Rgb(std::uint8_t red, std::uint8_t green, std::uint8_t blue) {
    return Color{red} | Color{green} << 8 | Color{blue} << 16;
}

inline constexpr Color kWhite = Rgb(255, 255, 255);
inline constexpr Color kBlack = Rgb(0, 0, 0);
// The logo's transparent colour.
inline constexpr Color kKeyGreen = Rgb(0, 255, 0);
// The desktop's dialog face colour, the backdrop of forms and picture boxes.
inline constexpr Color kButtonFace = Rgb(212, 208, 200);

// A 24-bit picture, rows from the top, pixels from the left.
class Image {
public:
    Image() = default;
    Image(std::int32_t width, std::int32_t height, Color fill = kBlack)
        : width_(width > 0 && height > 0 ? width : 0), height_(width > 0 && height > 0 ? height : 0),
          pixels_(static_cast<std::size_t>(width_) * static_cast<std::size_t>(height_), fill) {}

    std::int32_t Width() const { return width_; }
    std::int32_t Height() const { return height_; }
    bool Empty() const { return pixels_.empty(); }
    Color At(std::int32_t x, std::int32_t y) const { return pixels_[index(x, y)]; }
    void Set(std::int32_t x, std::int32_t y, Color c) { pixels_[index(x, y)] = c; }
    bool Contains(std::int32_t x, std::int32_t y) const { return x >= 0 && y >= 0 && x < width_ && y < height_; }

    friend bool operator==(const Image&, const Image&) = default;

private:
    std::size_t index(std::int32_t x, std::int32_t y) const {
        return static_cast<std::size_t>(y) * static_cast<std::size_t>(width_) + static_cast<std::size_t>(x);
    }
    std::int32_t width_ = 0, height_ = 0;
    std::vector<Color> pixels_;
};

// The unit a window's drawing coordinates are in.
enum class ScaleMode { kTwips, kPixels };

class Raster;
class PictureBox;

// A dialog with picture boxes: it knows the raster that paints it and the
// boxes on it, and has a backdrop of its own.
class PaintedForm : public Form {
public:
    PaintedForm(FormsRuntime& runtime, Raster& raster) : Form(runtime), raster_(raster) {}
    ~PaintedForm() override;
    PaintedForm(const PaintedForm&) = delete;
    PaintedForm& operator=(const PaintedForm&) = delete;

    Raster& Graphics() const { return raster_; }
    // The picture boxes, in the order they were made.
    const std::vector<PictureBox*>& Pictures() const { return pictures_; }

    // The backdrop: the back colour with the picture drawn at the top left.
    Color backColor = kButtonFace;
    Image picture;
    // Drawing attributes; changed through the raster (Raster::SetDrawing).
    ScaleMode scaleMode = ScaleMode::kTwips;
    bool persistent = false;

private:
    friend class PictureBox;
    Raster& raster_;
    std::vector<PictureBox*> pictures_;
};

// A picture box on a PaintedForm. It has no border: its inside is its whole
// size. It shows its back colour with its picture at the top left; what is
// drawn on it stays only while its drawing is persistent, and is otherwise
// lost the next time it repaints (for instance after being covered).
class PictureBox {
public:
    PictureBox(PaintedForm& parent, std::string boxName, Place boxPlace, bool isVisible, Image boxPicture = {})
        : name(std::move(boxName)), place(boxPlace), visible(isVisible), picture(std::move(boxPicture)),
          parent_(parent) {
        parent.pictures_.push_back(this);
    }
    PictureBox(const PictureBox&) = delete;
    PictureBox& operator=(const PictureBox&) = delete;

    PaintedForm& Parent() const { return parent_; }

    std::string name;
    Place place;  // on the parent's client area, twips
    // Shown or hidden; changed through the raster (Raster::SetVisible).
    bool visible = true;
    Image picture;
    Color backColor = kButtonFace;
    // Drawing attributes; changed through the raster (Raster::SetDrawing).
    ScaleMode scaleMode = ScaleMode::kTwips;
    bool persistent = false;

private:
    PaintedForm& parent_;
};

// Device context and graphics object handles; 0 is none (and what a failed
// creation returns).
using Hdc = std::uintptr_t;
using HGdiObj = std::uintptr_t;

// Raster operations of BitBlt (destination D, source S).
enum RasterOp : std::uint32_t {
    kSrcCopy = 0x00CC0020,     // D = S
    kNotSrcCopy = 0x00330008,  // D = not S
    kSrcAnd = 0x008800C6,      // D = D and S
    kSrcInvert = 0x00660046,   // D = D xor S
};

class Raster {
public:
    virtual ~Raster() = default;

    // --- The dialog's windows

    // The device context drawing on the form's client area or on a box;
    // owned by the window: never deleted by the caller. A box with
    // persistent drawing answers the context of its persistent image, which
    // can be read and drawn on while the box is hidden.
    virtual Hdc WindowDC(PaintedForm& form) = 0;
    virtual Hdc WindowDC(PictureBox& box) = 0;
    // Drawing attributes. Turning persistent drawing on starts the
    // persistent image from the window's back colour and picture.
    virtual void SetDrawing(PaintedForm& form, ScaleMode scale, bool persistent) = 0;
    virtual void SetDrawing(PictureBox& box, ScaleMode scale, bool persistent) = 0;
    // Hiding a box uncovers the form beneath, which shows its own backdrop
    // there only once the form has been repainted.
    virtual void SetVisible(PictureBox& box, bool visible) = 0;
    // Repaints a window now.
    virtual void Refresh(PaintedForm& form) = 0;
    virtual void Refresh(PictureBox& box) = 0;
    // The form is going away; forget its windows. Called while the form is
    // being destroyed: only its address may be used.
    virtual void Release(const PaintedForm& form) = 0;

    // --- Device contexts and bitmaps

    // A memory device context compatible with `dc` (0: the screen), with a
    // 1 x 1 monochrome bitmap selected.
    virtual Hdc CreateCompatibleDC(Hdc dc) = 0;
    // A bitmap in the format of the one selected into `dc`: monochrome when
    // `dc` is a fresh memory context, colour for a window's context.
    virtual HGdiObj CreateCompatibleBitmap(Hdc dc, std::int32_t width, std::int32_t height) = 0;
    // A bitmap of the given format (one plane of one bit: monochrome).
    virtual HGdiObj CreateBitmap(std::int32_t width, std::int32_t height, std::uint32_t planes,
                                 std::uint32_t bitsPerPixel) = 0;
    // Selects a bitmap into a memory context; answers the one it replaces,
    // or 0 when it cannot be selected.
    virtual HGdiObj SelectObject(Hdc dc, HGdiObj object) = 0;
    // The background colour: in a colour-to-monochrome copy the source
    // pixels of this colour become 1 (white), all others 0 (black); in a
    // monochrome-to-colour copy 1 becomes the destination's background
    // colour and 0 its text colour (black). Answers the previous one.
    virtual Color SetBkColor(Hdc dc, Color color) = 0;
    virtual bool BitBlt(Hdc dest, std::int32_t x, std::int32_t y, std::int32_t width, std::int32_t height, Hdc src,
                        std::int32_t srcX, std::int32_t srcY, std::uint32_t rop) = 0;
    // Fails for a bitmap still selected into a context.
    virtual bool DeleteObject(HGdiObj object) = 0;
    virtual bool DeleteDC(Hdc dc) = 0;
};

inline PaintedForm::~PaintedForm() { raster_.Release(*this); }

}  // namespace bm::ui
