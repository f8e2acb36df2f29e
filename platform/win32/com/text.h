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

inline std::wstring Utf16(std::string_view utf8) { return to_utf16<wchar_t>(utf8); }

inline std::string Utf8(std::wstring_view utf16) { return from_utf16<wchar_t>(utf16); }

inline BSTR ToBstr(std::string_view utf8) {
    const std::wstring wide = Utf16(utf8);
    BSTR text = SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size()));
    if (!text) throw std::bad_alloc();
    return text;
}

inline std::string FromBstr(BSTR text) { return Utf8(std::wstring_view(text, SysStringLen(text))); }

}  // namespace bm::win32
