#pragma once

// The forms runtime: what the dialogs need from a windowing system. A dialog
// is a model class (its controls' values and its event handlers); a runtime
// shows it. The Win32 runtime makes real windows, the headless runtime plays
// queued user actions, the workbench asks a person on the terminal. The
// models never know which one they have.

#include <cstdint>
#include <string>
#include <vector>

#include "core/variant.h"

namespace bm::ui {

class FormsRuntime;

// Desktop rectangle in pixels; right and bottom are exclusive.
struct Rect {
    std::int32_t left = 0, top = 0, right = 0, bottom = 0;
};

// Message box styles and answers used by the add-in.
inline constexpr int kMsgBoxOkOnly = 0;
inline constexpr int kMsgBoxExclamation = 48;
inline constexpr int kMsgBoxAnswerOk = 1;

// Where a control sits on its form, in twips.
struct Place {
    float left = 0, top = 0, width = 0, height = 0;
};

struct Font {
    std::string name = "MS Sans Serif";
    float points = 8.25f;
    bool bold = false;
    bool underline = false;
};

// A caption on a form. A link label is drawn underlined in the highlight
// colour, with a pointing hand over it, and reacts to a click.
struct Label {
    std::string caption;
    Place place;
    Font font{};
    bool link = false;
};

// A push button. Enter presses the default button, Escape the cancel button.
struct Button {
    std::string caption;
    Place place;
    bool isDefault = false;
    bool isCancel = false;
};

// What a fixed dialog frame adds around the client area (twips at 15 twips
// per pixel: 3-pixel borders and a 21-pixel caption bar).
inline constexpr float kDialogFrameWidth = 90;
inline constexpr float kDialogFrameHeight = 405;

// One entry of a popup menu as the runtime shows it.
struct MenuEntry {
    std::string name;  // tool name handed back when picked; empty for a separator
    std::string caption;
    bool enabled = true;
    bool checked = false;
    bool separator() const { return name.empty(); }
};

// Base of every dialog model. Positions and sizes are in twips.
class Form : public Object {
public:
    explicit Form(FormsRuntime& runtime) : runtime_(runtime) {}

    virtual std::string Caption() const = 0;
    // A short stable name of the dialog kind ("options", "files", ...),
    // used by runtimes to match queued user actions to dialogs.
    virtual std::string Kind() const = 0;

    // Handlers the runtime calls.
    virtual void Form_Load() {}
    virtual void Form_Activate() {}
    // The window has come up and its first control has the focus.
    virtual void Form_Shown() {}
    // Unloading destroys the controls' contents: the next load starts anew.
    virtual void Form_Unload() {}

    float Left() const { return left_; }
    float Top() const { return top_; }
    float Width() const { return width_; }
    float Height() const { return height_; }
    // The inside of the frame, where the controls sit.
    float ClientWidth() const { return clientWidth_; }
    float ClientHeight() const { return clientHeight_; }
    // Moves the form; the size stays.
    void Move(float left, float top) {
        left_ = left;
        top_ = top;
    }

    bool Loaded() const { return loaded_; }
    bool Visible() const { return visible_; }

    FormsRuntime& Runtime() const { return runtime_; }

protected:
    void SetSize(float width, float height) {
        width_ = width;
        height_ = height;
        clientWidth_ = width;
        clientHeight_ = height;
    }
    // A fixed dialog's size from its client area: the frame is added.
    void SetClientSize(float width, float height) {
        width_ = width + kDialogFrameWidth;
        height_ = height + kDialogFrameHeight;
        clientWidth_ = width;
        clientHeight_ = height;
    }

private:
    friend class FormsRuntime;
    FormsRuntime& runtime_;
    float left_ = 0, top_ = 0, width_ = 0, height_ = 0;
    float clientWidth_ = 0, clientHeight_ = 0;
    bool loaded_ = false;
    bool visible_ = false;
};

class FormsRuntime {
public:
    virtual ~FormsRuntime() = default;

    // Loads the form when it is not loaded yet (runs Form_Load once).
    void Load(Form& form);
    // Shows the form modally without an owner window; returns when it has
    // been hidden or unloaded. Loads it first when needed.
    virtual void ShowModal(Form& form) = 0;
    // Makes the form invisible; it stays loaded (ends a modal show).
    virtual void Hide(Form& form);
    // Unloads the form (ends a modal show); its contents are discarded.
    virtual void Unload(Form& form);
    // Lets pending window messages run once.
    virtual void DoEvents() = 0;

    // The desktop work area in pixels; false when the query failed.
    virtual bool WorkArea(Rect& area) = 0;
    // The whole screen in pixels; false when it is not known. The
    // placement falls back on it when the work area cannot be had.
    virtual bool ScreenSize(std::int32_t& widthPx, std::int32_t& heightPx) {
        widthPx = heightPx = 0;
        return false;
    }
    virtual float TwipsPerPixelX() = 0;
    virtual float TwipsPerPixelY() = 0;

    // A modal message box; `title` empty means no explicit title.
    virtual int MsgBox(const std::string& text, int style, const std::string& title) = 0;
    // Opens a popup menu at the mouse pointer; returns the name of the
    // picked entry, or "" when the menu was dismissed.
    virtual std::string PopupMenu(Form& owner, const std::vector<MenuEntry>& entries) = 0;
    // Opens a document or link with the desktop's default action, as
    // ShellExecuteA does: a value from 0 to 32 means failure.
    virtual std::intptr_t ShellOpen(const std::string& target) = 0;

protected:
    static void set_loaded(Form& f, bool v) { f.loaded_ = v; }
    static void set_visible(Form& f, bool v) { f.visible_ = v; }
};

}  // namespace bm::ui
