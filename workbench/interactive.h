#pragma once

// The workbench used by hand: steps typed at a prompt, and every dialog,
// message box and popup menu put to the person as text.

#include <istream>
#include <ostream>
#include <string>

#include "workbench/session.h"
#include "workbench/workbench_runtime.h"

namespace bm::workbench {

class TerminalPerson : public Person {
public:
    TerminalPerson(std::istream& in, std::ostream& out, WorkbenchRuntime& runtime)
        : in_(in), out_(out), runtime_(runtime) {}

    void Answer(DialogKind kind, ui::Form& form) override;
    std::string PickMenu(const std::vector<ui::MenuEntry>& entries) override;

private:
    void Show(DialogKind kind, ui::Form& form);
    bool ReadLine(const std::string& prompt, std::string& line);

    std::istream& in_;
    std::ostream& out_;
    WorkbenchRuntime& runtime_;
};

// Reads steps from `in` until its end or "quit", running each at once. A
// failing step is reported on `err` and the session goes on. True when
// every step ran.
bool RunInteractive(Session& session, const MemoryHost& host, std::istream& in, std::ostream& out,
                    std::ostream& err);

}  // namespace bm::workbench
