#include "workbench/com/dialog_driver.h"

#include <windows.h>

#include <commctrl.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstdio>
#include <exception>
#include <map>
#include <optional>
#include <set>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "platform/win32/com/text.h"
#include "platform/win32/com/unique_any.h"
#include "platform/win32/dialog_controls.h"
#include "select/menu_control.h"
#include "ui/forms.h"
#include "workbench/com/window_picture.h"
#include "workbench/text.h"

namespace bm::workbench::com {

namespace {

namespace dialog = win32::dialog;
using win32::Utf8;
using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr auto kPoll = 5ms;
// How long a window may take to open, to close or to answer a question
// once what should make it do so has been sent: far more than the add-in
// takes, even under an emulator on a busy machine (a 32-bit workbench
// under qemu with the machine's two cores loaded six times over took more
// than ten seconds for one step of the selection dialog).
constexpr auto kPatience = 60s;
constexpr UINT kPatienceMs = 60000;
// How long a window that has taken its messages may take to draw itself,
// for a picture.
constexpr auto kPaintTime = 200ms;

constexpr std::wstring_view kMessageBoxClass = L"#32770";
constexpr std::wstring_view kMenuClass = L"#32768";

std::wstring ClassOf(HWND window) {
    wchar_t name[64] = {};
    GetClassNameW(window, name, 64);
    return name;
}

std::wstring TextOf(HWND window) {
    std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(window)) + 1, L'\0');
    text.resize(static_cast<std::size_t>(GetWindowTextW(window, text.data(), static_cast<int>(text.size()))));
    return text;
}

// A question to a window of the add-in's thread, answered when that thread
// next reads its messages; 0 when it does not answer in time.
LRESULT Ask(HWND window, UINT message, WPARAM wParam = 0, LPARAM lParam = 0) {
    DWORD_PTR answer = 0;
    if (!SendMessageTimeoutW(window, message, wParam, lParam, SMTO_NORMAL, kPatienceMs, &answer)) return 0;
    return static_cast<LRESULT>(answer);
}

void Post(HWND window, UINT message, WPARAM wParam = 0, LPARAM lParam = 0) {
    PostMessageW(window, message, wParam, lParam);
}

// A press and release of a key, on the window that has the focus.
void Key(HWND window, UINT key) {
    const auto scan = static_cast<LPARAM>(MapVirtualKeyW(key, MAPVK_VK_TO_VSC)) << 16;
    Post(window, WM_KEYDOWN, key, scan | 1);
    Post(window, WM_KEYUP, key, scan | 1 | (LPARAM{3} << 30));
}

POINT Middle(const RECT& r) { return {(r.left + r.right) / 2, (r.top + r.bottom) / 2}; }

POINT Middle(HWND window) {
    RECT r{};
    GetClientRect(window, &r);
    return Middle(r);
}

// A click of a mouse button at `point` (client coordinates), with the keys
// held in `keys` (MK_CONTROL).
void Click(HWND window, POINT point, WPARAM keys = 0) {
    const LPARAM at = MAKELPARAM(point.x, point.y);
    Post(window, WM_LBUTTONDOWN, MK_LBUTTON | keys, at);
    Post(window, WM_LBUTTONUP, keys, at);
}

void DoubleClick(HWND window, POINT point) {
    const LPARAM at = MAKELPARAM(point.x, point.y);
    Click(window, point);
    Post(window, WM_LBUTTONDBLCLK, MK_LBUTTON, at);
    Post(window, WM_LBUTTONUP, 0, at);
}

// The right button pressed, with the pointer there: a popup menu opens at
// the pointer. Its release is left out: it would reach the loop of the
// popup menu the press opens, as a click at another place.
void RightPress(HWND window, POINT point) {
    // Moved only when it is elsewhere: each move reaches the windows
    // under it late, as input, and would be a stray one in the menu.
    POINT onScreen = point, now{};
    ClientToScreen(window, &onScreen);
    if (!GetCursorPos(&now) || now.x != onScreen.x || now.y != onScreen.y) SetCursorPos(onScreen.x, onScreen.y);
    Post(window, WM_RBUTTONDOWN, MK_RBUTTON, MAKELPARAM(point.x, point.y));
}

