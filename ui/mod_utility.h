#pragma once

// Placing dialogs. Every dialog centres itself on the usable desktop when it
// loads; the same arithmetic centres a form over any other positioned thing.
//
// The arithmetic is that of the automation world: the screen's twips-per-
// pixel factors are single precision, twips are reached by rounding half to
// even to 32 bits, pixel differences and the final additions are 32-bit
// integer operations, and halves drop their fraction toward zero. Any of
// those leaving the 32-bit range is an Overflow error; nothing is caught.

#include "ui/forms.h"

namespace bm::ui {

// Anything with a position and a size in twips, such as another window.
class Bounds {
public:
    virtual ~Bounds() = default;
    virtual double Width() const = 0;
    virtual double Left() const = 0;
    virtual double Height() const = 0;
    virtual double Top() const = 0;
};

// Centres `form` on the screen's work area (what docked bars leave free).
// When the work area cannot be had, it centres on the whole screen; when
// neither is known, on the point (0, 0). Only the position changes.
void CenterForm(Form& form, FormsRuntime& screen);

// Centres `form` over `reference`. The reference is read in the order
// Width, Left, Height, Top; its left and top may be fractional.
void CenterForm(Form& form, const Bounds& reference);

}  // namespace bm::ui
