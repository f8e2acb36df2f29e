#pragma once

// What the user's system says about text: how letters map to upper case and
// which character separates decimals. One implementation per platform
// (platform/portable/system_text.cpp over the C library's locales,
// platform/win32/system_text.cpp over the Windows national-language calls),
// so that the core itself includes no platform header.

#include <string>
#include <string_view>

namespace bm::system_text {

// The upper-case form of valid UTF-8 text as the user's locale maps letters,
// one code point for one (mappings that change the length, such as "ß" to
// "SS", are not made). Letters beyond the Basic Multilingual Plane map too.
std::string upper_case(std::string_view utf8);

// The decimal separator of the user's number settings when it is a single
// ASCII character, else the period.
char decimal_separator();

}  // namespace bm::system_text