// --- message boxes ---------------------------------------------------------

BOOL CALLBACK KeepLongestStatic(HWND child, LPARAM data) {
    auto& longest = *reinterpret_cast<std::wstring*>(data);
    if (_wcsicmp(ClassOf(child).c_str(), L"Static") == 0) {
        std::wstring caption = TextOf(child);
        if (caption.size() > longest.size()) longest = std::move(caption);
    }
    return TRUE;
}

// A message box's text: its longest static control (the icon has none).
std::wstring MessageText(HWND box) {
    std::wstring text;
    EnumChildWindows(box, &KeepLongestStatic, reinterpret_cast<LPARAM>(&text));
    return text;
}

// The icon style of a message box (16, 32, 48 or 64), told by the system
// icon its icon control shows; 0 without one.
int IconStyle(HWND box) {
    HWND icon = nullptr;
    for (HWND child = GetWindow(box, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
        if ((GetWindowLongW(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON) icon = child;
    if (!icon) return 0;
    const auto shown = reinterpret_cast<HICON>(Ask(icon, STM_GETICON));
    const struct {
        WORD id;
        int style;
    } icons[] = {{32513, MB_ICONHAND}, {32514, MB_ICONQUESTION}, {32515, MB_ICONEXCLAMATION},
                 {32516, MB_ICONASTERISK}};  // IDI_HAND, IDI_QUESTION, IDI_EXCLAMATION, IDI_ASTERISK
    for (const auto& i : icons)
        if (shown && shown == LoadIconW(nullptr, MAKEINTRESOURCEW(i.id))) return i.style;
    return 0;
}

// --- the popup menu ----------------------------------------------------------

// The entries of a popup menu as a person reads them: the captions and the
// greyed ones, each named by the selection dialog's tool of that caption.
std::vector<ui::MenuEntry> EntriesOf(HMENU menu) {
    const std::vector<ui::MenuEntry> tools = select::MenuControl().Entries(0);
    std::vector<ui::MenuEntry> entries;
    for (int i = 0, n = GetMenuItemCount(menu); i < n; ++i) {
        wchar_t caption[128] = {};
        MENUITEMINFOW item{};
        item.cbSize = sizeof item;
        item.fMask = MIIM_FTYPE | MIIM_STATE | MIIM_STRING;
        item.dwTypeData = caption;
        item.cch = static_cast<UINT>(std::size(caption));
        GetMenuItemInfoW(menu, static_cast<UINT>(i), TRUE, &item);
        ui::MenuEntry entry;
        if (!(item.fType & MFT_SEPARATOR)) {
            std::wstring shown(caption);
            std::erase(shown, L'&');
            entry.caption = Utf8(shown);
            const auto tool = std::find_if(tools.begin(), tools.end(), [&](const ui::MenuEntry& t) {
                return !t.separator() && t.caption == entry.caption;
            });
            entry.name = tool != tools.end() ? tool->name : entry.caption;
            entry.enabled = !(item.fState & MFS_DISABLED);
            entry.checked = (item.fState & MFS_CHECKED) != 0;
        }
        entries.push_back(std::move(entry));
    }
    return entries;
}

// The entry lit now, if any.
std::optional<std::size_t> LitEntry(HMENU menu) {
    const int count = GetMenuItemCount(menu);
    for (int i = 0; i < count; ++i) {
        MENUITEMINFOW item{};
        item.cbSize = sizeof item;
        item.fMask = MIIM_STATE;
        if (GetMenuItemInfoW(menu, static_cast<UINT>(i), TRUE, &item) && (item.fState & MFS_HILITE))
            return static_cast<std::size_t>(i);
    }
    return std::nullopt;
}

// Where the arrow keys stop on the way to `position`: every entry but the
// separators, greyed ones too. Counted from before the first entry.
int KeyStop(const std::vector<ui::MenuEntry>& entries, std::optional<std::size_t> position) {
    if (!position) return 0;
    const auto end = entries.begin() + static_cast<std::ptrdiff_t>(std::min(*position + 1, entries.size()));
    return static_cast<int>(std::count_if(entries.begin(), end, [](const ui::MenuEntry& e) { return !e.separator(); }));
}

// --- the outline grid ----------------------------------------------------------

// The selection dialog's grid as its window shows it: the items are the
// rows shown now, each carrying its row in the whole outline; property
// rows are indented below their model row.
class ListSight : public OutlineSight {
public:
    explicit ListSight(HWND list) : list_(list) {
        rows_ = static_cast<std::int32_t>(Ask(list, RegisterWindowMessageW(dialog::kOutlineRowsMessage)));
        for (int i = 0, n = static_cast<int>(Ask(list, LVM_GETITEMCOUNT)); i < n; ++i) {
            LVITEMW item{};
            item.mask = LVIF_PARAM | LVIF_INDENT;
            item.iItem = i;
            if (Ask(list, LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item)))
                shown_[static_cast<std::int32_t>(item.lParam)] = {i, item.iIndent};
        }
    }

    std::int32_t Rows() const override { return rows_; }
    bool Shown(std::int32_t row) const override { return shown_.contains(row); }
    bool IsModelRow(std::int32_t row) const override {
        const auto found = shown_.find(row);
        return found != shown_.end() && found->second.indent == 0;
    }
    // A model row whose property rows are hidden.
    bool Folded(std::int32_t model) const { return model + 1 < rows_ && !Shown(model + 1); }

    // The row's cell of the column that shows its fold button, icon and text.
    RECT TextCell(std::int32_t row) const {
        RECT cell{LVIR_BOUNDS, 2, 0, 0};
        Ask(list_, LVM_GETSUBITEMRECT, static_cast<WPARAM>(shown_.at(row).item), reinterpret_cast<LPARAM>(&cell));
        return cell;
    }
    // Where a click on the row lands: on its text, clear of the fold button.
    POINT OnText(std::int32_t row) const { return Middle(TextCell(row)); }
    // The fold button: the square at the left end of the cell.
    POINT OnFoldButton(std::int32_t row) const {
        const RECT cell = TextCell(row);
        const LONG height = cell.bottom - cell.top;
        return {cell.left + height / 2, cell.top + height / 2};
    }
    int Item(std::int32_t row) const { return shown_.at(row).item; }

private:
    struct ShownItem {
        int item;
        int indent;
    };
    HWND list_;
    std::int32_t rows_ = 0;
    std::map<std::int32_t, ShownItem> shown_;
};

// --- the thread that waits for the add-in's thread ------------------------------

constexpr UINT kMarkerMessage = WM_APP;
constexpr wchar_t kMarkerClass[] = L"BrindlemarkWorkbenchMarker";

LRESULT CALLBACK MarkerProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message != kMarkerMessage) return DefWindowProcW(window, message, wParam, lParam);
    if (auto* reached = reinterpret_cast<std::atomic<WPARAM>*>(GetWindowLongPtrW(window, GWLP_USERDATA)))
        reached->store(wParam);
    return 0;
}

// A window of the add-in's thread that tells how far that thread has read
// its messages: a marker posted to it comes out behind everything posted
// before it, once the thread reads its queue again (in the dialog's own
// loop, or in the loop of a window that has opened since).
class Marker {
public:
    Marker() {
        WNDCLASSEXW windowClass{};
        windowClass.cbSize = sizeof windowClass;
        windowClass.lpfnWndProc = &MarkerProc;
        windowClass.hInstance = GetModuleHandleW(nullptr);
        windowClass.lpszClassName = kMarkerClass;
        RegisterClassExW(&windowClass);  // fails harmlessly from the second step on
        window_.reset(CreateWindowExW(0, kMarkerClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                      GetModuleHandleW(nullptr), nullptr));
        SetWindowLongPtrW(window_.get(), GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&reached_));
    }
    Marker(const Marker&) = delete;
    Marker& operator=(const Marker&) = delete;

    // Posts the next marker and returns its number.
    WPARAM Post() {
        PostMessageW(window_.get(), kMarkerMessage, ++posted_, 0);
        return posted_;
    }
    bool Reached(WPARAM number) const { return reached_ >= number; }

private:
    WPARAM posted_ = 0;  // the driver's thread only
    std::atomic<WPARAM> reached_{0};
    // Last, so that the window goes before the count its messages reach.
    win32::UniqueWindow window_;
};

