// Rounding to decimal places against the exact reference, and the text
// readers on arbitrary bytes: none may crash, and the rounding must equal
// the reference on every finite double.

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "core/convert.h"
#include "core/error.h"
#include "core/exact_decimal.h"

namespace {

void Check(bool ok, const char* what, double x, int places) {
    if (ok) return;
    std::fprintf(stderr, "%s: x = %.17g, places = %d\n", what, x, places);
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace bm;
    if (size >= sizeof(double) + 1) {
        double x = 0;
        std::memcpy(&x, data, sizeof x);
        const int places = data[sizeof x] % 9;  // the precisions a setting can hold
        // The reference multiplies out every binary digit, so it is asked only
        // within the magnitudes that masses, areas and volumes take.
        const double magnitude = std::fabs(x);
        if (std::isfinite(x) && magnitude < 1e22 && (magnitude == 0 || magnitude > 1e-20)) {
            const std::string want = test::ReferenceRounding(x, places);
            Check(round_places(x, places) == std::strtod(want.c_str(), nullptr), "round_places", x,
                  places);
            Check(!format_fixed_pattern(x, places).empty(), "format_fixed_pattern", x, places);
        }
    }
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    (void)upper_case(text);
    try {
        (void)leading_number(text);
    } catch (const Error&) {
        // A number beyond a double ("1d400") is an overflow: fine.
    }
    try {
        (void)to_long(Variant(std::string(text)));
    } catch (const Error&) {
        // Text that is no number, or too big for 32 bits, is refused: fine.
    }
    return 0;
}
