#pragma once
// After the transfer: the device writes the image to flash and restarts while
// the upload screen shows a wait of about 30 seconds; then the device's status
// page is read again and the version it reports is checked against the image
// just served.
#include <cstdint>

#include "app/session.h"
#include "platform/dialog/dialog.h"

// The wait counts units of 32 ms of the millisecond tick counter.
inline constexpr uint32_t flash_wait_unit_ms = 32;
inline constexpr uint32_t flash_wait_units = 937;  // 29,984 ms
inline constexpr int flash_reprobe_attempts = 10;

// Keeps `upload_screen` (the open upload screen, 110) up through the wait and
// destroys it; then reports an incomplete upload, or re-probes the device at
// `client_address` from `local_address` (up to 10 times), checks its version
// and, after the Target pass, shows the success screen. Returns when the pass
// is over; Cancel on a screen ends the process.
void await_flash_and_verify(uint32_t local_address, uint32_t client_address, bool upload_failed,
                            dialog::Window* upload_screen, UpgradeSession& s = session());

// "Target" or "Transition": the word the upload screen's titles use.
const char* stage_word(UpgradeStage stage);
