// dialogs.h -- modal dialogs and their controls, as the logic sees them.
//
// A dialog's behaviour is a set of plain handler functions; the platform
// calls them from its dialog procedure on the user-interface thread.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/platform.h"

const uint32_t kButtonClicked = 0;     // BN_CLICKED
const uint32_t kSelectionChanged = 1;  // LBN_SELCHANGE and CBN_SELCHANGE
const uint32_t kDoubleClicked = 2;     // LBN_DBLCLK
const uint32_t kListClosed = 8;        // CBN_CLOSEUP: a drop-down list's list closed
// Cancel (id 2) from the close box rather than the Cancel button or Escape.
const uint32_t kCloseBox = 0xFFFF;

struct DialogHandlers {
    void (*onInit)(WindowRef dialog);
    // Every command: the control's identifier, and what happened to it
    // (kButtonClicked for a button, kSelectionChanged when the user picked
    // another entry of a list). The close box and the Escape key arrive as
    // Cancel (id 2), the close box with kCloseBox.
    void (*onCommand)(WindowRef dialog, uint32_t controlId, uint32_t notification);
    // The dialog's private message, posted with platformPostNotify.
    void (*onNotify)(WindowRef dialog);
    // The dialog's timer (platformStartTimer); null for a dialog without one.
    void (*onTimer)(WindowRef dialog);
};

// Runs the dialog template resourceId of module modally and returns when it
// ends. The dialog procedure returns 0 for every message.
void platformRunDialog(ModuleRef module, uint32_t resourceId, WindowRef owner, const DialogHandlers* handlers);
void platformEndDialog(WindowRef dialog);

// Lists (drop-down lists and list boxes): entries stay in the order they are
// added.
void platformListAdd(WindowRef dialog, uint32_t controlId, const char* text);
void platformListClear(WindowRef dialog, uint32_t controlId);
// Selects the entry; an index outside the list leaves it with no selection.
void platformListSelect(WindowRef dialog, uint32_t controlId, int32_t index);
// The selected index, -1 with no selection.
int32_t platformListSelection(WindowRef dialog, uint32_t controlId);
int32_t platformListCount(WindowRef dialog, uint32_t controlId);
// The entry's text, cut to capacity; empty for an index outside the list.
void platformListText(WindowRef dialog, uint32_t controlId, int32_t index, char* text, uint32_t capacity);
// Scrolls the list so that the entry is in view and puts the list's caret on
// it, selecting nothing: the arrow keys then start from there.
void platformListScrollTo(WindowRef dialog, uint32_t controlId, int32_t index);
// Makes the list's drop-down at least as wide as its widest entry, so that
// entries that differ only at their ends can be told apart; the closed list
// keeps its size.
void platformListFitDropDown(WindowRef dialog, uint32_t controlId);

void platformSetItemText(WindowRef dialog, uint32_t controlId, const char* text);
// The control's text (an edit box's), cut to capacity.
void platformItemText(WindowRef dialog, uint32_t controlId, char* text, uint32_t capacity);
// Lets the control take input, or not (a button greyed out).
void platformEnableItem(WindowRef dialog, uint32_t controlId, bool enabled);
// Whether the check box is ticked.
bool platformIsChecked(WindowRef dialog, uint32_t controlId);
void platformEnableWindow(WindowRef window, bool enabled);
bool platformIsWindowEnabled(WindowRef window);
// Makes the window the active window of the calling thread, so that it takes
// the keyboard again.
void platformActivateWindow(WindowRef window);

// Calls the dialog's onTimer every intervalMs until the dialog ends.
void platformStartTimer(WindowRef dialog, uint32_t intervalMs);

// Posts the dialog's private message; safe to call from any thread, the MIDI
// callback included. False when it could not be posted.
bool platformPostNotify(WindowRef dialog);

// A modal box with OK and Cancel, the text and its own caption; true for OK.
bool platformConfirm(WindowRef owner, const char* caption, const char* text);
// Ends, as Cancel would, every message box and dialog the window owns: the
// call that showed it returns once control is back in its loop.
void platformEndBoxesOf(WindowRef owner);

// Gives the control the keyboard focus; the control that has it (0: none).
void platformFocusControl(WindowRef dialog, uint32_t controlId);
uint32_t platformFocusedControl(WindowRef dialog);
