// Digest authentication between the upgrader and the simulated device, whose
// check is written apart from ours with OpenSSL's MD5: a request it accepts
// was computed right on both sides.
#include <cstring>
#include <string>

#include "device_web_fixture.h"

namespace {

qabsim::DeviceSimConfig protected_device(const std::string& qop, qabsim::AlgorithmForm form,
                                         const std::string& algorithm, const std::string& opaque) {
  qabsim::DeviceSimConfig c;
  c.protection.enabled = true;
  c.protection.user = "admin";
  c.protection.password = "s3cret";
  c.protection.qop = qop;
  c.protection.algorithm_form = form;
  c.protection.algorithm = algorithm;
  c.protection.opaque = opaque;
  return c;
}

// The Authorization line of a recorded request, or "" when there is none.
std::string authorization_line(const std::string& request) {
  size_t at = request.find("\r\nAuthorization: ");
  if (at == std::string::npos) return "";
  return request.substr(at + 2, request.find("\r\n", at + 2) - at);
}

TEST_F(DeviceWebTest, DigestAcceptedForEveryChallengeForm) {
  using qabsim::AlgorithmForm;
  struct Case {
    const char* name;
    qabsim::DeviceSimConfig config;
    const char* sent_algorithm;  // what our header says
  } cases[] = {
      {"no qop, no algorithm", protected_device("", AlgorithmForm::Absent, "", ""), ""},
      {"auth, MD5 quoted, opaque", protected_device("auth", AlgorithmForm::Quoted, "MD5", "0pq4"), "MD5"},
      {"auth-int, md5-sess unquoted", protected_device("auth-int", AlgorithmForm::Unquoted, "md5-sess", ""), ""},
      {"auth, MD5-sess quoted", protected_device("auth", AlgorithmForm::Quoted, "MD5-sess", "op"), "MD5-sess"},
      {"qop list, mD5-SeSs quoted", protected_device("auth,auth-int", AlgorithmForm::Quoted, "mD5-SeSs", ""),
       "mD5-SeSs"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    digest = DigestState{};
    info = DeviceInfo{};
    start_device(c.config);

    // No password yet: the demand, its challenge taken.
    EXPECT_EQ(fetch(), -1);
    EXPECT_STREQ(digest.realm, "QAB Device");
    EXPECT_EQ(digest.nonce, device->nonce());
    EXPECT_EQ(digest.nonce_count, 0u);
    EXPECT_STREQ(info.product_name, "");

    std::strcpy(digest.user, "admin");
    std::strcpy(digest.password, "s3cret");
    for (uint32_t count = 1; count <= 2; ++count) {
      SCOPED_TRACE("request " + std::to_string(count));
      int32_t n = fetch();
      auto requests = device->requests();
      const qabsim::RecordedRequest& r = requests.back();
      EXPECT_TRUE(r.authorized);
      EXPECT_EQ(n, static_cast<int32_t>(r.response.size()));
      EXPECT_EQ(digest.nonce_count, count);
      EXPECT_EQ(info.product_name, c.config.page.product_name);
      EXPECT_EQ(r.authorization.at("algorithm"), c.sent_algorithm);
      if (!c.config.protection.qop.empty()) {
        EXPECT_EQ(r.authorization.at("nc"), "00000000" + std::to_string(count));
      }
      // Between the Host line and the empty line.
      std::string line = authorization_line(r.bytes);
      EXPECT_EQ(r.bytes, "GET /admin/advanced HTTP/1.1\r\nHost: 127.0.0.2\r\n" + line + "\r\n");
    }
    device->stop();
  }
}

TEST_F(DeviceWebTest, WrongPasswordIsRefusedWithTheSameNonce) {
  start_device(protected_device("auth", qabsim::AlgorithmForm::Absent, "", ""));
  ASSERT_EQ(fetch(), -1);
  std::strcpy(digest.user, "admin");
  std::strcpy(digest.password, "wrong");

  EXPECT_EQ(fetch(), -1);
  EXPECT_FALSE(device->requests().back().authorized);
  EXPECT_EQ(device->requests().back().status, 401);
  EXPECT_EQ(digest.nonce_count, 1u);  // same nonce: the count runs on
  EXPECT_STREQ(info.product_name, "");
}

// A nonce that changes every second request: the refused request brings the
// new nonce, the count restarts, and the repeat is accepted with nc 1.
TEST_F(DeviceWebTest, RotatedNonceRestartsTheCount) {
  qabsim::DeviceSimConfig config = protected_device("auth", qabsim::AlgorithmForm::Quoted, "MD5", "");
  config.protection.nonce_every = 2;
  start_device(config);
  ASSERT_EQ(fetch(), -1);
  std::string first_nonce = digest.nonce;
  std::strcpy(digest.user, "admin");
  std::strcpy(digest.password, "s3cret");

  EXPECT_GT(fetch(), 0);  // second request on the first nonce
  EXPECT_EQ(digest.nonce_count, 1u);

  EXPECT_EQ(fetch(), -1);  // third: the device has moved on
  EXPECT_NE(digest.nonce, first_nonce);
  EXPECT_EQ(digest.nonce, device->nonce());
  EXPECT_EQ(digest.nonce_count, 0u);

  EXPECT_GT(fetch(), 0);
  EXPECT_TRUE(device->requests().back().authorized);
  EXPECT_EQ(device->requests().back().authorization.at("nc"), "000000001");
}

}  // namespace
