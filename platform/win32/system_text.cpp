// Letter case and the decimal separator from the user's Windows settings.
// The C runtime's towupper maps only ASCII in the "C" locale, so case-blind
// name matching asks the system's national-language support instead.

#include "core/system_text.h"

#include <windows.h>

#include <string>

#include "platform/win32/com/text.h"

namespace bm::system_text {
std::string upper_case(std::string_view utf8) {
    const std::wstring wide = win32::Utf16(utf8);
    if (wide.empty()) return std::string(utf8);
    // Upper-casing keeps the number of UTF-16 units, surrogate pairs included.
    // Linguistic casing follows the user's language and maps letters such as
    // the final sigma and the dotless i, which the plain table leaves alone.
    std::wstring upper(wide.size(), L'\0');
    const int n = LCMapStringEx(LOCALE_NAME_USER_DEFAULT, LCMAP_UPPERCASE | LCMAP_LINGUISTIC_CASING,
                                wide.data(),
                                static_cast<int>(wide.size()), upper.data(),
                                static_cast<int>(upper.size()), nullptr, nullptr, 0);
    if (n != static_cast<int>(wide.size())) return std::string(utf8);
    return win32::Utf8(upper);
}

char decimal_separator() {
    wchar_t separator[8] = {};
    const int n = GetLocaleInfoEx(LOCALE_NAME_USER_DEFAULT, LOCALE_SDECIMAL, separator, 8);
    // n counts the terminating NUL: one character means n == 2.
    if (n == 2 && separator[0] > 0 && separator[0] < 0x80) return static_cast<char>(separator[0]);
    return '.';
}

}  // namespace bm::system_text
