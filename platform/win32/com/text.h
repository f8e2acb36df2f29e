#pragma once

// Text between the add-in's UTF-8 and the UTF-16 of the Windows W calls,
// BSTRs and error descriptions, decoded as the portable face decodes it
// (core/utf8.h): a byte that starts no well-formed sequence becomes one
// U+FFFD, and so does a lone surrogate on the way back. Embedded NULs are
// kept; nothing here fails but for memory.

#include <windows.h>

#include <oleauto.h>

#include <new>
#include <string>
#include <string_view>

#include "core/utf8.h"

namespace bm::win32 {
namespace text_detail {

inline constexpr char32_t kReplacement = 0xFFFD;

inline bool IsHighSurrogate(wchar_t c) { return c >= 0xD800 && c <= 0xDBFF; }
inline bool IsLowSurrogate(wchar_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

}  // namespace text_detail

inline std::wstring Utf16(std::string_view utf8) {
    std::wstring wide;
    wide.reserve(utf8.size());
    for (std::size_t i = 0; i < utf8.size();) {
        const Utf8Sequence s = decode_utf8(utf8, i);
        const char32_t c = s.length ? s.code_point : text_detail::kReplacement;
        i += s.length ? s.length : 1;
        if (c >= 0x10000) {
            wide.push_back(static_cast<wchar_t>(0xD800 + ((c - 0x10000) >> 10)));
            wide.push_back(static_cast<wchar_t>(0xDC00 + ((c - 0x10000) & 0x3FF)));
        } else {
            wide.push_back(static_cast<wchar_t>(c));
        }
    }
    return wide;
}

inline std::string Utf8(std::wstring_view utf16) {
    std::string utf8;
    utf8.reserve(utf16.size());
    for (std::size_t i = 0; i < utf16.size(); ++i) {
        const wchar_t c = utf16[i];
        if (text_detail::IsHighSurrogate(c) && i + 1 < utf16.size() && text_detail::IsLowSurrogate(utf16[i + 1])) {
            append_utf8(utf8, 0x10000 + ((char32_t(c) - 0xD800) << 10) + (char32_t(utf16[i + 1]) - 0xDC00));
            ++i;
        } else {
            const bool lone = text_detail::IsHighSurrogate(c) || text_detail::IsLowSurrogate(c);
            append_utf8(utf8, lone ? text_detail::kReplacement : char32_t(c));
        }
    }
    return utf8;
}

inline BSTR ToBstr(std::string_view utf8) {
    const std::wstring wide = Utf16(utf8);
    BSTR text = SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size()));
    if (!text) throw std::bad_alloc();
    return text;
}

inline std::string FromBstr(BSTR text) { return Utf8(std::wstring_view(text, SysStringLen(text))); }

}  // namespace bm::win32
