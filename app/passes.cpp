#include "app/passes.h"

#include <cstdio>

#include "app/sequence.h"
#include "http/probe.h"
#include "platform/clock.h"
#include "platform/random.h"
#include "tftp/listener.h"

std::string upgrade_trigger_path(uint32_t a, uint16_t port, const char* file_name) {
  char octets[32];
  std::snprintf(octets, sizeof octets, "%u.%u.%u.%u:%u", a >> 24, (a >> 16) & 0xff, (a >> 8) & 0xff, a & 0xff,
                unsigned{port});
  return std::string("/admin/upgrade?tftp://") + octets + file_name;
}

namespace {

void send_upgrade_request(UpgradeSession& s, uint16_t port) {
  char name[SharedFileName::capacity];
  s.tftp_file_name.get(name);
  std::string path = upgrade_trigger_path(s.local_address, port, name);
  // Whatever the device answers, or if it does not, the listener waits for
  // its read request; the answer itself is not needed.
  probe_device(device_request(s, path.c_str()), s.device_address_text);
}

}  // namespace

void send_upgrade_requests(UpgradeSession& s, uint16_t port, UpgradeStage plan) {
  send_upgrade_request(s, port);
  if (plan == UpgradeStage::Target) return;

  // The listener moves the stage on once the transition pass, its check after
  // flashing included, is over; only then may this thread probe again.
  while (s.stage.load() != UpgradeStage::Target) platform::sleep_ms(10);
  char name[SharedFileName::capacity];
  std::snprintf(name, sizeof name, "/qab%x.bi1", static_cast<unsigned>(platform::next_random()) & 0xffffu);
  s.tftp_file_name.set(name);
  send_upgrade_request(s, port);
}

void run_upgrade_passes(UpgradeSession& s) {
  // The plan is the stage as the confirmation left it: the listener may move
  // the stage on before the first request has even returned.
  UpgradeStage plan = s.stage.load();
  uint16_t port = start_tftp_listener(s.local_address, s);
  send_upgrade_requests(s, port, plan);
  for (;;) platform::sleep_ms(10);
}
