// Letter case and the decimal separator from the user's Windows settings.
// The C runtime's towupper maps only ASCII in the "C" locale, so case-blind
// name matching asks the system's national-language support instead.

#include "core/system_text.h"

#include <windows.h>

#include <string>

namespace bm::system_text {
namespace {

std::wstring Utf16(std::string_view utf8) {
    if (utf8.empty()) return {};
    const int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), wide.data(), n);
    return wide;
}

std::string Utf8(const std::wstring& wide) {
    if (wide.empty()) return {};
    const int n = WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), nullptr,
                                      0, nullptr, nullptr);
    std::string utf8(static_cast<std::size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), utf8.data(), n,
                        nullptr, nullptr);
    return utf8;
}

}  // namespace

std::string upper_case(std::string_view utf8) {
    const std::wstring wide = Utf16(utf8);
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
    return Utf8(upper);
}

char decimal_separator() {
    wchar_t separator[8] = {};
    const int n = GetLocaleInfoEx(LOCALE_NAME_USER_DEFAULT, LOCALE_SDECIMAL, separator, 8);
    // n counts the terminating NUL: one character means n == 2.
    if (n == 2 && separator[0] > 0 && separator[0] < 0x80) return static_cast<char>(separator[0]);
    return '.';
}

}  // namespace bm::system_text