// The pictures of a session's dialogs, numbered in the order taken.
class Pictures {
public:
    Pictures(const std::filesystem::path& folder, int& taken) : folder_(folder), taken_(taken) {}

    void Take(const std::vector<HWND>& windows, DialogKind kind, std::string_view moment) {
        char number[16];
        std::snprintf(number, sizeof number, "%02d-", ++taken_);
        std::string name = number + std::string(KindName(kind));
        if (!moment.empty()) name += "-" + std::string(moment);
        SaveWindowPicture(windows, folder_ / (name + ".png"));
    }

private:
    const std::filesystem::path& folder_;
    int& taken_;
};

// The person at work: runs on its own thread while a step runs.
class Driver {
public:
    Driver(WorkbenchRuntime& runtime, DWORD addInThread, Marker& marker, const std::atomic<bool>& over,
           Pictures* pictures)
        : runtime_(runtime), addInThread_(addInThread), marker_(marker), over_(over), pictures_(pictures) {}

    void Run() {
        while (!over_) {
            if (HWND opened = NewWindow())
                Handle(opened);
            else
                std::this_thread::sleep_for(kPoll);
        }
    }

private:
    // A window of this process that the add-in opens and the driver has not
    // met yet: a form or a message box, from its creation on (a message box
    // may show itself only once its queue is empty), or a popup menu.
    HWND NewWindow() {
        std::erase_if(met_, [](HWND window) { return !IsWindow(window); });
        Search search{this};
        EnumWindows(&Consider, reinterpret_cast<LPARAM>(&search));
        return search.found;
    }

