// qab-upgrade: upgrades the firmware of a QAB device with the image it carries.
#include <cstdio>

#include "app/session.h"
#include "platform/host.h"

int main() {
  UpgradeSession& s = session();
  start_up(s, package_start_stage());
  // The screens come next; until they exist, say what start-up found and stop.
  std::printf("%s firmware %.*s (%u bytes) is ready; the upgrade screens are not built yet.\n", s.display_name,
              static_cast<int>(s.target_image.header.version_text().size()), s.target_image.header.version_text().data(),
              s.target_image.size);
  platform::end_process();
}
