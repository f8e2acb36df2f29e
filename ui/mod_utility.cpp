#include "ui/mod_utility.h"

#include <cstdint>
#include <string>

#include "core/convert.h"
#include "core/error.h"

namespace bm::ui {

namespace {

std::int32_t CheckedSub(std::int32_t a, std::int32_t b, const char* what) {
    std::int32_t r;
    if (__builtin_sub_overflow(a, b, &r)) raise(ErrorKind::Overflow, std::string("overflow in the ") + what);
    return r;
}

std::int32_t CheckedAdd(std::int32_t a, std::int32_t b, const char* what) {
    std::int32_t r;
    if (__builtin_add_overflow(a, b, &r)) raise(ErrorKind::Overflow, std::string("overflow in the ") + what);
    return r;
}

// A single-precision factor times a whole number of pixels, in twips.
std::int32_t Twips(float perPixel, std::int32_t pixels) {
    return round_to_long(static_cast<double>(perPixel) * pixels);
}

// Rounds the difference to 32 bits, then halves it toward zero.
std::int32_t Half(double difference) { return round_to_long(difference) / 2; }

}  // namespace

void CenterForm(Form& form, FormsRuntime& screen) {
    Rect area;
    if (!screen.WorkArea(area)) {
        // Centring on (0, 0) would put most of the dialog off the screen.
        std::int32_t width = 0, height = 0;
        area = screen.ScreenSize(width, height) ? Rect{0, 0, width, height} : Rect{};
    }
    const float tppX = screen.TwipsPerPixelX();
    const float tppY = screen.TwipsPerPixelY();
    const std::int32_t areaHeight = Twips(tppY, CheckedSub(area.bottom, area.top, "work area height"));
    const std::int32_t areaWidth = Twips(tppX, CheckedSub(area.right, area.left, "work area width"));
    const std::int32_t originX = Twips(tppX, area.left);
    const std::int32_t originY = Twips(tppY, area.top);
    const float width = form.Width();
    const float height = form.Height();
    const std::int32_t top = CheckedAdd(Half(static_cast<double>(areaHeight) - height), originY, "dialog top");
    const std::int32_t left = CheckedAdd(Half(static_cast<double>(areaWidth) - width), originX, "dialog left");
    form.Move(static_cast<float>(left), static_cast<float>(top));
}

void CenterForm(Form& form, const Bounds& reference) {
    const double refWidth = reference.Width();
    const float width = form.Width();
    const double refLeft = reference.Left();
    const double refHeight = reference.Height();
    const float height = form.Height();
    const double refTop = reference.Top();
    const double top = refTop + Half(refHeight - height);
    const double left = refLeft + Half(refWidth - width);
    form.Move(static_cast<float>(left), static_cast<float>(top));
}

}  // namespace bm::ui
