#include "app/sequence.h"

#include "firmware/version.h"
#include "http/probe.h"
#include "ui/screens.h"
#include "ui/ui.h"

ProbeRequest device_request(UpgradeSession& s, const char* path) {
  return ProbeRequest{
      .module_instance = nullptr,
      .local_address = s.local_address,
      .local_port_base = device_local_port_base,
      .device_address = s.device_address,
      .device_port = device_web_port,
      .path = path,
      .buffer = s.response_buffer,
      .buffer_size = response_limit,
      .digest = &s.digest,
      .device_info = &s.device_info,
  };
}

bool run_upgrade_sequence(UpgradeSession& s) {
  if (ui::run_warning_screen(s) != 1) return false;
  if (ui::run_address_screen(s) != 1 || s.device_address == 0) return false;

  if (probe_device(device_request(s, "/admin/advanced"), s.device_address_text) <= 0) {
    ui::show_failure("Upgrade Failed: No Response From QAB");
    return false;
  }

  // A two-stage package decides here whether this device needs the
  // transition image first.
  if (s.stage.load() == UpgradeStage::Transition)
    s.stage.store(decide_stage(s.device_info.software_version, s.transition_image.header.version_text()));

  if (ui::run_confirm_screen(s) != 1) {
    ui::show_failure("Upgrade Failed: User Abort");
    return false;
  }
  return true;
}
