#pragma once

// The workbench used by hand: steps typed at a prompt, and every dialog,
// message box and popup menu put to the person as text.

#include <ostream>
#include <string>

#include "workbench/line_reader.h"
#include "workbench/session.h"
#include "workbench/workbench_runtime.h"

namespace bm::workbench {

class TerminalPerson : public Person {
public:
    TerminalPerson(LineReader& reader, std::ostream& out, WorkbenchRuntime& runtime)
        : reader_(reader), out_(out), runtime_(runtime) {}

    void Answer(DialogKind kind, ui::Form& form) override;
    std::string PickMenu(const std::vector<ui::MenuEntry>& entries) override;

private:
    void Show(DialogKind kind, ui::Form& form);

    LineReader& reader_;
    std::ostream& out_;
    WorkbenchRuntime& runtime_;
};

// Reads steps until the end of input or "quit", running each at once. A
// failing step, or one typed wrong, is reported on `err` and the session
// goes on. True when every step ran.
bool RunInteractive(Session& session, const MemoryHost& host, LineReader& reader, std::ostream& out,
                    std::ostream& err);

}  // namespace bm::workbench
