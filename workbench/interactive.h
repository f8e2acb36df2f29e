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

// Reads steps until the end of input, "quit", or Ctrl-C twice on an empty
// line, running each at once. A failing step, or one typed wrong, is
// reported on `err` and the session goes on. `output` is the file written
// at the end (empty for none); unless `force`, a hidden failure holds it
// back, and the person is told when that happens. True when every step
// ran.
bool RunInteractive(Session& session, const MemoryHost& host, LineReader& reader, const std::string& output,
                    bool force, std::ostream& out, std::ostream& err);

// Asks whether to write `file`, held back by a hidden failure, all the
// same. Anything but yes is no.
bool AskToWrite(LineReader& reader, const std::string& file, std::ostream& out);

}  // namespace bm::workbench
