// test_midi_driver.h -- what the test MIDI driver tells a test about the
// buffers a port was lent for system-exclusive data.
#pragma once

#include <windows.h>

struct FakeMidiBufferStats {
    LONG lent;                // lent to the open port now, not given back
    LONG sysexDelivered;      // messages given back whole in the buffers
    LONG sysexLost;           // messages that found no buffer within 500 ms
    LONG addsWhileClosing;    // buffers lent after a stop or reset, before the next start
    LONG closesRefused;       // closes refused with buffers lent (MIDIERR_STILLPLAYING)
    LONG unpreparesRefused;   // unprepares refused for a buffer lent
};
