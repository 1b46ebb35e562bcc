// fake_dialogs.cpp -- the dialog part of the fake platform: dialogs are
// records of their lists and labels, driven by per-template scripts.
#include <algorithm>
#include <atomic>
#include <deque>
#include <map>
#include <mutex>
#include <set>
#include <utility>

#include "platform/dialogs.h"
#include "tests/fake/fake_platform.h"

namespace fake {
namespace {

struct Dialog {
    uint32_t resourceId = 0;
    const DialogHandlers* handlers = nullptr;
    std::map<uint32_t, std::vector<std::string>> lists;
    std::map<uint32_t, int32_t> selections;
    std::map<uint32_t, std::string> texts;
    std::map<uint32_t, int32_t> scrolledTo;
    std::map<uint32_t, bool> checked;
    std::set<uint32_t> disabledItems;
    uint32_t focus = 0;
    bool enabled = true;
    bool ended = false;
    std::atomic<int> notifications{0};
};

struct DialogState {
    std::mutex mutex;
    std::deque<Dialog> dialogs;
    std::map<void*, bool> windowsDisabled;  // windows other than dialogs (the host's)
    void* activeWindow = nullptr;
    std::map<uint32_t, DialogScript> scripts;
    std::map<uint32_t, uint32_t> runs;
    bool failAllocation = false;
    bool confirmAnswer = true;
    std::mutex liveMutex;
    std::set<void*> live;  // allocated since the last reset and not freed
};

DialogState& dialogState() {
    static DialogState instance;
    return instance;
}

Dialog& dialogOf(WindowRefForTests window) { return *static_cast<Dialog*>(window); }

bool isDialog(const void* window) {
    for (Dialog& d : dialogState().dialogs) {
        if (&d == window) return true;
    }
    return false;
}

void setEnabled(void* window, bool enabled) {
    if (isDialog(window)) {
        dialogOf(window).enabled = enabled;
    } else {
        dialogState().windowsDisabled[window] = !enabled;
    }
}

}  // namespace

void resetDialogs() {
    DialogState& d = dialogState();
    d.dialogs.clear();
    d.windowsDisabled.clear();
    d.activeWindow = nullptr;
    d.scripts.clear();
    d.runs.clear();
    d.failAllocation = false;
    d.confirmAnswer = true;
    std::lock_guard<std::mutex> lock(d.liveMutex);
    d.live.clear();
}

void setDialogScript(uint32_t resourceId, DialogScript script) { dialogState().scripts[resourceId] = std::move(script); }

void press(WindowRefForTests dialog, uint32_t controlId) {
    Dialog& d = dialogOf(dialog);
    // A disabled dialog or button takes no input; a click moves the focus to the button.
    if (!d.enabled || d.ended || d.disabledItems.count(controlId) != 0) return;
    d.focus = controlId;
    d.handlers->onCommand(dialog, controlId, kButtonClicked);
}

void pressKey(WindowRefForTests dialog, uint32_t controlId) {
    Dialog& d = dialogOf(dialog);
    if (d.enabled && !d.ended) d.handlers->onCommand(dialog, controlId, kButtonClicked);
}

void arrowTo(WindowRefForTests dialog, uint32_t controlId, int32_t index) {
    Dialog& d = dialogOf(dialog);
    if (!d.enabled || d.ended) return;
    d.focus = controlId;
    d.selections[controlId] = index;
    d.handlers->onCommand(dialog, controlId, kSelectionChanged);
}

void choose(WindowRefForTests dialog, uint32_t controlId, int32_t index) {
    arrowTo(dialog, controlId, index);
    // As the mouse picks it from a drop-down list: the list closes after.
    Dialog& d = dialogOf(dialog);
    if (d.enabled && !d.ended) d.handlers->onCommand(dialog, controlId, kListClosed);
}

void closeBox(WindowRefForTests dialog) {
    Dialog& d = dialogOf(dialog);
    if (d.enabled && !d.ended) d.handlers->onCommand(dialog, 2, kCloseBox);
}

void focus(WindowRefForTests dialog, uint32_t controlId) { dialogOf(dialog).focus = controlId; }
uint32_t focusedControl(WindowRefForTests dialog) { return dialogOf(dialog).focus; }
int32_t listScrolledTo(WindowRefForTests dialog, uint32_t controlId) {
    const auto& scrolled = dialogOf(dialog).scrolledTo;
    auto found = scrolled.find(controlId);
    return found != scrolled.end() ? found->second : -1;
}
void setConfirmAnswer(bool ok) { dialogState().confirmAnswer = ok; }
void check(WindowRefForTests dialog, uint32_t controlId, bool ticked) { dialogOf(dialog).checked[controlId] = ticked; }
void runTimer(WindowRefForTests dialog) {
    Dialog& d = dialogOf(dialog);
    if (!d.ended && d.handlers->onTimer != nullptr) d.handlers->onTimer(dialog);
}

void serveNotifications(WindowRefForTests dialog) {
    Dialog& d = dialogOf(dialog);
    for (int n = d.notifications.exchange(0); n > 0; --n) d.handlers->onNotify(dialog);
}

std::vector<std::string> listEntries(WindowRefForTests dialog, uint32_t controlId) {
    return dialogOf(dialog).lists[controlId];
}
int32_t listSelection(WindowRefForTests dialog, uint32_t controlId) {
    const auto& selections = dialogOf(dialog).selections;
    auto found = selections.find(controlId);
    return found != selections.end() ? found->second : -1;
}
std::string itemText(WindowRefForTests dialog, uint32_t controlId) { return dialogOf(dialog).texts[controlId]; }
void typeText(WindowRefForTests dialog, uint32_t controlId, const std::string& text) {
    dialogOf(dialog).texts[controlId] = text;
}
bool isItemEnabled(WindowRefForTests dialog, uint32_t controlId) {
    return dialogOf(dialog).disabledItems.count(controlId) == 0;
}
void doubleClick(WindowRefForTests dialog, uint32_t controlId, int32_t index) {
    Dialog& d = dialogOf(dialog);
    if (!d.enabled || d.ended) return;
    d.selections[controlId] = index;
    d.handlers->onCommand(dialog, controlId, kDoubleClicked);
}
bool isEnabled(WindowRefForTests window) {
    return isDialog(window) ? dialogOf(window).enabled : !dialogState().windowsDisabled[window];
}
WindowRefForTests activeWindow() { return dialogState().activeWindow; }
bool hasEnded(WindowRefForTests dialog) { return dialogOf(dialog).ended; }
uint32_t dialogsRun(uint32_t resourceId) { return dialogState().runs[resourceId]; }
void failAllocation(bool fail) { dialogState().failAllocation = fail; }
int32_t allocationsLive() {
    std::lock_guard<std::mutex> lock(dialogState().liveMutex);
    return static_cast<int32_t>(dialogState().live.size());
}

}  // namespace fake

