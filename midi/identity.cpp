// identity.cpp -- the Universal Device Inquiry, its replies, maps' Identity
// lines, and each device's inquiry: asked once per open of its output.
#include "midi/identity.h"

#include <atomic>

#include "core/text.h"

const uint8_t kDeviceInquiry[kDeviceInquiryLength] = {0xF0, 0x7E, 0x7F, 0x06, 0x01, 0xF7};

// F0 7E dev 06 02, a one-byte maker, family, member, version, F7.
const uint32_t kShortestReply = 5 + 1 + 2 + 2 + 4 + 1;

bool parseIdentityReply(const uint8_t* bytes, uint32_t length, DeviceIdentity* identity) {
    if (length < kShortestReply || bytes[0] != 0xF0 || bytes[1] != 0x7E || bytes[3] != 0x06 || bytes[4] != 0x02 ||
        bytes[length - 1] != 0xF7) {
        return false;
    }
    for (uint32_t i = 1; i + 1 < length; ++i) {
        if (bytes[i] > 0x7F) return false;
    }
    uint32_t makerLength = bytes[5] == 0x00 ? 3 : 1;
    if (length < kShortestReply + makerLength - 1) return false;
    *identity = DeviceIdentity{};
    identity->makerLength = static_cast<uint8_t>(makerLength);
    for (uint32_t i = 0; i < makerLength; ++i) identity->maker[i] = bytes[5 + i];
    const uint8_t* after = bytes + 5 + makerLength;
    identity->family[0] = after[0];
    identity->family[1] = after[1];
    identity->member[0] = after[2];
    identity->member[1] = after[3];
    return true;
}

// The makers of the controllers Notewick has maps for or knows of.
struct MakerName {
    uint8_t id[3];
    uint8_t length;
    const char* name;
};
static const MakerName makers[] = {
    {{0x42}, 1, "Korg"},
    {{0x47}, 1, "Akai"},
    {{0x00, 0x00, 0x66}, 3, "Mackie"},
    {{0x00, 0x20, 0x29}, 3, "Novation"},
    {{0x00, 0x20, 0x32}, 3, "Behringer"},
    {{0x00, 0x20, 0x6B}, 3, "Arturia"},
    {{0x00, 0x40, 0x05}, 3, "Pioneer"},
};

static void appendHexBytes(char* out, size_t capacity, const uint8_t* bytes, uint32_t count) {
    static const char digits[] = "0123456789ABCDEF";
    for (uint32_t i = 0; i < count; ++i) {
        const char text[4] = {i == 0 ? '\0' : ' ', digits[bytes[i] >> 4], digits[bytes[i] & 15], '\0'};
        appendText(out, capacity, i == 0 ? text + 1 : text);
    }
}

void describeIdentity(const DeviceIdentity& identity, char* out, size_t capacity) {
    out[0] = '\0';
    appendText(out, capacity, "Identity: ");
    const char* name = nullptr;
    for (const MakerName& maker : makers) {
        bool same = maker.length == identity.makerLength;
        for (uint32_t i = 0; same && i < maker.length; ++i) same = maker.id[i] == identity.maker[i];
        if (same) name = maker.name;
    }
    if (name != nullptr) {
        appendText(out, capacity, name);
    } else {
        appendText(out, capacity, "maker ");
        appendHexBytes(out, capacity, identity.maker, identity.makerLength);
    }
    appendText(out, capacity, ", family ");
    appendHexBytes(out, capacity, identity.family, 2);
}

// ---- Each device's inquiry ----------------------------------------------------------------

// The state; the tick the inquiry went out at, written before the state;
// the answer, written before the state says answered: the maker's bytes
// with its length in the top byte, and family and member.
static std::atomic<uint32_t> states[kMaxDevices];
static std::atomic<uint32_t> askedAt[kMaxDevices];
static std::atomic<uint32_t> answerMaker[kMaxDevices];
static std::atomic<uint32_t> answerModel[kMaxDevices];

bool startInquiry(uint32_t device, bool allowed, uint32_t now) {
    if (device >= kMaxDevices || !allowed) return false;
    // Once per open: an output opened again after its close is asked again,
    // one not closed in between is not.
    if (states[device].load() != kInquiryNotAsked) return false;
    askedAt[device].store(now);
    states[device].store(kInquiryWaiting);
    return true;
}

void endInquiry(uint32_t device) {
    if (device < kMaxDevices) states[device].store(kInquiryNotAsked);
}

static bool stillWaiting(uint32_t device, uint32_t now) {
    return states[device].load() == kInquiryWaiting && now - askedAt[device].load() < kInquiryWaitMs;
}

bool takeIdentityReply(uint32_t device, const uint8_t* bytes, uint32_t length, uint32_t now) {
    DeviceIdentity identity;
    if (device >= kMaxDevices || !stillWaiting(device, now) || !parseIdentityReply(bytes, length, &identity)) {
        return false;
    }
    answerMaker[device].store(identity.maker[0] | identity.maker[1] << 8 | identity.maker[2] << 16 |
                              static_cast<uint32_t>(identity.makerLength) << 24);
    answerModel[device].store(identity.family[0] | identity.family[1] << 8 | identity.member[0] << 16 |
                              static_cast<uint32_t>(identity.member[1]) << 24);
    uint32_t waiting = kInquiryWaiting;
    return states[device].compare_exchange_strong(waiting, kInquiryAnswered);
}

InquiryState inquiryState(uint32_t device, uint32_t now) {
    if (device >= kMaxDevices) return kInquiryNotAsked;
    uint32_t state = states[device].load();
    if (state == kInquiryWaiting && !stillWaiting(device, now)) {
        states[device].compare_exchange_strong(state, kInquiryUnanswered);
        state = states[device].load();
    }
    return static_cast<InquiryState>(state);
}

bool deviceIdentity(uint32_t device, DeviceIdentity* identity) {
    if (device >= kMaxDevices || states[device].load() != kInquiryAnswered) return false;
    uint32_t maker = answerMaker[device].load(), model = answerModel[device].load();
    *identity = DeviceIdentity{{static_cast<uint8_t>(maker), static_cast<uint8_t>(maker >> 8),
                                static_cast<uint8_t>(maker >> 16)},
                               static_cast<uint8_t>(maker >> 24),
                               {static_cast<uint8_t>(model), static_cast<uint8_t>(model >> 8)},
                               {static_cast<uint8_t>(model >> 16), static_cast<uint8_t>(model >> 24)}};
    return true;
}

void resetInquiries() {
    for (uint32_t d = 0; d < kMaxDevices; ++d) {
        states[d].store(kInquiryNotAsked);
        askedAt[d].store(0);
        answerMaker[d].store(0);
        answerModel[d].store(0);
    }
}
