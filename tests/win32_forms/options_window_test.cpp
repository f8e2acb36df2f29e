// The options dialog through its real window, driven from a second thread
// as a person would: clicks on the boxes, a choice in a list, the logo that
// opens the About box over the disabled dialog, Enter or Escape. OK writes
// what the window showed into the settings, Escape nothing; neither show
// leaves a window, a graphics object or the picture class behind.

#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <functional>
#include <set>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "desktop.h"
#include "platform/win32/dialog_controls.h"
#include "platform/win32/gdi_raster.h"
#include "platform/win32/win32_forms_runtime.h"
#include "settings/frm_options.h"
#include "ui/logo.h"

namespace bm {
namespace {

namespace dialog = win32::dialog;

constexpr wchar_t kOptionsCaption[] = L" Brindlemark Options";
constexpr wchar_t kAboutCaption[] = L" About Brindlemark";

// The person at the desk, on a thread of their own. What went wrong is
// noted and checked once the dialog has closed; a person who gives up
// closes what is open, so that the modal show returns.
class Person {
public:
    explicit Person(std::function<void(Person&)> session)
        : dialogThread_(GetCurrentThreadId()),
          thread_([this, session = std::move(session)] {
              session(*this);
              if (!failures_.empty()) CloseAll();
          }) {}
    ~Person() {
        if (thread_.joinable()) thread_.join();
    }
    Person(const Person&) = delete;
    Person& operator=(const Person&) = delete;

    std::vector<std::string> Finish() {
        thread_.join();
        return failures_;
    }

    // The form window with this caption once it shows, or null after a while.
    HWND Find(const wchar_t* caption) {
        HWND window = nullptr;
        Await([&] { return (window = test::FormOfThread(dialogThread_, caption)) && IsWindowVisible(window); },
              "no window" + std::string(caption, caption + wcslen(caption)));
        return window;
    }
    bool Gone(HWND window) { return Await([&] { return !IsWindow(window); }, "a window stays open"); }
    // Waits a while for something the dialog's thread does.
    bool Await(const std::function<bool()>& condition, const std::string& what) {
        for (int tries = 0; tries < 500; ++tries) {
            if (condition()) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        failures_.push_back(what);
        return false;
    }
    void Check(bool condition, const std::string& what) {
        if (!condition) failures_.push_back(what);
    }

private:
    void CloseAll() const {
        for (const wchar_t* caption : {kAboutCaption, kOptionsCaption})
            if (HWND window = test::FormOfThread(dialogThread_, caption)) PostMessageW(window, WM_CLOSE, 0, 0);
    }

    DWORD dialogThread_;
    std::vector<std::string> failures_;
    std::thread thread_;
};

BOOL CALLBACK Collect(HWND window, LPARAM found) {
    reinterpret_cast<std::set<HWND>*>(found)->insert(window);
    return TRUE;
}

std::set<HWND> ThreadWindows() {
    std::set<HWND> windows;
    EnumThreadWindows(GetCurrentThreadId(), &Collect, reinterpret_cast<LPARAM>(&windows));
    return windows;
}

// Top-level windows of this thread that were not there before, apart from
// the input method window the system makes with a thread's first window.
std::vector<HWND> NewWindows(const std::set<HWND>& before) {
    std::vector<HWND> added;
    for (HWND window : ThreadWindows()) {
        wchar_t name[64] = L"";
        GetClassNameW(window, name, 64);
        if (!before.count(window) && std::wstring(name) != L"IME") added.push_back(window);
    }
    return added;
}

// A pixel of a window as the screen shows it.
ui::Color PixelOf(HWND window, int x, int y) {
    HDC dc = GetDC(window);
    const COLORREF pixel = GetPixel(dc, x, y);
    ReleaseDC(window, dc);
    return pixel;
}

POINT OnForm(HWND form, HWND control) {
    RECT r{};
    GetWindowRect(control, &r);
    POINT p{r.left, r.top};
    ScreenToClient(form, &p);
    return p;
}

// Settings as a first run leaves them, with a greyed box and a list with no
// entry chosen, which the dialog must hand back unchanged.
Settings Before() {
    Settings s;
    s.UpdateOnActivate(1);
    for (auto f : {Settings::kMass, Settings::kMassZero, Settings::kMassPrec, Settings::kArea, Settings::kAreaZero,
                   Settings::kAreaPrec, Settings::kVolume})
        s.put(f, 1);
    s.VolumeZero(2);
    s.VolumePrec(-1);
    return s;
}

class OptionsWindow : public testing::Test {
protected:
    // Shows the dialog while a person works it; checks that nothing of the
    // show is left.
    void Show(const std::function<void(Person&)>& session) {
        const std::set<HWND> before = ThreadWindows();
        const auto handles = [] {
            return std::pair{GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS),
                             GetGuiResources(GetCurrentProcess(), GR_USEROBJECTS)};
        };
        const auto handlesBefore = handles();
        {
            frmOptions dialog(runtime, raster, [this]() -> Settings& { return settings; });
            Person person(session);
            runtime.ShowModal(dialog);
            for (const std::string& failure : person.Finish()) ADD_FAILURE() << failure;
        }
        EXPECT_EQ(raster.LiveObjects(), 0u);
        // Wine counts no handles; a desktop that does must end where it began.
        if (handlesBefore.first) {
            EXPECT_EQ(handles(), handlesBefore);
        }
        EXPECT_TRUE(NewWindows(before).empty());
        WNDCLASSEXW left{};
        left.cbSize = sizeof left;
        EXPECT_FALSE(GetClassInfoExW(GetModuleHandleW(nullptr), dialog::kPictureClass, &left));
    }

