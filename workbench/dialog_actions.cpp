#include "workbench/dialog_actions.h"

#include <algorithm>
#include <charconv>

#include "select/frm_files.h"
#include "settings/frm_options.h"
#include "settings/persistence.h"
#include "settings/settings.h"
#include "ui/frm_about.h"
#include "workbench/text.h"
#include "workbench/workbench_runtime.h"

namespace bm::workbench {

namespace {

struct Verb {
    const char* name;
    int minArgs;
    int maxArgs;
    const char* help;
};

const std::vector<Verb>& Verbs(DialogKind kind) {
    static const std::vector<Verb> options{
        {"set", 2, 2, "set SETTING VALUE   tick (1) or clear (0) a box, or choose a precision 0-8"},
        {"about", 0, 0, "about               click the logo: the About box opens"},
        {"ok", 0, 0, "ok                  press OK: every setting is written"},
        {"cancel", 0, 0, "cancel              press Cancel: nothing is written"},
        {"enter", 0, 0, "enter               press Enter (OK)"},
        {"escape", 0, 0, "escape              press Escape (Cancel)"},
        {"close", 0, 0, "close               close the window: nothing is written"},
    };
    static const std::vector<Verb> files{
        {"toggle", 1, 1, "toggle ROW          double-click a row: its check mark flips"},
        {"select", 1, 1, "select ROW[,ROW..]  click the first row, Ctrl+click the others"},
        {"current", 1, 1, "current ROW         move the cursor to a row; the selection stays"},
        {"expand", 1, 1, "expand [ROW]        unfold a model row; alone: Expand All"},
        {"collapse", 1, 1, "collapse [ROW]      fold a model row; alone: Collapse All"},
        {"menu", 1, 1, "menu TOOL           right-click the list and pick an entry"},
        {"ok", 0, 0, "ok                  press OK: the checked properties are copied"},
        {"cancel", 0, 0, "cancel              press Cancel: nothing is copied"},
        {"enter", 0, 0, "enter               press Enter (OK)"},
        {"escape", 0, 0, "escape              press Escape (Cancel)"},
        {"close", 0, 0, "close               close the window (as Cancel)"},
    };
    static const std::vector<Verb> about{
        {"mail", 0, 0, "mail                click the mail link"},
        {"ok", 0, 0, "ok                  press OK"},
        {"enter", 0, 0, "enter               press Enter (OK)"},
        {"escape", 0, 0, "escape              press Escape (OK)"},
        {"close", 0, 0, "close               close the window"},
    };
    static const std::vector<Verb> message{
        {"ok", 0, 0, "ok                  press OK"},
    };
    switch (kind) {
        case DialogKind::kOptions: return options;
        case DialogKind::kFiles: return files;
        case DialogKind::kAbout: return about;
        case DialogKind::kMessage: return message;
    }
    return message;
}

std::string VerbList(DialogKind kind) {
    std::string out;
    for (const Verb& v : Verbs(kind)) out += (out.empty() ? "" : ", ") + std::string(v.name);
    return out;
}

constexpr std::int32_t kFirstRow = 1;

// A row number as written: 1 to the most rows the dialog holds.
std::int32_t RowNumber(const std::string& word) {
    std::int32_t row = 0;
    const auto [end, ec] = std::from_chars(word.data(), word.data() + word.size(), row);
    if (ec != std::errc() || end != word.data() + word.size() || row < kFirstRow ||
        row > select::kMaxRows)
        throw ActionSyntaxError("'" + word + "' is not a row number (rows count from 1)");
    return row;
}

bool IsPrecision(Settings::Field f) {
    return f == Settings::kMassPrec || f == Settings::kAreaPrec || f == Settings::kVolumePrec;
}

DialogAction CheckedAction(DialogKind kind, const Verb& verb, std::vector<std::string> args) {
    DialogAction action{verb.name, std::move(args)};
    if (kind == DialogKind::kOptions && action.verb == "set") {
        const Settings::Field f = SettingNamed(action.args[0]);
        action.args[0] = Settings::property_name(f);
        const std::string& value = action.args[1];
        const bool precision = IsPrecision(f);
        const bool ok = value.size() == 1 && value[0] >= '0' && value[0] <= (precision ? '8' : '1');
        if (!ok)
            throw ActionSyntaxError(std::string(Settings::property_name(f)) + " takes " +
                                    (precision ? "a precision from 0 to 8" : "0 (clear) or 1 (ticked)") +
                                    ", not '" + value + "'");
    } else if (kind == DialogKind::kFiles) {
        if (action.verb == "menu" && !action.args.empty()) {
            const auto& tools = MenuToolNames();
            std::string& tool = action.args[0];
            const auto known = std::find_if(tools.begin(), tools.end(),
                                            [&](const std::string& t) { return Lower(t) == Lower(tool); });
            if (known == tools.end()) {
                std::string list;
                for (const auto& t : tools) list += (list.empty() ? "" : ", ") + t;
                throw ActionSyntaxError("no menu entry '" + tool + "'; the entries are " + list);
            }
            tool = *known;
        } else if (action.verb == "select") {
            std::string_view rest = action.args[0];
            while (true) {
                const auto comma = rest.find(',');
                RowNumber(std::string(rest.substr(0, comma)));
                if (comma == std::string_view::npos) break;
                rest.remove_prefix(comma + 1);
            }
        } else if (!action.args.empty()) {
            RowNumber(action.args[0]);
        }
    }
    return action;
}

template <class F>
F& As(ui::Form& form) {
    if (auto* typed = dynamic_cast<F*>(&form)) return *typed;
    throw ScriptFault("the " + form.Kind() + " dialog is not the dialog this workbench knows");
}

// The selection dialog's model, seen as a person sees its window.
class GridSight : public OutlineSight {
public:
    explicit GridSight(select::OutlineGrid& grid) : grid_(grid) {}
    std::int32_t Rows() const override { return grid_.Rows(); }
    bool Shown(std::int32_t row) const override { return grid_.RowShown(row); }
    bool IsModelRow(std::int32_t row) const override { return grid_.IsNode(row); }

private:
    select::OutlineGrid& grid_;
};

// A row the person can click: it exists and no folded model row hides it.
std::int32_t ClickableRow(const OutlineSight& outline, std::int32_t row) {
    const std::int32_t number = row + kFirstRow;
    if (row >= outline.Rows())
        throw ScriptFault("row " + std::to_string(number) + " does not exist: the list has " +
                          std::to_string(outline.Rows()) + " rows");
    if (!outline.Shown(row)) {
        std::int32_t model = row - 1;
        while (model > 0 && !outline.IsModelRow(model)) --model;
        throw ScriptFault("row " + std::to_string(number) + " is folded away; unfold it first (expand " +
                          std::to_string(model + kFirstRow) + ", or menu miEExpand)");
    }
    return row;
}

void SetCheckBox(ui::CheckBox& box, std::int16_t wanted) {
    // A person only clicks; a greyed box takes two clicks to clear.
    for (int clicks = 0; box.Value() != wanted && clicks < 2; ++clicks) box.Click();
}

void PlayOptions(frmOptions& form, const DialogAction& a) {
    if (a.verb == "set") {
        const OptionsControl c = ControlOf(a);
        switch (c.group) {
            case OptionsControl::kGeneral: return SetCheckBox(form.chkOption[c.index], c.value);
            case OptionsControl::kCopy: return SetCheckBox(form.chkPhysical[c.index], c.value);
            case OptionsControl::kZero: return SetCheckBox(form.chkZero[c.index], c.value);
            case OptionsControl::kPrecision: return form.cboPrec[c.index].ListIndex(c.value);
        }
    }
    if (a.verb == "about") return form.picViz_Click();
    if (a.verb == "ok") return form.cmdOK_Click();
    if (a.verb == "cancel") return form.cmdCancel_Click();
    if (a.verb == "enter") return form.PressEnter();
    if (a.verb == "escape") return form.PressEscape();
    if (a.verb == "close") return form.CloseBox();
}

void PlayFiles(select::frmFiles& form, const DialogAction& a, WorkbenchRuntime& runtime) {
    select::OutlineGrid& grid = form.fgFiles();
    const GridSight sight(grid);
    if (a.verb == "toggle") {
        grid.Click(ClickableRows(sight, a.args[0]).front());
        return form.fgFiles_DblClick();
    }
    if (a.verb == "select") {
        const auto rows = ClickableRows(sight, a.args[0]);
        for (std::size_t i = 0; i < rows.size(); ++i) {
            if (i == 0)
                grid.Click(rows[i]);
            else
                grid.CtrlClick(rows[i]);
        }
        return;
    }
    if (a.verb == "current") return grid.SetRow(ClickableRows(sight, a.args[0]).front());
    if (a.verb == "expand" || a.verb == "collapse")
        return grid.SetCollapsed(FoldableRow(sight, a.args[0]), a.verb == "collapse");
    if (a.verb == "menu") {
        if (!a.args.empty()) runtime.QueueMenuPick(a.args[0]);
        return form.fgFiles_MouseDown(select::kRightButton, 0, 0, 0);
    }
    if (a.verb == "ok") return form.cmdOK_Click();
    if (a.verb == "cancel") return form.cmdCancel_Click();
    if (a.verb == "enter") return form.PressEnter();
    if (a.verb == "escape") return form.PressEscape();
    if (a.verb == "close") return form.CloseBox();
}

void PlayAbout(ui::frmAbout& form, const DialogAction& a) {
    if (a.verb == "mail") return form.lblEmail_Click();
    if (a.verb == "ok") return form.cmdOK_Click();
    if (a.verb == "enter") return form.PressEnter();
    if (a.verb == "escape") return form.PressEscape();
    if (a.verb == "close") return form.Runtime().Unload(form);
}

}  // namespace

Settings::Field SettingNamed(const std::string& word) {
    std::string known;
    for (int i = 0; i < Settings::kFieldCount; ++i) {
        const auto f = static_cast<Settings::Field>(i);
        if (Lower(Settings::property_name(f)) == Lower(word) || Lower(RegistryValueName(f)) == Lower(word)) return f;
        known += (i ? ", " : "") + SettingNames(f);
    }
    throw ActionSyntaxError("no setting '" + word + "'; the settings are " + known);
}

std::string SettingNames(Settings::Field f) {
    const std::string name = Settings::property_name(f);
    const std::string stored = RegistryValueName(f);
    return stored == name ? name : name + " (" + stored + ")";
}

std::vector<std::string> SettingWords() {
    std::vector<std::string> words;
    for (int i = 0; i < Settings::kFieldCount; ++i) {
        const auto f = static_cast<Settings::Field>(i);
        words.emplace_back(Settings::property_name(f));
        if (RegistryValueName(f) != words.back()) words.emplace_back(RegistryValueName(f));
    }
    return words;
}

std::string_view KindName(DialogKind kind) {
    switch (kind) {
        case DialogKind::kOptions: return "options";
        case DialogKind::kFiles: return "files";
        case DialogKind::kAbout: return "about";
        case DialogKind::kMessage: return "message";
    }
    return "?";
}

std::string_view KindTitle(DialogKind kind) {
    switch (kind) {
        case DialogKind::kOptions: return "options dialog";
        case DialogKind::kFiles: return "selection dialog";
        case DialogKind::kAbout: return "About box";
        case DialogKind::kMessage: return "message box";
    }
    return "?";
}

DialogKind KindFromName(std::string_view name) {
    const std::string lower = Lower(name);
    for (auto kind : {DialogKind::kOptions, DialogKind::kFiles, DialogKind::kAbout, DialogKind::kMessage})
        if (KindName(kind) == lower) return kind;
    throw ActionSyntaxError("no dialog kind '" + std::string(name) +
                            "'; expected options, files, about or message");
}

std::string DialogAction::Text() const {
    std::string out = verb;
    for (const auto& a : args) out += " " + a;
    return out;
}

bool DialogAction::Closes() const {
    return verb == "ok" || verb == "cancel" || verb == "enter" || verb == "escape" || verb == "close";
}

std::optional<DialogKind> KindOfCaption(std::string_view caption) {
    const std::pair<std::string_view, DialogKind> known[] = {{frmOptions::kCaption, DialogKind::kOptions},
                                                             {select::frmFiles::kCaption, DialogKind::kFiles},
                                                             {ui::frmAbout::kCaption, DialogKind::kAbout}};
    for (const auto& [shown, kind] : known)
        if (shown == caption) return kind;
    return std::nullopt;
}

const std::vector<std::string>& MenuToolNames() {
    static const std::vector<std::string> tools{"miEClear", "miEClearAll", "miEAdd", "miEAddAll",
                                                "miEName", "miECollapse", "miEExpand"};
    return tools;
}

std::vector<DialogAction> ParseActions(DialogKind kind, const std::vector<std::string>& words,
                                       bool wholeDialog) {
    std::vector<DialogAction> actions;
    for (std::size_t i = 0; i < words.size();) {
        const std::string verbWord = Lower(words[i]);
        const auto& verbs = Verbs(kind);
        const auto verb = std::find_if(verbs.begin(), verbs.end(),
                                       [&](const Verb& v) { return verbWord == v.name; });
        if (verb == verbs.end())
            throw ActionSyntaxError("the " + std::string(KindTitle(kind)) + " has no action '" + words[i] +
                                    "'; expected " + VerbList(kind));
        ++i;
        // expand and collapse without a row are the menu's Expand All and Collapse All.
        if ((verbWord == "expand" || verbWord == "collapse") &&
            (i == words.size() || words[i].find_first_not_of("0123456789") != std::string::npos)) {
            actions.push_back({"menu", {verbWord == "expand" ? "miEExpand" : "miECollapse"}});
            continue;
        }
        // A person may open the menu and choose from it; a script names the entry.
        const int minArgs = !wholeDialog && verbWord == "menu" ? 0 : verb->minArgs;
        std::vector<std::string> args;
        while (static_cast<int>(args.size()) < verb->maxArgs && i < words.size() &&
               (static_cast<int>(args.size()) < minArgs || !wholeDialog))
            args.push_back(words[i++]);
        // A list of rows may have blanks around its commas: "select 9, 10".
        if (verbWord == "select")
            while (!args.empty() && i < words.size() && (args.back().ends_with(',') || words[i].starts_with(',')))
                args.back() += words[i++];
        if (static_cast<int>(args.size()) < minArgs) {
            const std::string usage = verb->help;
            throw ActionSyntaxError("incomplete '" + verbWord + "': expected " +
                                    usage.substr(0, usage.find("  ")));
        }
        actions.push_back(CheckedAction(kind, *verb, std::move(args)));
        if (!wholeDialog && i < words.size())
            throw ActionSyntaxError("one action at a time: '" + words[i] + "' is left over");
    }
    if (wholeDialog) {
        for (std::size_t i = 0; i + 1 < actions.size(); ++i)
            if (actions[i].Closes())
                throw ActionSyntaxError("'" + actions[i].verb + "' closes the " +
                                        std::string(KindTitle(kind)) + ", but actions follow it");
        if (!actions.empty() && !actions.back().Closes())
            throw ActionSyntaxError("the " + std::string(KindTitle(kind)) +
                                    " must be closed at the end (ok, cancel, ...), or it would stay open");
    }
    if (actions.empty()) throw ActionSyntaxError("no action given; expected " + VerbList(kind));
    return actions;
}

OptionsControl ControlOf(const DialogAction& set) {
    const Settings::Field f = SettingNamed(set.args[0]);
    const auto value = static_cast<std::int16_t>(set.args[1][0] - '0');
    if (f < Settings::kMass) return {OptionsControl::kGeneral, static_cast<std::size_t>(f), value};
    // Then per quantity: its copy box, its leading-zero box, its precision.
    const auto row = static_cast<std::size_t>((f - Settings::kMass) / 3);
    const OptionsControl::Group groups[] = {OptionsControl::kCopy, OptionsControl::kZero, OptionsControl::kPrecision};
    return {groups[(f - Settings::kMass) % 3], row, value};
}

std::vector<std::int32_t> ClickableRows(const OutlineSight& outline, const std::string& numbers) {
    std::vector<std::int32_t> rows;
    std::string_view rest = numbers;
    while (true) {
        const auto comma = rest.find(',');
        rows.push_back(ClickableRow(outline, RowNumber(std::string(rest.substr(0, comma))) - kFirstRow));
        if (comma == std::string_view::npos) break;
        rest.remove_prefix(comma + 1);
    }
    return rows;
}

std::int32_t FoldableRow(const OutlineSight& outline, const std::string& number) {
    const std::int32_t row = ClickableRow(outline, RowNumber(number) - kFirstRow);
    if (!outline.IsModelRow(row)) throw ScriptFault("row " + number + " is a property row; only model rows fold");
    return row;
}

std::size_t EntryToPick(const std::vector<ui::MenuEntry>& entries, const std::string& tool) {
    const auto entry = std::find_if(entries.begin(), entries.end(),
                                    [&](const ui::MenuEntry& e) { return e.name == tool; });
    if (entry == entries.end()) throw ScriptFault("the popup menu has no entry " + tool);
    if (!entry->enabled)
        throw ScriptFault("the menu entry \"" + entry->caption + "\" (" + tool +
                          ") is greyed out for the rows selected now");
    return static_cast<std::size_t>(entry - entries.begin());
}

std::vector<std::string> ActionHelp(DialogKind kind) {
    std::vector<std::string> lines;
    for (const Verb& v : Verbs(kind)) lines.emplace_back(v.help);
    return lines;
}

void PlayAction(DialogKind kind, ui::Form& form, const DialogAction& action,
                WorkbenchRuntime& runtime) {
    switch (kind) {
        case DialogKind::kOptions: return PlayOptions(As<frmOptions>(form), action);
        case DialogKind::kFiles: return PlayFiles(As<select::frmFiles>(form), action, runtime);
        case DialogKind::kAbout: return PlayAbout(As<ui::frmAbout>(form), action);
        case DialogKind::kMessage: return As<MessageBoxForm>(form).cmdOK_Click();
    }
}

}  // namespace bm::workbench
