// qab-upgrade: upgrades the firmware of a QAB device with the image it carries.
#include <cstdio>
#include <string>

#include "app/session.h"
#include "platform/dialog/dialog.h"
#include "platform/host.h"
#include "platform/terminal/terminal.h"
#include "ui/screens.h"
#include "ui/ui.h"

int main() {
  if (!terminal::start()) {
    std::fprintf(stderr, "qab-upgrade shows its screens in a terminal: run it from one.\n");
    platform::end_process();
  }
  ui::install();
  UpgradeSession& s = session();
  start_up(s, package_start_stage());

  if (ui::run_warning_screen(s) != 1) platform::end_process();
  if (ui::run_address_screen(s) != 1 || s.device_address == 0) platform::end_process();

  // Talking to the device comes next; until this program can, it says so.
  std::string text = "The device address " + std::string(s.device_address_text) +
                     " was accepted.\r\n\r\nThis version cannot talk to the device yet:\r\n"
                     "nothing was sent to it and nothing was changed.";
  dialog::message_box(nullptr, text, std::string(s.display_name) + " Firmware Upgrade");
  platform::end_process();
}
