#pragma once

// A forms runtime without windows, for tests and scripted workbench
// sessions. A caller queues what the person will do in the next dialog of a
// kind; the modal show loads the form, activates it, and plays those actions
// against the form model. Message boxes, popup menus and opened links are
// recorded, and their answers can be set beforehand.

#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "ui/forms.h"

namespace bm::portable {

class HeadlessRuntime : public ui::FormsRuntime {
public:
    using Actions = std::function<void(ui::Form&)>;

    // What the person does in the next dialog of `kind` (Form::Kind()).
    void Expect(const std::string& kind, Actions actions);
    // Typed form of Expect for a dialog model class F.
    template <class F>
    void Expect(const std::string& kind, std::function<void(F&)> actions) {
        Expect(kind, [a = std::move(actions)](ui::Form& f) { a(dynamic_cast<F&>(f)); });
    }
    // Expectations queued but never used.
    std::size_t PendingExpectations() const { return expectations_.size(); }

    // The entry the next popup menu returns ("" dismisses it).
    void PickMenu(const std::string& toolName) { menuPicks_.push_back(toolName); }

    struct Message {
        std::string text;
        int style = 0;
        std::string title;
    };
    const std::vector<Message>& Messages() const { return messages_; }
    // Popup menus opened, each as the entries it showed.
    const std::vector<std::vector<ui::MenuEntry>>& Menus() const { return menus_; }
    // Dialog kinds shown modally, in order.
    const std::vector<std::string>& Shown() const { return shown_; }
    const std::vector<std::string>& OpenedLinks() const { return links_; }

    void SetWorkArea(ui::Rect area, bool queryWorks = true) {
        workArea_ = area;
        workAreaWorks_ = queryWorks;
    }
    void SetTwipsPerPixel(float x, float y) {
        tppX_ = x;
        tppY_ = y;
    }
    void SetShellResult(std::intptr_t result) { shellResult_ = result; }
    std::size_t DoEventsCount() const { return doEvents_; }

    // FormsRuntime
    void ShowModal(ui::Form& form) override;
    void DoEvents() override { ++doEvents_; }
    bool WorkArea(ui::Rect& area) override;
    float TwipsPerPixelX() override { return tppX_; }
    float TwipsPerPixelY() override { return tppY_; }
    int MsgBox(const std::string& text, int style, const std::string& title) override;
    std::string PopupMenu(ui::Form& owner, const std::vector<ui::MenuEntry>& entries) override;
    std::intptr_t ShellOpen(const std::string& target) override;

private:
    struct Expectation {
        std::string kind;
        Actions actions;
    };
    std::deque<Expectation> expectations_;
    std::deque<std::string> menuPicks_;
    std::vector<Message> messages_;
    std::vector<std::vector<ui::MenuEntry>> menus_;
    std::vector<std::string> shown_;
    std::vector<std::string> links_;
    std::vector<ui::Form*> modalStack_;
    ui::Rect workArea_{0, 0, 1024, 738};
    bool workAreaWorks_ = true;
    float tppX_ = 15.0f, tppY_ = 15.0f;
    std::intptr_t shellResult_ = 42;
    std::size_t doEvents_ = 0;
};

}  // namespace bm::portable
