// dialogs_win32.cpp -- modal dialogs and their controls on Win32.
#include <windows.h>

#include "platform/dialogs.h"

static_assert(kButtonClicked == BN_CLICKED && kSelectionChanged == LBN_SELCHANGE && kSelectionChanged == CBN_SELCHANGE &&
                  kDoubleClicked == LBN_DBLCLK && kListClosed == CBN_CLOSEUP,
              "notification codes");

// The private message a dialog is notified with.
static const UINT kNotifyMessage = WM_APP + 1;

// One dialog procedure for every dialog: the handlers travel in the
// initialisation parameter and stay with the window. It returns 0 for every
// message but the close box's, so the system gives no control the initial
// focus and handles Escape as Cancel; the close box arrives as Cancel too,
// marked kCloseBox, so that a dialog can tell it from Escape.
static INT_PTR CALLBACK dialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        SetWindowLongPtrA(dialog, DWLP_USER, lParam);
        const DialogHandlers* handlers = reinterpret_cast<const DialogHandlers*>(lParam);
        handlers->onInit(dialog);
        return 0;
    }
    const DialogHandlers* handlers = reinterpret_cast<const DialogHandlers*>(GetWindowLongPtrA(dialog, DWLP_USER));
    if (handlers == nullptr) return 0;
    if (message == WM_CLOSE) {
        handlers->onCommand(dialog, IDCANCEL, kCloseBox);
        return TRUE;
    }
    if (message == WM_COMMAND) {
        handlers->onCommand(dialog, LOWORD(wParam), HIWORD(wParam));
    } else if (message == kNotifyMessage) {
        handlers->onNotify(dialog);
    } else if (message == WM_TIMER && handlers->onTimer != nullptr) {
        handlers->onTimer(dialog);
    }
    return 0;
}

void platformRunDialog(ModuleRef module, uint32_t resourceId, WindowRef owner, const DialogHandlers* handlers) {
    DLGPROC procedure = dialogProc;
    DialogBoxParamA(static_cast<HINSTANCE>(module), MAKEINTRESOURCEA(resourceId), static_cast<HWND>(owner),
                    procedure, reinterpret_cast<LPARAM>(handlers));
}

void platformEndDialog(WindowRef dialog) { EndDialog(static_cast<HWND>(dialog), 0); }

// Drop-down lists (combo boxes) and list boxes take the same requests under
// other numbers; both answer -1 (CB_ERR, LB_ERR) for an error.
struct ListRequests {
    UINT add, setSelection, getSelection, count, textLength, text, clear;
};
static const ListRequests comboRequests = {CB_ADDSTRING,    CB_SETCURSEL, CB_GETCURSEL,   CB_GETCOUNT,
                                           CB_GETLBTEXTLEN, CB_GETLBTEXT, CB_RESETCONTENT};
static const ListRequests listBoxRequests = {LB_ADDSTRING,  LB_SETCURSEL, LB_GETCURSEL,  LB_GETCOUNT,
                                             LB_GETTEXTLEN, LB_GETTEXT,   LB_RESETCONTENT};

// Sends the list control its kind's request.
static LRESULT listRequest(WindowRef dialog, uint32_t controlId, UINT ListRequests::*request, WPARAM wParam,
                           LPARAM lParam) {
    HWND list = GetDlgItem(static_cast<HWND>(dialog), static_cast<int>(controlId));
    char className[16] = "";
    GetClassNameA(list, className, sizeof className);
    const ListRequests& kind = lstrcmpiA(className, "ListBox") == 0 ? listBoxRequests : comboRequests;
    return SendMessageA(list, kind.*request, wParam, lParam);
}

void platformListAdd(WindowRef dialog, uint32_t controlId, const char* text) {
    listRequest(dialog, controlId, &ListRequests::add, 0, reinterpret_cast<LPARAM>(text));
}

void platformListClear(WindowRef dialog, uint32_t controlId) {
    listRequest(dialog, controlId, &ListRequests::clear, 0, 0);
}

void platformListSelect(WindowRef dialog, uint32_t controlId, int32_t index) {
    // Out of range: remove the selection explicitly rather than leave the
    // old one, whatever the list control does with a bad index.
    if (index < 0 || index >= platformListCount(dialog, controlId)) index = -1;
    listRequest(dialog, controlId, &ListRequests::setSelection, static_cast<WPARAM>(index), 0);
}

int32_t platformListSelection(WindowRef dialog, uint32_t controlId) {
    LRESULT index = listRequest(dialog, controlId, &ListRequests::getSelection, 0, 0);
    return index < 0 ? -1 : static_cast<int32_t>(index);
}

int32_t platformListCount(WindowRef dialog, uint32_t controlId) {
    LRESULT count = listRequest(dialog, controlId, &ListRequests::count, 0, 0);
    return count < 0 ? 0 : static_cast<int32_t>(count);
}

void platformListText(WindowRef dialog, uint32_t controlId, int32_t index, char* text, uint32_t capacity) {
    if (capacity == 0) return;
    text[0] = '\0';
    if (index < 0) return;
    LRESULT length = listRequest(dialog, controlId, &ListRequests::textLength, static_cast<WPARAM>(index), 0);
    // The text request has no size: an entry that does not fit is not read.
    if (length < 0 || static_cast<uint32_t>(length) >= capacity) return;
    listRequest(dialog, controlId, &ListRequests::text, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(text));
}