using fake::dialogState;

// As the system does: a modal dialog disables its owner and becomes the
// active window; when it ends, the owner is enabled again (even one that was
// disabled before) and becomes active if it is enabled by then.
void platformRunDialog(ModuleRef, uint32_t resourceId, WindowRef owner, const DialogHandlers* handlers) {
    fake::DialogState& state = dialogState();
    state.dialogs.emplace_back();
    fake::Dialog& d = state.dialogs.back();
    fake::setEnabled(owner, false);
    state.activeWindow = &d;
    d.resourceId = resourceId;
    d.handlers = handlers;
    // The templates' initial label texts.
    d.texts[1013] = "None";
    d.texts[1014] = "None";
    ++state.runs[resourceId];
    handlers->onInit(&d);
    auto script = state.scripts.find(resourceId);
    if (script != state.scripts.end() && !d.ended) script->second(&d);
    if (!d.ended) handlers->onCommand(&d, 2, kButtonClicked);  // the close box
    fake::setEnabled(owner, true);
    state.activeWindow = fake::isEnabled(owner) ? owner : nullptr;
}

void platformEndDialog(WindowRef dialog) { fake::dialogOf(dialog).ended = true; }

void platformListAdd(WindowRef dialog, uint32_t controlId, const char* text) {
    fake::dialogOf(dialog).lists[controlId].push_back(text);
}

