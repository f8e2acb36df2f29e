#pragma once

// The interlude form shown after a copy. Its button takes the focus as soon
// as the window shows, and that unloads the window, so the modal show that
// opened it returns at once: the host's main window only loses and regains
// the activation. One instance serves every show; it loads anew each time.

#include <string>

#include "ui/forms.h"

namespace bm::ui {

class frmAct : public Form {
public:
    explicit frmAct(FormsRuntime& runtime);

    std::string Caption() const override { return "Form1"; }
    std::string Kind() const override { return "act"; }

    const Button Command1{"Command1", {30, 30, 1245, 285}};

    // The first control has the focus once the window shows.
    void Form_Shown() override { Command1_GotFocus(); }
    void Command1_GotFocus();
};

}  // namespace bm::ui
