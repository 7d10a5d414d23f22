#include "app/session.h"

#include <cstring>
#include <new>

#include "firmware/product.h"
#include "platform/clock.h"
#include "platform/failure.h"
#include "platform/host.h"
#include "platform/net.h"
#include "platform/random.h"

void SharedFileName::set(const char* name) {
  std::lock_guard guard(lock_);
  std::strncpy(name_, name, capacity - 1);
  name_[capacity - 1] = '\0';
}

void SharedFileName::get(char (&out)[capacity]) const {
  std::lock_guard guard(lock_);
  std::memcpy(out, name_, capacity);
}

bool SharedFileName::equals(const char* name, size_t length) const {
  std::lock_guard guard(lock_);
  return std::strlen(name_) == length && std::memcmp(name_, name, length) == 0;
}

UpgradeSession& session() {
  // Static storage that is never destroyed: the process ends while other
  // threads may still use the session, so no destructor may run at exit.
  alignas(UpgradeSession) static unsigned char storage[sizeof(UpgradeSession)];
  static UpgradeSession* s = new (storage) UpgradeSession();
  return *s;
}

void start_up(UpgradeSession& s, UpgradeStage start_stage, const ResourceFinder& find) {
  s.stage.store(start_stage);
  if (!platform::net_startup()) {
    platform::present_failure("Upgrade Failed: Winsock init error");
    platform::end_process();
  }

  std::memset(s.local_addresses, 0, sizeof s.local_addresses);
  auto addresses = platform::local_ipv4_addresses();
  for (size_t i = 0; i < addresses.size() && i < std::size(s.local_addresses); ++i) s.local_addresses[i] = addresses[i];
  s.local_address = s.local_addresses[0];

  std::memset(&s.digest, 0, sizeof s.digest);
  platform::seed_random(platform::tick_ms());

  // The package is checked when it is built; an executable whose images are
  // still missing or cut short cannot upgrade anything, so say so and stop.
  if (!load_images(s.stage.load(), s.target_image, s.transition_image, find)) {
    platform::present_failure("Upgrade Failed: Firmware image missing from this program");
    platform::end_process();
  }

  const ProductEntry& product = identify_product(s.target_image.header);
  std::strncpy(s.display_name, product.display_name, sizeof s.display_name - 1);
  s.display_name[sizeof s.display_name - 1] = '\0';
  s.device_kind = product.device_kind;
}
