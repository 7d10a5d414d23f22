#pragma once
// The one program-wide record of an upgrade, and start-up.
#include <atomic>
#include <cstdint>
#include <mutex>

#include "firmware/image.h"
#include "firmware/kinds.h"
#include "http/device_info.h"
#include "http/digest_state.h"

inline constexpr int response_buffer_size = 131072;
// Every request receives at most this much, so a terminating zero always fits.
inline constexpr int response_limit = response_buffer_size - 1;

// The TFTP file name, written by the main thread and compared by the listener
// thread: each side sees either the old or the new name whole.
class SharedFileName {
 public:
  static constexpr size_t capacity = 128;
  void set(const char* name);
  // Copies the name into `out` (capacity bytes).
  void get(char (&out)[capacity]) const;
  bool equals(const char* name, size_t length) const;

 private:
  mutable std::mutex lock_;
  char name_[capacity] = {};
};

struct UpgradeSession {
  std::atomic<UpgradeStage> stage{UpgradeStage::Target};
  DeviceKind device_kind = DeviceKind::Adapter;
  char display_name[32] = {};
  FirmwareImage target_image;
  FirmwareImage transition_image;
  uint32_t local_addresses[8] = {};
  uint32_t local_address = 0;
  uint32_t device_address = 0;
  char device_address_text[64] = {};
  SharedFileName tftp_file_name;
  DeviceInfo device_info = {};
  DigestState digest = {};
  char response_buffer[response_buffer_size];
};

// The process's one session.
UpgradeSession& session();

// Prepares `s` before the first screen: socket library, the PC's addresses,
// cleared authentication state, the random seed, the embedded images and the
// product they are for. Ends the process on a failure that makes the upgrade
// impossible. `start_stage` is the package's setting.
void start_up(UpgradeSession& s, UpgradeStage start_stage, const ResourceFinder& find = platform::find_resource);
