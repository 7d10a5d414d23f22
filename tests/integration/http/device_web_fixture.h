#pragma once
// A simulated device on 127.0.0.2:80 and the state one exchange works on.
// Every exchange runs on a worker with a time bound: a fetch that does not end
// in time fails the test and is released by stopping the device.
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <vector>

#include "http/request.h"
#include "platform/net.h"
#include "platform/thread.h"
#include "tools/qab-device-sim/device_sim.h"

inline constexpr uint32_t sim_device_address = 0x7f000002;  // 127.0.0.2
inline constexpr uint32_t test_local_address = 0x7f000001;  // 127.0.0.1
inline constexpr int32_t receive_limit = 131071;

// A socket bound to 127.0.0.1:`port`, so the upgrader cannot use that port.
// Retries for a moment: the port may still be held by the close of an
// earlier exchange. Invalid if it stays taken.
platform::Socket hold_local_port(uint16_t port);

// Waits up to `timeout` for a started worker to finish.
bool wait_finished(const platform::Worker& worker, std::chrono::milliseconds timeout);

class DeviceWebTest : public ::testing::Test {
 protected:
  // A failure that would end the process aborts it instead, so that it
  // cannot pass for a clean exit.
  void SetUp() override;
  void TearDown() override;

  qabsim::DeviceSim& start_device(qabsim::DeviceSimConfig config = {});
  // Starts fetch_device_page for `path` on `worker`.
  void start_fetch(platform::Worker& worker, const char* path = "/admin/advanced");
  // fetch_device_page for `path`, bounded in time.
  int32_t fetch(const char* path = "/admin/advanced");
  // The response buffer's text.
  std::string text() const { return std::string(buffer.data()); }

  std::vector<char> buffer = std::vector<char>(receive_limit + 1);
  DigestState digest{};
  DeviceInfo info{};
  std::unique_ptr<qabsim::DeviceSim> device;
};
