#include "tftp/flash_wait.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string_view>

#include "firmware/version.h"
#include "http/probe.h"
#include "platform/clock.h"
#include "ui/screens.h"
#include "ui/ui.h"

namespace {

constexpr int progress_bar = 1010;
// Readings of the tick counter divided by 32 lie in 0 .. 2^27 - 1; one that
// is smaller than the start means the 32-bit counter wrapped meanwhile.
constexpr uint32_t unit_wrap = 1u << 27;

uint32_t units_now() { return platform::tick_ms() / flash_wait_unit_ms; }

// The wait: its length depends on the tick counter only, not on how many
// turns the loop makes.
void wait_for_flashing(dialog::Window* screen, const UpgradeSession& s) {
  const uint32_t start = units_now();
  screen->set_progress_range(progress_bar, 0, static_cast<int>(flash_wait_units));
  screen->set_progress_pos(progress_bar, 0);
  char title[128];
  int address_length = static_cast<int>(strnlen(s.device_address_text, sizeof s.device_address_text));
  std::snprintf(title, sizeof title, "Updating %s Firmware to QAB@%.*s", stage_word(s.stage.load()), address_length,
                s.device_address_text);
  screen->set_caption(title);
  for (;;) {
    uint32_t now = units_now();
    if (now < start) now += unit_wrap;
    // A late turn may land past the end; the bar stops at its end.
    screen->set_progress_pos(progress_bar, static_cast<int>(std::min(now - start, flash_wait_units)));
    dialog::pump_all();
    if (now >= start + flash_wait_units) return;
    platform::sleep_ms(flash_wait_unit_ms);
  }
}

}  // namespace

const char* stage_word(UpgradeStage stage) { return stage == UpgradeStage::Target ? "Target" : "Transition"; }

void await_flash_and_verify(uint32_t local_address, uint32_t client_address, bool upload_failed,
                            dialog::Window* upload_screen, UpgradeSession& s) {
  wait_for_flashing(upload_screen, s);
  dialog::destroy(upload_screen);

  if (upload_failed) {
    ui::show_failure("Upgrade Failed: Firmware Upload Incomplete");
    return;
  }

  // The re-probe goes to where the read request came from, which need not be
  // the address the user typed.
  ProbeRequest request{nullptr,           local_address, device_local_port_base, client_address,
                       device_web_port,   "/admin/advanced", s.response_buffer,  response_limit,
                       &s.digest,         &s.device_info};
  bool answered = false;
  for (int attempt = 0; attempt < flash_reprobe_attempts && !answered; ++attempt)
    answered = probe_device(request, s.device_address_text) > 0;
  if (!answered) return;

  const UpgradeStage stage = s.stage.load();
  const DeviceInfo& info = s.device_info;
  std::string_view reported(info.software_version, strnlen(info.software_version, sizeof info.software_version));
  VersionCheck check = verify_installed_version(stage, s.device_kind, reported, s.target_image.header.version_text(),
                                                s.transition_image.header.version_text());
  if (check == VersionCheck::Mismatch) {
    ui::show_failure("Upgrade Failed: Version not matching");
    return;
  }
  if (stage == UpgradeStage::Target) ui::run_success_screen(s);
}
