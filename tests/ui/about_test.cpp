#include <gtest/gtest.h>

#include <ostream>
#include <string>

#include "platform/portable/headless_runtime.h"
#include "platform/portable/memory_raster.h"
#include "ui/frm_about.h"
#include "ui/frm_act.h"
#include "ui/logo.h"

namespace bm::ui {
namespace {

using portable::HeadlessRuntime;
using portable::MemoryRaster;

// The logo as it must appear: the form's face colour through every key pixel.
Image LogoOnFace() {
    Image expected = Logo();
    for (int y = 0; y < expected.Height(); ++y) {
        for (int x = 0; x < expected.Width(); ++x) {
            if (expected.At(x, y) == kKeyGreen) expected.Set(x, y, kButtonFace);
        }
    }
    return expected;
}

class AboutBox : public testing::Test {
protected:
    HeadlessRuntime runtime;
    MemoryRaster raster;
    frmAbout about{runtime, raster};
};

TEST_F(AboutBox, OpensCentredWithTheLogoPainted) {
    runtime.Expect<frmAbout>("about", [&](frmAbout& box) {
        // 5475 x 1860 inside a dialog frame: 5565 x 2265 on a 15360 x 11070 work area.
        EXPECT_EQ(box.Left(), 4897);
        EXPECT_EQ(box.Top(), 4402);
        EXPECT_EQ(raster.Shown(box.picViz), LogoOnFace());
        box.cmdOK_Click();
    });
    runtime.ShowModal(about);
    EXPECT_EQ(runtime.Shown(), std::vector<std::string>{"about"});
    EXPECT_FALSE(about.Loaded());
    EXPECT_EQ(raster.LiveObjects(), 0u);
}

class AboutBoxCloses : public AboutBox, public testing::WithParamInterface<void (frmAbout::*)()> {};

TEST_P(AboutBoxCloses, AndUnloads) {
    runtime.Expect<frmAbout>("about", [&](frmAbout& box) { (box.*GetParam())(); });
    EXPECT_NO_THROW(runtime.ShowModal(about));
    EXPECT_FALSE(about.Loaded());
}

INSTANTIATE_TEST_SUITE_P(Ways, AboutBoxCloses,
                         testing::Values(&frmAbout::cmdOK_Click, &frmAbout::PressEnter, &frmAbout::PressEscape));

struct MailCase {
    std::intptr_t shellResult;
    bool fails;
};

void PrintTo(const MailCase& c, std::ostream* os) { *os << "shell result " << c.shellResult; }

class AboutBoxMail : public AboutBox, public testing::WithParamInterface<MailCase> {};

TEST_P(AboutBoxMail, ReportsAFailedStartOncePerClickAndStaysOpen) {
    runtime.SetShellResult(GetParam().shellResult);
    runtime.Expect<frmAbout>("about", [&](frmAbout& box) {
        box.lblEmail_Click();
        box.lblEmail_Click();
        EXPECT_TRUE(box.Visible());
        box.cmdOK_Click();
    });
    runtime.ShowModal(about);
    const std::string link = "mailto:support@quillfern.example";
    EXPECT_EQ(runtime.OpenedLinks(), (std::vector<std::string>{link, link}));
    ASSERT_EQ(runtime.Messages().size(), GetParam().fails ? 2u : 0u);
    for (const auto& message : runtime.Messages()) {
        EXPECT_EQ(message.text, "Unable to open email program");
        EXPECT_EQ(message.style, kMsgBoxOkOnly);
        EXPECT_EQ(message.title, "");
    }
}

INSTANTIATE_TEST_SUITE_P(ShellResults, AboutBoxMail,
                         testing::Values(MailCase{0, true}, MailCase{2, true}, MailCase{32, true},
                                         MailCase{33, false}, MailCase{42, false}, MailCase{-1, false}));

TEST_F(AboutBox, CoveredLogoComesBackOnlyWithTheNextActivation) {
    frmAct interlude(runtime);
    runtime.Expect<frmAbout>("about", [&](frmAbout& box) {
        raster.Refresh(box.picViz);  // covered and uncovered
        EXPECT_EQ(raster.Shown(box.picViz), Image(57, 56, kButtonFace));
        // A dialog over the box closes: the box is activated again.
        runtime.ShowModal(interlude);
        EXPECT_EQ(raster.Shown(box.picViz), LogoOnFace());
        box.cmdOK_Click();
    });
    runtime.ShowModal(about);
}

TEST(Interlude, ClosesItselfAtOnceOnEveryShow) {
    HeadlessRuntime runtime;
    frmAct interlude(runtime);
    runtime.ShowModal(interlude);
    runtime.ShowModal(interlude);
    EXPECT_EQ(runtime.Shown(), (std::vector<std::string>{"act", "act"}));
    EXPECT_FALSE(interlude.Loaded());
}

TEST(Pictures, LogoGroundIsKeyGreenWithoutAGreenFringe) {
    const Image& logo = Logo();
    ASSERT_EQ(logo.Width(), 57);
    ASSERT_EQ(logo.Height(), 56);
    EXPECT_EQ(logo.At(0, 0), kKeyGreen);
    EXPECT_EQ(logo.At(56, 55), kKeyGreen);
    int drawn = 0;
    for (int y = 0; y < logo.Height(); ++y) {
        for (int x = 0; x < logo.Width(); ++x) {
            const Color c = logo.At(x, y);
            if (c == kKeyGreen) continue;
            ++drawn;
            const int red = c & 0xFF, green = c >> 8 & 0xFF, blue = c >> 16 & 0xFF;
            EXPECT_FALSE(green > 200 && red < 60 && blue < 60) << "greenish pixel at " << x << "," << y;
        }
    }
    EXPECT_GT(drawn, 300);
}

TEST(Pictures, SelectionIconsHaveTheirSizes) {
    const std::pair<int, int> sizes[] = {{14, 12}, {14, 12}, {26, 11}, {16, 12}};
    for (std::size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(SelectionIcons()[i].Width(), sizes[i].first) << "icon " << i;
        EXPECT_EQ(SelectionIcons()[i].Height(), sizes[i].second) << "icon " << i;
    }
}

}  // namespace
}  // namespace bm::ui
