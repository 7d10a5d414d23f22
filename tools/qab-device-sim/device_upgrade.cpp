// The simulated device's side of an upgrade: it fetches the file that the
// trigger named with its own TFTP client, checks it, restarts with its web
// server away for a while, and comes back reporting the version it received.
#include <poll.h>

#include <algorithm>
#include <cstring>
#include <ctime>
#include <span>

#include "platform/clock.h"
#include "tools/qab-device-sim/device_sim.h"

namespace qabsim {
namespace {

// The version text of an image's 128-byte header: bytes 92 to 126, up to the
// first zero byte. Empty when the image is too short to hold a header.
std::string header_version(const std::vector<uint8_t>& image) {
  constexpr size_t header_size = 128, version_at = 92, version_size = 35;
  if (image.size() < header_size) return {};
  const char* text = reinterpret_cast<const char*>(image.data() + version_at);
  return std::string(text, strnlen(text, version_size));
}

bool loopback(uint32_t address) { return (address >> 24) == 127; }

}  // namespace

bool DeviceSim::wait_clock_ms(uint32_t ms) const {
  const uint32_t start = platform::tick_ms();
  for (;;) {
    uint32_t passed = platform::tick_ms() - start;
    if (passed >= ms) return true;
    // Short slices, so that a test clock whose speed changes is followed.
    auto slice = platform::real_duration(std::min<uint32_t>(ms - passed, 20));
    long long us = std::max<long long>(slice.count(), 1);
    timespec ts{static_cast<time_t>(us / 1000000), static_cast<long>(us % 1000000) * 1000};
    pollfd p{stop_fd_, POLLIN, 0};
    if (::ppoll(&p, 1, &ts, nullptr) > 0) return false;
  }
}

void DeviceSim::set_away(bool away) {
  std::unique_lock guard(lock_);
  away_ = away;
  apply_and_wait(guard);
}

void DeviceSim::run_upgrade(const UpgradeTrigger& trigger, const UpgradeBehaviour& behaviour) {
  UpgradeRecord record;
  record.trigger = trigger;
  DeviceSimConfig now = config();
  record.version_after = now.page.software_version;

  if (!loopback(trigger.address)) {
    // Simulated devices live on loopback: nothing of theirs goes elsewhere.
    record.note = "not fetched: the TFTP server is not on a loopback address";
  } else {
    qab_sim::FetchOptions options;
    options.server_address = trigger.address;
    options.server_port = trigger.port;
    options.file_name = trigger.file_name;
    options.local_address = behaviour.tftp_address ? behaviour.tftp_address : now.address;
    options.mode = behaviour.mode;
    options.request_options = behaviour.request_options;
    options.timeout_ms = behaviour.resend_ms;
    options.retries = behaviour.retries;
    options.dally_ms = behaviour.dally_ms;
    options.give_up_after_ms = behaviour.give_up_after_ms;
    if (!behaviour.expected_image.empty()) options.expected = std::span<const uint8_t>(behaviour.expected_image);
    options.faults = behaviour.faults;
    record.fetch = qab_sim::fetch(options);
    record.fetched = true;

    const qab_sim::FetchResult& f = record.fetch;
    std::string received_version = header_version(f.image);
    bool good = f.completed() && f.matches_expected.value_or(true) && f.image.size() >= 128;
    if (!f.completed())
      record.note = std::string("not flashed: the fetch ended: ") + f.reason;
    else if (!f.matches_expected.value_or(true))
      record.note = "not flashed: the image received differs from the one expected";
    else if (!good)
      record.note = "not flashed: the image is too short to hold a header";

    // A device restarts after flashing, and also when it rebooted in the
    // middle of the transfer; otherwise it stays up with its old firmware.
    const bool restarts = good || f.end == qab_sim::FetchEnd::Rebooted;
    if (restarts) set_away(true);
    {
      std::lock_guard guard(lock_);
      ++fetches_ended_;
      changed_.notify_all();
    }
    if (restarts) {
      bool stayed = wait_clock_ms(behaviour.flash_ms);
      {
        std::unique_lock guard(lock_);
        if (good) {
          config_.page.software_version =
              behaviour.version_after_flash.empty() ? received_version : behaviour.version_after_flash;
          if (behaviour.address_after_flash) config_.address = behaviour.address_after_flash;
          config_.faults.unanswered_connections = behaviour.unanswered_after_flash;
          // A factory reset that came with the new firmware: another password.
          if (!behaviour.password_after_flash.empty()) {
            config_.protection.enabled = true;
            config_.protection.password = behaviour.password_after_flash;
          }
          record.flashed = true;
        }
        record.version_after = config_.page.software_version;
        // A restarted device has forgotten the nonces it gave out.
        nonce_ = new_nonce();
        nonce_uses_ = 0;
        away_ = false;
        if (stayed) apply_and_wait(guard);
      }
    }
  }

  std::lock_guard guard(lock_);
  upgrades_.push_back(std::move(record));
  changed_.notify_all();
}

std::vector<UpgradeRecord> DeviceSim::upgrades() const {
  std::lock_guard guard(lock_);
  return upgrades_;
}

bool DeviceSim::wait_for_fetches(size_t count, std::chrono::milliseconds timeout) const {
  std::unique_lock guard(lock_);
  return changed_.wait_for(guard, timeout, [&] { return fetches_ended_ >= count; });
}

bool DeviceSim::wait_for_upgrades(size_t count, std::chrono::milliseconds timeout) const {
  std::unique_lock guard(lock_);
  return changed_.wait_for(guard, timeout, [&] { return upgrades_.size() >= count; });
}

}  // namespace qabsim
