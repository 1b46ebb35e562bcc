// bindings_dialog_maps.cpp -- the Bindings dialog's ready-made maps: the
// one offered for the shown device's input and Use This Map, All Maps... with
// every map, and Save as Map..., which keeps the shown device's bindings as
// a map of the user's own.
#include <initializer_list>

#include "core/bindings_section.h"
#include "core/maps.h"
#include "core/output_port.h"
#include "core/text.h"
#include "midi/identity.h"
#include "midi/ports.h"
#include "platform/dialogs.h"
#include "platform/platform.h"
#include "ui/bindings_dialog.h"
#include "ui/dialogs.h"
#include "ui/resource.h"

// What the shown device answered the Device Inquiry with, as a map's
// Identity gives it; false before it answered, and for a controller added
// in this dialog (its output is not open yet).
bool shownIdentity(MapIdentity* reply) {
    DeviceIdentity answered;
    if (shown().added || !deviceIdentity(bindingsState->device, &answered)) return false;
    *reply = MapIdentity{};
    for (uint32_t i = 0; i < 3; ++i) reply->maker[i] = answered.maker[i];
    reply->makerLength = answered.makerLength;
    for (uint32_t i = 0; i < 2; ++i) {
        reply->family[i] = answered.family[i];
        reply->member[i] = answered.member[i];
    }
    return true;
}

// The map that fits the shown device's input is offered by name; when none
// does, the map of what the device answered the Device Inquiry with. The
// dialog's timer offers again once an answer comes.
void offerMap(WindowRef dialog) {
    char name[kDeviceNameCapacity];
    editName(bindingsState->device, name);
    MapIdentity reply;
    bindingsState->offeredByReply = shownIdentity(&reply);
    bindingsState->offered = findOfferedMap(bindingsState->maps, bindingsState->mapCount, name,
                                            bindingsState->offeredByReply ? &reply : nullptr);
    char text[200] = "";
    if (bindingsState->offered >= 0) {
        char used[kMapNameCapacity] = "";
        sectionValue(shown().section, "Map", used, sizeof used);
        const char* map = bindingsState->maps[bindingsState->offered].name;
        for (const char* piece : {textEquals(used, map) ? "Uses the ready-made map for the " : "A ready-made map for the ",
                                  map, textEquals(used, map) ? "." : " is ready:"}) {
            appendText(text, sizeof text, piece);
        }
    } else if (name[0] != '\0') {
        for (const char* piece : {"No ready-made map is for ", static_cast<const char*>(name),
                                  ". All Maps... lists them all."}) {
            appendText(text, sizeof text, piece);
        }
    }
    platformSetItemText(dialog, IDC_MAP_OFFER, text);
    platformEnableItem(dialog, IDC_USE_MAP, bindingsState->offered >= 0);
}

// Uses the map on the shown device: its bindings and set-up messages replace
// the device's (after asking, when it has bindings), and its output is the
// input's own when the map matches the input. It takes effect at OK.
void useMap(WindowRef dialog, int32_t index) {
    if (index < 0 || static_cast<uint32_t>(index) >= bindingsState->mapCount) return;
    const MapEntry& map = bindingsState->maps[index];
    char name[kDeviceNameCapacity];
    editName(bindingsState->device, name);
    if (bindingsState->boundCount > 0) {
        char count[12], question[240] = "";
        formatDecimal(static_cast<int32_t>(bindingsState->boundCount), count);
        for (const char* piece : {"Replace the ", static_cast<const char*>(count),
                                  bindingsState->boundCount == 1 ? " binding of " : " bindings of ",
                                  name[0] != '\0' ? static_cast<const char*>(name) : "this device",
                                  " with the map for the ", map.name, "? OK in the Bindings dialog keeps it."}) {
            appendText(question, sizeof question, piece);
        }
        if (!confirm(dialog, "Use Map", question, "Nothing was changed.")) return;
    }
    SectionText lines = {nullptr, 0, 0};
    char byHand[200];
    bool unlit = false;
    if (!readMap(map, &lines, byHand, sizeof byHand, &unlit)) {
        say(dialog, "Could not read the map ", map.path, ".");
        return;
    }
    SectionText& section = shown().section;
    for (uint32_t line = 0, start = 0, end = 0; sectionLine(section, line, &start, &end);) {
        if (mapReplacesLine(section.text + start, section.text + end)) {
            removeSectionLine(&section, line);
        } else {
            ++line;
        }
    }
    bool room = setSectionValue(&section, "Map", map.name);
    for (uint32_t line = 0, start = 0, end = 0; room && sectionLine(lines, line, &start, &end); ++line) {
        char text[kSetupTextCapacity];  // a Setup line is the longest
        uint32_t added = 0;
        if (end == start || end - start >= sizeof text) continue;
        for (uint32_t i = start; i < end; ++i) text[i - start] = lines.text[i];
        text[end - start] = '\0';
        room = appendSectionLine(&section, text, &added);
    }
    freeSection(&lines);
    // The lights stay on the device's own output unless the input and the map
    // agree on a pair: the map matches the input's name, and the output is
    // the input's own ("X" and "X", "MIDIIN2 (X)" and "MIDIOUT2 (X)"). Any other
    // output the map matches may be another device's. A map with an empty
    // Output drives no light.
    int32_t output = unlit || !matchesPortName(map.match, name) ? -1 : pairedOutputDevice(name);
    DeviceEdit& edit = shown();
    if (output >= 0 || unlit) {
        edit.lights[0] = '\0';
        if (output >= 0) outputDeviceName(static_cast<uint32_t>(output), edit.lights);
        edit.lightsAt = output;
        if (bindingsState->device != kConfiguredDevice) setSectionValue(&section, "Output", edit.lights);
    }
    showBindings(dialog);
    fillLights(dialog);
    offerMap(dialog);
    char count[12], text[480] = "";
    formatDecimal(static_cast<int32_t>(bindingsState->boundCount), count);
    for (const char* piece : {room ? "Used the map for the " : "The section had no room for all of the map for the ",
                              map.name, ": ", static_cast<const char*>(count), " bindings, from OK on.",
                              byHand[0] != '\0' ? " On the device: " : "", static_cast<const char*>(byHand)}) {
        appendText(text, sizeof text, piece);
    }
    say(dialog, text);
}

