#pragma once
// The upgrade passes after the user's confirmation: the TFTP listener, the
// upgrade request that tells the device to fetch its firmware, and in a
// two-stage upgrade the second request once the first pass is over.
#include <cstdint>
#include <string>

#include "app/session.h"

// "/admin/upgrade?tftp://a.b.c.d:port/name": where the device is to fetch
// the firmware from. Nothing in it is escaped.
std::string upgrade_trigger_path(uint32_t local_address, uint16_t port, const char* file_name);

// Sends the upgrade request for `plan` (the stage the passes start at) to the
// device: once for a Target plan; for a Transition plan, once, then again with
// a new ".bi1" file name after the listener has moved the stage to Target.
// Returns after the last request.
void send_upgrade_requests(UpgradeSession& s, uint16_t port, UpgradeStage plan);

// Starts the listener, sends the upgrade requests and then only waits: the
// process is ended by the listener thread after the last pass, or by a Cancel.
[[noreturn]] void run_upgrade_passes(UpgradeSession& s);
