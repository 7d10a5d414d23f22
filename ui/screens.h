#pragma once
// The ten screens. The run_ functions show a modal screen on the calling
// thread and return 1 (confirmed) or 0 (cancelled); the create_ functions make
// a hidden modeless progress screen that its creator shows, pumps and destroys.
// A Cancel on a progress screen ends the process with "Upgrade Failed: User Abort".
#include "app/session.h"
#include "platform/dialog/dialog.h"

namespace ui {

// 139. Cancel is the default button and has the focus.
int run_warning_screen(const UpgradeSession& s);
// 101 for adapters, 305 for phones; closes with 1 only with a valid address
// (which it stores, with the TFTP file name and the local address).
int run_address_screen(UpgradeSession& s);
// 103 at stage Target, 304 (with the transition note) at stage Transition.
int run_confirm_screen(const UpgradeSession& s);
// 104: fills in "admin" every time; OK stores user and password (at most 126
// characters each) in `digest`; Cancel leaves it alone.
int run_password_screen(DigestState& digest);
// 111.
int run_success_screen(const UpgradeSession& s);

// 105, its bar's range 0..100, captioned with the device's address.
dialog::Window* create_connecting_screen(const char* device_address_text);
// 110 or 114; their creators set caption, range and texts.
dialog::Window* create_progress_screen(int template_id);

}  // namespace ui
