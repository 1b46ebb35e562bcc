// bindings_scenarios.cpp -- the user's bindings under Wine: a settings file
// with bindings drives the player, and the Bindings dialog's Learn, OK and
// Cancel, through the real dialog and the real winmm.
#include <cstdio>
#include <string>

#include "tests/wine/host_support.h"
#include "ui/resource.h"

using namespace host;

namespace {

typedef std::vector<Received> List;
typedef std::vector<std::string> Texts;

const char* const kBindingLines[] = {
    "Note 36 Channel 10=Play/Pause", "Note 64 Channel 1=Next",       "Controller 64 Channel 1=Stop",
    "Controller 7 Channel 1=Volume", "Pitch Bend Channel 2=Volume Steps", "Program 3 Channel 1=Previous",
    // Not used, and kept: a second line for a source, a bad number, an
    // unknown action, a comment.
    "Note 36 Channel 10=Stop",       "Note 200 Channel 1=Next",      "Controller 8 Channel 1=Fly",
    "; pads on channel 10",
};

void writeBindings(const char* const* lines, size_t count) {
    std::string text = "[Notewick]\r\nMIDIDevice=0\r\nMIDIChannel=0\r\n\r\n[Notewick Bindings]\r\n";
    for (size_t i = 0; i < count; ++i) text += std::string(lines[i]) + "\r\n";
    writeFile(iniPath(), text);
}

void expectSends(UINT device, DWORD message, const List& want, const char* what) {
    take();
    play(device, message);
    List got = take();
    check(got == want, what, "got " + describe(got) + ", want " + describe(want));
}

// ---- A file with bindings drives the player ------------------------------------------

void fromTheFile() {
    writeBindings(kBindingLines, sizeof kBindingLines / sizeof kBindingLines[0]);
    check(load() != nullptr && init() == 0, "the plug-in starts");
    expectSends(0, midiNoteOn(9, 36, 90), {request(104, 0), command(40045)}, "a pad on channel 10 plays");
    expectSends(0, midiNoteOn(0, 64, 90), {command(40048)}, "a binding takes the key map's E");
    expectSends(0, midiNoteOn(0, 65, 90), {command(40047)}, "an unbound key keeps the key map");
    expectSends(0, midiController(0, 64, 127), {command(40047)}, "a pedal pressed stops");
    expectSends(0, midiController(0, 64, 0), {}, "its release does nothing");
    expectSends(0, midiController(0, 7, 100), {request(122, 200)}, "a fader sets the volume");
    expectSends(0, midiPitchBend(1, 0x35, 90), {command(40058)}, "a bound wheel steps, whatever its low byte");
    expectSends(0, 0x03C0, {command(40044)}, "program 3 goes back a track");
    expectSends(0, midiController(15, 21, 127), {command(40047)}, "the channel-16 controllers as before");
    quit();
    unload();
    std::string ini = readFile(iniPath());
    for (const char* line : kBindingLines) check(contains(ini, std::string(line) + "\r\n"), "every line is kept", line);
}

// ---- Learn, OK and Cancel ---------------------------------------------------------------

// Waits for the Bindings dialog's line to show `text` at its start.
bool lineSays(HWND dialog, const std::string& text) {
    for (int i = 0; i < 1000; ++i) {
        if (controlText(dialog, IDC_BINDING_STATUS).compare(0, text.size(), text) == 0) return true;
        Sleep(10);
    }
    return false;
}

// Chooses the action, presses Learn and touches the control.
void learn(HWND bindings, int action, DWORD message) {
    chooseEntry(bindings, IDC_BINDING_ACTION, action - 1);
    click(bindings, IDC_LEARN);
    check(lineSays(bindings, "Press a key or move a control on Test MIDI In 0"), "Learn names the device",
          controlText(bindings, IDC_BINDING_STATUS));
    Sleep(60);  // past the 50 ms window of the message before
    midiSend(0, message);
    check(lineSays(bindings, "Learned"), "and takes the control", controlText(bindings, IDC_BINDING_STATUS));
    for (int i = 0; i < 100 && !contains(controlText(bindings, IDC_LIVE_LINE), "taken by Learn"); ++i) Sleep(10);
    check(contains(controlText(bindings, IDC_LIVE_LINE), "taken by Learn"), "the dialog's line says so",
          controlText(bindings, IDC_LIVE_LINE));
}

HWND openBindings(HWND config) {
    click(config, IDC_BINDINGS);
    HWND bindings = waitForDialog(kBindingsCaption);
    check(bindings != nullptr && GetWindow(bindings, GW_OWNER) == config, "Bindings opens its dialog, owned by the "
                                                                          "configuration dialog");
    return bindings;
}

void learnUser() {
    HWND config = waitForDialog(kConfigCaption);
    if (config == nullptr) return;
    HWND bindings = openBindings(config);
    if (bindings == nullptr) return;
    check(!IsWindowEnabled(config) && !IsWindowEnabled(window()), "neither the configuration dialog nor the player "
                                                                  "takes input meanwhile");
    check(listEntries(bindings, IDC_BINDING_LIST) == Texts{"Note 36 (C2), channel 10: Next"}, "the file's binding",
          joined(listEntries(bindings, IDC_BINDING_LIST)));
    take();
    learn(bindings, 2 /* Play/Pause */, midiController(0, 64, 127));
    learn(bindings, 5 /* Stop */, midiNoteOn(9, 36, 90));
    Texts want = {"Note 36 (C2), channel 10: Stop", "Controller 64, channel 1: Play/Pause"};
    check(listEntries(bindings, IDC_BINDING_LIST) == want, "Learn adds one binding and changes the other",
          joined(listEntries(bindings, IDC_BINDING_LIST)));
    check(listSelection(bindings, IDC_BINDING_LIST) == -1, "nothing stays selected after Learn");
    check(take().empty(), "the learned messages act on nothing");
    click(bindings, IDCANCEL);
    waitUntilGone(bindings);
    check(!contains(readFile(iniPath()), "Controller 64"), "Cancel writes nothing");
    Sleep(50);
    check(activeWindowOfPlayer() == config && IsWindowEnabled(config), "the configuration dialog is active again");
    check(!IsWindowEnabled(window()), "and the player still takes no input");

    bindings = openBindings(config);
    if (bindings == nullptr) return;
    learn(bindings, 2 /* Play/Pause */, midiController(0, 64, 127));
    click(bindings, IDOK);
    waitUntilGone(bindings);
    std::string ini = readFile(iniPath());
    check(contains(ini, "Controller 64 Channel 1=Play/Pause\r\n") && contains(ini, "Note 36 Channel 10=Next\r\n") &&
              contains(ini, "Note 99 Channel 1=Jump\r\n"),
          "OK writes the new binding and keeps the others", ini);
    click(config, IDCANCEL);
    waitUntilGone(config);
}

void learnOkCancel() {
    const char* const lines[] = {"Note 36 Channel 10=Next", "Note 99 Channel 1=Jump"};
    writeBindings(lines, 2);
    check(load() != nullptr && init() == 0, "the plug-in starts");
    runConfigWithUser(learnUser);
    pump(60);  // past the 50 ms window of the last message learned
    expectSends(0, midiController(0, 64, 127), {request(104, 0), command(40045)}, "the learned pedal plays");
    expectSends(0, midiNoteOn(9, 36, 90), {command(40048)}, "the binding Cancel left alone");
    check(messageBoxes().empty(), "no message box", joined(messageBoxes()));
    quit();
    unload();
}

// ---- The section as the user wrote it, through the real dialog ---------------------------

// A line without "=" before a binding's own line, a comment, a later line for
// a bound pad, a blank line and an unused line.
const char* const kEditedLines[] = {
    "Note 36 Channel 10", "; pads", "Note 36 Channel 10=Stop", "  Note 38 Channel 10 = Next  ",
    "Note 38 Channel 10=Play", "", "Note 99 Channel 1=Jump",
};

bool listIs(HWND dialog, const Texts& want) {
    for (int i = 0; i < 200 && listEntries(dialog, IDC_BINDING_LIST) != want; ++i) Sleep(10);
    return listEntries(dialog, IDC_BINDING_LIST) == want;
}

void sectionUser() {
    HWND config = waitForDialog(kConfigCaption);
    HWND bindings = config != nullptr ? openBindings(config) : nullptr;
    if (bindings == nullptr) return;
    check(listIs(bindings, {"Note 36 (C2), channel 10: Stop", "Note 38 (D2), channel 10: Next"}), "the list is what "
          "acts", joined(listEntries(bindings, IDC_BINDING_LIST)));
    chooseEntry(bindings, IDC_BINDING_LIST, 1);
    check(lineSays(bindings, "Note 38 (D2), channel 10: Next."), "the binding picked");
    click(bindings, IDC_REMOVE);
    check(listIs(bindings, {"Note 36 (C2), channel 10: Stop", "Note 38 (D2), channel 10: Play"}),
          "Remove shows the later line for the pad at once", joined(listEntries(bindings, IDC_BINDING_LIST)));
    learn(bindings, 6 /* Next */, midiNoteOn(9, 40, 90));
    check(listSelection(bindings, IDC_BINDING_LIST) == -1, "nothing stays selected after Learn");
    click(bindings, IDOK);
    waitUntilGone(bindings);
    std::string ini = readFile(iniPath());
    check(contains(ini, "[Notewick Bindings]\r\nNote 36 Channel 10\r\n; pads\r\nNote 36 Channel 10=Stop\r\n"
                        "Note 38 Channel 10=Play\r\n\r\nNote 99 Channel 1=Jump\r\nNote 40 Channel 10=Next\r\n"),
          "OK removes the binding's own line and adds the new one, every other line as it was", ini);
    take();
    Sleep(60);  // past the 50 ms window of the message learned
    midiSend(0, midiNoteOn(9, 38, 90));
    List got = waitForReceived(1);
    check(got == List{command(40045)}, "the later line for pad 38 acts", describe(got));
    Sleep(60);
    midiSend(0, midiNoteOn(9, 40, 90));
    got = waitForReceived(1);
    check(got == List{command(40048)}, "the learned pad acts", describe(got));
    // The configuration's own write goes through the profile calls, which
    // rewrite the whole file: the section's comment and odd lines survive it.
    click(config, IDC_APPLY);
    Sleep(300);
    ini = readFile(iniPath());
    check(contains(ini, "Note 36 Channel 10\r\n; pads\r\nNote 36 Channel 10=Stop\r\n") &&
              contains(ini, "Note 40 Channel 10=Next"), "Apply keeps the section", ini);

    bindings = openBindings(config);
    if (bindings == nullptr) return;
    click(bindings, IDC_REMOVE_ALL);
    HWND question = waitForDialog("Remove All");
    check(question != nullptr, "Remove All asks first");
    if (question != nullptr) click(question, IDOK);
    check(listIs(bindings, {}), "then lists nothing", joined(listEntries(bindings, IDC_BINDING_LIST)));
    click(bindings, IDOK);
    waitUntilGone(bindings);
    ini = readFile(iniPath());
    check(contains(ini, "[Notewick Bindings]\r\nNote 36 Channel 10\r\n; pads\r\nNote 99 Channel 1=Jump\r\n"),
          "and leaves only the lines that bind nothing", ini);

    // The player quits while both dialogs are open, Learn waits and the Remove
    // All question is up.
    writeFile(iniPath(), readFile(iniPath()) + "Note 38 Channel 10=Next\r\n");
    bindings = openBindings(config);
    if (bindings == nullptr) return;
    click(bindings, IDC_LEARN);
    check(lineSays(bindings, "Press a key"), "Learn waits");
    click(bindings, IDC_REMOVE_ALL);
    question = waitForDialog("Remove All");
    check(question != nullptr, "the question is up");
    askPlayerToQuit();
    check(waitUntilGone(bindings) && waitUntilGone(config) && (question == nullptr || waitUntilGone(question)),
          "quit ends both dialogs and the question");
    midiSend(0, midiNoteOn(9, 40, 90));
    Sleep(100);
}

void editedSection() {
    writeBindings(kEditedLines, sizeof kEditedLines / sizeof kEditedLines[0]);
    check(load() != nullptr && init() == 0, "the plug-in starts");
    runConfigWithUser(sectionUser);
    check(midiOpenCount() == 0, "no port is open after quit");
    check(messageBoxes().empty(), "no message box", joined(messageBoxes()));
    std::string before = readFile(iniPath());
    pump(200);
    unload();
    midiSend(0, midiNoteOn(9, 40, 90));
    midiWaitIdle();
    pump(100);
    check(readFile(iniPath()) == before, "nothing written after quit");
}

const ScenarioRegistration registrations[] = {
    {"bindings_file", fromTheFile},
    {"bindings_learn", learnOkCancel},
    {"bindings_section", editedSection},
};

}  // namespace
