// pick_dialog.cpp -- two small modal dialogs the Bindings dialog asks with:
// one picks an entry of a list (a controller to add, a map to use), one
// takes a name (a map to save).
#include "core/plugin.h"
#include "core/text.h"
#include "platform/dialogs.h"
#include "ui/dialogs.h"
#include "ui/resource.h"

// ---- State (the one question being asked) -------------------------------------------

static const char* askPrompt = "";
static const char* const* askEntries = nullptr;
static uint32_t askCount = 0;
static int32_t askChosen = -1;  // the list's entry on OK; -1 for Cancel
static char* askText = nullptr;  // the name on OK
static size_t askCapacity = 0;
static bool askAnswered = false;

static void onPickInit(WindowRef dialog) {
    platformSetItemText(dialog, IDC_PICK_PROMPT, askPrompt);
    for (uint32_t i = 0; i < askCount; ++i) platformListAdd(dialog, IDC_PICK_LIST, askEntries[i]);
    platformListSelect(dialog, IDC_PICK_LIST, askCount > 0 ? 0 : -1);
    platformFocusControl(dialog, IDC_PICK_LIST);
}

static void onNameInit(WindowRef dialog) {
    platformSetItemText(dialog, IDC_PICK_PROMPT, askPrompt);
    platformSetItemText(dialog, IDC_MAP_NAME, askText);
    platformFocusControl(dialog, IDC_MAP_NAME);
}

static void onAskCommand(WindowRef dialog, uint32_t controlId, uint32_t notification) {
    // A double click on an entry is OK.
    bool picked = controlId == IDC_PICK_LIST && notification == kDoubleClicked;
    if (controlId != kDialogOk && controlId != kDialogCancel && !picked) return;
    if (controlId == kDialogCancel || (notification != kButtonClicked && !picked)) {
        platformEndDialog(dialog);
        return;
    }
    askAnswered = true;
    askChosen = askEntries != nullptr ? platformListSelection(dialog, IDC_PICK_LIST) : -1;
    if (askText != nullptr) platformItemText(dialog, IDC_MAP_NAME, askText, static_cast<uint32_t>(askCapacity));
    platformEndDialog(dialog);
}

static void onAskNotify(WindowRef) {}

static const DialogHandlers pickHandlers = {onPickInit, onAskCommand, onAskNotify, nullptr};
static const DialogHandlers nameHandlers = {onNameInit, onAskCommand, onAskNotify, nullptr};

int32_t runPickDialog(WindowRef owner, const char* prompt, const char* const* entries, uint32_t count) {
    askPrompt = prompt;
    askEntries = entries;
    askCount = count;
    askChosen = -1;
    askText = nullptr;
    askAnswered = false;
    platformRunDialog(pluginRecord.moduleInstance, IDD_PICK, owner, &pickHandlers);
    askEntries = nullptr;
    return askAnswered && !pluginHasQuit() ? askChosen : -1;
}

bool runNameDialog(WindowRef owner, const char* prompt, char* name, size_t capacity) {
    askPrompt = prompt;
    askEntries = nullptr;
    askCount = 0;
    askText = name;
    askCapacity = capacity;
    askAnswered = false;
    platformRunDialog(pluginRecord.moduleInstance, IDD_MAP_NAME, owner, &nameHandlers);
    askText = nullptr;
    return askAnswered && !pluginHasQuit();
}
