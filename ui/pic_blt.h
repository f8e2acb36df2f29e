#pragma once

// Painting a picture box's image onto another picture box of the same form,
// either as it is or with one colour transparent, so that the form's own
// backdrop shows through. The logo is painted this way on every activation
// of the dialogs that show it: the target keeps no persistent image.

#include <cstdint>

#include "ui/raster.h"

namespace bm::ui {

inline constexpr std::int16_t kBlitOpaque = 0;
inline constexpr std::int16_t kBlitTransparent = 1;

// Copies the top-left part of `source` the size of `target` onto `target`.
// Mode kBlitOpaque copies every pixel; kBlitTransparent lets the form's
// backdrop show where the source has exactly `keyColor`. Any other mode is
// an InvalidArgument error. Leaves the form and the target with pixel scale
// and no persistent drawing, the source with persistent drawing, the target
// shown. Failed drawing calls are not reported: the target then lacks the
// picture. Every object made here is deleted before it returns.
void BlitPicture(std::int16_t mode, PaintedForm& form, PictureBox& source, PictureBox& target, Color keyColor);

}  // namespace bm::ui
