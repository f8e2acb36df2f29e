#pragma once

// What the dialog tests need to know of the desktop they run on.

#include <windows.h>

#include <string>

#include "platform/win32/dialog_controls.h"

namespace bm::test {

// Wine without a display driver makes no windows at all.
inline bool DesktopMakesWindows() {
    HWND probe = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
    if (!probe) return false;
    DestroyWindow(probe);
    return true;
}

namespace detail {

struct FormSearch {
    const wchar_t* caption;
    HWND found;
};

inline BOOL CALLBACK ConsiderForm(HWND window, LPARAM data) {
    auto& search = *reinterpret_cast<FormSearch*>(data);
    wchar_t text[128] = L"";
    wchar_t name[64] = L"";
    GetWindowTextW(window, text, 128);
    GetClassNameW(window, name, 64);
    if (std::wstring(name) != bm::win32::dialog::kFormClass || std::wstring(text) != search.caption) return TRUE;
    search.found = window;
    return FALSE;
}

}  // namespace detail

// The add-in's form of that thread with that caption, or null. Not a search
// of the whole desktop: programs running beside the test (ctest runs two at
// a time) show the same forms, and driving theirs would leave this one up.
inline HWND FormOfThread(DWORD thread, const wchar_t* caption) {
    detail::FormSearch search{caption, nullptr};
    EnumThreadWindows(thread, &detail::ConsiderForm, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

}  // namespace bm::test
