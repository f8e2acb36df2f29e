#pragma once

// What the dialog tests need to know of the desktop they run on.

#include <windows.h>

namespace bm::test {

// Wine without a display driver makes no windows at all.
inline bool DesktopMakesWindows() {
    HWND probe = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
    if (!probe) return false;
    DestroyWindow(probe);
    return true;
}

}  // namespace bm::test
