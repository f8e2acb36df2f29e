#pragma once

// The forms runtime of the workbench: the headless runtime, plus what a
// session needs around it.
//
// - Message boxes are dialogs like the others: each is printed as it
//   appears and then needs an expectation (or the person) to close it.
// - Scripted expectations remember their script line, and each dialog
//   answered from one is printed with the actions played.
// - A dialog that opens with no expectation for it, or an action a person
//   could not do, is kept as the session's fault even when the add-in
//   swallows the failure (its document-activation handler does), so the
//   step that caused it still fails.
// - With a Person set, nothing is expected: every dialog, message box and
//   popup menu is put to the person at the terminal.
// - Where the add-in shows real windows (the Windows face), a driver finds
//   each one and asks TakeExpectation what to do in it, as ShowModal does
//   here: both faces print the same lines and fail with the same faults.

#include <deque>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "platform/portable/headless_runtime.h"
#include "workbench/dialog_actions.h"

namespace bm::workbench {

// A message box as a dialog model, so that it is answered like the others.
class MessageBoxForm : public ui::Form {
public:
    MessageBoxForm(ui::FormsRuntime& runtime, std::string text, int style, std::string title)
        : Form(runtime), text_(std::move(text)), style_(style), title_(std::move(title)) {}

    std::string Caption() const override { return title_; }
    std::string Kind() const override { return "message"; }
    const std::string& Text() const { return text_; }
    int Style() const { return style_; }
    // Its only button.
    void cmdOK_Click() { Runtime().Unload(*this); }

private:
    std::string text_;
    int style_;
    std::string title_;
};

// Who answers dialogs in an interactive session.
class Person {
public:
    virtual ~Person() = default;
    // Plays what the person types until the dialog closes.
    virtual void Answer(DialogKind kind, ui::Form& form) = 0;
    // The tool picked from a popup menu, or "" to dismiss it.
    virtual std::string PickMenu(const std::vector<ui::MenuEntry>& entries) = 0;
};

class WorkbenchRuntime : public portable::HeadlessRuntime {
public:
    explicit WorkbenchRuntime(std::ostream& out) : out_(out) {}

    // Queues what the person does in the next dialog of `kind`, written at
    // script line `line`.
    void ExpectDialog(DialogKind kind, std::vector<DialogAction> actions, int line);
    // The script line of the first expectation no dialog has used yet.
    std::optional<std::pair<DialogKind, int>> FirstUnused() const;

    // Interactive sessions: the person answers instead of expectations.
    void SetPerson(Person* person) { person_ = person; }
    bool HasPerson() const { return person_ != nullptr; }

    // What the person does in a dialog that has just opened, from the next
    // expectation.
    struct Answer {
        int line;  // of the expect step
        std::vector<DialogAction> actions;
    };
    // Takes the expectation for the dialog of `kind` shown with `caption`
    // and prints the line that says how it is answered. A dialog nobody
    // expected, or one of another kind than the next expectation, is the
    // session's fault: noted, and thrown as ScriptFault.
    Answer TakeExpectation(DialogKind kind, const std::string& caption);
    // An action of the expect step at `line` that a person could not do:
    // noted as the session's fault, with the line.
    void Refused(const ScriptFault& fault, int line);
    // Notes a fault of the session: the first one is kept.
    void Fault(const std::string& what);

    // Prints a message box as it appears (title, icon, text).
    void PrintMessageBox(const std::string& text, int style, const std::string& title);
    // Prints a link the add-in asked the desktop to open.
    void PrintOpenedLink(const std::string& target);

    // The tool the next popup menu picks (a scripted "menu" action).
    void QueueMenuPick(std::string tool) { menuPick_ = std::move(tool); }

    // The first fault met since the last call, and forgets it.
    std::optional<std::string> TakeFault();

    void ShowModal(ui::Form& form) override;
    int MsgBox(const std::string& text, int style, const std::string& title) override;
    std::string PopupMenu(ui::Form& owner, const std::vector<ui::MenuEntry>& entries) override;
    std::intptr_t ShellOpen(const std::string& target) override;

private:
    struct Pending {
        DialogKind kind;
        int line;
        std::vector<DialogAction> actions;
    };

    std::ostream& out_;
    Person* person_ = nullptr;
    std::deque<Pending> pending_;
    std::optional<std::string> menuPick_;
    std::optional<std::string> fault_;
};

// The dialog kind of a form the workbench knows, or nullopt (the
// self-closing interlude, say).
std::optional<DialogKind> DialogKindOf(const ui::Form& form);

}  // namespace bm::workbench
