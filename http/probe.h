#pragma once
// The one way the upgrade talks HTTP to the device: one request on a worker
// thread behind the connecting screen, with the device's demands for
// authentication answered by one automatic repeat (a new nonce) or the
// password screen.
#include <cstdint>

#include "http/request.h"

// Runs `request` and returns the byte count of the last response that was not
// an authentication demand (0: nothing received). Never negative. Cancel on
// the connecting or the password screen ends the process with
// "Upgrade Failed: User Abort". `device_address_text` captions the connecting
// screen. Calls from different threads take turns: they share the response
// buffer and the authentication state, so a second call waits, with its own
// connecting screen up and its Cancel working, until the first has returned.
int32_t probe_device(const ProbeRequest& request, const char* device_address_text);