    struct Search {
        Driver* driver;
        HWND found = nullptr;
    };
    static BOOL CALLBACK Consider(HWND window, LPARAM data) {
        auto& search = *reinterpret_cast<Search*>(data);
        DWORD process = 0;
        GetWindowThreadProcessId(window, &process);
        if (process != GetCurrentProcessId() || search.driver->met_.contains(window)) return TRUE;
        const std::wstring windowClass = ClassOf(window);
        if (windowClass != dialog::kFormClass && windowClass != kMessageBoxClass &&
            (windowClass != kMenuClass || !IsWindowVisible(window)))
            return TRUE;
        search.found = window;
        return FALSE;
    }

    void Handle(HWND window) {
        met_.insert(window);
        if (!AwaitVisible(window)) return;
        const std::wstring windowClass = ClassOf(window);
        if (windowClass == kMenuClass) return Close(window);  // no action opened it
        if (windowClass == kMessageBoxClass) return AnswerMessageBox(window);
        // In an interactive session the person at the desktop answers forms.
        if (runtime_.HasPerson()) return;
        const std::string caption = Utf8(TextOf(window));
        if (const auto kind = KindOfCaption(caption)) return Answer(window, *kind, caption);
        // The interlude goes by itself; any other form would stay open with
        // no one to answer it.
        if (AwaitGone(window)) return;
        Fail("the window \"" + std::string(Trim(caption)) + "\" stayed open with no one to answer it");
        Close(window);
    }

    void AnswerMessageBox(HWND box) {
        const std::wstring title = TextOf(box);
        const std::string shownTitle = title == dialog::kUntitledMessageCaption ? "" : Utf8(title);
        const std::string text = Utf8(MessageText(box));
        if (runtime_.HasPerson()) {
            try {
                runtime_.MsgBox(text, IconStyle(box), shownTitle);
            } catch (const std::exception&) {
                // The runtime noted what went wrong; the box closes all the same.
            }
            return Close(box);
        }
        if (failed_) return Close(box);
        runtime_.PrintMessageBox(text, IconStyle(box), shownTitle);
        Answer(box, DialogKind::kMessage, shownTitle);
    }

