#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "core/error.h"
#include "platform/portable/headless_runtime.h"

namespace bm::portable {
namespace {

using ui::Form;

// A dialog that writes its events into a shared log.
class LoggedForm : public Form {
public:
    LoggedForm(HeadlessRuntime& runtime, std::string kind, std::vector<std::string>& log)
        : Form(runtime), kind_(std::move(kind)), log_(log) {}
    std::string Caption() const override { return " Logged " + kind_; }
    std::string Kind() const override { return kind_; }
    void Form_Load() override {
        note("load");
        if (onLoad) onLoad();
    }
    void Form_Activate() override { note("activate"); }
    void Form_Shown() override {
        note("shown");
        if (onShown) onShown();
    }
    void Form_Unload() override { note("unload"); }

    std::function<void()> onLoad, onShown;

private:
    void note(const std::string& event) { log_.push_back(kind_ + " " + event); }
    std::string kind_;
    std::vector<std::string>& log_;
};

class HeadlessModal : public testing::Test {
protected:
    HeadlessRuntime runtime;
    std::vector<std::string> log;
    LoggedForm a{runtime, "a", log};
    LoggedForm b{runtime, "b", log};
};

TEST_F(HeadlessModal, PlaysTheExpectedActionsOnTheShownDialog) {
    runtime.Expect<LoggedForm>("a", [&](LoggedForm& f) {
        EXPECT_EQ(&f, &a);
        EXPECT_TRUE(f.Visible());
        log.push_back("a answered");
        runtime.Hide(f);
    });
    runtime.ShowModal(a);
    EXPECT_EQ(log, (std::vector<std::string>{"a load", "a activate", "a shown", "a answered"}));
    EXPECT_EQ(runtime.Shown(), std::vector<std::string>{"a"});
    EXPECT_EQ(runtime.PendingExpectations(), 0u);
    // Hidden, not unloaded: the caller can still read it.
    EXPECT_TRUE(a.Loaded());
    EXPECT_FALSE(a.Visible());
}

TEST_F(HeadlessModal, ClosingANestedDialogActivatesTheOneBeneath) {
    runtime.Expect("a", [&](Form& f) {
        runtime.ShowModal(b);
        runtime.Unload(f);
    });
    runtime.Expect("b", [&](Form& f) { runtime.Unload(f); });
    runtime.ShowModal(a);
    EXPECT_EQ(log, (std::vector<std::string>{"a load", "a activate", "a shown", "b load", "b activate", "b shown",
                                             "b unload", "a activate", "a unload"}));
    EXPECT_EQ(runtime.Shown(), (std::vector<std::string>{"a", "b"}));
}

TEST_F(HeadlessModal, DialogThatClosesItselfNeedsNoExpectation) {
    a.onShown = [&] { runtime.Unload(a); };
    runtime.Expect("b", [](Form&) {});
    runtime.ShowModal(a);
    EXPECT_FALSE(a.Loaded());
    EXPECT_EQ(runtime.PendingExpectations(), 1u);
}

struct FailureCase {
    const char* name;
    std::function<void(HeadlessRuntime&)> queue;
    std::string message;
};

void PrintTo(const FailureCase& c, std::ostream* os) { *os << c.name; }

class HeadlessModalFailure : public HeadlessModal, public testing::WithParamInterface<FailureCase> {};

TEST_P(HeadlessModalFailure, NamesTheDialogAndUnloadsIt) {
    GetParam().queue(runtime);
    try {
        runtime.ShowModal(a);
        FAIL() << "expected a failure";
    } catch (const Error& e) {
        EXPECT_EQ(e.kind(), ErrorKind::InvalidArgument);
        EXPECT_EQ(e.what(), GetParam().message);
    }
    EXPECT_FALSE(a.Loaded());
    EXPECT_EQ(log.back(), "a unload");
}

INSTANTIATE_TEST_SUITE_P(
    Scripts, HeadlessModalFailure,
    testing::Values(
        FailureCase{"NothingQueued", [](HeadlessRuntime&) {}, "dialog 'a' ( Logged a) opened with no expectation"},
        FailureCase{"OtherDialogQueued", [](HeadlessRuntime& r) { r.Expect("options", [](Form&) {}); },
                    "dialog 'a' ( Logged a) opened but the next expected dialog is 'options'"},
        FailureCase{"ActionsLeaveItOpen", [](HeadlessRuntime& r) { r.Expect("a", [](Form&) {}); },
                    "dialog 'a' ( Logged a) still open after the expected actions"}),
    [](const auto& row) { return std::string(row.param.name); });

TEST_F(HeadlessModal, FailureInANestedDialogUnloadsEveryOpenDialog) {
    runtime.Expect("a", [&](Form&) { runtime.ShowModal(b); });
    EXPECT_THROW(runtime.ShowModal(a), Error);
    EXPECT_FALSE(a.Loaded());
    EXPECT_FALSE(b.Loaded());
    EXPECT_EQ(log.back(), "a unload");
    // The dialog beneath is not activated again on the way out.
    EXPECT_EQ(std::count(log.begin(), log.end(), "a activate"), 1);
}

TEST_F(HeadlessModal, FailedLoadLeavesNothingOpen) {
    a.onLoad = [] { raise(ErrorKind::InvalidPropertyValue, "bad value"); };
    runtime.Expect("a", [](Form&) {});
    try {
        runtime.ShowModal(a);
        FAIL() << "expected the load's failure";
    } catch (const Error& e) {
        EXPECT_EQ(e.kind(), ErrorKind::InvalidPropertyValue);
    }
    EXPECT_FALSE(a.Loaded());
    EXPECT_TRUE(runtime.Shown().empty());
    EXPECT_EQ(runtime.PendingExpectations(), 1u);
}

TEST_F(HeadlessModal, PopupMenuAnswersQueuedPicksThenDismisses) {
    runtime.PickMenu("miEAdd");
    const std::vector<ui::MenuEntry> entries{{"miEAdd", "Add"}, {"", ""}};
    EXPECT_EQ(runtime.PopupMenu(a, entries), "miEAdd");
    EXPECT_EQ(runtime.PopupMenu(a, entries), "");
    EXPECT_EQ(runtime.Menus().size(), 2u);
}

TEST(HeadlessScreen, FailedQueriesAnswerZeros) {
    HeadlessRuntime runtime;
    runtime.SetWorkArea({0, 0, 800, 600}, false);
    runtime.SetScreenSize(800, 600, false);
    ui::Rect area{1, 2, 3, 4};
    std::int32_t width = 5, height = 6;
    EXPECT_FALSE(runtime.WorkArea(area));
    EXPECT_FALSE(runtime.ScreenSize(width, height));
    EXPECT_EQ(area.left + area.top + area.right + area.bottom + width + height, 0);
}

}  // namespace
}  // namespace bm::portable
