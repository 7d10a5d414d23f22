#pragma once
// A session with in-memory images (target 3.3.6, transition 3.3.1), the PC
// at 127.0.0.1, the simulated device at 127.0.0.2 and a scripted user.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "app/sequence.h"
#include "app/session.h"
#include "platform/scripted/scripted_user.h"
#include "resources/screens/screen_ids.h"
#include "tools/qab-device-sim/device_sim.h"

inline constexpr uint32_t pc_address = 0x7F000001;      // 127.0.0.1
inline constexpr uint32_t device_address = 0x7F000002;  // 127.0.0.2

class UpgradeTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Start-up for a package that starts at `stage`.
  void start(UpgradeStage stage = UpgradeStage::Target);
  // The device as the address screen would leave it after "127.0.0.2".
  void address_entered();
  qabsim::DeviceSim& start_device(qabsim::DeviceSimConfig config = {});
  static qabsim::DeviceSimConfig protected_device(const std::string& password = "s3cret", const std::string& qop = "auth");

  int32_t probe(const char* path = "/admin/advanced");
  // The user's way through warning and address screen to the device.
  void answer_warning_and_address();

  std::vector<uint8_t> target_image_, transition_image_;
  std::unique_ptr<UpgradeSession> s_ = std::make_unique<UpgradeSession>();
  std::unique_ptr<qabsim::DeviceSim> device_;
  scripted::User user_;
};

// Death tests re-run the test in a fresh process; the fixture's threads
// would not survive a fork.
void use_threadsafe_death_tests();
