// gestures.cpp -- the shift button, long presses and double presses.
//
// Sections: state; the user-interface thread; the main data handler; the
// worker.
#include "midi/gestures.h"

#include <atomic>

#include "midi/control_index.h"
#include "platform/platform.h"

// ---- State -------------------------------------------------------------------------------

static std::atomic<uint32_t> holdMs{kDefaultHoldMs};
static std::atomic<uint32_t> doubleMs{kDefaultDoubleMs};

// A control's key: a note (0) or a controller (1), its channel and number.
static uint32_t controlKey(uint32_t controller, uint32_t channel, uint32_t number) {
    return (controller << 11) | ((channel & 0x0Fu) << 7) | (number & 0x7Fu);
}

// The gesture controls' index (midi/control_index.h): each word's own bits
// are the control's slot, with kPlainGesture and kShiftGesture telling in
// which layer the control has Hold or Double lines (its own, or by the plain
// layer's when the shift layer has none of its own).
const uint32_t kIndexWords = 2 * kMaxGestureSlots;
const uint32_t kPlainGesture = 1u << 8;
const uint32_t kShiftGesture = 1u << 9;
// The event ring each device's handler writes and the worker reads.
const uint32_t kEvents = 64;
const uint32_t kRelease = 1u << 8;
const uint32_t kShifted = 1u << 9;

// Where a control with Hold or Double lines is: up, or down with its press
// taken here (a gesture), or down with its press gone the usual way.
enum Down : uint32_t { kUp, kDownGesture, kDownPlain };

struct DeviceGesturesIn {
    std::atomic<uint32_t> index[kIndexWords];
    std::atomic<uint32_t> slotControl[kMaxGestureSlots];  // each slot's key
    std::atomic<uint32_t> down[kMaxGestureSlots];
    std::atomic<uint32_t> shiftKey;  // key + 1 of the shift button; 0 for none
    std::atomic<uint32_t> shift;     // 1 while it is held
    std::atomic<uint32_t> shiftChanges;
    std::atomic<uint32_t> shiftMessage;  // its last press or release
    // Events: slot | kRelease | kShifted, the MIDI time stamp and the tick,
    // each written before the head moves past it.
    std::atomic<uint32_t> event[kEvents];
    std::atomic<uint32_t> eventTime[kEvents];
    std::atomic<uint32_t> eventTick[kEvents];
    std::atomic<uint32_t> eventMessage[kEvents];
    std::atomic<uint32_t> head;
    // Counts the tables published and the ports closed: the worker starts
    // anew, with the events from epochHead on.
    std::atomic<uint32_t> epoch;
    std::atomic<uint32_t> epochHead;
};
static DeviceGesturesIn in[kMaxDevices];
// A device's bit (1 << device) is set when its handler put an event or a
// shift change, or its table or port changed, until the worker reads it: a
// wake-up costs the devices with something new, and no others.
static std::atomic<uint32_t> gestureSignalled{0};
// Per device: 1 while its table has a shift button or a gesture control, so
// that the handler spends nothing on a device without.
static std::atomic<uint32_t> hasGestures[kMaxDevices];

void setGestureTimes(int32_t hold, int32_t twice) {
    auto within = [](int32_t value, uint32_t least, uint32_t most) {
        return value < static_cast<int32_t>(least) ? least : value > static_cast<int32_t>(most) ? most
                                                                                              : static_cast<uint32_t>(value);
    };
    holdMs.store(within(hold, kLeastHoldMs, kMostHoldMs));
    doubleMs.store(within(twice, kLeastDoubleMs, kMostDoubleMs));
}

uint32_t holdTimeMs() { return holdMs.load(); }
uint32_t doublePressTimeMs() { return doubleMs.load(); }

// The control's index word (slot | layer flags in its own bits); 0 for none.
static uint32_t gestureEntry(const DeviceGesturesIn& d, uint32_t key) { return indexFind(d.index, kIndexWords, key); }

// ---- The user-interface thread ----------------------------------------------------

