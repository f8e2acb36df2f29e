// The selection dialog as a real window, driven from a second thread with
// messages only, as a person (or the workbench's driver) would: the form
// found by its class and caption, the grid by its identifier; rows clicked,
// folded, double-clicked and right-clicked, entries picked from the popup
// menu; then the rows read back as the copy engine reads them.
//
// Gestures are posted, so they pass the dialog's message loop as a
// person's input does; a query sent afterwards may be answered before they
// have been handled, so the driver waits until their effect shows.

#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <optional>
#include <string>
#include <thread>

#include "host/host.h"
#include "platform/win32/dialog_controls.h"
#include "platform/win32/win32_forms_runtime.h"
#include "select/frm_files.h"
#include "win32_forms/desktop.h"

namespace bm {
namespace {

using select::frmFiles;
namespace dialog = win32::dialog;

// The rows as the copy engine adds them: two models of two properties.
enum Row { kBracket, kMaterial, kFinish, kFrame, kVendor, kCost, kRowCount };

void Fill(frmFiles& files) {
    files.AddModelRow("Bracket", "C:\\models\\Bracket.ipt", host::kPartDocument);
    files.AddPropertyRow("Material", Variant(std::string("Steel")));
    files.AddPropertyRow("Finish", Variant(std::string("Painted")));
    files.AddModelRow("Frame", "C:\\models\\Frame.iam", host::kAssemblyDocument);
    files.AddPropertyRow("Vendor", Variant(std::string("Quillfern")));
    files.AddPropertyRow("Cost", Variant(std::int32_t{12}));
    files.fgFiles().Outline(1);
}

// A step of the drive that did not come about.
struct DriveFailed {
    std::string what;
};

// Drives the selection dialog shown on another thread.
class Driver {
public:
    explicit Driver(DWORD dialogThread) : thread_(dialogThread) {}

    void Find() {
        WaitFor("the dialog to show", [&] {
            form_ = test::FormOfThread(thread_, L" Referenced Files");
            return form_ && IsWindowVisible(form_);
        });
        grid_ = GetDlgItem(form_, dialog::kOutlineGrid);
        Check(grid_ != nullptr, "the dialog has its grid");
    }

    static void Check(bool holds, const std::string& what) {
        if (!holds) throw DriveFailed{what};
    }
    static void WaitFor(const std::string& what, const std::function<bool()>& done) {
        const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (!done()) {
            if (std::chrono::steady_clock::now() > giveUp) throw DriveFailed{"timed out waiting for " + what};
            Sleep(5);
        }
    }

    // --- what the grid shows ---
    int Items() const { return static_cast<int>(SendMessageW(grid_, LVM_GETITEMCOUNT, 0, 0)); }
    LRESULT OutlineRows() const { return SendMessageW(grid_, RegisterWindowMessageW(dialog::kOutlineRowsMessage), 0, 0); }
    LPARAM RowOf(int item) const {
        LVITEMW query{};
        query.mask = LVIF_PARAM;
        query.iItem = item;
        SendMessageW(grid_, LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&query));
        return query.lParam;
    }
    // The mark's state image: 2 checked, 1 unchecked, 0 none.
    unsigned Mark(int item) const {
        return static_cast<unsigned>(SendMessageW(grid_, LVM_GETITEMSTATE, item, LVIS_STATEIMAGEMASK)) >> 12;
    }
    bool Selected(int item) const {
        return (SendMessageW(grid_, LVM_GETITEMSTATE, item, LVIS_SELECTED) & LVIS_SELECTED) != 0;
    }

    // --- gestures on the grid ---
    void Click(int item, WPARAM keys = 0) const { Press(Text(item), keys); }
    void CtrlClick(int item) const { Click(item, MK_CONTROL); }
    void DoubleClick(int item) const {
        const LPARAM at = Text(item);
        Press(at, 0);
        Post(grid_, WM_LBUTTONDBLCLK, MK_LBUTTON, at);
        Post(grid_, WM_LBUTTONUP, 0, at);
    }
    // The fold button: the square at the left end of column 2.
    void ClickFold(int item) const {
        const RECT cell = Cell(item, 2);
        const int side = cell.bottom - cell.top;
        Press(MAKELPARAM(cell.left + side / 2, cell.top + side / 2), 0);
    }
    // Opens the popup menu; the button's release is left out, as it would
    // reach the menu's own loop.
    void RightClick(int item) const { Post(grid_, WM_RBUTTONDOWN, MK_RBUTTON, Text(item)); }
    void PressButton(int id) const { Post(GetDlgItem(form_, id), BM_CLICK, 0, 0); }
    void CloseBox() const { Post(form_, WM_SYSCOMMAND, SC_CLOSE, 0); }

