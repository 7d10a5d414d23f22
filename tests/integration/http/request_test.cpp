// One exchange with the simulated device: the request on the wire, the local
// port, the response as received, and the devices that misbehave.
#include <cstring>
#include <functional>
#include <mutex>
#include <string>

#include "device_web_fixture.h"
#include "platform/net.h"
#include "tools/qab-device-sim/sim_responses.h"

namespace {

using namespace std::chrono_literals;

void fill(DeviceInfo& info, const char* text) {
  for (char* f : {info.product_name, info.mac_address, info.software_version, info.hardware_version,
                  info.serial_number})
    std::strcpy(f, text);
}

void expect_page_fields(const DeviceInfo& info, const qabsim::StatusPage& page) {
  EXPECT_EQ(info.product_name, page.product_name);
  EXPECT_EQ(info.mac_address, page.mac_address);
  EXPECT_EQ(info.software_version, page.software_version);
  EXPECT_EQ(info.hardware_version, page.hardware_version);
  EXPECT_EQ(info.serial_number, page.serial_number);
}

TEST_F(DeviceWebTest, SendsExactlyTheRequestAndReadsThePage) {
  qabsim::DeviceSimConfig config;
  config.page.product_name = "QAB-X300";
  config.page.software_version = "3.3.6 (a&amp;b)";
  start_device(config);

  int32_t n = fetch();

  auto requests = device->requests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].bytes, "GET /admin/advanced HTTP/1.1\r\nHost: 127.0.0.2\r\n\r\n");
  EXPECT_EQ(requests[0].peer_address, test_local_address);
  EXPECT_EQ(requests[0].peer_port, 23456);
  EXPECT_EQ(n, static_cast<int32_t>(requests[0].response.size()));
  EXPECT_EQ(text(), requests[0].response);
  expect_page_fields(info, config.page);
  EXPECT_EQ(digest.nonce_count, 0u);
}

// The request leaves from the first local port of 23456..23556 that is free:
// 101 ports, the last one included.
TEST_F(DeviceWebTest, LocalPortIsTheFirstFreeOfTheRange) {
  start_device();
  struct Case {
    const char* name;
    int taken;  // ports held from 23456 on
    uint16_t expected;
  } cases[] = {{"none taken", 0, 23456}, {"23456 taken", 1, 23457}, {"all but the last taken", 100, 23556}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<platform::Socket> held;
    for (int k = 0; k < c.taken; ++k) {
      held.push_back(hold_local_port(static_cast<uint16_t>(23456 + k)));
      ASSERT_TRUE(held.back().valid());
    }
    device->clear_records();
    EXPECT_GT(fetch(), 0);
    auto requests = device->requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].peer_port, c.expected);
  }
}

TEST_F(DeviceWebTest, RefusedConnectionGivesZeroAndStillAdvancesTheCount) {
  qabsim::DeviceSimConfig config;
  config.faults.refuse_connections = true;
  start_device(config);
  std::strcpy(digest.password, "secret");
  digest.nonce_count = 6;
  fill(info, "before");

  EXPECT_EQ(fetch(), 0);
  EXPECT_EQ(digest.nonce_count, 7u);
  EXPECT_STREQ(info.serial_number, "before");
  EXPECT_STREQ(info.product_name, "before");
  EXPECT_TRUE(device->requests().empty());
}

