// qab-upgrade: upgrades the firmware of a QAB device with the image it carries.
#include <cstdio>
#include <string>

#include "app/sequence.h"
#include "app/session.h"
#include "platform/dialog/dialog.h"
#include "platform/host.h"
#include "platform/terminal/terminal.h"
#include "ui/ui.h"

int main() {
  if (!terminal::start()) {
    std::fprintf(stderr, "qab-upgrade shows its screens in a terminal: run it from one.\n");
    platform::end_process();
  }
  ui::install();
  UpgradeSession& s = session();
  start_up(s, package_start_stage());

  if (run_upgrade_sequence(s)) {
    // Serving the firmware comes next; until this program can, it says so.
    dialog::message_box(nullptr,
                        "The upgrade was confirmed, but this version cannot send the firmware yet:\r\n"
                        "nothing was sent to the device and nothing was changed.",
                        std::string(s.display_name) + " Firmware Upgrade");
  }
  platform::end_process();
}
