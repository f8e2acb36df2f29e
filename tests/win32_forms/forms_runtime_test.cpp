// The Win32 forms runtime on a real desktop: the interlude form comes up as
// a window and closes itself, and dialogs this build cannot show yet are
// refused instead of silently passing for answered.

#include <windows.h>

#include <gtest/gtest.h>

#include "core/error.h"
#include "desktop.h"
#include "platform/win32/win32_forms_runtime.h"
#include "ui/frm_act.h"
#include "win32_forms/desktop.h"

namespace bm {
namespace {

class SomeDialog : public ui::Form {
public:
    using Form::Form;
    std::string Caption() const override { return "Options"; }
    std::string Kind() const override { return "options"; }
};

TEST(Win32FormsRuntime, InterludeShowsAndClosesItself) {
    if (!test::DesktopMakesWindows()) GTEST_SKIP() << "no desktop to show windows on";
    win32::Win32FormsRuntime runtime;
    ui::frmAct interlude(runtime);
    runtime.ShowModal(interlude);
    EXPECT_FALSE(interlude.Loaded());
    // It loads anew on the next show.
    runtime.ShowModal(interlude);
    EXPECT_FALSE(interlude.Loaded());
}

TEST(Win32FormsRuntime, DialogsNotInThisBuildAreRefused) {
    win32::Win32FormsRuntime runtime;
    SomeDialog dialog(runtime);
    try {
        runtime.ShowModal(dialog);
        FAIL() << "the dialog was shown";
    } catch (const Error& failure) {
        EXPECT_EQ(failure.kind(), ErrorKind::HostFailure);
        EXPECT_NE(std::string(failure.what()).find("not available"), std::string::npos) << failure.what();
    }
    EXPECT_FALSE(dialog.Loaded());
}

}  // namespace
}  // namespace bm