// Responses that are not an authentication demand: the byte count, and the
// fields read whatever the status line says.
TEST_F(DeviceWebTest, OrdinaryResponsesGiveTheByteCountAndTheirFields) {
  struct Case {
    const char* name;
    std::function<void(qabsim::DeviceSimConfig&)> set;
    const char* path;
    bool page;  // whether the response carries the status page
    const char* serial = "before";
  } cases[] = {
      {"HTTP/1.0 status line", [](auto& c) { c.faults.http10_status_line = true; }, "/admin/advanced", true},
      {"HTTP/1.0 401 with a challenge",
       [](auto& c) {
         c.faults.http10_status_line = true;
         c.protection.enabled = true;
       },
       "/admin/advanced", false},
      {"401 without a challenge", [](auto& c) { c.faults.challenge_missing = true; }, "/admin/advanced", false},
      {"401 with the header name in lower case",
       [](auto& c) {
         c.raw_response =
             "HTTP/1.1 401 Unauthorized\r\nwww-authenticate: Digest realm=\"QAB\", nonce=\"n1\"\r\n\r\n"
             "<td>Serial Number:</td><td>S-401</td>";
       },
       "/admin/advanced", false, "S-401"},
      {"401 with a challenge without nonce",
       [](auto& c) { c.raw_response = "HTTP/1.1 401 Unauthorized\r\nWWW-Authenticate: Digest realm=\"QAB\"\r\n\r\n"; },
       "/admin/advanced", false},
      {"version only", [](auto& c) { c.raw_response = "HTTP/1.1   "; }, "/admin/advanced", false},
      {"404", [](auto&) {}, "/admin/missing", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    qabsim::DeviceSimConfig config;
    c.set(config);
    start_device(config);
    fill(info, "before");
    std::strcpy(digest.nonce, "kept");

    int32_t n = fetch(c.path);

    auto requests = device->requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_GT(n, 0);
    EXPECT_EQ(n, static_cast<int32_t>(requests[0].response.size()));
    EXPECT_STREQ(digest.nonce, "kept");
    if (c.page) {
      expect_page_fields(info, config.page);
    } else {
      EXPECT_STREQ(info.product_name, "before");
      EXPECT_STREQ(info.serial_number, c.serial);
    }
    device->stop();
  }
}

TEST_F(DeviceWebTest, OversizedResponseStopsAtTheLimitWithAZeroByteAfter) {
  qabsim::DeviceSimConfig config;
  config.faults.oversized_response = true;
  start_device(config);

  EXPECT_EQ(fetch(), receive_limit);
  EXPECT_EQ(buffer[receive_limit], '\0');
  EXPECT_EQ(std::string(buffer.data(), receive_limit), device->requests()[0].response.substr(0, receive_limit));
  expect_page_fields(info, config.page);
}

TEST_F(DeviceWebTest, BrokenOffResponseIsClassifiedAndReadAsFarAsItCame) {
  qabsim::DeviceSimConfig config;
  std::string whole = qabsim::http_response(200, "OK", "", qabsim::status_page_html(config.page), config.faults);
  config.faults.close_mid_response = true;
  config.faults.cut_at = whole.find("</td></tr>", whole.find("Software Version:")) + 2;  // inside the closing tag
  start_device(config);
  fill(info, "before");

  int32_t n = fetch();

  EXPECT_EQ(n, static_cast<int32_t>(config.faults.cut_at));
  EXPECT_EQ(text(), whole.substr(0, config.faults.cut_at));
  EXPECT_EQ(info.product_name, config.page.product_name);
  EXPECT_EQ(info.software_version, config.page.software_version);
  EXPECT_STREQ(info.hardware_version, "before");
  EXPECT_STREQ(info.serial_number, "before");
}

// The exchange has no time-out of its own: it ends when the device closes.
TEST_F(DeviceWebTest, DeviceThatNeverClosesKeepsTheExchangeWaiting) {
  struct Case {
    const char* name;
    bool answers;
  } cases[] = {{"answers, never closes", true}, {"never answers", false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    qabsim::DeviceSimConfig config;
    config.faults.never_close = c.answers;
    config.faults.never_answer = !c.answers;
    start_device(config);
    platform::Worker worker;
    start_fetch(worker);
    ASSERT_TRUE(device->wait_for_requests(1, 5s));
    EXPECT_FALSE(wait_finished(worker, 300ms));

    device->stop();  // the device closes the connection at last
    ASSERT_TRUE(wait_finished(worker, 5s));
    worker.join();
    size_t sent = device->requests()[0].response.size();
    EXPECT_EQ(worker.exit_code(), static_cast<int>(sent));
    EXPECT_EQ(sent > 0, c.answers);
    if (c.answers) expect_page_fields(info, config.page);
  }
}

TEST_F(DeviceWebTest, ProbeWorkerRunsTheRequestItIsGiven) {
  qabsim::DeviceSimConfig config;
  config.page.serial_number = "from the worker";
  start_device(config);
  ProbeRequest request{nullptr,  test_local_address, device_local_port_base, sim_device_address, device_web_port,
                       "/admin/advanced", buffer.data(), receive_limit, &digest, &info};
  platform::Worker worker;
  ASSERT_TRUE(worker.start([&request] { return probe_worker(request); }));
  ASSERT_TRUE(wait_finished(worker, 10s));
  worker.join();
  EXPECT_EQ(worker.exit_code(), static_cast<int>(device->requests()[0].response.size()));
  EXPECT_STREQ(info.serial_number, "from the worker");
}

TEST_F(DeviceWebTest, UpgradeTriggerReachesTheDevice) {
  start_device();
  std::vector<qabsim::UpgradeTrigger> hooked;
  std::mutex lock;
  device->set_upgrade_hook([&](const qabsim::UpgradeTrigger& t) {
    std::lock_guard guard(lock);
    hooked.push_back(t);
  });

  EXPECT_GT(fetch("/admin/upgrade?tftp://127.0.0.1:69/qab1a2b.bi1"), 0);
  device->stop();  // waits for the hook

  EXPECT_EQ(device->requests()[0].bytes,
            "GET /admin/upgrade?tftp://127.0.0.1:69/qab1a2b.bi1 HTTP/1.1\r\nHost: 127.0.0.2\r\n\r\n");
  ASSERT_EQ(hooked.size(), 1u);
  EXPECT_EQ(hooked[0].address, test_local_address);
  EXPECT_EQ(hooked[0].port, 69);
  EXPECT_EQ(hooked[0].file_name, "/qab1a2b.bi1");
  EXPECT_EQ(device->triggers().size(), 1u);
}

}  // namespace
