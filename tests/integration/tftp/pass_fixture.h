#pragma once
// A pass of the listener against the simulated device, or a transfer against
// a device played by hand, with the clock at real speed (or a chosen one)
// during the transfer and fast from the flash wait on.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/scripted/scripted_user.h"
#include "resources/screens/screen_ids.h"
#include "tests/integration/tftp/test_clock.h"
#include "tests/integration/tftp/tftp_fixture.h"
#include "tftp/listener.h"
#include "tools/qab-device-sim/device_sim.h"

inline constexpr unsigned fast = 200;  // the flash wait's 30 s in 150 ms

class PassTest : public ::testing::Test {
 protected:
  // The simulated device at 127.0.0.2:80 that fetches what a trigger names,
  // expecting `expected` and away for 10 s while it flashes.
  qabsim::DeviceSim& start_device(const Bytes& expected, const std::function<void(qabsim::UpgradeBehaviour&)>& set = {});
  // The listener's socket on 127.0.0.1 (port 69 unless taken).
  TftpListener& open_listener();
  // Waits for the flash wait's title (and the device's fetch to end), speeds
  // the clock up and waits for the pass to end.
  void finish(Background& pass);
  std::string transcript(const scripted::User& user) const { return user.transcript(); }

  // The captions the upload screen was given, in order.
  static std::vector<std::string> captions(const scripted::User& user, int screen = uploading_screen);
  static std::vector<std::string> messages(const scripted::User& user);

  TwoSpeedClock clock{0x00100000, 1};
  InstalledClock installed{clock};
  std::unique_ptr<UpgradeSession> s = make_session(UpgradeStage::Target);
  std::unique_ptr<qabsim::DeviceSim> device;
  std::unique_ptr<TftpListener> listener;
};