// "All Maps...": every map, the shipped ones and the user's.
void chooseMap(WindowRef dialog) {
    const char* entries[kMaxMaps];
    for (uint32_t i = 0; i < bindingsState->mapCount; ++i) entries[i] = bindingsState->maps[i].name;
    if (bindingsState->mapCount == 0) {
        say(dialog, "No map was found: the shipped maps are in the Notewick Maps folder beside the plug-in, yours in "
                    "%APPDATA%\\Notewick\\Maps.");
        return;
    }
    int32_t picked = runPickDialog(dialog, "Use this map for the controller shown:", entries, bindingsState->mapCount);
    if (bindingsState != nullptr && picked >= 0) useMap(dialog, picked);
}

// "Save as Map...": the shown device's bindings and set-up messages as a map
// of the user's own, listed with the shipped ones from now on. A name that
// cannot be a map's, or no bindings, is said so; nothing is replaced without
// asking.
void saveAsMap(WindowRef dialog) {
    if (bindingsState->boundCount == 0) {
        say(dialog, "The device shown has no bindings: there is no map to save.");
        return;
    }
    char typed[512] = "", name[kMapNameCapacity], port[kDeviceNameCapacity];
    editName(bindingsState->device, port);
    appendText(typed, sizeof typed, port);
    if (!runNameDialog(dialog, "Save the bindings shown as a map named:", typed, sizeof typed)) return;
    if (bindingsState == nullptr) return;
    switch (checkMapName(typed, name)) {
        case kMapNameEmpty: say(dialog, "A map needs a name: nothing was saved."); return;
        case kMapNameTooLong:
            say(dialog, "A map's name has at most 63 characters: nothing was saved. Save again with a shorter name.");
            return;
        case kMapNameReserved:
            say(dialog, "Windows keeps the name ", name, " for a device, and no file may have it: save the map under "
                        "another name.");
            return;
        default: break;
    }
    // A name is one map's: a shipped map's is not taken, and the user's own
    // keeps its file. Another name may make the same file name ("My/APC" and
    // "My_APC"): that map is the one replaced.
    const MapEntry* replaced = nullptr;
    for (uint32_t i = 0; i < bindingsState->mapCount; ++i) {
        const MapEntry& map = bindingsState->maps[i];
        // Map names are file names: the same in any case.
        if (!textEqualsAnyCase(map.name, name)) continue;
        if (!map.own) {
            say(dialog, "A map that ships with Notewick is named ", map.name, ": save yours under another name.");
            return;
        }
        replaced = &map;
    }
    char path[kSettingsPathCapacity] = "";
    if (replaced != nullptr) {
        appendText(path, sizeof path, replaced->path);
    } else if (!ownMapPath(name, path, false)) {
        say(dialog, "Could not save the map ", name, ": there is no folder for your maps.");
        return;
    }
    for (uint32_t i = 0; replaced == nullptr && i < bindingsState->mapCount; ++i) {
        const MapEntry& map = bindingsState->maps[i];
        if (map.own && textEqualsAnyCase(map.path, path)) replaced = &map;
    }
    const char* file = fileNamePart(path);
    char question[400] = "";
    if (replaced != nullptr) {
        bool same = textEqualsAnyCase(replaced->name, name);
        for (const char* piece : {"Replace your map ", static_cast<const char*>(replaced->name),
                                  " with the bindings shown?", same ? "" : " ", same ? "" : static_cast<const char*>(name),
                                  same ? "" : " makes the same file name, ", same ? "" : file, same ? "" : "."}) {
            appendText(question, sizeof question, piece);
        }
    } else if (platformFileAccess(path) != kFileMissing) {
        for (const char* piece : {"Replace the file ", file, " in your maps folder with the bindings shown?"}) {
            appendText(question, sizeof question, piece);
        }
    }
    if (question[0] != '\0' && !confirm(dialog, "Save as Map", question, "Nothing was saved.")) return;
    char folder[kSettingsPathCapacity];
    if (!ownMapPath(name, folder, true)) {
        say(dialog, "Could not save the map ", name, ": the folder for your maps cannot be made.");
        return;
    }
    if (!saveMap(name, port, shown().section, path)) {
        say(dialog, "Could not save the map ", name, ": ", path, " cannot be written.");
        return;
    }
    bindingsState->mapCount = listMaps(bindingsState->maps, kMaxMaps);
    offerMap(dialog);
    say(dialog, "Saved the map ", name, " as ", path, ". All Maps... lists it.");
}
