#pragma once

// What the add-in's dialog windows look like from outside: the window class
// of every form, and the identifiers of the controls a person clicks. A tool
// that drives the dialogs as a person would (the Windows workbench does)
// finds a form by this class and its caption, and a control by its
// identifier; nothing else of the add-in is reachable from there.

#include <windows.h>

namespace bm::win32::dialog {

// Every form's top-level window; its caption is the form's caption.
inline constexpr wchar_t kFormClass[] = L"BrindlemarkForm";
// The picture boxes (the logo).
inline constexpr wchar_t kPictureClass[] = L"BrindlemarkPicture";

// A message box the add-in shows without a title of its own carries this
// one, the library's name.
inline constexpr wchar_t kUntitledMessageCaption[] = L"Brindlemark5";

// OK and Cancel carry the identifiers that Enter and Escape send, so the
// desktop's own dialog keys reach them. A form with one button that is both
// default and cancel (the About box) gives it IDOK and answers IDCANCEL too.
inline constexpr int kOk = IDOK;
inline constexpr int kCancel = IDCANCEL;

// The interlude form's button.
inline constexpr int kInterludeButton = 100;

// The options dialog: the five general boxes, then per physical row (mass,
// area, volume) its copy box, its leading-zero box and its precision list.
inline constexpr int kGeneralOption = 200;  // + 0..4
inline constexpr int kCopyPhysical = 210;   // + row
inline constexpr int kDeleteZero = 220;     // + row
inline constexpr int kPrecision = 230;      // + row: a drop-down list
inline constexpr int kOptionsLogo = 240;    // the logo: a click opens the About box

// The About box.
inline constexpr int kAboutLogo = 300;
inline constexpr int kMailLink = 301;  // a static control with SS_NOTIFY

// The selection dialog's outline grid: a report-view list of the rows a
// person can see now (a folded model row hides its property rows). Each
// item's lParam is its row's number in the whole outline, from 0. Column 1
// shows the check mark, column 2 the row's icon and text, a model row's
// behind its fold button: the square at the left end of column 2, as wide
// as the row is high, which a click folds or unfolds. Each item's indent
// is its row's outline level less one: 0 for a model row, 1 for a property
// row, set in below it (LVM_GETITEM, LVIF_INDENT). Each item's state
// image is its row's mark, numbered as a list view's own check boxes are:
// 2 checked, 1 unchecked, 0 none (LVM_GETITEMSTATE, LVIS_STATEIMAGEMASK).
// A double-click on a row flips its mark; Ctrl+click adds a row to the
// selection or takes it out. The right button opens the popup menu (a
// "#32768" window of the dialog's thread) and leaves the selection alone.
inline constexpr int kOutlineGrid = 400;
// Sent to the grid: answers how many rows the outline has, shown or not.
inline constexpr wchar_t kOutlineRowsMessage[] = L"Brindlemark.OutlineRows";

}  // namespace bm::win32::dialog
