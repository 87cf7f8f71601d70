#pragma once
// Dialog boxes built from in-memory templates, the modal loop that runs them (and any other
// window shown modally), and the dialog controls: combo boxes, tree views, static colours.
//
// Template positions are pixels of the dialog's client area (there is no dialog font to derive
// base units from). The modal loop is scripted like every other modal interaction: a test queues
// what the user does with the window; the loop runs it and then expects the window to be gone.
#include "CommonControls.h"
#include "Controls.h"
#include "Modal.h"
#include "Window.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace win {

// ---- Templates and dialog procedures -----------------------------------------------------
struct DLGITEMTEMPLATE {
    std::string cls;   // "Button", "Edit", "Static", "ComboBox", "SysTreeView32", ...
    std::string text;  // UTF-8
    int id = 0;
    DWORD style = 0;   // WS_CHILD is added; WS_VISIBLE as given
    int x = 0, y = 0, cx = 0, cy = 0;
    DWORD exStyle = 0;
};
struct DLGTEMPLATE {
    std::string caption;
    DWORD style = 0;  // WS_CHILD makes a page inside its parent
    int x = 0, y = 0, cx = 0, cy = 0;  // client size
    std::string font;
    int fontSize = 0;
    std::vector<DLGITEMTEMPLATE> items;
    DWORD exStyle = 0;
};

constexpr DWORD DS_MODALFRAME = 0x80;
constexpr DWORD DS_CENTER = 0x0800;
constexpr UINT WM_INITDIALOG = 0x0110;
constexpr UINT WM_CTLCOLORSTATIC = 0x0138;

// A dialog procedure answers TRUE for a message it handled. The dialog's default handling: the
// Escape key and WM_CLOSE send WM_COMMAND IDCANCEL, which ends a modal dialog the procedure
// leaves it to.
using DLGPROC = std::function<BOOL(HWND, UINT, WPARAM, LPARAM)>;

// A modeless dialog (a page when the template has WS_CHILD); WM_INITDIALOG carries param.
HWND CreateDialogIndirectParam(const DLGTEMPLATE& tmpl, HWND parent, DLGPROC proc, LPARAM param);
// A modal dialog owned by owner: the owner is disabled while it runs. Gives EndDialog's result,
// or -1 when the dialog could not be made.
int DialogBoxIndirectParam(const DLGTEMPLATE& tmpl, HWND owner, DLGPROC proc, LPARAM param);
BOOL EndDialog(HWND dialog, int result);
HWND GetDlgItem(HWND dialog, int id);
int GetDlgCtrlID(HWND control);
BOOL SetDlgItemText(HWND dialog, int id, const std::string& text);
std::string dlgItemText(HWND dialog, int id);  // UTF-8
BOOL CheckDlgButton(HWND dialog, int id, UINT check);
UINT IsDlgButtonChecked(HWND dialog, int id);

// Runs the modal loop of a window the caller has shown (its owner already disabled) until the
// window is destroyed. With nothing scripted the policy of Modal.h decides: fail, or close the
// window as the user would (WM_CLOSE).
void runModalWindow(HWND window);

// ---- Static control ----------------------------------------------------------------------
// With SS_NOTIFY a static tells its parent of a click (WM_COMMAND with STN_CLICKED).
constexpr DWORD SS_NOTIFY = 0x0100;
constexpr UINT STN_CLICKED = 0;

// ---- Combo box ---------------------------------------------------------------------------
constexpr DWORD CBS_SIMPLE = 0x1;
constexpr DWORD CBS_DROPDOWN = 0x2;
constexpr DWORD CBS_DROPDOWNLIST = 0x3;
constexpr UINT CB_GETEDITSEL = 0x0140;
constexpr UINT CB_LIMITTEXT = 0x0141;
constexpr UINT CB_ADDSTRING = 0x0143;      // lParam: pinned ANSI text; gives the index
constexpr UINT CB_GETCOUNT = 0x0146;
constexpr UINT CB_GETCURSEL = 0x0147;
constexpr UINT CB_GETLBTEXT = 0x0148;      // wParam index, lParam pinned buffer
constexpr UINT CB_GETLBTEXTLEN = 0x0149;
constexpr UINT CB_RESETCONTENT = 0x014B;
constexpr UINT CB_FINDSTRINGEXACT = 0x0158;
constexpr UINT CB_SETCURSEL = 0x014E;      // also puts the item's text in the edit field
constexpr LRESULT CB_ERR = -1;
constexpr UINT CBN_SELCHANGE = 1;
constexpr UINT CBN_EDITCHANGE = 5;

