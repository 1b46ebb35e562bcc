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
