#pragma once

// A forms runtime without windows, for tests and scripted workbench
// sessions. A caller queues what the person will do in the next dialog of a
// kind; the modal show loads the form, activates it, and plays those actions
// against the form model. Message boxes, popup menus and opened links are
// recorded, and their answers can be set beforehand.
//
// A modal show fails with an InvalidArgument error, naming the dialog, when
// the next queued expectation is for another kind of dialog, when none is
// queued, or when the dialog is still open after its actions; any failure
// leaving a modal show unloads that dialog first, so none stays half-open.
// When a modal dialog closes over another one that is still shown, the one
// beneath is activated again, as a desktop does.

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

    // A failing query answers false with an all-zero rectangle.
    void SetWorkArea(ui::Rect area, bool queryWorks = true) {
        workArea_ = area;
        workAreaWorks_ = queryWorks;
    }
    void SetScreenSize(std::int32_t widthPx, std::int32_t heightPx, bool known = true) {
        screenWidth_ = widthPx;
        screenHeight_ = heightPx;
        screenKnown_ = known;
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
    bool ScreenSize(std::int32_t& widthPx, std::int32_t& heightPx) override;
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
    std::int32_t screenWidth_ = 1024, screenHeight_ = 768;
    bool screenKnown_ = true;
    float tppX_ = 15.0f, tppY_ = 15.0f;
    std::intptr_t shellResult_ = 42;
    std::size_t doEvents_ = 0;
};

}  // namespace bm::portable
