// The simulated device's side of an upgrade, against a TFTP server no one
// here wrote (tftpd-hpa): after the trigger it fetches the named file, checks
// it against the image it expects, is away while it flashes, and comes back
// reporting the version in the header it received. Skips when tftpd-hpa is
// not installed.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "platform/net.h"
#include "tests/integration/sim_tftp/tftpd_hpa.h"
#include "tools/qab-device-sim/device_sim.h"

namespace {

using std::chrono::milliseconds;

constexpr uint32_t device = 0x7f000002;      // 127.0.0.2
constexpr uint32_t elsewhere = 0x7f000003;   // 127.0.0.3
constexpr uint16_t server_port = 6969;
const std::string served_name = "qab9c1.bi1";

// A 128-byte header with `version` at byte 92, and a body.
std::vector<uint8_t> image_with_version(const std::string& version, size_t size = 70000) {
  std::vector<uint8_t> image(size);
  for (size_t k = 128; k < size; ++k) image[k] = static_cast<uint8_t>(k * 31 + 7);
  std::copy(version.begin(), version.end(), image.begin() + 92);
  return image;
}

// One GET by hand: the whole response, or "" when the connection was refused
// or closed without an answer.
std::string get(uint32_t address, const std::string& target) {
  platform::Socket s = platform::open_tcp_socket();
  if (!platform::connect_socket(s, platform::to_sockaddr(address, 80))) return "";
  std::string request = "GET " + target + " HTTP/1.1\r\nHost: sim\r\n\r\n";
  platform::send_bytes(s, request.data(), request.size());
  std::string response;
  char chunk[4096];
  while (platform::wait_readable(s, 5000000) == platform::WaitResult::Readable) {
    long n = platform::receive_bytes(s, chunk, sizeof chunk);
    if (n <= 0) break;
    response.append(chunk, static_cast<size_t>(n));
  }
  return response;
}

bool reports(const std::string& page, const std::string& version) {
  return page.find("<td>Software Version:</td><td>" + version + "</td>") != std::string::npos;
}

class SimUpgradeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (TftpdHpa::program().empty()) GTEST_SKIP() << "tftpd-hpa (in.tftpd) is not installed";
    ASSERT_TRUE(server.start(served_name, image, server_port)) << server.error();
  }

  qabsim::DeviceSim& start(const std::function<void(qabsim::UpgradeBehaviour&)>& set) {
    qabsim::DeviceSimConfig config;
    config.address = device;
    config.page.software_version = "3.3.5";
    config.upgrade.fetch = true;
    config.upgrade.expected_image = image;
    config.upgrade.flash_ms = 300;
    set(config.upgrade);
    sim = std::make_unique<qabsim::DeviceSim>(config);
    sim->start();
    return *sim;
  }

  std::string trigger(const std::string& source = "tftp://127.0.0.1:6969/" + served_name) {
    return get(device, "/admin/upgrade?" + source);
  }

  std::vector<uint8_t> image = image_with_version("4.5.6");
  TftpdHpa server;
  std::unique_ptr<qabsim::DeviceSim> sim;
};

TEST_F(SimUpgradeTest, FetchesFlashesAndComesBackWithTheVersionReceived) {
  start([](auto& u) { u.address_after_flash = elsewhere; });
  EXPECT_NE(trigger().find("200 OK"), std::string::npos);
  ASSERT_TRUE(sim->wait_for_fetches(1, milliseconds(20000)));
  EXPECT_EQ(get(device, "/admin/advanced"), "") << "the web server stayed up while flashing";
  ASSERT_TRUE(sim->wait_for_upgrades(1, milliseconds(5000)));

  qabsim::UpgradeRecord u = sim->upgrades()[0];
  EXPECT_TRUE(u.fetch.completed()) << u.fetch.reason;
  EXPECT_EQ(u.fetch.matches_expected, true);
  EXPECT_EQ(u.fetch.bytes_received, image.size());
  EXPECT_EQ(u.trigger.file_name, "/" + served_name);
  EXPECT_TRUE(u.flashed) << u.note;
  EXPECT_EQ(u.version_after, "4.5.6");
  EXPECT_TRUE(reports(get(elsewhere, "/admin/advanced"), "4.5.6"));
  EXPECT_EQ(get(device, "/admin/advanced"), "") << "still at the old address";
}

TEST_F(SimUpgradeTest, WhatFollowsTheFetch) {
  struct Case {
    const char* name;
    std::function<void(qabsim::UpgradeBehaviour&)> set;
    bool flashed;
    const char* version;
    unsigned unanswered;  // status page requests left without an answer once back
  };
  const Case cases[] = {
      {"another image than the one expected is not flashed",
       [](auto& u) { u.expected_image = image_with_version("4.5.6", 1000); }, false, "3.3.5", 0},
      {"a configured version instead of the header's", [](auto& u) { u.version_after_flash = "9.9.9"; }, true, "9.9.9",
       0},
      {"the first requests once back go unanswered", [](auto& u) { u.unanswered_after_flash = 2; }, true, "4.5.6", 2},
      {"a request without options", [](auto& u) { u.request_options = {}; }, true, "4.5.6", 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    start(c.set);
    trigger();
    ASSERT_TRUE(sim->wait_for_upgrades(1, milliseconds(20000)));
    qabsim::UpgradeRecord u = sim->upgrades()[0];
    EXPECT_TRUE(u.fetch.completed()) << u.fetch.reason;
    EXPECT_EQ(u.flashed, c.flashed) << u.note;
    EXPECT_EQ(u.version_after, c.version);
    for (unsigned k = 0; k < c.unanswered; ++k) EXPECT_EQ(get(device, "/admin/advanced"), "") << "request " << k;
    EXPECT_TRUE(reports(get(device, "/admin/advanced"), c.version));
    sim.reset();
  }
}

TEST_F(SimUpgradeTest, NothingIsFetchedFromOutsideLoopback) {
  start([](auto&) {});
  trigger("tftp://192.0.2.1:69/" + served_name);
  ASSERT_TRUE(sim->wait_for_upgrades(1, milliseconds(5000)));
  qabsim::UpgradeRecord u = sim->upgrades()[0];
  EXPECT_FALSE(u.fetched);
  EXPECT_FALSE(u.flashed);
  EXPECT_NE(u.note.find("loopback"), std::string::npos);
  EXPECT_TRUE(reports(get(device, "/admin/advanced"), "3.3.5"));
}

}  // namespace
