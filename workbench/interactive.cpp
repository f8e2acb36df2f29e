#include "workbench/interactive.h"

#include <algorithm>

#include "select/frm_files.h"
#include "settings/frm_options.h"
#include "ui/frm_about.h"
#include "workbench/report.h"
#include "workbench/script.h"
#include "workbench/text.h"

namespace bm::workbench {

namespace {

// What the terminal adds to the steps' help.
constexpr const char* kTerminalHelp =
    "  help expect              what you can do in each dialog as it asks you\n"
    "  quit                     end the session: the add-in is unloaded (its settings are\n"
    "                           saved) and --out is written; Ctrl-D does the same, and so\n"
    "                           does Ctrl-C twice on an empty line (once drops a line)\n";

// A caption without its access-key marks: "Copy &Mass" reads "Copy Mass".
std::string Plain(const std::string& caption) {
    std::string out;
    for (std::size_t i = 0; i < caption.size(); ++i) {
        if (caption[i] == '&' && i + 1 < caption.size() && caption[i + 1] != '&') continue;
        out += caption[i];
    }
    return std::string(Trim(out));
}

std::string Box(const ui::CheckBox& box) {
    switch (box.Value()) {
        case 1: return "[x]";
        case 2: return "[-]";
        default: return "[ ]";
    }
}

// One setting as the options dialog shows it: what its control shows, the
// control's caption, and the value OK would write.
struct OptionShown {
    std::string shown, caption, value;
};

OptionShown ShownOption(frmOptions& form, Settings::Field f) {
    const auto box = [](const ui::CheckBox& b) {
        return OptionShown{Box(b), Plain(b.caption), std::to_string(b.Value())};
    };
    if (f < Settings::kMass) return box(form.chkOption[static_cast<std::size_t>(f)]);
    const auto row = static_cast<std::size_t>((f - Settings::kMass) / 3);
    switch ((f - Settings::kMass) % 3) {
        case 0: return box(form.chkPhysical[row]);
        case 1: return box(form.chkZero[row]);
        default: {
            const auto index = form.cboPrec[row].ListIndex();
            return {index < 0 ? "( )" : " " + std::to_string(index), Plain(form.Label1[row].caption),
                    index < 0 ? "none" : std::to_string(index)};
        }
    }
}

std::vector<std::string> OptionRow(frmOptions& form, Settings::Field f) {
    const OptionShown o = ShownOption(form, f);
    return {SettingNames(f), o.shown, o.caption};
}

void ShowOptions(std::ostream& out, frmOptions& form) {
    std::vector<std::vector<std::string>> rows{{"Setting", "Shown", "Control"}};
    for (int i = 0; i < Settings::kFieldCount; ++i) rows.push_back(OptionRow(form, static_cast<Settings::Field>(i)));
    out << "\n" << Plain(form.Caption()) << "\n";
    PrintTable(out, rows, "  ");
    out << "  Type set SETTING VALUE, about, ok or cancel (help lists every action).\n";
}

std::string IconWord(std::int16_t picture) {
    switch (picture) {
        case select::kIconAssembly: return "assembly";
        case select::kIconPart: return "part";
        case select::kIconPresentation: return "presentation";
        default: return {};
    }
}

void ShowFiles(std::ostream& out, select::frmFiles& form) {
    select::OutlineGrid& grid = form.fgFiles();
    out << "\n" << Plain(form.Caption()) << " - " << form.Label1.caption << "\n";
    std::vector<std::int32_t> selected;
    for (std::int32_t i = 0; i < grid.SelectedRows(); ++i) selected.push_back(grid.SelectedRow(i));
    for (std::int32_t r = 0; r < grid.Rows(); ++r) {
        if (!grid.RowShown(r)) continue;
        const bool isSelected = std::find(selected.begin(), selected.end(), r) != selected.end();
        std::string line = std::string(grid.Row() == r ? ">" : " ") + (isSelected ? "*" : " ");
        std::string number = std::to_string(r + 1);
        line += std::string(number.size() < 4 ? 4 - number.size() : 0, ' ') + number + " ";
        line += grid.Checked(r, 1) == select::kChecked ? "[x] " : "[ ] ";
        if (grid.IsNode(r)) {
            line += std::string(grid.IsCollapsed(r) ? "+ " : "- ") + grid.Text(r, 2);
            const std::string icon = IconWord(grid.Picture(r, 2));
            if (!icon.empty()) line += "  (" + icon + ")";
        } else {
            line += "   " + grid.Text(r, 2);
        }
        out << line << "\n";
    }
    if (grid.Rows() == 0) out << "  (no rows)\n";
    out << "  '>' marks the cursor, '*' the selected rows, [x] a checked row (copied on OK), [ ] an\n"
           "  unchecked one, '+' a folded model row and '-' an unfolded one.\n"
           "  Type toggle ROW, select ROW[,ROW...], current ROW, expand [ROW], collapse [ROW],\n"
           "  menu (the popup menu), ok or cancel (help lists every action).\n";
}

void ShowAbout(std::ostream& out, ui::frmAbout& form) {
    out << "\n" << Plain(form.Caption()) << "\n"
        << "  " << form.lblTitle.caption << "\n"
        << "  " << form.lblMaker.caption << "\n"
        << "  " << form.Label3.caption << form.lblEmail.caption << "  (mail opens the link)\n"
        << "  " << form.Label1.caption << "\n"
        << "  Type mail or ok.\n";
}

// What may be typed next in a dialog: an action, then what that action
// takes.
std::vector<std::string> DialogWords(DialogKind kind, const std::vector<std::string>& before) {
    if (before.empty()) {
        std::vector<std::string> words{"help"};
        for (const auto& help : ActionHelp(kind)) words.push_back(Words(help).front());
        return words;
    }
    const std::string verb = Lower(before.front());
    if (before.size() == 1 && kind == DialogKind::kOptions && verb == "set") return SettingWords();
    if (before.size() == 1 && kind == DialogKind::kFiles && verb == "menu") return MenuToolNames();
    return {};
}

// A name as a person types it: in double quotes when it holds a blank.
std::string Typed(const std::string& name) {
    return name.find(' ') == std::string::npos ? name : "\"" + name + "\"";
}

// What may be typed next at the host's prompt: a step, then what it takes.
std::vector<std::string> StepWords(const MemoryHost& host, const std::vector<std::string>& before) {
    if (before.empty())
        return {"addin",    "open",     "show",  "command", "commands", "settings", "registry",
                "calls",    "batch",    "help",  "quit"};
    const std::string verb = Lower(before.front());
    std::vector<std::string> words;
    if (verb == "open" || verb == "show") {
        // A name with blanks typed without quotes goes on after the words so far.
        std::string typed;
        for (std::size_t i = 1; i < before.size(); ++i) typed += before[i] + " ";
        const bool quoted = typed.starts_with('"');
        if (quoted) typed.erase(0, 1);
        for (const auto& document : host.Documents())
            for (const std::string& name : {document->display_name(), document->full_name()}) {
                if (before.size() == 1)
                    words.push_back(Typed(name));
                else if (name.size() > typed.size() && Lower(name.substr(0, typed.size())) == Lower(typed))
                    words.push_back(name.substr(typed.size()) + (quoted ? "\"" : ""));
            }
        return words;
    }
    if (before.size() > 1) return {};
    if (verb == "addin") return {"load", "unload"};
    if (verb == "command") return {"options", "copy"};
    if (verb == "help") return {"expect"};
    return words;
}

// What closing a dialog at the terminal left, said as it closes: OK in the
// options dialog writes every setting, any other way nothing.
std::string ClosedNote(DialogKind kind, const DialogAction& closing, const std::string& written) {
    const bool ok = closing.verb == "ok" || closing.verb == "enter";
    switch (kind) {
        case DialogKind::kOptions:
            return ok ? "OK wrote the fourteen settings into the add-in: " + written
                      : "the options dialog is closed: nothing written, the add-in keeps its settings as they were";
        case DialogKind::kFiles:
            return ok ? "OK: the checked properties are copied" : "the selection dialog is closed: nothing copied";
        case DialogKind::kAbout: return "the About box is closed";
        case DialogKind::kMessage: return "the message box is closed";
    }
    return {};
}

// The settings whose controls show another value than when the dialog
// opened.
std::string ChangedSettings(frmOptions& form, const std::vector<OptionShown>& opened) {
    std::string changed;
    for (int i = 0; i < Settings::kFieldCount; ++i) {
        const auto f = static_cast<Settings::Field>(i);
        const std::string now = ShownOption(form, f).value;
        if (now != opened[static_cast<std::size_t>(i)].value)
            changed += (changed.empty() ? "" : ", ") + std::string(Settings::property_name(f)) + " " +
                       opened[static_cast<std::size_t>(i)].value + " -> " + now;
    }
    return changed.empty() ? "none changed" : changed;
}

}  // namespace

void TerminalPerson::Show(DialogKind kind, ui::Form& form) {
    switch (kind) {
        case DialogKind::kOptions: return ShowOptions(out_, dynamic_cast<frmOptions&>(form));
        case DialogKind::kFiles: return ShowFiles(out_, dynamic_cast<select::frmFiles&>(form));
        case DialogKind::kAbout: return ShowAbout(out_, dynamic_cast<ui::frmAbout&>(form));
        case DialogKind::kMessage: out_ << "  Press Enter for OK.\n"; return;
    }
}

void TerminalPerson::Answer(DialogKind kind, ui::Form& form) {
    const std::string prompt = std::string(KindName(kind)) + "> ";
    const Completer completer = [kind](const std::vector<std::string>& before) { return DialogWords(kind, before); };
    std::vector<OptionShown> opened;
    if (kind == DialogKind::kOptions)
        for (int i = 0; i < Settings::kFieldCount; ++i)
            opened.push_back(ShownOption(dynamic_cast<frmOptions&>(form), static_cast<Settings::Field>(i)));
    Show(kind, form);
    while (form.Visible()) {
        std::string line;
        const LineReader::Reading reading = reader_.Read(prompt, completer, line);
        if (reading == LineReader::Reading::kCancel && !Trim(line).empty()) continue;  // only the line is dropped
        std::vector<std::string> words;
        if (reading != LineReader::Reading::kLine) {
            // Ctrl-C on an empty line presses Escape; the end of input (the
            // person has gone) closes the window. Neither keeps anything.
            const bool escape = reading == LineReader::Reading::kCancel;
            words = {kind == DialogKind::kMessage ? "ok" : escape ? "escape" : "close"};
            out_ << "  (" << (escape ? "Ctrl-C" : "end of input") << ": "
                 << words[0] << ")\n";
        } else {
            words = Words(line);
        }
        if (kind == DialogKind::kMessage) words = {"ok"};
        if (words.empty()) continue;
        if (Lower(words[0]) == "help" || words[0] == "?") {
            for (const auto& help : ActionHelp(kind)) out_ << "  " << help << "\n";
            continue;
        }
        DialogAction action;
        std::string written;
        try {
            action = ParseActions(kind, words, false).front();
            if (kind == DialogKind::kOptions && action.Closes())
                written = ChangedSettings(dynamic_cast<frmOptions&>(form), opened);
            PlayAction(kind, form, action, runtime_);
        } catch (const ActionSyntaxError& e) {
            out_ << "  " << e.what() << "\n";
            continue;
        } catch (const ScriptFault& e) {
            out_ << "  " << e.what() << "\n";
            continue;
        }
        if (!form.Visible()) {
            out_ << "  " << ClosedNote(kind, action, written) << "\n";
            return;
        }
        if (kind == DialogKind::kOptions && action.verb == "set") {
            // Only the setting that changed is shown again.
            const auto row = OptionRow(dynamic_cast<frmOptions&>(form), SettingNamed(action.args[0]));
            out_ << "  " << row[0] << "  " << row[1] << "  " << row[2] << "\n";
            continue;
        }
        Show(kind, form);
    }
}

std::string TerminalPerson::PickMenu(const std::vector<ui::MenuEntry>& entries) {
    out_ << "  Popup menu:\n";
    std::vector<const ui::MenuEntry*> numbered;
    for (const auto& e : entries) {
        if (e.separator()) {
            out_ << "        ----\n";
            continue;
        }
        numbered.push_back(&e);
        out_ << "    " << numbered.size() << "  " << (e.checked ? "[x] " : "") << e.caption << "  (" << e.name
             << ")" << (e.enabled ? "" : "  greyed out") << "\n";
    }
    std::vector<std::string> tools;
    for (const auto* e : numbered) tools.push_back(e->name);
    const Completer completer = [&tools](const std::vector<std::string>& before) {
        return before.empty() ? tools : std::vector<std::string>{};
    };
    while (true) {
        std::string line;
        const LineReader::Reading reading =
            reader_.Read("menu (number, tool name, or Enter to close it)> ", completer, line);
        if (reading == LineReader::Reading::kCancel && !Trim(line).empty()) continue;
        const auto words = Words(line);
        if (reading != LineReader::Reading::kLine || words.empty()) return {};
        const ui::MenuEntry* picked = nullptr;
        for (std::size_t i = 0; i < numbered.size(); ++i)
            if (words[0] == std::to_string(i + 1) || Lower(words[0]) == Lower(numbered[i]->name)) picked = numbered[i];
        if (!picked) {
            out_ << "  no entry '" << words[0] << "': type a number from 1 to " << numbered.size()
                 << " or a tool name\n";
        } else if (!picked->enabled) {
            out_ << "  \"" << picked->caption << "\" is greyed out\n";
        } else {
            return picked->name;
        }
    }
}

bool RunInteractive(Session& session, const MemoryHost& host, LineReader& reader, const std::string& output,
                    bool force, std::ostream& out, std::ostream& err) {
    out << "Type a step (help lists them, Tab completes; quit, Ctrl-D or Ctrl-C twice leaves).\n";
    const Completer completer = [&host](const std::vector<std::string>& before) { return StepWords(host, before); };
    bool allRan = true;
    bool leaving = false;  // a Ctrl-C on an empty line: the next one ends the session
    bool heldBackSaid = false;
    for (int number = 1;; ++number) {
        std::string line;
        const LineReader::Reading reading = reader.Read("host> ", completer, line);
        if (reading == LineReader::Reading::kEnd || reading == LineReader::Reading::kTerminate) break;
        if (reading == LineReader::Reading::kCancel) {
            if (!Trim(line).empty()) {
                leaving = false;
                continue;
            }
            if (leaving) break;
            leaving = true;
            out << "  (Ctrl-C again, Ctrl-D or quit ends the session: the add-in is unloaded, its settings saved"
                << (output.empty() ? "" : ", and " + output + " written") << ")\n";
            continue;
        }
        leaving = false;
        const auto words = Words(line);
        if (!words.empty() && (Lower(words[0]) == "quit" || Lower(words[0]) == "exit")) break;
        if (!words.empty() && (Lower(words[0]) == "help" || words[0] == "?")) {
            out << (words.size() > 1 && Lower(words[1]) == "expect" ? ExpectHelp() : StepHelp() + kTerminalHelp);
            continue;
        }
        try {
            const auto step = ParseStep(line, number, host);
            if (!step) continue;
            if (step->type == Step::Type::kExpect) {
                out << "  No need to expect anything here: each dialog asks you as it opens.\n";
                continue;
            }
            session.Run(*step);
        } catch (const UnknownStep& e) {
            allRan = false;
            err << "  " << e.what() << "; help lists them, quit ends the session\n";
        } catch (const ScriptError& e) {
            // A step typed wrong did not run: the session says so at its end.
            allRan = false;
            err << "  " << e.what() << "\n";
        } catch (const std::exception& e) {
            allRan = false;
            err << "  " << FailureKind(e) << ": " << e.what() << "\n";
        }
        if (session.HidFailures() && !output.empty() && !force && !heldBackSaid) {
            heldBackSaid = true;
            out << "  " << output
                << " is held back from here on, since what the add-in left may be half done; when the session "
                   "ends you are asked whether to write it all the same\n";
        }
        out.flush();
        err.flush();
    }
    return allRan;
}

bool AskToWrite(LineReader& reader, const std::string& file, std::ostream& out) {
    out << file << " is held back: the add-in hid a failed host call (see the warning above).\n";
    const Completer completer = [](const std::vector<std::string>& before) {
        return before.empty() ? std::vector<std::string>{"yes", "no"} : std::vector<std::string>{};
    };
    std::string answer;
    if (reader.Read("Write it all the same? (yes/no) ", completer, answer) != LineReader::Reading::kLine) return false;
    const std::string word = Lower(Trim(answer));
    return word == "yes" || word == "y";
}

}  // namespace bm::workbench
