// sysex_buffers.h -- the buffers each device's input port is lent for
// system-exclusive messages, and who holds each of them.
//
// The system hands system-exclusive data only in buffers the application
// lends it. A buffer here is the driver's from its lending until it comes
// back through the data handler, then the worker's while it reads it and
// lends it again, and the closing thread's once its port is being closed. One
// state word per buffer says which; every hand-over is one atomic step, and
// no thread waits for another that may be waiting for it.
//
//   free --lent at open--> lent --given back--> returned --worker--> reading
//   reading --lent again--> lent, or --> parked (came back empty, or its port
//   is being closed); returned or parked --close, after reset--> free
#pragma once

#include <cstdint>

#include "core/types.h"
#include "platform/midi_input.h"

// Buffers for each device.
const uint32_t kSysexBufferCount = 4;
// Room for any transport command (13 bytes at most) and for most messages a
// keyboard sends; a longer one comes in pieces and is ignored whole.
const uint32_t kSysexBufferSize = 64;
// How long a close waits for the driver to give every buffer back.
const uint32_t kSysexReturnTimeoutMs = 1000;

// ---- The port's side (user-interface thread) ---------------------------------------
// Prepares and lends every free buffer of the device to its port just
// opened, before it starts; returns how many. The worker lends each one again
// to this port until its close begins. A buffer a port that would not close
// still holds is not free: it is never lent to another port.
uint32_t lendSysexBuffers(MidiPortRef port, uint32_t device = kConfiguredDevice);
// A close begins: the worker lends the port nothing more. Returns once no
// lending to it is under way (a millisecond at most: one system call); true
// when the port has buffers to collect (lent, or back and not collected).
bool stopLendingSysexBuffers(MidiPortRef port);
// Once the port is stopped and reset: waits, at most kSysexReturnTimeoutMs,
// until every buffer lent to it has come back, and unprepares each one that
// has. False when the driver kept some: they stay the port's, for a later
// close to collect.
bool collectSysexBuffers(MidiPortRef port);
// Quit closes every port within one bound: from this call on, every wait
// above ends `ms` from now at the latest, however many ports it closes.
// 0 gives each wait its own kSysexReturnTimeoutMs again.
void boundSysexWaits(uint32_t ms);

// ---- The data handler's side (driver thread) -----------------------------------------
// A buffer of the device came back: true when it is one of its buffers,
// lent, and now waits for the worker. Touches nothing but static storage and
// makes no system call.
bool sysexBufferReturned(MidiParam header, uint32_t device = kConfiguredDevice);

// ---- The worker's side ---------------------------------------------------------------------
// The device's next system-exclusive message the driver gave back, in the
// order the buffers came back: its length, and when it came whole in one
// buffer (`whole`), its bytes (kSysexBufferSize bytes of room). One that came
// in pieces has its length only. False when nothing is left. Every buffer
// read is lent again, unless its port is being closed or it came back empty
// over and over.
bool takeSysexMessage(uint8_t* bytes, uint32_t* length, bool* whole, uint32_t device = kConfiguredDevice);

// Back to the state at module load; for tests.
void resetSysexBuffers();