// ---- Tree view ---------------------------------------------------------------------------
using HTREEITEM = int32_t;
constexpr HTREEITEM TVI_ROOT = static_cast<HTREEITEM>(0xFFFF0000);
constexpr HTREEITEM TVI_FIRST = static_cast<HTREEITEM>(0xFFFF0001);
constexpr HTREEITEM TVI_LAST = static_cast<HTREEITEM>(0xFFFF0002);
constexpr DWORD TVS_HASBUTTONS = 0x0001;
constexpr DWORD TVS_HASLINES = 0x0002;
constexpr DWORD TVS_LINESATROOT = 0x0004;
constexpr DWORD TVS_DISABLEDRAGDROP = 0x0010;
constexpr DWORD TVS_SHOWSELALWAYS = 0x0020;
constexpr UINT TVIF_TEXT = 0x0001;
constexpr UINT TVIF_STATE = 0x0008;
constexpr UINT TVIF_HANDLE = 0x0010;
constexpr UINT TVIF_PARAM = 0x0004;
constexpr UINT TVIS_SELECTED = 0x0002;
constexpr UINT TVIS_EXPANDED = 0x0020;
constexpr UINT TVM_INSERTITEMA = 0x1100;   // lParam: pinned TVINSERTSTRUCT32
constexpr UINT TVM_DELETEITEM = 0x1101;
constexpr UINT TVM_EXPAND = 0x1102;        // wParam TVE_*, lParam item
constexpr UINT TVM_GETCOUNT = 0x1105;
constexpr UINT TVM_GETNEXTITEM = 0x110A;   // wParam TVGN_*, lParam item
constexpr UINT TVM_SELECTITEM = 0x110B;    // wParam TVGN_CARET, lParam item
constexpr UINT TVM_GETITEMA = 0x110C;      // lParam: pinned TVITEM32
constexpr UINT TVE_COLLAPSE = 0x1;
constexpr UINT TVE_EXPAND = 0x2;
constexpr UINT TVE_TOGGLE = 0x3;
constexpr UINT TVGN_ROOT = 0x0;
constexpr UINT TVGN_NEXT = 0x1;
constexpr UINT TVGN_PARENT = 0x3;
constexpr UINT TVGN_CHILD = 0x4;
constexpr UINT TVGN_CARET = 0x9;
constexpr int32_t TVN_SELCHANGINGA = -401;
constexpr int32_t TVN_SELCHANGEDA = -402;
constexpr int32_t TVN_ITEMEXPANDINGA = -405;
constexpr int32_t TVN_ITEMEXPANDEDA = -406;
constexpr UINT TVC_UNKNOWN = 0x0;
constexpr UINT TVC_BYMOUSE = 0x1;

// TVITEMA of a 32-bit program: pszText is a pinned address.
struct TVITEM32 {
    UINT mask = 0;
    HTREEITEM hItem = 0;
    UINT state = 0;
    UINT stateMask = 0;
    uint32_t pszText = 0;
    int32_t cchTextMax = 0;
    int32_t iImage = 0;
    int32_t iSelectedImage = 0;
    int32_t cChildren = 0;
    int32_t lParam = 0;
};
static_assert(sizeof(TVITEM32) == 40);
struct TVINSERTSTRUCT32 {
    HTREEITEM hParent = TVI_ROOT;
    HTREEITEM hInsertAfter = TVI_LAST;
    TVITEM32 item;
};
struct NMTREEVIEW32 {
    NMHDR32 hdr;
    UINT action = 0;
    TVITEM32 itemOld;
    TVITEM32 itemNew;
    POINT ptDrag;
};

// ---- Test side ---------------------------------------------------------------------------
// The next modal loop runs this with its window: what the user does there (types, clicks,
// closes). The window must be gone when the script returns, or the loop falls to its policy.
void queueModalScript(std::function<void(HWND)> script);
size_t queuedModalScripts();
struct ModalRecord {
    HWND hwnd = 0;
    std::string cls, caption;
    HWND owner = 0;
};
// Every window run modally on this machine, in order.
std::vector<ModalRecord> modalWindows();

// A tree view's items as a user sees them, depth first: text, depth, expanded, selected.
struct TreeItemView {
    HTREEITEM item = 0;
    std::string text;
    int depth = 0;
    bool expanded = false;
    bool selected = false;
    bool visible = true;  // every ancestor expanded
};
std::vector<TreeItemView> treeItems(HWND tree);
// The user clicks an item (selects it, notifying the parent) or its expand button (toggles it,
// notifying the parent before and after).
void userSelectTreeItem(HWND tree, HTREEITEM item);
void userToggleTreeItem(HWND tree, HTREEITEM item);
// A combo box's list, and the user typing a text into its edit field (as replacing whatever
// it held; notifies CBN_EDITCHANGE).
std::vector<std::string> comboItems(HWND combo);
void userTypeIntoCombo(HWND combo, const std::string& text);

namespace detail {
LRESULT staticProc(HWND h, UINT msg, WPARAM wParam, LPARAM lParam);
LRESULT comboProc(HWND h, UINT msg, WPARAM wParam, LPARAM lParam);
LRESULT treeProc(HWND h, UINT msg, WPARAM wParam, LPARAM lParam);
} // namespace detail

} // namespace win
