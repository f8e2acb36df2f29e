#include "ui/pic_blt.h"

#include <functional>
#include <optional>
#include <string>

#include "core/convert.h"
#include "core/error.h"

namespace bm::ui {

namespace {

// A memory context with a bitmap selected into it; on the way out the
// replaced object goes back, then the bitmap and the context are deleted.
class MemoryContext {
public:
    MemoryContext(Raster& gdi, Hdc compatibleWith, const std::function<HGdiObj()>& makeBitmap)
        : gdi_(gdi), dc_(gdi.CreateCompatibleDC(compatibleWith)), bitmap_(makeBitmap()),
          replaced_(gdi.SelectObject(dc_, bitmap_)) {}
    ~MemoryContext() {
        gdi_.SelectObject(dc_, replaced_);
        gdi_.DeleteObject(bitmap_);
        gdi_.DeleteDC(dc_);
    }
    MemoryContext(const MemoryContext&) = delete;
    MemoryContext& operator=(const MemoryContext&) = delete;

    Hdc dc() const { return dc_; }

private:
    Raster& gdi_;
    Hdc dc_;
    HGdiObj bitmap_;
    HGdiObj replaced_;
};

}  // namespace

void BlitPicture(std::int16_t mode, PaintedForm& form, PictureBox& source, PictureBox& target, Color keyColor) {
    if (mode != kBlitOpaque && mode != kBlitTransparent) {
        raise(ErrorKind::InvalidArgument, "picture copy mode " + std::to_string(mode) + " is neither 0 nor 1");
    }
    Raster& gdi = form.Graphics();
    gdi.SetDrawing(form, ScaleMode::kPixels, false);
    // The hidden source must keep its image readable.
    gdi.SetDrawing(source, ScaleMode::kPixels, true);
    gdi.SetDrawing(target, ScaleMode::kPixels, false);

    FormsRuntime& screen = form.Runtime();
    const double tppX = screen.TwipsPerPixelX();
    const double tppY = screen.TwipsPerPixelY();
    const std::int32_t w = round_to_long(target.place.width / tppX);
    const std::int32_t h = round_to_long(target.place.height / tppY);
    const std::int32_t x = round_to_long(target.place.left / tppX);
    const std::int32_t y = round_to_long(target.place.top / tppY);

    const Hdc targetDC = gdi.WindowDC(target);
    const Hdc sourceDC = gdi.WindowDC(source);
    const auto colourBitmap = [&] { return gdi.CreateCompatibleBitmap(sourceDC, w, h); };
    const auto monoBitmap = [&] { return gdi.CreateBitmap(w, h, 1, 1); };

    // The picture as the target will show it.
    MemoryContext picture(gdi, targetDC, colourBitmap);
    // The mask, its inverse and the work copy; declared here so that they
    // go only after the picture has reached the target.
    std::optional<MemoryContext> mask, inverse, work;
    if (mode == kBlitOpaque) {
        gdi.BitBlt(picture.dc(), 0, 0, w, h, sourceDC, 0, 0, kSrcCopy);
    } else {
        mask.emplace(gdi, targetDC, monoBitmap);     // 1 where the source has the key colour
        inverse.emplace(gdi, targetDC, monoBitmap);  // 1 elsewhere
        work.emplace(gdi, targetDC, colourBitmap);

        const Color oldBack = gdi.SetBkColor(sourceDC, keyColor);
        gdi.BitBlt(mask->dc(), 0, 0, w, h, sourceDC, 0, 0, kSrcCopy);
        gdi.SetBkColor(sourceDC, oldBack);
        gdi.BitBlt(inverse->dc(), 0, 0, w, h, mask->dc(), 0, 0, kNotSrcCopy);

        // The backdrop behind the target, as the form paints it.
        gdi.SetVisible(target, false);
        gdi.Refresh(form);
        gdi.BitBlt(picture.dc(), 0, 0, w, h, gdi.WindowDC(form), x, y, kSrcCopy);
        gdi.BitBlt(picture.dc(), 0, 0, w, h, mask->dc(), 0, 0, kSrcAnd);

        gdi.BitBlt(work->dc(), 0, 0, w, h, sourceDC, 0, 0, kSrcCopy);
        gdi.BitBlt(work->dc(), 0, 0, w, h, inverse->dc(), 0, 0, kSrcAnd);
        gdi.BitBlt(picture.dc(), 0, 0, w, h, work->dc(), 0, 0, kSrcInvert);

        gdi.SetVisible(target, true);
        gdi.Refresh(target);
    }
    gdi.BitBlt(targetDC, 0, 0, w, h, picture.dc(), 0, 0, kSrcCopy);
}

}  // namespace bm::ui