void publishGestures(const Binding* bindings, uint32_t count, uint32_t device) {
    if (device >= kMaxDevices) return;
    DeviceGesturesIn& d = in[device];
    uint32_t keys[kMaxGestureSlots] = {}, flags[kMaxGestureSlots] = {}, slots = 0, shiftKey = 0;
    // Per control: Hold or Double lines in the plain layer, in the shift layer.
    for (uint32_t i = 0; i < count; ++i) {
        const BindingSource& source = bindings[i].source;
        if (source.kind != kSourceNote && source.kind != kSourceController) continue;
        uint32_t key = controlKey(source.kind == kSourceController, source.channel, source.number);
        if (bindings[i].action == kActionShift) {
            shiftKey = key + 1;
            continue;
        }
        if (source.gesture == kGesturePress) continue;
        uint32_t slot = 0;
        while (slot < slots && keys[slot] != key) ++slot;
        if (slot == slots) {
            if (slots == kMaxGestureSlots) continue;
            keys[slots++] = key;
        }
        // A Hold or Double line of the plain layer serves the shift layer
        // too, when that has none of its own.
        flags[slot] |= source.shift != 0 ? kShiftGesture : kPlainGesture | kShiftGesture;
    }
    uint32_t words[kIndexWords] = {};
    for (uint32_t s = 0; s < slots; ++s) indexPlace(words, kIndexWords, keys[s], flags[s] | s);
    // NOTE: emptied first, so that the handler finds no half-made index; a
    // press meanwhile goes the usual way.
    for (std::atomic<uint32_t>& word : d.index) word.store(0);
    d.shiftKey.store(0);
    d.shift.store(0);
    for (uint32_t s = 0; s < kMaxGestureSlots; ++s) {
        d.slotControl[s].store(keys[s]);
        d.down[s].store(kUp);
    }
    d.epochHead.store(d.head.load());
    d.epoch.fetch_add(1);
    for (uint32_t w = 0; w < kIndexWords; ++w) d.index[w].store(words[w]);
    d.shiftKey.store(shiftKey);
    hasGestures[device].store(slots != 0 || shiftKey != 0 ? 1 : 0);
    gestureSignalled.fetch_or(1u << device);
}

void forgetHeld(uint32_t device) {
    if (device >= kMaxDevices) return;
    DeviceGesturesIn& d = in[device];
    d.shift.store(0);
    for (std::atomic<uint32_t>& down : d.down) down.store(kUp);
    d.epochHead.store(d.head.load());
    d.epoch.fetch_add(1);
    gestureSignalled.fetch_or(1u << device);
}

// ---- The main data handler ------------------------------------------------------------

bool shiftHeld(uint32_t device) { return device < kMaxDevices && in[device].shift.load() != 0; }

// A note or controller message's control key + 1; 0 for any other message.
static uint32_t keyOf(ShortMessage message) {
    uint32_t kind = messageStatus(message) & 0xF0u;
    if (kind != 0x90u && kind != 0x80u && kind != 0xB0u) return 0;
    return controlKey(kind == 0xB0u, messageStatus(message), messageData1(message)) + 1;
}

bool isShiftMessage(ShortMessage message, uint32_t device) {
    uint32_t key = keyOf(message);
    return device < kMaxDevices && key != 0 && in[device].shiftKey.load() == key;
}

static void putEvent(uint32_t device, uint32_t event, uint32_t timestamp, uint32_t tick, ShortMessage message) {
    DeviceGesturesIn& d = in[device];
    uint32_t at = d.head.load() % kEvents;
    d.event[at].store(event);
    d.eventTime[at].store(timestamp);
    d.eventTick[at].store(tick);
    d.eventMessage[at].store(message);
    d.head.fetch_add(1);
    gestureSignalled.fetch_or(1u << device);
}

bool takeGestureMessage(ShortMessage message, uint32_t timestamp, uint32_t tick, uint32_t device) {
    if (device >= kMaxDevices || hasGestures[device].load() == 0) return false;
    DeviceGesturesIn& d = in[device];
    uint32_t kind = messageStatus(message) & 0xF0u;
    if (keyOf(message) == 0) return false;
    uint32_t key = keyOf(message) - 1;
    // A press: a note-on with a velocity, a controller from 64 up.
    bool isPress = kind == 0x90u ? messageData2(message) != 0 : kind == 0xB0u && messageData2(message) >= 64;
    if (d.shiftKey.load() == key + 1) {
        d.shiftMessage.store(message);
        d.shift.store(isPress ? 1 : 0);
        d.shiftChanges.fetch_add(1);
        gestureSignalled.fetch_or(1u << device);
        return true;
    }
    uint32_t entry = gestureEntry(d, key);
    if (entry == 0) return false;
    uint32_t slot = entry & 0xFFu;
    std::atomic<uint32_t>& down = d.down[slot];
    if (!isPress) {
        // The release of a press taken here comes here too; of one that went
        // the usual way, goes the usual way.
        if (down.exchange(kUp) != kDownGesture) return false;
        putEvent(device, slot | kRelease, timestamp, tick, message);
        return true;
    }
    // A controller held on (64 and up again) is not pressed again.
    if (kind == 0xB0u && down.load() != kUp) return down.load() == kDownGesture;
    bool shifted = d.shift.load() != 0;
    if ((entry & (shifted ? kShiftGesture : kPlainGesture)) == 0) {
        down.store(kDownPlain);
        return false;
    }
    down.store(kDownGesture);
    putEvent(device, slot | (shifted ? kShifted : 0), timestamp, tick, message | (shifted ? kShiftFlag : 0));
    return true;
}