    // --- the popup menu ---
    // The menu window of the dialog's thread while a popup is open.
    HWND MenuWindow() const {
        HWND found = nullptr;
        EnumThreadWindows(thread_, &FindMenuWindow, reinterpret_cast<LPARAM>(&found));
        return found;
    }
    HMENU OpenMenu() const {
        HWND window = nullptr;
        WaitFor("the popup menu", [&] { return (window = MenuWindow()) != nullptr; });
        return reinterpret_cast<HMENU>(SendMessageW(window, MN_GETHMENU, 0, 0));
    }
    // The entry's position in the open menu; -1 when it has none.
    int EntryAt(const std::wstring& caption) const {
        HMENU menu = OpenMenu();
        for (int i = 0; i < GetMenuItemCount(menu); ++i) {
            wchar_t text[64] = {};
            GetMenuStringW(menu, static_cast<UINT>(i), text, 64, MF_BYPOSITION);
            if (caption == text) return i;
        }
        return -1;
    }
    bool Grayed(const std::wstring& caption) const {
        const int at = EntryAt(caption);
        Check(at != -1, "the menu has an entry");
        return (GetMenuState(OpenMenu(), static_cast<UINT>(at), MF_BYPOSITION) & MF_GRAYED) != 0;
    }
    // Arrows down to the entry of that caption, as a person would.
    void Highlight(const std::wstring& caption) const {
        HMENU menu = OpenMenu();
        const int at = EntryAt(caption);
        Check(at != -1, "the menu has an entry");
        // The first Down highlights the first entry; separators are skipped,
        // greyed entries are not.
        for (int i = 0; i <= at; ++i)
            if (!(GetMenuState(menu, static_cast<UINT>(i), MF_BYPOSITION) & MF_SEPARATOR))
                Post(form_, WM_KEYDOWN, VK_DOWN, 0);
        WaitFor("the entry highlighted",
                [&] { return (GetMenuState(menu, static_cast<UINT>(at), MF_BYPOSITION) & MF_HILITE) != 0; });
    }
    // Enter on the highlighted entry; the menu closes, also on a greyed
    // entry, which picks nothing.
    void Pick(const std::wstring& caption) const {
        Highlight(caption);
        Post(form_, WM_KEYDOWN, VK_RETURN, 0);
        WaitMenuClosed();
    }
    void Dismiss() const {
        OpenMenu();
        Post(form_, WM_KEYDOWN, VK_ESCAPE, 0);
        WaitMenuClosed();
    }
    void WaitMenuClosed() const {
        WaitFor("the popup menu to close", [&] { return MenuWindow() == nullptr; });
    }

    void WaitClosed() const {
        WaitFor("the dialog to close", [&] { return !IsWindow(form_); });
    }
    // Ends the show from whatever state it is in: a menu left open would
    // keep the dialog's loop inside it. A dialog that will not close is
    // told the application quits, which ends any show's loop.
    void Abandon() const {
        if (form_) PostMessageW(form_, WM_CLOSE, 0, 0);
        for (int tries = 0; tries < 100 && IsWindow(form_); ++tries) {
            if (MenuWindow()) PostMessageW(form_, WM_KEYDOWN, VK_ESCAPE, 0);
            Sleep(50);
        }
        if (!form_ || IsWindow(form_)) PostThreadMessageW(thread_, WM_QUIT, 0, 0);
    }

private:
    static BOOL CALLBACK FindMenuWindow(HWND window, LPARAM found) {
        wchar_t name[16] = {};
        GetClassNameW(window, name, 16);
        if (std::wstring(name) != L"#32768" || !IsWindowVisible(window)) return TRUE;
        *reinterpret_cast<HWND*>(found) = window;
        return FALSE;
    }
    static void Post(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
        Check(PostMessageW(window, message, wParam, lParam) != 0, "a message is posted");
    }
    void Press(LPARAM at, WPARAM keys) const {
        Post(grid_, WM_LBUTTONDOWN, MK_LBUTTON | keys, at);
        Post(grid_, WM_LBUTTONUP, keys, at);
    }
    RECT Cell(int item, int column) const {
        RECT cell{};
        cell.top = column;
        cell.left = LVIR_BOUNDS;
        Check(SendMessageW(grid_, LVM_GETSUBITEMRECT, item, reinterpret_cast<LPARAM>(&cell)) != 0, "a cell");
        return cell;
    }
    // The middle of a row's column 2, clear of its fold button.
    LPARAM Text(int item) const {
        const RECT cell = Cell(item, 2);
        return MAKELPARAM((cell.left + cell.right) / 2, (cell.top + cell.bottom) / 2);
    }

