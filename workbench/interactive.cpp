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

// One setting as the options dialog shows it: name, what its control
// shows, the control's caption.
std::vector<std::string> OptionRow(frmOptions& form, Settings::Field f) {
    std::string shown, caption;
    {
        if (f < Settings::kMass) {
            shown = Box(form.chkOption[static_cast<std::size_t>(f)]);
            caption = Plain(form.chkOption[static_cast<std::size_t>(f)].caption);
        } else {
            const auto row = static_cast<std::size_t>((f - Settings::kMass) / 3);
            switch ((f - Settings::kMass) % 3) {
                case 0:
                    shown = Box(form.chkPhysical[row]);
                    caption = Plain(form.chkPhysical[row].caption);
                    break;
                case 1:
                    shown = Box(form.chkZero[row]);
                    caption = Plain(form.chkZero[row].caption);
                    break;
                default: {
                    const auto index = form.cboPrec[row].ListIndex();
                    shown = index < 0 ? "( )" : " " + std::to_string(index);
                    caption = Plain(form.Label1[row].caption);
                }
            }
        }
    }
    return {Settings::property_name(f), shown, caption};
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
    out << "  '>' marks the cursor, '*' the selected rows, '+' a folded model.\n"
           "  Type toggle ROW, select ROW[,ROW...], current ROW, expand ROW, collapse ROW,\n"
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

// The first words of the vocabulary's lines, and what they take.
std::vector<std::string> DialogWords(DialogKind kind) {
    std::vector<std::string> words{"help"};
    for (const auto& help : ActionHelp(kind)) words.push_back(Words(help).front());
    if (kind == DialogKind::kOptions)
        for (int i = 0; i < Settings::kFieldCount; ++i)
            words.emplace_back(Settings::property_name(static_cast<Settings::Field>(i)));
    if (kind == DialogKind::kFiles)
        for (const auto& tool : MenuToolNames()) words.push_back(tool);
    return words;
}

std::vector<std::string> StepWords(const MemoryHost& host) {
    std::vector<std::string> words{"addin",    "load",     "unload", "open",  "show",  "command", "options",
                                   "copy",     "commands", "settings", "registry", "calls", "batch", "help",
                                   "quit"};
    for (const auto& document : host.Documents()) {
        words.push_back(document->display_name());
        words.push_back(document->full_name());
    }
    return words;
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
    const std::vector<std::string> completions = DialogWords(kind);
    Show(kind, form);
    while (form.Visible()) {
        std::string line;
        if (!reader_.Read(prompt, completions, line)) {
            // The person has gone: the window is closed, which keeps nothing.
            PlayAction(kind, form, DialogAction{kind == DialogKind::kMessage ? "ok" : "close", {}}, runtime_);
            return;
        }
        auto words = Words(line);
        if (kind == DialogKind::kMessage) words = {"ok"};
        if (words.empty()) continue;
        if (words[0] == "help" || words[0] == "?") {
            for (const auto& help : ActionHelp(kind)) out_ << "  " << help << "\n";
            continue;
        }
        DialogAction action;
        try {
            action = ParseActions(kind, words, false).front();
            PlayAction(kind, form, action, runtime_);
        } catch (const ActionSyntaxError& e) {
            out_ << "  " << e.what() << "\n";
            continue;
        } catch (const ScriptFault& e) {
            out_ << "  " << e.what() << "\n";
            continue;
        }
        if (!form.Visible()) continue;
        if (kind == DialogKind::kOptions && action.verb == "set") {
            // Only the setting that changed is shown again.
            auto& options = dynamic_cast<frmOptions&>(form);
            for (int i = 0; i < Settings::kFieldCount; ++i) {
                const auto f = static_cast<Settings::Field>(i);
                if (Lower(Settings::property_name(f)) != Lower(action.args[0])) continue;
                const auto row = OptionRow(options, f);
                out_ << "  " << row[0] << "  " << row[1] << "  " << row[2] << "\n";
            }
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
    while (true) {
        std::string line;
        std::vector<std::string> choices;
        for (std::size_t i = 0; i < numbered.size(); ++i) choices.push_back(numbered[i]->name);
        if (!reader_.Read("menu (number, tool name, or Enter to close it)> ", choices, line)) return {};
        const auto words = Words(line);
        if (words.empty()) return {};
        const ui::MenuEntry* picked = nullptr;
        for (std::size_t i = 0; i < numbered.size(); ++i)
            if (words[0] == std::to_string(i + 1) || words[0] == numbered[i]->name) picked = numbered[i];
        if (!picked) {
            out_ << "  no entry '" << words[0] << "'\n";
        } else if (!picked->enabled) {
            out_ << "  \"" << picked->caption << "\" is greyed out\n";
        } else {
            return picked->name;
        }
    }
}

bool RunInteractive(Session& session, const MemoryHost& host, LineReader& reader, std::ostream& out,
                    std::ostream& err) {
    out << "Type a step (help lists them, Tab completes; quit or end of input leaves).\n";
    const std::vector<std::string> completions = StepWords(host);
    bool allRan = true;
    for (int number = 1;; ++number) {
        std::string line;
        if (!reader.Read("host> ", completions, line)) break;
        const auto words = Words(line);
        if (!words.empty() && (words[0] == "quit" || words[0] == "exit")) break;
        if (!words.empty() && (words[0] == "help" || words[0] == "?")) {
            out << StepHelp();
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
        } catch (const ScriptError& e) {
            // A step typed wrong did not run: the session says so at its end.
            allRan = false;
            err << "  " << e.what() << "\n";
        } catch (const std::exception& e) {
            allRan = false;
            err << "  " << FailureKind(e) << ": " << e.what() << "\n";
        }
        out.flush();
        err.flush();
    }
    return allRan;
}

}  // namespace bm::workbench
