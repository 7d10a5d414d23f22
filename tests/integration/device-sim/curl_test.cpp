// curl --digest, a client no one here wrote, against the simulated device:
// the RFC's computation must pass where the right password is given.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "tools/qab-device-sim/device_sim.h"

namespace {

struct CurlResult {
  std::string body;
  std::string status;  // curl's %{http_code}
};

// Runs curl with a time limit of its own; `options` come from this file only.
CurlResult curl(const std::string& options, const std::string& url) {
  std::string command = std::string(QAB_CURL) + " -s --max-time 10 -w '\\n%{http_code}' " + options + " '" + url + "'";
  CurlResult result;
  FILE* out = ::popen(command.c_str(), "r");
  if (!out) return result;
  char chunk[4096];
  size_t n;
  while ((n = std::fread(chunk, 1, sizeof chunk, out)) > 0) result.body.append(chunk, n);
  ::pclose(out);
  size_t last = result.body.rfind('\n');
  if (last != std::string::npos) {
    result.status = result.body.substr(last + 1);
    result.body.resize(last);
  }
  return result;
}

constexpr const char* page_url = "http://127.0.0.2/admin/advanced";

qabsim::DeviceSimConfig device_config() {
  qabsim::DeviceSimConfig c;
  c.address = 0x7f000002;
  c.port = 80;
  c.page.serial_number = "SIM-CURL-1";
  return c;
}

TEST(CurlAgainstDevice, UnprotectedPage) {
  qabsim::DeviceSim device(device_config());
  device.start();
  CurlResult r = curl("", page_url);
  EXPECT_EQ(r.status, "200");
  EXPECT_NE(r.body.find("<td>Serial Number:</td><td>SIM-CURL-1</td>"), std::string::npos);
  EXPECT_EQ(device.requests().at(0).bytes.rfind("GET /admin/advanced HTTP/1.1\r\n", 0), 0u);
}

TEST(CurlAgainstDevice, DigestRightAndWrongPassword) {
  using qabsim::AlgorithmForm;
  struct Case {
    const char* name;
    const char* qop;
    AlgorithmForm form;
    const char* algorithm;
    const char* opaque;
  } cases[] = {
      {"no qop", "", AlgorithmForm::Absent, "", ""},
      {"auth, MD5 unquoted, opaque", "auth", AlgorithmForm::Unquoted, "MD5", "0pq"},
      {"auth, MD5-sess unquoted", "auth", AlgorithmForm::Unquoted, "MD5-sess", ""},
      {"auth-int, MD5 quoted", "auth-int", AlgorithmForm::Quoted, "MD5", ""},
      {"qop list", "auth,auth-int", AlgorithmForm::Absent, "", "op"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    qabsim::DeviceSimConfig config = device_config();
    qabsim::Protection& p = config.protection;
    p.enabled = true;
    p.user = "admin";
    p.password = "s3cret";
    p.qop = c.qop;
    p.algorithm_form = c.form;
    p.algorithm = c.algorithm;
    p.opaque = c.opaque;
    qabsim::DeviceSim device(config);
    device.start();

    CurlResult right = curl("--digest -u admin:s3cret", page_url);
    EXPECT_EQ(right.status, "200");
    EXPECT_NE(right.body.find("SIM-CURL-1"), std::string::npos);
    ASSERT_GE(device.requests().size(), 2u);
    EXPECT_TRUE(device.requests().back().authorized);

    CurlResult wrong = curl("--digest -u admin:guess", page_url);
    EXPECT_EQ(wrong.status, "401");
    EXPECT_EQ(wrong.body.find("SIM-CURL-1"), std::string::npos);
    EXPECT_FALSE(device.requests().back().authorized);
  }
}

// What later tests rely on to play a device that flashes: it goes away,
// comes back, and serves other values, all while running.
TEST(CurlAgainstDevice, ReconfiguredWhileServing) {
  qabsim::DeviceSim device(device_config());
  device.start();
  ASSERT_EQ(curl("", page_url).status, "200");

  ASSERT_TRUE(device.configure([](qabsim::DeviceSimConfig& c) { c.faults.refuse_connections = true; }));
  EXPECT_EQ(device.port(), 0);
  EXPECT_EQ(curl("", page_url).status, "000");  // connection refused

  ASSERT_TRUE(device.configure([](qabsim::DeviceSimConfig& c) {
    c.faults.refuse_connections = false;
    c.page.software_version = "3.3.6";
    c.page.extra_headers = "X-Note: Software Version:<b>in a header\r\n";
  }));
  EXPECT_EQ(device.port(), 80);
  CurlResult r = curl("-i", page_url);
  EXPECT_EQ(r.status, "200");
  EXPECT_NE(r.body.find("<td>Software Version:</td><td>3.3.6</td>"), std::string::npos);
  EXPECT_NE(r.body.find("\r\nX-Note: Software Version:<b>in a header\r\n"), std::string::npos);

  ASSERT_TRUE(device.configure([](qabsim::DeviceSimConfig& c) { c.address = 0x7f000003; }));
  EXPECT_EQ(curl("", page_url).status, "000");
  EXPECT_EQ(curl("", "http://127.0.0.3/admin/advanced").status, "200");
}

}  // namespace
