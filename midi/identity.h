// identity.h -- which device a controller is, by the Universal Device
// Inquiry: asked once when its first output opens, answered (or not) within
// a second; the maps' Identity lines are matched against it in core/maps.h.
//
// The user-interface thread opens outputs and asks; the worker takes the
// reply from the system-exclusive buffers; the dialog reads what answered.
// Each device's state is atomic words.
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/types.h"

// F0 7E 7F 06 01 F7: every device on the port (7F) asked who it is.
const uint32_t kDeviceInquiryLength = 6;
extern const uint8_t kDeviceInquiry[kDeviceInquiryLength];
// How long a reply is waited for after the inquiry went out.
const uint32_t kInquiryWaitMs = 1000;

// What a reply tells: the maker's id (1 byte, or 3 beginning with 00), the
// family and member (2 bytes each, low byte first, as sent).
struct DeviceIdentity {
    uint8_t maker[3];
    uint8_t makerLength;
    uint8_t family[2];
    uint8_t member[2];
};

// F0 7E <dev> 06 02 <maker> <family 2> <member 2> <version 4> [more] F7;
// false for anything else.
bool parseIdentityReply(const uint8_t* bytes, uint32_t length, DeviceIdentity* identity);

// "Identity: Novation, family 13 01"; a maker not known by name by its id:
// "Identity: maker 00 21 09, family 02 00".
void describeIdentity(const DeviceIdentity& identity, char* out, size_t capacity);

// ---- Each device's inquiry ----------------------------------------------------------------
enum InquiryState : uint32_t {
    kInquiryNotAsked,    // its output is closed, or its section says Identity= with nothing
    kInquiryWaiting,     // asked, within the second
    kInquiryAnswered,    // deviceIdentity gives the answer
    kInquiryUnanswered,  // no reply within the second: never asked again in this open
};
// User-interface thread: the device's first output opened at `now`; true
// when the inquiry is to be sent on it now. `allowed` is false for a
// section that says Identity= with nothing after it.
bool startInquiry(uint32_t device, bool allowed, uint32_t now);
// Its output closed: the next open asks again.
void endInquiry(uint32_t device);
// Worker: a system-exclusive message from the device's input at `now`; true
// when it was the awaited reply, which is kept.
bool takeIdentityReply(uint32_t device, const uint8_t* bytes, uint32_t length, uint32_t now);
// The device's state at `now`, and its identity when answered.
InquiryState inquiryState(uint32_t device, uint32_t now);
bool deviceIdentity(uint32_t device, DeviceIdentity* identity);

// Every device back to not asked; for tests.
void resetInquiries();
