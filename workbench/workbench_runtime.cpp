#include "workbench/workbench_runtime.h"

#include <algorithm>

#include "ui/forms.h"
#include "workbench/text.h"

namespace bm::workbench {

namespace {

std::string Named(DialogKind kind, const ui::Form& form) {
    const std::string caption(Trim(form.Caption()));
    return std::string(KindTitle(kind)) + (caption.empty() ? "" : " \"" + caption + "\"");
}

const char* IconName(int style) {
    switch (style & 0x70) {
        case 16: return "stop";
        case 32: return "question";
        case 48: return "exclamation";
        case 64: return "information";
        default: return nullptr;
    }
}

// Unloads a form that failed on its way up, keeping the first failure.
void UnloadQuietly(ui::FormsRuntime& runtime, ui::Form& form) {
    try {
        runtime.Unload(form);
    } catch (...) {
    }
}

}  // namespace

std::optional<DialogKind> DialogKindOf(const ui::Form& form) {
    const std::string kind = form.Kind();
    for (auto k : {DialogKind::kOptions, DialogKind::kFiles, DialogKind::kAbout, DialogKind::kMessage})
        if (KindName(k) == kind) return k;
    return std::nullopt;
}

void WorkbenchRuntime::ExpectDialog(DialogKind kind, std::vector<DialogAction> actions, int line) {
    pending_.push_back({kind, line, std::move(actions)});
    Expect(std::string(KindName(kind)), [this](ui::Form& form) {
        const Pending pending = std::move(pending_.front());
        pending_.pop_front();
        Answered(form, pending);
    });
}

void WorkbenchRuntime::Answered(ui::Form& form, const Pending& pending) {
    const DialogKind kind = pending.kind;
    std::string played;
    for (const auto& a : pending.actions) played += (played.empty() ? "" : ", ") + a.Text();
    out_ << "  " << Named(kind, form) << ": " << played << "  (expect at line " << pending.line << ")\n";
    for (const auto& action : pending.actions) {
        try {
            PlayAction(kind, form, action, *this);
        } catch (const ScriptFault& e) {
            Fault(std::string(e.what()) + " (expect at line " + std::to_string(pending.line) + ")");
            throw;
        }
    }
}

std::optional<std::pair<DialogKind, int>> WorkbenchRuntime::FirstUnused() const {
    if (pending_.empty()) return std::nullopt;
    return std::make_pair(pending_.front().kind, pending_.front().line);
}

std::optional<std::string> WorkbenchRuntime::TakeFault() {
    auto fault = std::move(fault_);
    fault_.reset();
    return fault;
}

void WorkbenchRuntime::Fault(const std::string& what) {
    if (!fault_) fault_ = what;
}

void WorkbenchRuntime::ShowModal(ui::Form& form) {
    const std::optional<DialogKind> kind = DialogKindOf(form);
    // A dialog that fails to load is the add-in's failure, not the
    // script's: it never came up for anyone to answer.
    try {
        Load(form);
    } catch (...) {
        UnloadQuietly(*this, form);
        throw;
    }

    if (person_ && kind) {
        Expect(std::string(KindName(*kind)), [this, k = *kind](ui::Form& f) { person_->Answer(k, f); });
        HeadlessRuntime::ShowModal(form);
        return;
    }

    if (kind && (pending_.empty() || pending_.front().kind != *kind)) {
        std::string what = "the " + Named(*kind, form) + " opened, but ";
        if (pending_.empty())
            what += "no 'expect " + std::string(KindName(*kind)) + "' line was waiting for it";
        else
            what += "the next expectation (line " + std::to_string(pending_.front().line) + ") is for the " +
                    std::string(KindTitle(pending_.front().kind));
        Fault(what);
        UnloadQuietly(*this, form);
        throw ScriptFault(what);
    }

    const std::size_t before = pending_.size();
    try {
        HeadlessRuntime::ShowModal(form);
    } catch (const std::exception& e) {
        // A dialog the workbench does not know stayed open with no one to
        // answer it.
        if (pending_.size() == before) Fault(e.what());
        throw;
    }
}

int WorkbenchRuntime::MsgBox(const std::string& text, int style, const std::string& title) {
    HeadlessRuntime::MsgBox(text, style, title);
    out_ << "  message box" << (title.empty() ? "" : " \"" + title + "\"");
    if (const char* icon = IconName(style)) out_ << " (" << icon << ")";
    out_ << ":\n";
    std::string_view rest = text;
    while (true) {
        const auto end = rest.find('\n');
        std::string_view line = rest.substr(0, end);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        out_ << "  | " << line << "\n";
        if (end == std::string_view::npos) break;
        rest.remove_prefix(end + 1);
    }
    out_.flush();
    MessageBoxForm box(*this, text, style, title);
    ShowModal(box);
    return ui::kMsgBoxAnswerOk;
}

std::string WorkbenchRuntime::PopupMenu(ui::Form& owner, const std::vector<ui::MenuEntry>& entries) {
    if (!menuPick_ && person_) {
        HeadlessRuntime::PopupMenu(owner, entries);  // keeps the record of menus shown
        return person_->PickMenu(entries);
    }
    const std::string pick = menuPick_.value_or("");
    menuPick_.reset();
    HeadlessRuntime::PickMenu(pick);
    HeadlessRuntime::PopupMenu(owner, entries);
    if (pick.empty()) return pick;
    const auto entry = std::find_if(entries.begin(), entries.end(),
                                    [&](const ui::MenuEntry& e) { return e.name == pick; });
    if (entry == entries.end()) throw ScriptFault("the popup menu has no entry " + pick);
    if (!entry->enabled)
        throw ScriptFault("the menu entry \"" + entry->caption + "\" (" + pick +
                          ") is greyed out for the rows selected now");
    return pick;
}

std::intptr_t WorkbenchRuntime::ShellOpen(const std::string& target) {
    const std::intptr_t result = HeadlessRuntime::ShellOpen(target);
    out_ << "  opened the link " << target << "\n";
    return result;
}

}  // namespace bm::workbench
