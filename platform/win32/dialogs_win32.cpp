// dialogs_win32.cpp -- modal dialogs and their controls on Win32.
#include <windows.h>

#include "platform/dialogs.h"

// The private message a dialog is notified with.
static const UINT kNotifyMessage = WM_APP + 1;

// One dialog procedure for every dialog: the handlers travel in the
// initialisation parameter and stay with the window. It returns 0 for every
// message, so the system gives no control the initial focus and handles the
// close box and Escape as Cancel.
static INT_PTR CALLBACK dialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        SetWindowLongPtrA(dialog, DWLP_USER, lParam);
        const DialogHandlers* handlers = reinterpret_cast<const DialogHandlers*>(lParam);
        handlers->onInit(dialog);
        return 0;
    }
    const DialogHandlers* handlers = reinterpret_cast<const DialogHandlers*>(GetWindowLongPtrA(dialog, DWLP_USER));
    if (handlers == nullptr) return 0;
    if (message == WM_COMMAND) {
        handlers->onCommand(dialog, LOWORD(wParam));
    } else if (message == kNotifyMessage) {
        handlers->onNotify(dialog);
    }
    return 0;
}

void platformRunDialog(ModuleRef module, uint32_t resourceId, WindowRef owner, const DialogHandlers* handlers) {
    DLGPROC procedure = dialogProc;
    DialogBoxParamA(static_cast<HINSTANCE>(module), MAKEINTRESOURCEA(resourceId), static_cast<HWND>(owner),
                    procedure, reinterpret_cast<LPARAM>(handlers));
}

void platformEndDialog(WindowRef dialog) { EndDialog(static_cast<HWND>(dialog), 0); }

void platformListAdd(WindowRef dialog, uint32_t controlId, const char* text) {
    SendDlgItemMessageA(static_cast<HWND>(dialog), static_cast<int>(controlId), CB_ADDSTRING, 0,
                        reinterpret_cast<LPARAM>(text));
}

void platformListSelect(WindowRef dialog, uint32_t controlId, int32_t index) {
    HWND window = static_cast<HWND>(dialog);
    LRESULT count = SendDlgItemMessageA(window, static_cast<int>(controlId), CB_GETCOUNT, 0, 0);
    // Out of range: remove the selection explicitly rather than leave the
    // old one, whatever the list control does with a bad index.
    if (index < 0 || index >= count) index = -1;
    SendDlgItemMessageA(window, static_cast<int>(controlId), CB_SETCURSEL, static_cast<WPARAM>(index), 0);
}

int32_t platformListSelection(WindowRef dialog, uint32_t controlId) {
    LRESULT index = SendDlgItemMessageA(static_cast<HWND>(dialog), static_cast<int>(controlId), CB_GETCURSEL, 0, 0);
    return index == CB_ERR ? -1 : static_cast<int32_t>(index);
}

int32_t platformListCount(WindowRef dialog, uint32_t controlId) {
    LRESULT count = SendDlgItemMessageA(static_cast<HWND>(dialog), static_cast<int>(controlId), CB_GETCOUNT, 0, 0);
    return count == CB_ERR ? 0 : static_cast<int32_t>(count);
}

void platformListText(WindowRef dialog, uint32_t controlId, int32_t index, char* text, uint32_t capacity) {
    if (capacity == 0) return;
    text[0] = '\0';
    HWND window = static_cast<HWND>(dialog);
    int id = static_cast<int>(controlId);
    LRESULT length = SendDlgItemMessageA(window, id, CB_GETLBTEXTLEN, static_cast<WPARAM>(index), 0);
    // CB_GETLBTEXT has no size: an entry that does not fit is not read.
    if (index < 0 || length == CB_ERR || static_cast<uint32_t>(length) >= capacity) return;
    SendDlgItemMessageA(window, id, CB_GETLBTEXT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(text));
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

void platformEnableWindow(WindowRef window, bool enabled) { EnableWindow(static_cast<HWND>(window), enabled); }

bool platformIsWindowEnabled(WindowRef window) { return IsWindowEnabled(static_cast<HWND>(window)) != FALSE; }

void platformActivateWindow(WindowRef window) { SetActiveWindow(static_cast<HWND>(window)); }

bool platformPostNotify(WindowRef dialog) {
    return PostMessageA(static_cast<HWND>(dialog), kNotifyMessage, 0, 0) != 0;
}

void* platformAllocZeroed(size_t bytes) { return GlobalAlloc(GPTR, bytes); }

void platformFree(void* memory) { GlobalFree(memory); }