    DWORD thread_;
    HWND form_ = nullptr;
    HWND grid_ = nullptr;
};

// Shows the dialog on this thread while `script` drives it from another;
// answers what went wrong in the drive, "" when nothing. A failed drive
// ends the show, so the test goes on either way, and says at once what
// failed, in case the end of the show is what hangs.
std::string ShowDriven(win32::Win32FormsRuntime& runtime, frmFiles& files,
                       const std::function<void(Driver&)>& script) {
    std::string failure;
    std::thread drive([&, dialogThread = GetCurrentThreadId()] {
        Driver driver(dialogThread);
        try {
            driver.Find();
            script(driver);
            driver.WaitClosed();
        } catch (const DriveFailed& failed) {
            failure = failed.what;
            std::fprintf(stderr, "the drive failed: %s\n", failure.c_str());
            std::fflush(stderr);
            driver.Abandon();
        }
    });
    try {
        runtime.ShowModal(files);
    } catch (...) {
        drive.join();
        throw;
    }
    drive.join();
    // The quit that ended a failed show is not the next show's.
    MSG quit;
    PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE);
    return failure;
}

BOOL CALLBACK CountWindow(HWND, LPARAM counter) {
    ++*reinterpret_cast<int*>(counter);
    return TRUE;
}

int ThreadWindows() {
    int count = 0;
    EnumThreadWindows(GetCurrentThreadId(), &CountWindow, reinterpret_cast<LPARAM>(&count));
    return count;
}

// The process's live GDI objects. Windows counts them for GetGuiResources;
// Wine answers 0 there, but its gdi32 keeps the handle table in the 64-bit
// process block, as Windows does, with a type byte in each live entry.
std::optional<int> GdiObjects() {
    if (const DWORD counted = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS)) return static_cast<int>(counted);
    HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    if (!GetProcAddress(ntdll, "wine_get_version")) return std::nullopt;
    using ThreadBlock = std::uint8_t*(WINAPI*)();
    const auto currentTeb =
        reinterpret_cast<ThreadBlock>(reinterpret_cast<void*>(GetProcAddress(ntdll, "NtCurrentTeb")));
    if (!currentTeb) return std::nullopt;
    std::uint8_t* const teb = currentTeb();
    struct Entry {
        std::uint64_t object;
        std::uint32_t owner;
        std::uint16_t unique;
        std::uint8_t type, flags;
        std::uint64_t user;
    };
    // The 64-bit thread block is the thread's own, or in a 32-bit process
    // the one its GdiBatchCount points to; the process block is named there.
    std::uintptr_t teb64 = reinterpret_cast<std::uintptr_t>(teb);
    if constexpr (sizeof(void*) == 4) teb64 = *reinterpret_cast<const std::uint32_t*>(teb + 0xF70);
    if (!teb64) return std::nullopt;
    const auto* block =
        reinterpret_cast<const std::uint8_t*>(static_cast<std::uintptr_t>(*reinterpret_cast<const std::uint64_t*>(teb64 + 0x60)));
    const auto* table =
        reinterpret_cast<const Entry*>(static_cast<std::uintptr_t>(*reinterpret_cast<const std::uint64_t*>(block + 0xF8)));
    if (!table) return std::nullopt;
    int live = 0;
    for (int i = 0; i < 0x10000; ++i)
        if (table[i].type) ++live;
    return live;
}