    // Plays the next expectation on a dialog that has just opened. After a
    // fault nothing more is played: on the other face the fault is an
    // exception that ends every dialog still open, unanswered.
    void Answer(HWND window, DialogKind kind, const std::string& caption) {
        if (failed_) return Close(window);
        std::optional<WorkbenchRuntime::Answer> answer;
        try {
            answer = runtime_.TakeExpectation(kind, caption);
        } catch (const ScriptFault&) {
            failed_ = true;
            return Close(window);
        }
        Picture({window}, kind, "");
        bool changed = false;
        for (const DialogAction& action : answer->actions) {
            if (changed && action.Closes()) Picture({window}, kind, "changed");
            changed = changed || !action.Closes();
            try {
                Play(window, kind, action);
            } catch (const ScriptFault& fault) {
                runtime_.Refused(fault, answer->line);
                failed_ = true;
            }
            if (failed_) return Close(window);
        }
        if (AwaitGone(window)) return;
        Fail("the " + std::string(KindTitle(kind)) + " is still open after the actions of line " +
             std::to_string(answer->line));
        Close(window);
    }

    // A picture of `windows` once the add-in's thread has drawn them, when
    // pictures are kept. One that cannot be saved fails the step.
    void Picture(const std::vector<HWND>& windows, DialogKind kind, std::string_view moment) {
        if (!pictures_ || failed_) return;
        // Drawing waits until the thread's queue is empty, after what it was posted.
        Settle();
        std::this_thread::sleep_for(kPaintTime);
        Settle();
        try {
            pictures_->Take(windows, kind, moment);
        } catch (const std::exception& e) {
            Fail(e.what());
        }
    }

    void Fail(const std::string& what) {
        runtime_.Fault(what);
        failed_ = true;
    }

    void Play(HWND window, DialogKind kind, const DialogAction& action) {
        switch (kind) {
            case DialogKind::kOptions: PlayOptions(window, action); break;
            case DialogKind::kFiles: PlayFiles(window, action); break;
            case DialogKind::kAbout: PlayAbout(window, action); break;
            case DialogKind::kMessage: Press(window, IDOK); break;
        }
        Settle();
    }

    // The gestures that end a dialog, the same on every form.
    void PlayClosing(HWND form, const std::string& verb) {
        if (verb == "ok") return Press(form, dialog::kOk);
        if (verb == "cancel") return Press(form, dialog::kCancel);
        if (verb == "enter") return Key(Focused(form), VK_RETURN);
        if (verb == "escape") return Key(Focused(form), VK_ESCAPE);
        if (verb == "close") return Post(form, WM_SYSCOMMAND, SC_CLOSE, 0);
    }

    void PlayOptions(HWND form, const DialogAction& a) {
        if (a.verb == "about") return Click(Control(form, dialog::kOptionsLogo), Middle(Control(form, dialog::kOptionsLogo)));
        if (a.verb != "set") return PlayClosing(form, a.verb);
        const OptionsControl c = ControlOf(a);
        const int index = static_cast<int>(c.index);
        if (c.group == OptionsControl::kPrecision) {
            const int id = dialog::kPrecision + index;
            HWND list = Control(form, id);
            Ask(list, CB_SETCURSEL, static_cast<WPARAM>(c.value));
            return Post(form, WM_COMMAND, MAKEWPARAM(id, CBN_SELCHANGE), reinterpret_cast<LPARAM>(list));
        }
        const int first = c.group == OptionsControl::kGeneral ? dialog::kGeneralOption
                          : c.group == OptionsControl::kCopy  ? dialog::kCopyPhysical
                                                              : dialog::kDeleteZero;
        HWND box = Control(form, first + index);
        // A person only clicks; a greyed box takes two clicks to clear.
        for (int clicks = 0; Ask(box, BM_GETCHECK) != c.value && clicks < 2; ++clicks) {
            Post(box, BM_CLICK);
            Settle();
        }
    }

