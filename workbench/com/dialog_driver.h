#pragma once

// The person at the Windows desktop, as a script's `expect` steps describe
// them. The add-in shows its dialogs as real windows, modal on the thread
// that called it; while a step runs, a second thread finds each window the
// add-in opens (its forms, message boxes and popup menus), asks the
// workbench runtime what to do in it, exactly as the other face's modal
// show does, and does it with the messages a person's clicks and keys send
// to the real controls (platform/win32/dialog_controls.h names them). What
// a person could not do fails the step with the same fault as there.
//
// The driver never waits on the add-in's thread by a plain SendMessage:
// clicks and keys are posted, state is read with SendMessageTimeout, and
// after each action it waits until the add-in's thread has taken what was
// posted or a new window (a nested dialog, a popup menu) has opened.

#include <filesystem>
#include <functional>
#include <optional>

#include "workbench/workbench_runtime.h"

namespace bm::workbench::com {

class DialogDriver {
public:
    // With `pictures`, a PNG of each dialog is saved there as it opens, with
    // its popup menu open, and as it is left after a change (NN-kind.png,
    // NN-kind-menu.png, NN-kind-changed.png, numbered in the session's order).
    DialogDriver(WorkbenchRuntime& runtime, std::optional<std::filesystem::path> pictures)
        : runtime_(runtime), pictures_(std::move(pictures)) {}

    // Runs `step` on this thread and answers the windows it opens meanwhile.
    void Play(const std::function<void()>& step);

private:
    WorkbenchRuntime& runtime_;
    std::optional<std::filesystem::path> pictures_;
    int picturesTaken_ = 0;
};

}  // namespace bm::workbench::com