TEST(FilesView, APersonPicksPropertiesWithTheGridAndItsMenu) {
    if (!test::DesktopMakesWindows()) GTEST_SKIP() << "no desktop to show windows on";
    win32::Win32FormsRuntime runtime;
    frmFiles files(runtime);
    Fill(files);

    const std::string failure = ShowDriven(runtime, files, [](Driver& d) {
        // Folded: only the models show, each item naming its outline row.
        Driver::Check(d.Items() == 2 && d.RowOf(0) == kBracket && d.RowOf(1) == kFrame, "the models show");
        Driver::Check(d.OutlineRows() == kRowCount, "the grid counts every row");
        Driver::Check(d.Mark(0) == 2 && d.Mark(1) == 2, "every row starts checked");

        d.ClickFold(0);
        Driver::WaitFor("the first model to unfold", [&] { return d.Items() == 4; });
        Driver::Check(d.RowOf(1) == kMaterial && d.RowOf(2) == kFinish && d.RowOf(3) == kFrame, "its properties show");
        Driver::Check(!d.Selected(0), "a fold button selects nothing");

        // A double-click flips a property's mark; its model stays checked
        // while another property is, and follows when none is.
        d.DoubleClick(kMaterial);
        Driver::WaitFor("the mark to flip", [&] { return d.Mark(kMaterial) == 1; });
        Driver::Check(d.Mark(kBracket) == 2, "the model keeps its mark");
        d.DoubleClick(kFinish);
        Driver::WaitFor("the mark to flip", [&] { return d.Mark(kFinish) == 1; });
        Driver::Check(d.Mark(kBracket) == 1, "the model follows its properties");

        // Two rows selected; the right button on a third selects nothing,
        // and "Add" checks both rows and their model.
        d.Click(kMaterial);
        d.CtrlClick(kFinish);
        Driver::WaitFor("two rows selected", [&] { return d.Selected(kMaterial) && d.Selected(kFinish); });
        d.RightClick(kBracket);
        Driver::Check(!d.Grayed(L"Add") && !d.Grayed(L"Remove"), "both commands serve two rows");
        d.Pick(L"Add");
        Driver::WaitFor("the rows checked", [&] { return d.Mark(kMaterial) == 2 && d.Mark(kFinish) == 2; });
        Driver::Check(d.Mark(kBracket) == 2, "the model checked with them");
        Driver::Check(!d.Selected(kBracket) && d.Selected(kMaterial) && d.Selected(kFinish),
                      "the right button leaves the selection");

        // One checked row: "Add" is greyed and cannot be picked.
        d.Click(kMaterial);
        Driver::WaitFor("one row selected", [&] { return d.Selected(kMaterial) && !d.Selected(kFinish); });
        d.RightClick(kFrame);
        Driver::Check(d.Grayed(L"Add") && !d.Grayed(L"Remove"), "only Remove serves a checked row");
        d.Pick(L"Add");
        d.RightClick(kFrame);
        d.Pick(L"Remove");
        Driver::WaitFor("the row unchecked", [&] { return d.Mark(kMaterial) == 1; });
        Driver::Check(d.Mark(kBracket) == 2 && d.Mark(kFrame) == 2, "only the selected row changed");

        d.PressButton(dialog::kOk);
    });
    EXPECT_EQ(failure, "");

    // OK hides the dialog; the rows stay for the copy to read.
    EXPECT_TRUE(files.Loaded());
    EXPECT_FALSE(files.Visible());
    ASSERT_EQ(files.RowCount(), kRowCount);
    const bool expected[kRowCount] = {true, false, true, true, true, true};
    for (int row = 0; row < kRowCount; ++row) EXPECT_EQ(files.IsRowChecked(row), expected[row]) << "row " << row;
}

TEST(FilesView, CancelAndTheCloseBoxDiscardTheRowsAndLeaveNothingBehind) {
    if (!test::DesktopMakesWindows()) GTEST_SKIP() << "no desktop to show windows on";
    win32::Win32FormsRuntime runtime;
    // The same gestures each time, so that whatever the system keeps after
    // a first use (cached device contexts, the menu's font) is kept by the
    // first show.
    const auto unfoldUncheckAndMenu = [](Driver& d) {
        d.ClickFold(1);
        Driver::WaitFor("the second model to unfold", [&] { return d.Items() == 4; });
        d.DoubleClick(2);
        Driver::WaitFor("the mark to flip", [&] { return d.Mark(2) == 1; });
        d.RightClick(0);
        d.Dismiss();
    };

    frmFiles first(runtime);
    Fill(first);
    EXPECT_EQ(ShowDriven(runtime, first,
                         [&](Driver& d) {
                             unfoldUncheckAndMenu(d);
                             d.PressButton(dialog::kCancel);
                         }),
              "");
    EXPECT_FALSE(first.Loaded());
    EXPECT_EQ(first.RowCount(), 0);

    const int windows = ThreadWindows();
    const std::optional<int> gdiObjects = GdiObjects();
    frmFiles second(runtime);
    Fill(second);
    EXPECT_EQ(ShowDriven(runtime, second,
                         [&](Driver& d) {
                             unfoldUncheckAndMenu(d);
                             d.CloseBox();
                         }),
              "");
    EXPECT_FALSE(second.Loaded());
    EXPECT_EQ(second.RowCount(), 0);
    EXPECT_EQ(ThreadWindows(), windows);
    if (gdiObjects) {
        EXPECT_EQ(GdiObjects(), gdiObjects);
    }
}

}  // namespace
}  // namespace bm
