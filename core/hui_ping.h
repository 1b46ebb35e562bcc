// hui_ping.h -- the host's ping to the HUI ports: a HUI surface shows itself
// offline when the host's 90 00 00 stops coming, about once a second. Only a
// port that has sent a zone select is pinged, on its paired output: the same
// bytes are note 0's release on channel 1, which would darken a grid's pad.
// The timer runs only while such a port is open; nothing wakes otherwise.
// User-interface thread, but for the hook the MIDI callback calls.
#pragma once

#include "platform/platform.h"

// Init, with the device watch (null: no ping): a port's first zone select
// pings at once and starts the timer.
void startHuiPing(WindowRef watch);
// Quit, before the watch goes: no ping and no hook after.
void stopHuiPing();
// Whether the ping's timer runs; for tests.
bool huiPingTicking();