// ---- The worker ---------------------------------------------------------------------------

// Where a control's gesture is: idle; pressed, its time to tell running;
// let go before the hold time, waiting for a second press; decided, waiting
// to be let go.
enum Phase : uint8_t { kIdle, kPressed, kWaitSecond, kDecided };

struct SlotState {
    uint8_t phase;
    bool hold;     // its press's layer has a Hold line
    bool twice;    // and a Double line
    uint32_t pressTime;  // the MIDI time stamp of its press
    uint32_t pressTick;  // and the tick
    ShortMessage message;  // the press as it arrived, kShiftFlag with it
};

const uint32_t kMaxActions = 8;

// The worker's own, per device.
struct DeviceGestures {
    uint32_t epoch;
    uint32_t tail;  // events read
    uint32_t shiftChanges;
    uint32_t active;  // a bit for each slot that is not idle
    SlotState slots[kMaxGestureSlots];
    GestureAction actions[kMaxActions];
    uint32_t actionCount;
    ShortMessage began;  // a press being decided on, for the line; 0 for none
};
static DeviceGestures work[kMaxDevices];
// A bit for each device with a slot not idle, an action or a line waiting.
static uint32_t gestureActive = 0;

void resetGestures() {
    const Binding none[1] = {};
    for (uint32_t device = 0; device < kMaxDevices; ++device) {
        publishGestures(none, 0, device);
        in[device].head.store(0);
        in[device].epochHead.store(0);
        in[device].shiftChanges.store(0);
        work[device] = DeviceGestures{};
    }
    gestureSignalled.store(0);
    gestureActive = 0;
    setGestureTimes(kDefaultHoldMs, kDefaultDoubleMs);
}

// Whether the control of the press has a line for the gesture in the layer
// of the press: its own layer's, or the plain one's.
static bool hasLine(uint32_t device, ShortMessage message, uint32_t gesture) {
    BindingSource source;
    if (!messageSource(message & 0xFFFFFFu, &source)) return false;
    source.gesture = static_cast<uint8_t>(gesture);
    Binding binding;
    uint32_t slot = 0, generation = 0;
    source.shift = (message & kShiftFlag) != 0 ? 1 : 0;
    if (findBinding(source, &binding, &slot, &generation, device)) return true;
    source.shift = 0;
    return findBinding(source, &binding, &slot, &generation, device);
}

static void act(DeviceGestures& w, const SlotState& slot, uint32_t gesture) {
    if (w.actionCount == kMaxActions) {
        for (uint32_t i = 1; i < kMaxActions; ++i) w.actions[i - 1] = w.actions[i];
        --w.actionCount;
    }
    w.actions[w.actionCount++] = GestureAction{slot.message, gesture};
}

// A press: a second one within the double-press time makes the Double line
// act; otherwise a gesture begins.
static void pressed(uint32_t device, DeviceGestures& w, SlotState& slot, uint32_t time, uint32_t tick,
                    ShortMessage message) {
    if (slot.phase == kWaitSecond) {
        if (time - slot.pressTime < doublePressTimeMs()) {
            act(w, slot, kGestureDouble);
            slot.phase = kDecided;
            return;
        }
        act(w, slot, kGesturePress);  // the first press was a single one: a late worker's
    }
    // The lines are looked up once a press: the table cannot change under
    // it (a new table starts every gesture anew).
    slot = SlotState{kPressed, hasLine(device, message, kGestureHold), hasLine(device, message, kGestureDouble), time,
                     tick, message};
    w.began = message;
    // Neither line in this press's layer: it acts as a press at once.
    if (!slot.hold && !slot.twice) {
        act(w, slot, kGesturePress);
        slot.phase = kDecided;
    }
}

// A release: before the hold time it is a press, unless a second press may
// still come.
static void released(DeviceGestures& w, SlotState& slot, uint32_t time) {
    if (slot.phase != kPressed) {
        if (slot.phase == kDecided) slot.phase = kIdle;
        return;
    }
    uint32_t held = time - slot.pressTime;
    if (slot.hold && held >= holdTimeMs()) {
        act(w, slot, kGestureHold);
        slot.phase = kIdle;
    } else if (slot.twice && held < doublePressTimeMs()) {
        slot.phase = kWaitSecond;
    } else {
        act(w, slot, kGesturePress);
        slot.phase = kIdle;
    }
}

// The time a gesture's decision is due at, in ticks; false when none is.
static bool dueAt(const SlotState& slot, uint32_t* tick) {
    if (slot.phase == kPressed && slot.hold) {
        *tick = slot.pressTick + holdTimeMs();
        return true;
    }
    if (slot.phase == kWaitSecond || (slot.phase == kPressed && slot.twice)) {
        *tick = slot.pressTick + doublePressTimeMs();
        return true;
    }
    return false;
}