void platformListSelect(WindowRef dialog, uint32_t controlId, int32_t index) {
    fake::Dialog& d = fake::dialogOf(dialog);
    int32_t count = static_cast<int32_t>(d.lists[controlId].size());
    d.selections[controlId] = index >= 0 && index < count ? index : -1;
}

int32_t platformListSelection(WindowRef dialog, uint32_t controlId) { return fake::listSelection(dialog, controlId); }

void platformListClear(WindowRef dialog, uint32_t controlId) {
    fake::dialogOf(dialog).lists[controlId].clear();
    fake::dialogOf(dialog).selections[controlId] = -1;
}

int32_t platformListCount(WindowRef dialog, uint32_t controlId) {
    return static_cast<int32_t>(fake::dialogOf(dialog).lists[controlId].size());
}

void platformListText(WindowRef dialog, uint32_t controlId, int32_t index, char* text, uint32_t capacity) {
    const std::vector<std::string>& list = fake::dialogOf(dialog).lists[controlId];
    std::string entry = index >= 0 && index < static_cast<int32_t>(list.size()) ? list[index] : "";
    if (entry.size() >= capacity) entry.clear();
    entry.copy(text, entry.size());
    text[entry.size()] = '\0';
}

void platformListFitDropDown(WindowRef, uint32_t) {}

void platformListScrollTo(WindowRef dialog, uint32_t controlId, int32_t index) {
    fake::dialogOf(dialog).scrolledTo[controlId] = index;
}

void platformFocusControl(WindowRef dialog, uint32_t controlId) { fake::dialogOf(dialog).focus = controlId; }

uint32_t platformFocusedControl(WindowRef dialog) { return fake::dialogOf(dialog).focus; }

void platformEndBoxesOf(WindowRef) {}

bool platformConfirm(WindowRef, const char*, const char* text) {
    platformMessageBox(nullptr, text);
    return dialogState().confirmAnswer;
}

void platformItemText(WindowRef dialog, uint32_t controlId, char* text, uint32_t capacity) {
    if (capacity == 0) return;
    const std::string& value = fake::dialogOf(dialog).texts[controlId];
    size_t length = std::min<size_t>(value.size(), capacity - 1);
    value.copy(text, length);
    text[length] = '\0';
}

void platformEnableItem(WindowRef dialog, uint32_t controlId, bool enabled) {
    if (enabled) {
        fake::dialogOf(dialog).disabledItems.erase(controlId);
    } else {
        fake::dialogOf(dialog).disabledItems.insert(controlId);
        // As Windows does, a control disabled under the focus leaves it nowhere.
        if (fake::dialogOf(dialog).focus == controlId) fake::dialogOf(dialog).focus = 0;
    }
}

void platformSetItemText(WindowRef dialog, uint32_t controlId, const char* text) {
    fake::dialogOf(dialog).texts[controlId] = text;
}

void platformEnableWindow(WindowRef window, bool enabled) { fake::setEnabled(window, enabled); }

bool platformIsChecked(WindowRef dialog, uint32_t controlId) { return fake::dialogOf(dialog).checked[controlId]; }

bool platformIsWindowEnabled(WindowRef window) { return fake::isEnabled(window); }

void platformActivateWindow(WindowRef window) { dialogState().activeWindow = window; }

void platformStartTimer(WindowRef, uint32_t) {}

bool platformPostNotify(WindowRef dialog) {
    fake::dialogOf(dialog).notifications.fetch_add(1);
    return true;
}

void* platformAllocZeroed(size_t bytes) {
    if (dialogState().failAllocation) return nullptr;
    void* memory = calloc(1, bytes);
    std::lock_guard<std::mutex> lock(dialogState().liveMutex);
    dialogState().live.insert(memory);
    return memory;
}

void platformFree(void* memory) {
    {
        std::lock_guard<std::mutex> lock(dialogState().liveMutex);
        dialogState().live.erase(memory);
    }
    free(memory);
}
