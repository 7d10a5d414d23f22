#pragma once
// The upgrade from the first screen to the user's confirmation.
#include "app/session.h"
#include "http/request.h"

// The request the upgrade sends to the device for `path`: from the chosen PC
// address and local ports from 23456 to port 80 of the device, into the
// session's response buffer, with the session's authentication state.
ProbeRequest device_request(UpgradeSession& s, const char* path);

// Warning, device address, status probe, the stage decision of a two-stage
// package and the confirm screen. True when the user confirmed the upgrade;
// false when the run is over (cancelled, or the device did not answer; the
// message, where one belongs, has been shown).
bool run_upgrade_sequence(UpgradeSession& s);
