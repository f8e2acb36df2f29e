#include "platform/portable/headless_runtime.h"

#include "core/error.h"

namespace bm::portable {

namespace {

std::string Describe(const ui::Form& form) {
    return "dialog '" + form.Kind() + "' (" + form.Caption() + ")";
}

}  // namespace

void HeadlessRuntime::Expect(const std::string& kind, Actions actions) {
    expectations_.push_back({kind, std::move(actions)});
}

void HeadlessRuntime::ShowModal(ui::Form& form) {
    bool stacked = false;
    try {
        Load(form);
        set_visible(form, true);
        shown_.push_back(form.Kind());
        modalStack_.push_back(&form);
        stacked = true;
        form.Form_Activate();
        form.Form_Shown();
        // A dialog that closed itself on showing needs no one to answer it.
        if (form.Visible()) {
            if (expectations_.empty()) raise(ErrorKind::InvalidArgument, Describe(form) + " opened with no expectation");
            if (expectations_.front().kind != form.Kind()) {
                raise(ErrorKind::InvalidArgument, Describe(form) + " opened but the next expected dialog is '" +
                                                      expectations_.front().kind + "'");
            }
            Actions actions = std::move(expectations_.front().actions);
            expectations_.pop_front();
            actions(form);
            if (form.Visible()) raise(ErrorKind::InvalidArgument, Describe(form) + " still open after the expected actions");
        }
    } catch (...) {
        if (stacked) modalStack_.pop_back();
        // The original failure matters more than one met while unloading.
        try {
            Unload(form);
        } catch (...) {
        }
        throw;
    }
    modalStack_.pop_back();
    if (!modalStack_.empty() && modalStack_.back()->Visible()) modalStack_.back()->Form_Activate();
}

bool HeadlessRuntime::WorkArea(ui::Rect& area) {
    area = workAreaWorks_ ? workArea_ : ui::Rect{};
    return workAreaWorks_;
}

bool HeadlessRuntime::ScreenSize(std::int32_t& widthPx, std::int32_t& heightPx) {
    widthPx = screenKnown_ ? screenWidth_ : 0;
    heightPx = screenKnown_ ? screenHeight_ : 0;
    return screenKnown_;
}

int HeadlessRuntime::MsgBox(const std::string& text, int style, const std::string& title) {
    messages_.push_back({text, style, title});
    return ui::kMsgBoxAnswerOk;
}

std::string HeadlessRuntime::PopupMenu(ui::Form& /*owner*/, const std::vector<ui::MenuEntry>& entries) {
    menus_.push_back(entries);
    if (menuPicks_.empty()) return {};
    std::string pick = std::move(menuPicks_.front());
    menuPicks_.pop_front();
    return pick;
}

std::intptr_t HeadlessRuntime::ShellOpen(const std::string& target) {
    links_.push_back(target);
    return shellResult_;
}

}  // namespace bm::portable
