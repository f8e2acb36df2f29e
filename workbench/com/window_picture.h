#pragma once

// Pictures of windows as a person sees them on the screen, saved as PNG
// files: the workbench keeps one of each dialog as it opens, so a reader
// sees the add-in without installing it.

#include <windows.h>

#include <filesystem>

namespace bm::workbench {

// Saves what the screen shows inside `window`'s rectangle (its frame and
// caption included) to `file`. Fails with a bm::Error (HostFailure) saying
// what the system refused.
void SaveWindowPicture(HWND window, const std::filesystem::path& file);

}  // namespace bm::workbench
