#include "core/system_text.h"

#include <langinfo.h>
#include <locale.h>
#include <wctype.h>

#include <array>
#include <cstring>

#include "core/utf8.h"

namespace bm::system_text {
namespace {

// The user's character classes when they are UTF-8, else C.UTF-8, so that
// letters beyond ASCII map even when no locale is set. Made once and kept for
// the life of the library.
locale_t case_locale() {
    static const locale_t loc = [] {
        if (locale_t user = newlocale(LC_CTYPE_MASK, "", locale_t{})) {
            if (std::strcmp(nl_langinfo_l(CODESET, user), "UTF-8") == 0) return user;
            freelocale(user);
        }
        return newlocale(LC_CTYPE_MASK, "C.UTF-8", locale_t{});
    }();
    return loc;
}

char32_t upper_code_point(char32_t cp) {
    const locale_t loc = case_locale();
    if (!loc) return cp >= 'a' && cp <= 'z' ? cp - ('a' - 'A') : cp;
    return static_cast<char32_t>(towupper_l(static_cast<wint_t>(cp), loc));
}

// What the locale makes of each ASCII character, worked out once: names are
// mostly ASCII, and a table lookup spares a decode and a locale call per
// letter. A locale may map one beyond ASCII (a Turkish dotted capital I).
const std::array<char32_t, 128>& ascii_upper() {
    static const std::array<char32_t, 128> table = [] {
        std::array<char32_t, 128> t{};
        for (char32_t c = 0; c < 128; ++c) t[c] = upper_code_point(c);
        return t;
    }();
    return table;
}

}  // namespace

std::string upper_case(std::string_view utf8) {
    const auto& ascii = ascii_upper();
    std::string out;
    out.reserve(utf8.size());
    for (std::size_t i = 0; i < utf8.size();) {
        const auto byte = static_cast<unsigned char>(utf8[i]);
        if (byte < 0x80) {
            const char32_t upper = ascii[byte];
            if (upper < 0x80)
                out += static_cast<char>(upper);
            else
                append_utf8(out, upper);
            ++i;
            continue;
        }
        const Utf8Sequence seq = decode_utf8(utf8, i);
        if (seq.length == 0) {  // callers hand valid UTF-8; keep a stray byte as it is
            out += utf8[i++];
            continue;
        }
        const char32_t upper = upper_code_point(seq.code_point);
        append_utf8(out, is_scalar_value(upper) ? upper : seq.code_point);
        i += seq.length;
    }
    return out;
}

char decimal_separator() {
    char c = '.';
    if (locale_t loc = newlocale(LC_NUMERIC_MASK, "", locale_t{})) {
        const char* radix = nl_langinfo_l(RADIXCHAR, loc);
        if (radix && radix[0] != '\0' && radix[1] == '\0') c = radix[0];
        freelocale(loc);
    }
    return c;
}

}  // namespace bm::system_text
