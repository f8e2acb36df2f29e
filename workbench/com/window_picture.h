#pragma once

// Pictures of windows as a person sees them on the screen, saved as PNG
// files: the workbench keeps one of each dialog as it opens, so a reader
// sees the add-in without installing it.

#include <windows.h>

#include <filesystem>
#include <vector>

namespace bm::workbench {

// Saves what the screen shows in the smallest rectangle around `windows`
// (frames and captions included; a dialog with its open popup menu, say)
// to `file`. Fails with a bm::Error (HostFailure) saying what the system
// refused.
void SaveWindowPicture(const std::vector<HWND>& windows, const std::filesystem::path& file);

}  // namespace bm::workbench
