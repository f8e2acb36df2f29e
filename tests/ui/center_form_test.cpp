#include <gtest/gtest.h>

#include <climits>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "core/error.h"
#include "platform/portable/headless_runtime.h"
#include "ui/mod_utility.h"

namespace bm::ui {
namespace {

using portable::HeadlessRuntime;

class SizedForm : public Form {
public:
    SizedForm(FormsRuntime& runtime, float width, float height) : Form(runtime) { SetSize(width, height); }
    std::string Caption() const override { return "Sized"; }
    std::string Kind() const override { return "sized"; }
};

struct ScreenCase {
    const char* name;
    Rect area;
    bool workAreaKnown;
    bool screenKnown;  // the whole screen is 1024 x 768
    float tppX, tppY;
    float width, height;
    float left, top;
};

void PrintTo(const ScreenCase& c, std::ostream* os) { *os << c.name; }

class CenterOnScreen : public testing::TestWithParam<ScreenCase> {};

TEST_P(CenterOnScreen, MovesOnlyThePosition) {
    const ScreenCase& c = GetParam();
    HeadlessRuntime screen;
    screen.SetWorkArea(c.area, c.workAreaKnown);
    screen.SetScreenSize(1024, 768, c.screenKnown);
    screen.SetTwipsPerPixel(c.tppX, c.tppY);
    SizedForm form(screen, c.width, c.height);

    CenterForm(form, screen);

    EXPECT_EQ(form.Left(), c.left);
    EXPECT_EQ(form.Top(), c.top);
    EXPECT_EQ(form.Width(), c.width);
    EXPECT_EQ(form.Height(), c.height);
}

INSTANTIATE_TEST_SUITE_P(
    WorkAreas, CenterOnScreen,
    testing::Values(
        ScreenCase{"PlainDesktop", {0, 0, 1024, 738}, true, true, 15, 15, 6960, 4920, 4200, 3075},
        ScreenCase{"TaskBarAtTop", {0, 30, 1024, 768}, true, true, 15, 15, 6960, 4920, 4200, 3525},
        ScreenCase{"TaskBarAtLeft", {60, 0, 1024, 768}, true, true, 15, 15, 6960, 4920, 4650, 3300},
        // -1001 halves toward zero to -500, not -501.
        ScreenCase{"FormWiderThanWorkArea", {0, 0, 1024, 738}, true, true, 15, 15, 16361, 4920, -500, 3075},
        // 1.5 x 3 = 4.5 goes down to 4, 1.5 x 5 = 7.5 up to 8.
        ScreenCase{"TwipsRoundHalfToEven", {0, 0, 3, 5}, true, true, 1.5f, 1.5f, 0, 0, 2, 4},
        // 30 - 0.5 = 29.5 rounds to 30 before it is halved.
        ScreenCase{"DifferenceRoundsBeforeHalving", {0, 0, 2, 2}, true, true, 15, 15, 0.5f, 0, 15, 15},
        ScreenCase{"FailedQueryUsesWholeScreen", {0, 0, 800, 600}, false, true, 15, 15, 6960, 4920, 4200, 3300},
        ScreenCase{"NothingKnownCentresOnOrigin", {0, 0, 800, 600}, false, false, 15, 15, 6960, 4920, -3480,
                   -2460}),
    [](const auto& row) { return std::string(row.param.name); });

struct OverflowCase {
    const char* name;
    Rect area;
    float tpp;
};

void PrintTo(const OverflowCase& c, std::ostream* os) { *os << c.name; }

class CenterOnScreenOverflow : public testing::TestWithParam<OverflowCase> {};

TEST_P(CenterOnScreenOverflow, FailsWithoutMoving) {
    const OverflowCase& c = GetParam();
    HeadlessRuntime screen;
    screen.SetWorkArea(c.area);
    screen.SetTwipsPerPixel(c.tpp, c.tpp);
    SizedForm form(screen, 0, 0);
    form.Move(7, 9);
    try {
        CenterForm(form, screen);
        FAIL() << "expected an overflow";
    } catch (const Error& e) {
        EXPECT_EQ(e.kind(), ErrorKind::Overflow) << e.what();
    }
    EXPECT_EQ(form.Left(), 7);
    EXPECT_EQ(form.Top(), 9);
}

INSTANTIATE_TEST_SUITE_P(
    Limits, CenterOnScreenOverflow,
    testing::Values(OverflowCase{"PixelWidth", {INT_MIN, 0, 1, 10}, 15},
                    OverflowCase{"PixelHeight", {0, INT_MIN, 10, 1}, 15},
                    OverflowCase{"OriginInTwips", {200'000'000, 0, 200'000'010, 10}, 15},
                    // 750,000,000 + 1,500,000,000 leaves 32 bits.
                    OverflowCase{"FinalAddition", {0, 1'000'000'000, 10, 2'000'000'000}, 1.5f}),
    [](const auto& row) { return std::string(row.param.name); });

// A reference window whose properties are read by name; one of them may
// fail to answer.
class Window : public Bounds {
public:
    Window(double left, double top, double width, double height,
           std::vector<std::string>* reads = nullptr, std::string failing = "")
        : left_(left), top_(top), width_(width), height_(height), reads_(reads),
          failing_(std::move(failing)) {}
    double Width() const override { return note("Width", width_); }
    double Left() const override { return note("Left", left_); }
    double Height() const override { return note("Height", height_); }
    double Top() const override { return note("Top", top_); }

private:
    double note(const char* name, double value) const {
        if (reads_) reads_->push_back(name);
        if (name == failing_) raise(ErrorKind::HostFailure, std::string(name) + " did not answer");
        return value;
    }
    double left_, top_, width_, height_;
    std::vector<std::string>* reads_;
    std::string failing_;
};

struct WindowCase {
    const char* name;
    double refLeft, refTop, refWidth, refHeight;
    float width, height;
    float left, top;
};

void PrintTo(const WindowCase& c, std::ostream* os) { *os << c.name; }

class CenterOverWindow : public testing::TestWithParam<WindowCase> {};

TEST_P(CenterOverWindow, MovesOnlyThePosition) {
    const WindowCase& c = GetParam();
    HeadlessRuntime screen;
    SizedForm form(screen, c.width, c.height);
    CenterForm(form, Window(c.refLeft, c.refTop, c.refWidth, c.refHeight));
    EXPECT_EQ(form.Left(), c.left);
    EXPECT_EQ(form.Top(), c.top);
    EXPECT_EQ(form.Width(), c.width);
    EXPECT_EQ(form.Height(), c.height);
}

INSTANTIATE_TEST_SUITE_P(References, CenterOverWindow,
                         testing::Values(WindowCase{"OddWidthDifference", 1000, 2000, 9001, 5000, 6000, 3000, 2500, 3000},
                                         WindowCase{"FractionalPosition", 1000.25, 10.75, 100, 50, 40, 20, 1030.25f,
                                                    25.75f},
                                         WindowCase{"FormLargerThanWindow", 0, 0, 100, 100, 301, 300, -100, -100}),
                         [](const auto& row) { return std::string(row.param.name); });

// A reference that fails to answer leaves the form where it stood and passes
// the failure on. The properties are read in a fixed order (Width, Left,
// Height, Top), so a failure stops the reads that come after it.
TEST(CenterOverWindowReads, AFailingReferenceLeavesTheFormInPlace) {
    const std::vector<std::string> order{"Width", "Left", "Height", "Top"};
    for (std::size_t failing = 0; failing < order.size(); ++failing) {
        HeadlessRuntime screen;
        SizedForm form(screen, 10, 10);
        form.Move(7, 9);
        std::vector<std::string> reads;
        try {
            CenterForm(form, Window(0, 0, 100, 100, &reads, order[failing]));
            ADD_FAILURE() << order[failing] << ": the failure did not reach the caller";
        } catch (const Error& e) {
            EXPECT_EQ(e.kind(), ErrorKind::HostFailure) << order[failing];
        }
        EXPECT_EQ(form.Left(), 7) << order[failing];
        EXPECT_EQ(form.Top(), 9) << order[failing];
        EXPECT_EQ(reads, std::vector<std::string>(order.begin(), order.begin() + failing + 1))
            << order[failing];
    }
}

TEST(CenterOverWindowReads, HugeDifferenceOverflows) {
    HeadlessRuntime screen;
    SizedForm form(screen, 10, 10);
    try {
        CenterForm(form, Window(0, 0, 5e9, 100));
        FAIL() << "expected an overflow";
    } catch (const Error& e) {
        EXPECT_EQ(e.kind(), ErrorKind::Overflow);
    }
}

}  // namespace
}  // namespace bm::ui
