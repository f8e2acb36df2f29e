#pragma once

// GUIDs and their registry text.

#include <objbase.h>

#include <string>
#include <string_view>

#include "platform/win32/com/text.h"

namespace bm::win32 {

// "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}", as the registry keys name ids.
inline std::wstring GuidText(REFGUID guid) {
    wchar_t text[40] = {};
    StringFromGUID2(guid, text, 40);
    return text;
}

// The GUID that `text` spells in that form; GUID_NULL for anything else.
inline GUID GuidOf(std::wstring_view text) {
    GUID guid{};
    const std::wstring terminated(text);
    if (FAILED(IIDFromString(terminated.c_str(), &guid))) return GUID_NULL;
    return guid;
}
inline GUID GuidOf(std::string_view text) { return GuidOf(Utf16(text)); }

}  // namespace bm::win32
