// The flash wait and the check after it, called directly with an open upload
// screen, against the simulated device's web server, on a clock that runs the
// 30-second wait 200 times faster.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "platform/scripted/scripted_user.h"
#include "resources/screens/screen_ids.h"
#include "tests/integration/tftp/test_clock.h"
#include "tests/integration/tftp/tftp_fixture.h"
#include "tftp/flash_wait.h"
#include "tools/qab-device-sim/device_sim.h"
#include "ui/screens.h"

namespace {

constexpr unsigned speed = 200;
constexpr uint32_t other_address = 0x7f000003;  // 127.0.0.3

// What a run of the wait showed on the upload screen.
struct WaitSeen {
  std::vector<int> bar;
  int range_hi = 0;
  std::string title;
};

WaitSeen wait_seen(const scripted::User& user) {
  WaitSeen seen;
  for (const scripted::Entry& e : user.entries()) {
    if (e.screen != uploading_screen) continue;
    if (e.kind == scripted::Entry::ProgressPos) seen.bar.push_back(e.value);
    if (e.kind == scripted::Entry::ProgressRange) seen.range_hi = e.value2;
    if (e.kind == scripted::Entry::Caption) seen.title = e.text;
  }
  return seen;
}

void expect_whole_wait(const WaitSeen& seen, std::chrono::nanoseconds took, platform::Clock& clock) {
  EXPECT_EQ(seen.range_hi, 937);
  EXPECT_TRUE(std::is_sorted(seen.bar.begin(), seen.bar.end())) << "the bar went back";
  ASSERT_FALSE(seen.bar.empty());
  EXPECT_EQ(seen.bar.back(), 937);
  // It ends once 937 units have begun after the start: 936 whole units at least.
  EXPECT_GE(took, clock.real_duration(936 * 32));
}

struct Case {
  const char* name;
  UpgradeStage stage;
  DeviceKind kind;
  bool upload_failed;
  const char* reported;   // the device's version after flashing
  unsigned unanswered;    // re-probes the device closes without an answer
  uint32_t client;        // where the read request came from; the device is there
  size_t requests;        // status page requests the device sees
  const char* message;    // "" for none
  bool success;
};

TEST(FlashWait, DecisionAfterTheWait) {
  const Case cases[] = {
      {"adapter reporting the version served", UpgradeStage::Target, DeviceKind::Adapter, false, "3.3.6", 0,
       device_address, 1, "", true},
      {"transition pass, its version reported", UpgradeStage::Transition, DeviceKind::Adapter, false, "3.3.1", 0,
       device_address, 1, "", false},
      {"adapter reporting another version", UpgradeStage::Target, DeviceKind::Adapter, false, "3.3.5", 0,
       device_address, 1, "Upgrade Failed: Version not matching", false},
      {"transition pass, the target's version reported", UpgradeStage::Transition, DeviceKind::Adapter, false,
       "3.3.6", 0, device_address, 1, "Upgrade Failed: Version not matching", false},
      {"phone reporting another version: no comparison", UpgradeStage::Target, DeviceKind::Phone, false, "9.9.9", 0,
       device_address, 1, "", true},
      {"device answering only the 10th re-probe", UpgradeStage::Target, DeviceKind::Adapter, false, "3.3.6", 9,
       device_address, 10, "", true},
      {"device never answering", UpgradeStage::Target, DeviceKind::Adapter, false, "3.3.6", 10, device_address, 10, "",
       false},
      {"upload incomplete: no re-probe", UpgradeStage::Target, DeviceKind::Adapter, true, "3.3.6", 0, device_address,
       0, "Upgrade Failed: Firmware Upload Incomplete", false},
      {"re-probe at the request's source, not the typed address", UpgradeStage::Target, DeviceKind::Adapter, false,
       "3.3.6", 0, other_address, 1, "", true},
  };
  platform::ScaledClock clock(0x00200000, speed);
  InstalledClock installed(clock);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto s = make_session(c.stage);
    s->device_kind = c.kind;
    qabsim::DeviceSimConfig config;
    config.address = c.client;
    config.page.software_version = c.reported;
    config.faults.unanswered_connections = c.unanswered;
    qabsim::DeviceSim device(config);
    device.start();
    scripted::User user;
    user.every(success_screen).press(1);

    dialog::Window* screen = ui::create_progress_screen(uploading_screen);
    dialog::show(screen);
    auto began = std::chrono::steady_clock::now();
    await_flash_and_verify(pc_address, c.client, c.upload_failed, screen, *s);
    auto took = std::chrono::steady_clock::now() - began;

    WaitSeen seen = wait_seen(user);
    expect_whole_wait(seen, took, clock);
    EXPECT_EQ(seen.title, std::string("Updating ") + (c.stage == UpgradeStage::Target ? "Target" : "Transition") +
                              " Firmware to QAB@127.0.0.2");
    std::vector<std::string> shown;
    for (const auto& m : user.message_boxes()) shown.push_back(m.text);
    EXPECT_EQ(shown, *c.message ? std::vector<std::string>{c.message} : std::vector<std::string>{});

    auto requests = device.requests();
    EXPECT_EQ(requests.size(), c.requests);
    for (const auto& r : requests) {
      EXPECT_EQ(r.target, "/admin/advanced");
      EXPECT_EQ(r.peer_address, pc_address) << "sent from the listener's address";
    }
    auto connecting = user.openings(connecting_screen);
    EXPECT_EQ(connecting.size(), c.requests);
    for (const auto& v : connecting) EXPECT_EQ(v.caption, "Connecting with QAB@127.0.0.2");
    auto success = user.openings(success_screen);
    ASSERT_EQ(success.size(), c.success ? 1u : 0u);
    if (c.success) {
      EXPECT_EQ(success[0].control(1004)->text, c.reported);
    }
    if (!c.upload_failed && c.requests > c.unanswered) {
      EXPECT_STREQ(s->device_info.software_version, c.reported) << "the re-probe did not refresh the fields";
    }
  }
}

// The tick counter passes 2^32 ten seconds into the wait.
TEST(FlashWait, CounterWrapsDuringTheWait) {
  const uint32_t start_tick = 0xffffffffu - 10000;
  platform::ScaledClock clock(start_tick, speed);
  InstalledClock installed(clock);
  auto s = make_session(UpgradeStage::Target);
  scripted::User user;
  std::chrono::nanoseconds took{};
  {
    Background wait(
        [&] {
          dialog::Window* screen = ui::create_progress_screen(uploading_screen);
          dialog::show(screen);
          auto began = std::chrono::steady_clock::now();
          await_flash_and_verify(pc_address, device_address, true, screen, *s);
          took = std::chrono::steady_clock::now() - began;
        },
        [&] { return user.transcript(); });
    wait.wait(milliseconds(20000));
  }
  EXPECT_LT(clock.tick_ms(), start_tick) << "the counter did not wrap during the test";
  expect_whole_wait(wait_seen(user), took, clock);
  ASSERT_EQ(user.message_boxes().size(), 1u);
  EXPECT_EQ(user.message_boxes()[0].text, "Upgrade Failed: Firmware Upload Incomplete");
}

}  // namespace