void platformListScrollTo(WindowRef dialog, uint32_t controlId, int32_t index) {
    HWND list = GetDlgItem(static_cast<HWND>(dialog), static_cast<int>(controlId));
    LRESULT itemHeight = SendMessageA(list, LB_GETITEMHEIGHT, 0, 0);
    RECT client = {0, 0, 0, 0};
    GetClientRect(list, &client);
    LONG visible = itemHeight > 0 ? client.bottom / static_cast<LONG>(itemHeight) : 1;
    if (visible < 1) visible = 1;
    LRESULT top = SendMessageA(list, LB_GETTOPINDEX, 0, 0);
    if (index < top) top = index;
    if (index >= top + visible) top = index - visible + 1;
    SendMessageA(list, LB_SETTOPINDEX, static_cast<WPARAM>(top), 0);
    // With nothing selected, the first arrow key selects the caret's entry.
    SendMessageA(list, LB_SETCARETINDEX, static_cast<WPARAM>(index), FALSE);
}

void platformListFitDropDown(WindowRef dialog, uint32_t controlId) {
    HWND list = GetDlgItem(static_cast<HWND>(dialog), static_cast<int>(controlId));
    HDC dc = GetDC(list);
    if (dc == nullptr) return;
    HGDIOBJ oldFont = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageA(list, WM_GETFONT, 0, 0)));
    LONG widest = 0;
    LRESULT count = SendMessageA(list, CB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < count; ++i) {
        char text[256];
        LRESULT length = SendMessageA(list, CB_GETLBTEXTLEN, static_cast<WPARAM>(i), 0);
        if (length == CB_ERR || length >= static_cast<LRESULT>(sizeof text)) continue;
        SendMessageA(list, CB_GETLBTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(text));
        SIZE size = {0, 0};
        GetTextExtentPoint32A(dc, text, static_cast<int>(length), &size);
        if (size.cx > widest) widest = size.cx;
    }
    SelectObject(dc, oldFont);
    ReleaseDC(list, dc);
    // Room for the scroll bar and the entries' margins besides the text.
    LONG width = widest + GetSystemMetrics(SM_CXVSCROLL) + 4 * GetSystemMetrics(SM_CXEDGE) + 8;
    SendMessageA(list, CB_SETDROPPEDWIDTH, static_cast<WPARAM>(width), 0);
}

void platformSetItemText(WindowRef dialog, uint32_t controlId, const char* text) {
    SetWindowTextA(GetDlgItem(static_cast<HWND>(dialog), static_cast<int>(controlId)), text);
}

void platformItemText(WindowRef dialog, uint32_t controlId, char* text, uint32_t capacity) {
    if (capacity == 0) return;
    text[0] = '\0';
    GetDlgItemTextA(static_cast<HWND>(dialog), static_cast<int>(controlId), text, static_cast<int>(capacity));
}

void platformEnableItem(WindowRef dialog, uint32_t controlId, bool enabled) {
    EnableWindow(GetDlgItem(static_cast<HWND>(dialog), static_cast<int>(controlId)), enabled);
}

bool platformIsChecked(WindowRef dialog, uint32_t controlId) {
    return IsDlgButtonChecked(static_cast<HWND>(dialog), static_cast<int>(controlId)) == BST_CHECKED;
}

void platformEnableWindow(WindowRef window, bool enabled) { EnableWindow(static_cast<HWND>(window), enabled); }

bool platformIsWindowEnabled(WindowRef window) { return IsWindowEnabled(static_cast<HWND>(window)) != FALSE; }

void platformActivateWindow(WindowRef window) { SetActiveWindow(static_cast<HWND>(window)); }

// The dialog's window destroys its timer with it.
void platformStartTimer(WindowRef dialog, uint32_t intervalMs) { SetTimer(static_cast<HWND>(dialog), 1, intervalMs, nullptr); }

bool platformPostNotify(WindowRef dialog) {
    return PostMessageA(static_cast<HWND>(dialog), kNotifyMessage, 0, 0) != 0;
}

bool platformConfirm(WindowRef owner, const char* caption, const char* text) {
    return MessageBoxA(static_cast<HWND>(owner), text, caption, MB_OKCANCEL) == IDOK;
}

static BOOL CALLBACK endOwnedBox(HWND window, LPARAM owner) {
    char className[16] = "";
    GetClassNameA(window, className, sizeof className);
    if (GetWindow(window, GW_OWNER) == reinterpret_cast<HWND>(owner) && lstrcmpA(className, "#32770") == 0) {
        EndDialog(window, IDCANCEL);
    }
    return TRUE;
}

void platformEndBoxesOf(WindowRef owner) {
    if (owner != nullptr) EnumThreadWindows(GetCurrentThreadId(), endOwnedBox, reinterpret_cast<LPARAM>(owner));
}

void platformFocusControl(WindowRef dialog, uint32_t controlId) {
    HWND control = GetDlgItem(static_cast<HWND>(dialog), static_cast<int>(controlId));
    SendMessageA(static_cast<HWND>(dialog), WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(control), TRUE);
}

uint32_t platformFocusedControl(WindowRef dialog) {
    HWND focus = GetFocus();
    if (focus == nullptr || !IsChild(static_cast<HWND>(dialog), focus)) return 0;
    return static_cast<uint32_t>(GetDlgCtrlID(focus));
}