    void ExpectSettings(const Settings& expected) {
        for (int f = 0; f < Settings::kFieldCount; ++f) {
            const auto field = static_cast<Settings::Field>(f);
            EXPECT_EQ(settings.get(field), expected.get(field)) << Settings::property_name(field);
        }
    }

    win32::Win32FormsRuntime runtime;
    win32::GdiRaster raster;
    Settings settings = Before();
};

// Changes a box and the mass precision as a person does.
void Change(HWND form) {
    SendMessageW(GetDlgItem(form, dialog::kGeneralOption + 1), BM_CLICK, 0, 0);
    SendMessageW(GetDlgItem(form, dialog::kCopyPhysical), BM_CLICK, 0, 0);
    HWND mass = GetDlgItem(form, dialog::kPrecision);
    SendMessageW(mass, CB_SETCURSEL, 8, 0);
    SendMessageW(form, WM_COMMAND, MAKEWPARAM(dialog::kPrecision, CBN_SELCHANGE), reinterpret_cast<LPARAM>(mass));
}

void Press(HWND form, WPARAM key) { PostMessageW(GetDlgItem(form, dialog::kGeneralOption), WM_KEYDOWN, key, 0); }

TEST_F(OptionsWindow, EnterWritesWhatTheWindowShows) {
    if (!test::DesktopMakesWindows()) GTEST_SKIP() << "no desktop to show windows on";
    const long tppX = std::lround(runtime.TwipsPerPixelX()), tppY = std::lround(runtime.TwipsPerPixelY());
    // A pixel the logo draws, not the key colour.
    int lx = 28, ly = 28;
    while (ui::Logo().At(lx, ly) == ui::kKeyGreen) ++lx;
    Show([&](Person& p) {
        HWND form = p.Find(kOptionsCaption);
        if (!form) return;
        // A frame's controls stand at the frame's place plus their own.
        const POINT mass = OnForm(form, GetDlgItem(form, dialog::kCopyPhysical));
        p.Check(mass.x == (60 + 150) / tppX && mass.y == (2370 + 300) / tppY, "Copy Mass is misplaced");
        p.Check(SendMessageW(GetDlgItem(form, dialog::kDeleteZero + 2), BM_GETCHECK, 0, 0) == BST_INDETERMINATE,
                "the greyed box is not shown greyed");
        p.Check(SendMessageW(GetDlgItem(form, dialog::kPrecision + 2), CB_GETCURSEL, 0, 0) == CB_ERR,
                "a list without a position shows an entry");

        // The logo opens the About box over the disabled dialog; the logo,
        // repainted meanwhile, comes back once the dialog is active again.
        HWND logo = GetDlgItem(form, dialog::kOptionsLogo);
        p.Check(PixelOf(logo, lx, ly) == ui::Logo().At(lx, ly), "no logo on the dialog");
        PostMessageW(logo, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
        PostMessageW(logo, WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
        HWND about = p.Find(kAboutCaption);
        if (!about) return;
        p.Check(!IsWindowEnabled(form), "the dialog can be used under the About box");
        RedrawWindow(logo, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
        p.Await([&] { return PixelOf(logo, lx, ly) == ui::kButtonFace; }, "the logo outlives a repaint");
        SendMessageW(GetDlgItem(about, dialog::kOk), BM_CLICK, 0, 0);
        if (!p.Gone(about)) return;

        Change(form);  // runs once the dialog is back from the About box
        p.Check(IsWindowEnabled(form), "the dialog stays disabled");
        p.Check(PixelOf(logo, lx, ly) == ui::Logo().At(lx, ly), "the logo is not painted again");
        p.Check(SendMessageW(GetDlgItem(form, dialog::kGeneralOption + 1), BM_GETCHECK, 0, 0) == BST_CHECKED,
                "a clicked box does not show its tick");
        Press(form, VK_RETURN);
        p.Gone(form);
    });
    Settings expected = Before();
    expected.UpdateExistOnly(1);
    expected.Mass(0);
    expected.MassPrec(8);
    ExpectSettings(expected);
}

TEST_F(OptionsWindow, EscapeWritesNothing) {
    if (!test::DesktopMakesWindows()) GTEST_SKIP() << "no desktop to show windows on";
    Show([](Person& p) {
        HWND form = p.Find(kOptionsCaption);
        if (!form) return;
        Change(form);
        Press(form, VK_ESCAPE);
        p.Gone(form);
    });
    ExpectSettings(Before());
}

}  // namespace
}  // namespace bm
