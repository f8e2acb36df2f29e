#pragma once

// What a person does in a dialog, as words: "set MassPrec 3", "toggle 2",
// "menu miEExpand", "ok". A script line queues a list of them for the next
// dialog of a kind; the terminal reads them one at a time. Either way they
// are played on the dialog model through the same gestures a person makes
// (a click, a double-click, a right-click and a menu pick), so the dialog's
// own handlers do the work.
//
// Rows of the selection dialog are numbered from 1, top to bottom, over
// every row of the outline whether it is folded away or not; a folded-away
// row cannot be clicked until its model row is expanded.

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "settings/settings.h"

namespace bm::ui {
class Form;
struct MenuEntry;
}

namespace bm::workbench {

class WorkbenchRuntime;

// Something the script or the person asked for that cannot be done as
// asked: a row that does not exist, a greyed-out menu entry, a dialog that
// opened with no one to answer it.
class ScriptFault : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A word of the vocabulary that is not known or not well formed; the
// message says what was expected.
class ActionSyntaxError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The dialog kinds a script can expect, named as the dialogs name
// themselves ("options", "files", "about", "message").
enum class DialogKind { kOptions, kFiles, kAbout, kMessage };

std::string_view KindName(DialogKind kind);
// What a person calls it: "options dialog", "selection dialog", ...
std::string_view KindTitle(DialogKind kind);
// The kind named by a word, or throws ActionSyntaxError listing the kinds.
DialogKind KindFromName(std::string_view name);

struct DialogAction {
    std::string verb;               // lower case
    std::vector<std::string> args;  // as written; a setting by its property name
    // As a person would write it: "toggle 2", "set MassPrec 3".
    std::string Text() const;
    // True for the actions that end the dialog (ok, cancel, ...).
    bool Closes() const;
};

// The kind of a dialog by its window caption, or nullopt for one the
// workbench does not know (the self-closing interlude, say).
std::optional<DialogKind> KindOfCaption(std::string_view caption);

// Reads actions from words. With `wholeDialog`, the list must end with one
// action that closes the dialog and hold no other, as a script line must;
// without it the words make exactly one action, as a person types it.
std::vector<DialogAction> ParseActions(DialogKind kind, const std::vector<std::string>& words,
                                       bool wholeDialog);

// The vocabulary of a kind, one line per action, for help texts.
std::vector<std::string> ActionHelp(DialogKind kind);

// Plays one action on `form` (the dialog model that opened; its kind must
// be `kind`). Throws ScriptFault when a person could not do it.
void PlayAction(DialogKind kind, ui::Form& form, const DialogAction& action,
                WorkbenchRuntime& runtime);

// The setting a word names: its property name or its name in the
// registry (MassPrec or MassPrecision), in any letter case. Throws
// ActionSyntaxError listing the settings.
Settings::Field SettingNamed(const std::string& word);
// A setting's names as a list shows them: "MassPrec (MassPrecision)",
// "EraseFirst".
std::string SettingNames(Settings::Field f);
// Every name a setting may be typed by.
std::vector<std::string> SettingWords();

// The menu tools of the selection dialog's popup, top to bottom.
const std::vector<std::string>& MenuToolNames();

// The selection dialog's outline as a person sees it, whichever face shows
// it: enough to tell what can be clicked. Rows count from 0 here.
class OutlineSight {
public:
    virtual ~OutlineSight() = default;
    // Every row, folded away or not.
    virtual std::int32_t Rows() const = 0;
    // False while a folded model row hides it.
    virtual bool Shown(std::int32_t row) const = 0;
    // A model row has a fold button; a property row has none.
    virtual bool IsModelRow(std::int32_t row) const = 0;
};

// The control of the options dialog that a `set` action changes, and the
// value it is set to: a check state (0 or 1) or a precision (0 to 8).
struct OptionsControl {
    enum Group { kGeneral, kCopy, kZero, kPrecision };
    Group group;
    std::size_t index;  // within its group: 0-4 general, else 0 mass, 1 area, 2 volume
    std::int16_t value;
};
OptionsControl ControlOf(const DialogAction& set);

// The rows a row number or a list of them (`select 2,6`) names, from 0,
// each one a person can click now. Throws ScriptFault for a row that does
// not exist or is folded away.
std::vector<std::int32_t> ClickableRows(const OutlineSight& outline, const std::string& numbers);
// The same for one row that must have a fold button.
std::int32_t FoldableRow(const OutlineSight& outline, const std::string& number);

// Where `tool` is among a popup menu's entries, when a person can click it.
// Throws ScriptFault when the menu has no such entry or shows it greyed out.
std::size_t EntryToPick(const std::vector<ui::MenuEntry>& entries, const std::string& tool);

}  // namespace bm::workbench
