// The selection dialog: the label, OK and Cancel, and the outline grid as a
// report-view list holding the rows a person can see now. The list is
// owner-drawn from the model (check mark, fold button, icon, indented text),
// and its selection and focused item are mirrored into the model's selection
// and current row as they change. The list's own window procedure is
// subclassed for what the grid did with the mouse itself: the fold buttons,
// the double-click that toggles a row's mark, and the right button, which
// opens the menu without touching the selection.

#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

#include "core/error.h"
#include "platform/win32/com/text.h"
#include "platform/win32/com/unique_any.h"
#include "platform/win32/dialog_controls.h"
#include "platform/win32/form_view.h"
#include "platform/win32/win32_forms_runtime.h"
#include "select/frm_files.h"
#include "ui/logo.h"

namespace bm::win32 {

namespace {

using select::frmFiles;
using select::OutlineGrid;

constexpr int kCheckCol = 1;
constexpr int kNameCol = 2;
// Pixels between an icon and the text after it.
constexpr int kIconGap = 2;
// The side of the drawn +/- box inside a fold button.
constexpr int kFoldBox = 9;

// The mark as the item's state image, numbered as the list view numbers its
// own check boxes (0 none, 1 unchecked, 2 checked), so that a driver reads
// it with LVM_GETITEMSTATE.
UINT StateImage(std::int16_t mark) {
    switch (mark) {
        case select::kChecked: return INDEXTOSTATEIMAGEMASK(2);
        case select::kUnchecked: return INDEXTOSTATEIMAGEMASK(1);
        default: return 0;
    }
}

// The keys held during a mouse event, as the grid's mouse events report
// them: 1 Shift, 2 Ctrl, 4 Alt.
std::int16_t ShiftState(WPARAM keys) {
    std::int16_t shift = 0;
    if (keys & MK_SHIFT) shift |= 1;
    if (keys & MK_CONTROL) shift |= 2;
    if (GetKeyState(VK_MENU) < 0) shift |= 4;
    return shift;
}

POINT PointOf(LPARAM lParam) {
    return {static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
}

// The selection icons in one image list. An image list holds pictures of one
// size, so each icon sits at the top left of a cell as large as the largest
// and the rest of the cell is masked out; drawing advances by the icon's own
// width.
class CellImages {
public:
    CellImages() {
        const auto& icons = ui::SelectionIcons();
        int width = 0, height = 0;
        for (const auto& icon : icons) {
            width = std::max(width, icon.Width());
            height = std::max(height, icon.Height());
        }
        // Without the list the rows show no icons; the dialog stays usable.
        list_ = ImageList_Create(width, height, ILC_COLOR24 | ILC_MASK, static_cast<int>(icons.size()), 0);
        if (!list_) return;
        for (const auto& icon : icons) {
            const UniqueBitmap bitmap = Bitmap(icon, width, height);
            const int added = bitmap ? ImageList_AddMasked(list_, bitmap.get(), ui::kKeyGreen) : -1;
            if (added != static_cast<int>(sizes_.size())) {
                ImageList_Destroy(std::exchange(list_, nullptr));
                return;
            }
            sizes_.push_back({icon.Width(), icon.Height()});
        }
    }
    ~CellImages() {
        if (list_) ImageList_Destroy(list_);
    }
    CellImages(const CellImages&) = delete;
    CellImages& operator=(const CellImages&) = delete;

    // Draws icon `index` at `left`, centred in the cell's height; answers
    // how far the text after it starts.
    int Draw(std::int16_t index, HDC dc, int left, const RECT& cell) const {
        if (!list_ || index < 0 || static_cast<std::size_t>(index) >= sizes_.size()) return 0;
        const SIZE size = sizes_[static_cast<std::size_t>(index)];
        ImageList_Draw(list_, index, dc, left, cell.top + (cell.bottom - cell.top - size.cy) / 2, ILD_TRANSPARENT);
        return size.cx + kIconGap;
    }

private:
    // A 32-bit bitmap of the picture, padded with the mask colour.
    static UniqueBitmap Bitmap(const ui::Image& image, int width, int height) {
        BITMAPINFO info{};
        info.bmiHeader.biSize = sizeof info.bmiHeader;
        info.bmiHeader.biWidth = width;
        info.bmiHeader.biHeight = -height;  // rows from the top, as the picture's
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        info.bmiHeader.biCompression = BI_RGB;
        void* bits = nullptr;
        UniqueBitmap bitmap(CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
        if (!bitmap) return bitmap;
        auto* pixels = static_cast<std::uint32_t*>(bits);
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x) {
                const ui::Color c = image.Contains(x, y) ? image.At(x, y) : ui::kKeyGreen;
                // 0x00BBGGRR to the bitmap's blue, green, red bytes.
                pixels[y * width + x] = (c & 0xFFu) << 16 | (c & 0xFF00u) | (c >> 16 & 0xFFu);
            }
        return bitmap;
    }

    HIMAGELIST list_ = nullptr;
    std::vector<SIZE> sizes_;
};

void DrawFoldButton(HDC dc, const RECT& square, bool collapsed) {
    const int left = square.left + (square.right - square.left - kFoldBox) / 2;
    const int top = square.top + (square.bottom - square.top - kFoldBox) / 2;
    const RECT box{left, top, left + kFoldBox, top + kFoldBox};
    FillRect(dc, &box, GetSysColorBrush(COLOR_WINDOW));
    FrameRect(dc, &box, GetSysColorBrush(COLOR_BTNSHADOW));
    HBRUSH ink = GetSysColorBrush(COLOR_WINDOWTEXT);
    const int middle = kFoldBox / 2;
    const RECT minus{left + 2, top + middle, left + kFoldBox - 2, top + middle + 1};
    FillRect(dc, &minus, ink);
    if (collapsed) {
        const RECT bar{left + middle, top + 2, left + middle + 1, top + kFoldBox - 2};
        FillRect(dc, &bar, ink);
    }
}

class FilesView : public FormView {
public:
    FilesView(frmFiles& form, Win32FormsRuntime& runtime) : form_(form), runtime_(runtime) {}

    void Create(ControlMaker& maker) override;
    HWND FirstControl() const override { return list_; }
    std::optional<LRESULT> Handle(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    // Where the parts of a row's column 2 go.
    struct NameLayout {
        RECT fold;  // empty on a row without a fold button
        int contentLeft;
    };

    static LRESULT CALLBACK ListProc(HWND list, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT ListMessage(UINT message, WPARAM wParam, LPARAM lParam);
    // Shows the model again: which rows are listed, their texts, marks,
    // selection and focus; then takes the list's selection back into the
    // model, which drops the rows that are no longer shown.
    void Show();
    void MirrorSelection();
    void FitLastColumn() const;
    // The list item under a point of the list; -1 for none.
    int ItemAt(POINT point, int* subItem = nullptr) const;
    std::optional<std::int32_t> FoldButtonAt(POINT point) const;
    NameLayout Layout(std::int32_t row, const RECT& cell) const;
    RECT Cell(int item, int column) const;
    void DrawRow(const DRAWITEMSTRUCT& item) const;

    frmFiles& form_;
    Win32FormsRuntime& runtime_;
    OutlineGrid* grid_ = nullptr;
    CellImages images_;
    HWND list_ = nullptr;
    WNDPROC listProc_ = nullptr;
    UINT rowsMessage_ = 0;
    float twipsPerPixelX_ = 15, twipsPerPixelY_ = 15;
    std::vector<std::int32_t> listed_;  // the outline row behind each list item
    bool showing_ = false;              // the list's changes are the view's own
    bool selectionChanged_ = false;     // the person changed the list's selection
};

void FilesView::Create(ControlMaker& maker) {
    grid_ = &form_.fgFiles();
    twipsPerPixelX_ = runtime_.TwipsPerPixelX();
    twipsPerPixelY_ = runtime_.TwipsPerPixelY();
    rowsMessage_ = RegisterWindowMessageW(dialog::kOutlineRowsMessage);

    INITCOMMONCONTROLSEX classes{sizeof classes, ICC_LISTVIEW_CLASSES};
    if (!InitCommonControlsEx(&classes))
        raise(ErrorKind::HostFailure, "the list control of the selection dialog is not available");

    // Made in tab order: the grid first, then the buttons.
    maker.Label(form_.Label1);
    list_ = maker.Make(WC_LISTVIEWW, "", form_.fgFilesPlace,
                       WS_TABSTOP | LVS_REPORT | LVS_OWNERDRAWFIXED | LVS_SHOWSELALWAYS | LVS_NOCOLUMNHEADER,
                       dialog::kOutlineGrid, {}, WS_EX_CLIENTEDGE);
    maker.Button(form_.cmdOK, dialog::kOk);
    maker.Button(form_.cmdCancel, dialog::kCancel);

    // A click anywhere on a row is a click on the row.
    ListView_SetExtendedListViewStyle(list_, LVS_EX_FULLROWSELECT);
    for (int column = 0; column < OutlineGrid::kCols; ++column) {
        LVCOLUMNW format{};
        format.mask = LVCF_WIDTH | LVCF_SUBITEM;
        format.cx = column < kNameCol ? std::max(0, maker.PixelsX(static_cast<float>(grid_->ColWidth(column)))) : 0;
        format.iSubItem = column;
        if (SendMessageW(list_, LVM_INSERTCOLUMNW, static_cast<WPARAM>(column), reinterpret_cast<LPARAM>(&format)) ==
            -1)
            raise(ErrorKind::HostFailure, "the columns of the selection list cannot be made");
    }
    SetWindowLongPtrW(list_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    listProc_ =
        reinterpret_cast<WNDPROC>(SetWindowLongPtrW(list_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&ListProc)));
    Show();
}

std::optional<LRESULT> FilesView::Handle(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_COMMAND:
            // Enter and Escape arrive as the OK and Cancel commands: the
            // dialog's keys do what its buttons do.
            if (HIWORD(wParam) != BN_CLICKED) break;
            if (LOWORD(wParam) == dialog::kOk) {
                form_.cmdOK_Click();
                return 0;
            }
            if (LOWORD(wParam) == dialog::kCancel) {
                form_.cmdCancel_Click();
                return 0;
            }
            break;
        case WM_CLOSE:
            form_.CloseBox();
            return 0;
        case WM_NOTIFY: {
            const auto& header = *reinterpret_cast<const NMHDR*>(lParam);
            if (header.hwndFrom == list_ && header.code == LVN_ITEMCHANGED && !showing_) selectionChanged_ = true;
            break;
        }
        case WM_DRAWITEM: {
            const auto& item = *reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
            if (item.CtlType != ODT_LISTVIEW || item.hwndItem != list_) break;
            DrawRow(item);
            return TRUE;
        }
        default: break;
    }
    return std::nullopt;
}

LRESULT CALLBACK FilesView::ListProc(HWND list, UINT message, WPARAM wParam, LPARAM lParam) {
    // Set before the procedure was, and the list goes before the view.
    return reinterpret_cast<FilesView*>(GetWindowLongPtrW(list, GWLP_USERDATA))->ListMessage(message, wParam, lParam);
}

LRESULT FilesView::ListMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    HWND list = list_;
    const WNDPROC original = listProc_;
    if (message == WM_NCDESTROY) {
        SetWindowLongPtrW(list, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(original));
        list_ = nullptr;
        return CallWindowProcW(original, list, message, wParam, lParam);
    }
    if (message == rowsMessage_) return grid_->Rows();

    std::optional<LRESULT> answer;
    runtime_.Guard([&] {
        switch (message) {
            case WM_LBUTTONDOWN:
            case WM_LBUTTONDBLCLK:
                // A fold button folds, however fast it is clicked, and
                // leaves the selection alone, as a tree's does.
                if (const auto row = FoldButtonAt(PointOf(lParam))) {
                    answer = 0;
                    grid_->SetCollapsed(*row, !grid_->IsCollapsed(*row));
                    Show();
                }
                break;
            case WM_RBUTTONDOWN:
            case WM_RBUTTONDBLCLK: {
                // The grid reported the button without selecting anything.
                answer = 0;
                if (selectionChanged_) MirrorSelection();
                const POINT at = PointOf(lParam);
                form_.fgFiles_MouseDown(select::kRightButton, ShiftState(wParam),
                                        static_cast<float>(at.x) * twipsPerPixelX_,
                                        static_cast<float>(at.y) * twipsPerPixelY_);
                Show();
                break;
            }
            default: break;
        }
    });
    if (answer) return *answer;

    const LRESULT result = CallWindowProcW(original, list, message, wParam, lParam);
    runtime_.Guard([&] {
        if (!list_) return;
        if (selectionChanged_) MirrorSelection();
        if (message != WM_LBUTTONDBLCLK) return;
        const int item = ItemAt(PointOf(lParam));
        if (item == -1) return;
        grid_->SetRow(listed_.at(static_cast<std::size_t>(item)));
        form_.fgFiles_DblClick();
        Show();
    });
    return result;
}

void FilesView::Show() {
    const OutlineGrid& grid = *grid_;
    std::vector<std::int32_t> shown;
    for (std::int32_t row = 0; row < grid.Rows(); ++row)
        if (grid.RowShown(row)) shown.push_back(row);
    std::vector<bool> selected(static_cast<std::size_t>(grid.Rows()));
    for (std::int32_t i = 0; i < grid.SelectedRows(); ++i) selected[static_cast<std::size_t>(grid.SelectedRow(i))] = true;

    showing_ = true;
    struct ShowingEnds {
        bool& flag;
        ~ShowingEnds() { flag = false; }
    } showingEnds{showing_};
    if (shown != listed_) {
        SendMessageW(list_, WM_SETREDRAW, FALSE, 0);
        ListView_DeleteAllItems(list_);
        listed_.clear();
        for (const std::int32_t row : shown) {
            LVITEMW item{};
            item.mask = LVIF_PARAM | LVIF_INDENT;
            item.iItem = static_cast<int>(listed_.size());
            item.lParam = row;
            // The step a person sees a property row set in by.
            item.iIndent = std::max(0, grid.OutlineLevel(row) - 1);
            if (SendMessageW(list_, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item)) == -1) {
                SendMessageW(list_, WM_SETREDRAW, TRUE, 0);
                raise(ErrorKind::HostFailure, "the selection list cannot hold its rows");
            }
            listed_.push_back(row);
        }
        SendMessageW(list_, WM_SETREDRAW, TRUE, 0);
    }
    for (std::size_t i = 0; i < listed_.size(); ++i) {
        const std::int32_t row = listed_[i];
        const int index = static_cast<int>(i);
        for (int column = 0; column < OutlineGrid::kCols; ++column) {
            std::wstring text = Utf16(grid.Text(row, column));
            LVITEMW item{};
            item.iSubItem = column;
            item.pszText = text.data();
            SendMessageW(list_, LVM_SETITEMTEXTW, i, reinterpret_cast<LPARAM>(&item));
        }
        UINT state = StateImage(grid.Checked(row, kCheckCol));
        if (selected[static_cast<std::size_t>(row)]) state |= LVIS_SELECTED;
        if (row == grid.Row()) state |= LVIS_FOCUSED;
        ListView_SetItemState(list_, index, state, LVIS_STATEIMAGEMASK | LVIS_SELECTED | LVIS_FOCUSED);
    }
    MirrorSelection();
    FitLastColumn();
    InvalidateRect(list_, nullptr, FALSE);
}

void FilesView::MirrorSelection() {
    selectionChanged_ = false;
    std::vector<std::int32_t> rows;
    for (int item = -1; (item = ListView_GetNextItem(list_, item, LVNI_SELECTED)) != -1;)
        rows.push_back(listed_.at(static_cast<std::size_t>(item)));
    grid_->Select(std::move(rows));
    const int focused = ListView_GetNextItem(list_, -1, LVNI_FOCUSED);
    grid_->SetRow(focused == -1 ? -1 : listed_.at(static_cast<std::size_t>(focused)));
}

void FilesView::FitLastColumn() const {
    RECT client{};
    GetClientRect(list_, &client);
    int width = client.right - client.left;
    for (int column = 0; column < kNameCol; ++column) width -= ListView_GetColumnWidth(list_, column);
    ListView_SetColumnWidth(list_, kNameCol, std::max(width, 0));
}

int FilesView::ItemAt(POINT point, int* subItem) const {
    LVHITTESTINFO hit{};
    hit.pt = point;
    const int item = ListView_SubItemHitTest(list_, &hit);
    if (item < 0 || static_cast<std::size_t>(item) >= listed_.size()) return -1;
    if (subItem) *subItem = hit.iSubItem;
    return item;
}

std::optional<std::int32_t> FilesView::FoldButtonAt(POINT point) const {
    int column = -1;
    const int item = ItemAt(point, &column);
    if (item == -1 || column != kNameCol) return std::nullopt;
    const std::int32_t row = listed_[static_cast<std::size_t>(item)];
    const RECT fold = Layout(row, Cell(item, kNameCol)).fold;
    if (!PtInRect(&fold, point)) return std::nullopt;
    return row;
}

RECT FilesView::Cell(int item, int column) const {
    RECT cell{};
    ListView_GetSubItemRect(list_, item, column, LVIR_BOUNDS, &cell);
    return cell;
}

FilesView::NameLayout FilesView::Layout(std::int32_t row, const RECT& cell) const {
    // One step per outline level, each as wide as the row is high: a model
    // row's fold button is the first, its property rows start after it.
    const int step = cell.bottom - cell.top;
    int left = cell.left + std::max(0, grid_->OutlineLevel(row) - 1) * step;
    RECT fold{};
    if (grid_->IsNode(row)) {
        fold = {left, cell.top, left + step, cell.bottom};
        left += step;
    }
    return {fold, left};
}

void FilesView::DrawRow(const DRAWITEMSTRUCT& item) const {
    const int index = static_cast<int>(item.itemID);
    if (index < 0 || static_cast<std::size_t>(index) >= listed_.size()) return;
    const std::int32_t row = listed_[static_cast<std::size_t>(index)];
    HDC dc = item.hDC;
    const bool selected = (item.itemState & ODS_SELECTED) != 0;
    FillRect(dc, &item.rcItem, GetSysColorBrush(selected ? COLOR_HIGHLIGHT : COLOR_WINDOW));

    const int saved = SaveDC(dc);
    SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(list_, WM_GETFONT, 0, 0)));
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, GetSysColor(selected ? COLOR_HIGHLIGHTTEXT : COLOR_WINDOWTEXT));

    const std::int16_t mark = grid_->Checked(row, kCheckCol);
    if (mark != select::kNoCheckBox) {
        const RECT cell = Cell(index, kCheckCol);
        const int side = std::min({13, static_cast<int>(cell.bottom - cell.top) - 1,
                                   static_cast<int>(cell.right - cell.left) - 2});
        const int left = cell.left + (cell.right - cell.left - side) / 2;
        const int top = cell.top + (cell.bottom - cell.top - side) / 2;
        RECT box{left, top, left + side, top + side};
        DrawFrameControl(dc, &box, DFC_BUTTON,
                         DFCS_BUTTONCHECK | DFCS_FLAT | (mark == select::kChecked ? DFCS_CHECKED : 0));
    }

    const RECT cell = Cell(index, kNameCol);
    const NameLayout layout = Layout(row, cell);
    if (!IsRectEmpty(&layout.fold)) DrawFoldButton(dc, layout.fold, grid_->IsCollapsed(row));
    const int left = layout.contentLeft + images_.Draw(grid_->Picture(row, kNameCol), dc, layout.contentLeft, cell);
    RECT text{left, cell.top, cell.right, cell.bottom};
    const std::wstring caption = Utf16(grid_->Text(row, kNameCol));
    DrawTextW(dc, caption.c_str(), static_cast<int>(caption.size()), &text,
              DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX | DT_END_ELLIPSIS);

    if (item.itemState & ODS_FOCUS) DrawFocusRect(dc, &item.rcItem);
    RestoreDC(dc, saved);
}

}  // namespace

std::unique_ptr<FormView> MakeFilesView(ui::Form& form, Win32FormsRuntime& runtime) {
    auto* files = dynamic_cast<frmFiles*>(&form);
    return files ? std::make_unique<FilesView>(*files, runtime) : nullptr;
}

}  // namespace bm::win32