// The decision whose time has come at `tick`, if it has: held on, or no
// second press.
static void decideIfDue(DeviceGestures& w, SlotState& slot, uint32_t tick) {
    uint32_t due = 0;
    if (!dueAt(slot, &due) || static_cast<int32_t>(tick - due) < 0) return;
    act(w, slot, slot.phase == kPressed && slot.hold ? kGestureHold : kGesturePress);
    slot.phase = slot.phase == kPressed ? kDecided : kIdle;
}

static void markSlot(DeviceGestures& w, uint32_t index) {
    uint32_t bit = 1u << index;
    w.active = w.slots[index].phase == kIdle ? w.active & ~bit : w.active | bit;
}

// The device's new events, and its decisions due at `now`.
static void updateDevice(uint32_t device, uint32_t now) {
    DeviceGesturesIn& d = in[device];
    DeviceGestures& w = work[device];
    uint32_t epoch = d.epoch.load();
    if (epoch != w.epoch) {
        // A new table, or the port closed: what was held is forgotten,
        // and nothing it began acts; events since then are read.
        uint32_t shiftChanges = w.shiftChanges;
        w = DeviceGestures{};
        w.epoch = epoch;
        w.shiftChanges = shiftChanges;
        w.tail = d.epochHead.load();
    }
    uint32_t head = d.head.load();
    if (head - w.tail > kEvents) w.tail = head - kEvents;  // the oldest were written over
    for (; w.tail != head; ++w.tail) {
        uint32_t at = w.tail % kEvents;
        uint32_t event = d.event[at].load();
        uint32_t time = d.eventTime[at].load();
        uint32_t tick = d.eventTick[at].load();
        ShortMessage message = d.eventMessage[at].load();
        // NOTE: the handler writes an event's words before it moves head
        // on; with head a whole ring ahead of this event, the handler may
        // have been writing its words while they were read: it is lost.
        if (d.head.load() - w.tail >= kEvents) continue;
        uint32_t index = (event & 0xFFu) % kMaxGestureSlots;
        SlotState& slot = w.slots[index];
        // A decision due before this event came is made first.
        decideIfDue(w, slot, tick);
        if ((event & kRelease) != 0) {
            released(w, slot, time);
        } else {
            pressed(device, w, slot, time, tick, message);
        }
        markSlot(w, index);
    }
    for (uint32_t slots = w.active, index = 0; slots != 0; ++index, slots >>= 1) {
        if ((slots & 1u) == 0) continue;
        decideIfDue(w, w.slots[index], now);
        markSlot(w, index);
    }
}

uint32_t updateGestures(uint32_t now) {
    uint32_t devices = gestureSignalled.exchange(0) | gestureActive;
    for (uint32_t device = 0, left = devices; left != 0; ++device, left >>= 1) {
        if ((left & 1u) == 0) continue;
        updateDevice(device, now);
        const DeviceGestures& w = work[device];
        uint32_t bit = 1u << device;
        gestureActive = w.active != 0 || w.actionCount != 0 ? gestureActive | bit : gestureActive & ~bit;
    }
    return devices;
}

uint32_t gestureDevices() { return gestureActive; }

bool takeGestureAction(uint32_t device, GestureAction* action) {
    if (device >= kMaxDevices || work[device].actionCount == 0) return false;
    DeviceGestures& w = work[device];
    *action = w.actions[0];
    for (uint32_t i = 1; i < w.actionCount; ++i) w.actions[i - 1] = w.actions[i];
    --w.actionCount;
    return true;
}

bool gestureActionWaiting(uint32_t device) { return device < kMaxDevices && work[device].actionCount != 0; }

uint32_t gestureWaitMs(uint32_t now) {
    uint32_t wait = kWaitForever;
    for (uint32_t device = 0, devices = gestureActive; devices != 0; ++device, devices >>= 1) {
        if ((devices & 1u) == 0) continue;
        const DeviceGestures& w = work[device];
        for (uint32_t slots = w.active, index = 0; slots != 0; ++index, slots >>= 1) {
            uint32_t due = 0;
            if ((slots & 1u) == 0 || !dueAt(w.slots[index], &due)) continue;
            uint32_t left = static_cast<int32_t>(due - now) > 0 ? due - now : 0;
            if (left < wait) wait = left;
        }
    }
    return wait;
}

bool shiftChanged(uint32_t device, ShortMessage* message) {
    if (device >= kMaxDevices) return false;
    uint32_t changes = in[device].shiftChanges.load();
    if (changes == work[device].shiftChanges) return false;
    work[device].shiftChanges = changes;
    *message = in[device].shiftMessage.load();
    return true;
}

bool gestureBegan(uint32_t device, ShortMessage* message) {
    if (device >= kMaxDevices || work[device].began == 0) return false;
    *message = work[device].began;
    work[device].began = 0;
    return true;
}
