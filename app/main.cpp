// qab-upgrade: upgrades the firmware of a QAB device with the image it carries.
#include <cstdio>

#include "app/passes.h"
#include "app/sequence.h"
#include "app/session.h"
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
  if (run_upgrade_sequence(s)) run_upgrade_passes(s);
  platform::end_process();
}