    void PlayAbout(HWND form, const DialogAction& a) {
        if (a.verb == "mail") return Click(Control(form, dialog::kMailLink), Middle(Control(form, dialog::kMailLink)));
        PlayClosing(form, a.verb);
    }

    void PlayFiles(HWND form, const DialogAction& a) {
        HWND list = Control(form, dialog::kOutlineGrid);
        const ListSight sight(list);
        if (a.verb == "toggle") return DoubleClick(list, sight.OnText(ClickableRows(sight, a.args[0]).front()));
        if (a.verb == "select") {
            const auto rows = ClickableRows(sight, a.args[0]);
            for (std::size_t i = 0; i < rows.size(); ++i) Click(list, sight.OnText(rows[i]), i == 0 ? 0 : MK_CONTROL);
            return;
        }
        if (a.verb == "current") {
            // Where the keyboard moves the cursor without selecting (Ctrl with
            // the arrow keys), the list is told the same directly.
            LVITEMW state{};
            state.stateMask = LVIS_FOCUSED;
            state.state = LVIS_FOCUSED;
            const auto item = static_cast<WPARAM>(sight.Item(ClickableRows(sight, a.args[0]).front()));
            Ask(list, LVM_SETITEMSTATE, item, reinterpret_cast<LPARAM>(&state));
            return;
        }
        if (a.verb == "expand" || a.verb == "collapse") {
            const std::int32_t row = FoldableRow(sight, a.args[0]);
            if (sight.Folded(row) != (a.verb == "collapse")) Click(list, sight.OnFoldButton(row));
            return;
        }
        if (a.verb == "menu") return PickFromMenu(list, a.args[0]);
        PlayClosing(form, a.verb);
    }

    void PickFromMenu(HWND list, const std::string& tool) {
        RightPress(list, Middle(list));
        HWND menuWindow = AwaitMenu();
        if (!menuWindow) throw ScriptFault("the popup menu did not open on a right-click on the list");
        const auto menu = reinterpret_cast<HMENU>(Ask(menuWindow, MN_GETHMENU));
        const std::vector<ui::MenuEntry> entries = EntriesOf(menu);
        std::size_t position = 0;
        try {
            position = EntryToPick(entries, tool);
        } catch (const ScriptFault&) {
            Close(menuWindow);
            throw;
        }
        if (!LightEntry(menuWindow, menu, entries, position)) {
            Close(menuWindow);
            throw ScriptFault("the popup menu's entry " + tool + " could not be lit with the arrow keys");
        }
        Picture({GetParent(list), menuWindow}, DialogKind::kFiles, "menu");
        Post(menuWindow, WM_KEYDOWN, VK_RETURN, 1);
        AwaitGone(menuWindow);
    }

    // Lights the entry at `position` with the arrow keys, then waits until
    // the menu has taken them. The system may move the pointer over the
    // menu late (after a gesture made before it opened), which puts the
    // light out or elsewhere: the keys are then given again from where the
    // light is, rather than Enter picking another entry or none.
    bool LightEntry(HWND menuWindow, HMENU menu, const std::vector<ui::MenuEntry>& entries, std::size_t position) {
        const int target = KeyStop(entries, position);
        for (int round = 0; round < 10 && !over_ && !failed_; ++round) {
            const std::optional<std::size_t> lit = LitEntry(menu);
            if (lit == position) return true;
            const int steps = target - KeyStop(entries, lit);
            for (int i = 0; i < std::abs(steps); ++i) Post(menuWindow, WM_KEYDOWN, steps > 0 ? VK_DOWN : VK_UP, 1);
            Settle();
        }
        return over_ || failed_;
    }

    // --- what a person sees ----------------------------------------------------------

    static HWND Control(HWND form, int id) { return GetDlgItem(form, id); }

    void Press(HWND form, int button) { Post(Control(form, button), BM_CLICK); }

    // The control of `form` that has the focus, or the form itself.
    HWND Focused(HWND form) const {
        GUITHREADINFO info{};
        info.cbSize = sizeof info;
        if (GetGUIThreadInfo(addInThread_, &info) && info.hwndFocus && IsChild(form, info.hwndFocus))
            return info.hwndFocus;
        return form;
    }

