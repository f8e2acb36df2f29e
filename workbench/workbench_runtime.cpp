#include "workbench/workbench_runtime.h"

#include "ui/forms.h"
#include "workbench/text.h"

namespace bm::workbench {

namespace {

std::string Named(DialogKind kind, const std::string& caption) {
    const std::string shown(Trim(caption));
    return std::string(KindTitle(kind)) + (shown.empty() ? "" : " \"" + shown + "\"");
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
}

WorkbenchRuntime::Answer WorkbenchRuntime::TakeExpectation(DialogKind kind, const std::string& caption) {
    if (pending_.empty() || pending_.front().kind != kind) {
        std::string what = "the " + Named(kind, caption) + " opened, but ";
        if (pending_.empty())
            what += "no 'expect " + std::string(KindName(kind)) + "' line was waiting for it";
        else
            what += "the next expectation (line " + std::to_string(pending_.front().line) + ") is for the " +
                    std::string(KindTitle(pending_.front().kind));
        Fault(what);
        throw ScriptFault(what);
    }
    Answer answer{pending_.front().line, std::move(pending_.front().actions)};
    pending_.pop_front();
    std::string played;
    for (const auto& a : answer.actions) played += (played.empty() ? "" : ", ") + a.Text();
    out_ << "  " << Named(kind, caption) << ": " << played << "  (expect at line " << answer.line << ")\n";
    out_.flush();
    return answer;
}

void WorkbenchRuntime::Refused(const ScriptFault& fault, int line) {
    Fault(std::string(fault.what()) + " (expect at line " + std::to_string(line) + ")");
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

    if (!kind) {
        try {
            HeadlessRuntime::ShowModal(form);
        } catch (const std::exception& e) {
            // A dialog the workbench does not know stayed open with no one
            // to answer it.
            Fault(e.what());
            throw;
        }
        return;
    }
    if (person_) {
        Expect(std::string(KindName(*kind)), [this, k = *kind](ui::Form& f) { person_->Answer(k, f); });
        HeadlessRuntime::ShowModal(form);
        return;
    }

    std::optional<Answer> answer;
    try {
        answer = TakeExpectation(*kind, form.Caption());
    } catch (...) {
        UnloadQuietly(*this, form);
        throw;
    }
    Expect(std::string(KindName(*kind)), [this, k = *kind, a = std::move(*answer)](ui::Form& f) {
        for (const auto& action : a.actions) {
            try {
                PlayAction(k, f, action, *this);
            } catch (const ScriptFault& e) {
                Refused(e, a.line);
                throw;
            }
        }
    });
    HeadlessRuntime::ShowModal(form);
}

void WorkbenchRuntime::PrintMessageBox(const std::string& text, int style, const std::string& title) {
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
}

void WorkbenchRuntime::PrintOpenedLink(const std::string& target) {
    out_ << "  opened the link " << target << "\n";
    out_.flush();
}

int WorkbenchRuntime::MsgBox(const std::string& text, int style, const std::string& title) {
    HeadlessRuntime::MsgBox(text, style, title);
    PrintMessageBox(text, style, title);
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
    if (!pick.empty()) EntryToPick(entries, pick);
    return pick;
}

std::intptr_t WorkbenchRuntime::ShellOpen(const std::string& target) {
    const std::intptr_t result = HeadlessRuntime::ShellOpen(target);
    PrintOpenedLink(target);
    return result;
}

}  // namespace bm::workbench
