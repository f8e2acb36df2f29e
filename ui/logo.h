#pragma once

// The pictures the dialogs show, drawn here rather than loaded, so that
// every face of the add-in has them without resource files.

#include <array>

#include "ui/raster.h"

namespace bm::ui {

// The product logo, a quill over an ink drop: 57 x 56 pixels, its
// background exactly kKeyGreen so that it can be painted transparent. No
// drawn pixel is green or close to it, so no green fringe shows.
const Image& Logo();

// The selection list's icons on a white ground, in the order the list
// indexes them: assembly (stacked yellow blocks, 14 x 12), part (one yellow
// block, 14 x 12), property (a page marked "C", 26 x 11, indented so that
// the page stands under a model's name) and presentation (a yellow block
// with a blue trail, 16 x 12).
const std::array<Image, 4>& SelectionIcons();

}  // namespace bm::ui