    // Ends a window as a person gives up on it: a menu with Escape, a
    // message box with its button, a form with its close box.
    void Close(HWND window) {
        const std::wstring windowClass = ClassOf(window);
        if (windowClass == kMenuClass)
            Post(window, WM_KEYDOWN, VK_ESCAPE, 1);
        else if (windowClass == kMessageBoxClass)
            Press(window, IDOK);
        else
            Post(window, WM_SYSCOMMAND, SC_CLOSE, 0);
        AwaitGone(window);
    }

    // --- waiting ---------------------------------------------------------------------

    // Waits until the add-in's thread has taken everything posted so far,
    // answering each window that opens meanwhile (a nested dialog is
    // answered before the next action on the one beneath it).
    // The next action must not read what the thread has not yet done, so a
    // thread that does not get there in time fails the step.
    void Settle() {
        const WPARAM marker = marker_.Post();
        for (const auto until = Clock::now() + kPatience; !over_ && Clock::now() < until;) {
            // Read before looking for windows: a window that opened before
            // the marker was reached is seen below.
            const bool reached = marker_.Reached(marker);
            if (HWND opened = NewWindow()) {
                Handle(opened);
                continue;
            }
            if (reached) return;
            std::this_thread::sleep_for(kPoll);
        }
        if (!over_ && !failed_) Fail("the add-in's dialogs did not take the last action within a minute");
    }

    bool AwaitVisible(HWND window) {
        for (const auto until = Clock::now() + kPatience; !over_ && Clock::now() < until;) {
            if (!IsWindow(window)) return false;
            if (IsWindowVisible(window)) return true;
            std::this_thread::sleep_for(kPoll);
        }
        return IsWindow(window) && IsWindowVisible(window);
    }

    bool AwaitGone(HWND window) {
        for (const auto until = Clock::now() + kPatience; !over_ && Clock::now() < until;) {
            if (!IsWindow(window)) return true;
            std::this_thread::sleep_for(kPoll);
        }
        return over_ || !IsWindow(window);
    }

    HWND AwaitMenu() {
        for (const auto until = Clock::now() + kPatience; !over_ && Clock::now() < until;) {
            if (HWND opened = NewWindow()) {
                met_.insert(opened);
                if (ClassOf(opened) == kMenuClass) return opened;
                Handle(opened);
                continue;
            }
            std::this_thread::sleep_for(kPoll);
        }
        return nullptr;
    }

    WorkbenchRuntime& runtime_;
    const DWORD addInThread_;
    Marker& marker_;
    const std::atomic<bool>& over_;
    Pictures* pictures_;
    std::set<HWND> met_;
    bool failed_ = false;
};

}  // namespace

void DialogDriver::Play(const std::function<void()>& step) {
    Marker marker;
    std::atomic<bool> over{false};
    std::optional<Pictures> pictures;
    if (pictures_) pictures.emplace(*pictures_, picturesTaken_);
    Driver driver(runtime_, GetCurrentThreadId(), marker, over, pictures ? &*pictures : nullptr);
    const win32::UniqueHandle left(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!left) throw std::runtime_error("the dialog driver cannot start: no event for its end");
    std::thread person([&] {
        // The picture encoder is a COM object.
        const HRESULT com = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
        driver.Run();
        if (SUCCEEDED(com)) CoUninitialize();
        SetEvent(left.get());
    });
    std::exception_ptr failure;
    try {
        step();
    } catch (...) {
        failure = std::current_exception();
    }
    over = true;
    // The person may be asking a window of this thread something (a
    // caption, a menu) just as the step ends. Such a question is answered
    // only while this thread takes messages, so it takes the sent ones
    // until the person has left; a bare join would wait on it for ever.
    MSG sent;
    do PeekMessageW(&sent, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
    while (MsgWaitForMultipleObjects(1, &left.get(), FALSE, INFINITE, QS_SENDMESSAGE) == WAIT_OBJECT_0 + 1);
    person.join();
    if (failure) std::rethrow_exception(failure);
}

}  // namespace bm::workbench::com
