#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "http/request.h"

namespace {

constexpr const char* challenge = "WWW-Authenticate: Digest realm=\"QAB\", nonce=\"n1\"\r\n";

TEST(ClassifyResponse, Verdicts) {
  struct Case {
    const char* name;
    std::string text;
    ResponseClass expected;
  } cases[] = {
      {"200", "HTTP/1.1 200 OK\r\n\r\n<html>", ResponseClass::StatusOk},
      {"only three digits compared", "HTTP/1.1 2000 Odd", ResponseClass::StatusOk},
      {"ninth character skipped whatever it is", "HTTP/1.1x200 OK", ResponseClass::StatusOk},
      {"blanks and tabs before the code", "HTTP/1.1 \t  200 OK", ResponseClass::StatusOk},
      {"HTTP/1.0", "HTTP/1.0 200 OK\r\n", ResponseClass::NotHttp},
      {"lower case version", "http/1.1 200 OK\r\n", ResponseClass::NotHttp},
      {"nothing", "", ResponseClass::NotHttp},
      {"the request itself", "GET /admin/advanced HTTP/1.1\r\nHost: 127.0.0.2\r\n\r\n", ResponseClass::NotHttp},
      {"version only", "HTTP/1.1", ResponseClass::NoStatus},
      {"version and blanks", "HTTP/1.1 \t \t", ResponseClass::NoStatus},
      {"404", "HTTP/1.1 404 Not Found\r\n\r\n", ResponseClass::OtherStatus},
      {"short code", "HTTP/1.1 20", ResponseClass::OtherStatus},
      {"401 with a challenge", std::string("HTTP/1.1 401 Unauthorized\r\n") + challenge + "\r\n",
       ResponseClass::AuthRequired},
      {"401 with the challenge in the body", std::string("HTTP/1.1 401 Unauthorized\r\n\r\n<p>") + challenge,
       ResponseClass::AuthRequired},
      {"401 without a challenge", "HTTP/1.1 401 Unauthorized\r\n\r\n", ResponseClass::OtherStatus},
      {"401 with the header name in other case",
       "HTTP/1.1 401 Unauthorized\r\nwww-authenticate: Digest realm=\"QAB\", nonce=\"n1\"\r\n\r\n",
       ResponseClass::OtherStatus},
      {"401 with a challenge without nonce",
       "HTTP/1.1 401 Unauthorized\r\nWWW-Authenticate: Digest realm=\"QAB\"\r\n\r\n", ResponseClass::OtherStatus},
      {"challenge on a 200 is not looked at", std::string("HTTP/1.1 200 OK\r\n") + challenge,
       ResponseClass::StatusOk},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    DigestState digest{};
    EXPECT_EQ(classify_response(c.text.c_str(), digest), c.expected);
    EXPECT_STREQ(digest.nonce, c.expected == ResponseClass::AuthRequired ? "n1" : "");
  }
}

TEST(ComposeDeviceRequest, WithoutPasswordThreeLines48Bytes) {
  DigestState digest{};
  std::strcpy(digest.user, "admin");  // a user alone does not make a header
  char buffer[256];
  size_t n = compose_device_request("/admin/advanced", 0x0a000005, digest, buffer, sizeof buffer);
  EXPECT_EQ(std::string(buffer, n), "GET /admin/advanced HTTP/1.1\r\nHost: 10.0.0.5\r\n\r\n");
  EXPECT_EQ(n, 48u);
  EXPECT_EQ(buffer[n], '\0');
  EXPECT_EQ(digest.nonce_count, 0u);
}

TEST(ComposeDeviceRequest, WithPasswordTheAuthorizationLineCarriesTheAdvancedCount) {
  DigestState digest{};
  std::strcpy(digest.user, "admin");
  std::strcpy(digest.password, "secret");
  std::strcpy(digest.realm, "QAB");
  std::strcpy(digest.nonce, "n1");
  std::strcpy(digest.cnonce, "1f");
  std::strcpy(digest.qop, "auth");
  digest.nonce_count = 4;
  char buffer[1024];
  size_t n = compose_device_request("/admin/upgrade?tftp://127.0.0.1:69/qab1a2b.bi1", 0xc0a80114, digest, buffer,
                                    sizeof buffer);
  std::string request(buffer, n);
  EXPECT_EQ(digest.nonce_count, 5u);
  const std::string head = "GET /admin/upgrade?tftp://127.0.0.1:69/qab1a2b.bi1 HTTP/1.1\r\nHost: 192.168.1.20\r\n";
  ASSERT_EQ(request.substr(0, head.size()), head);
  std::string line = request.substr(head.size(), request.size() - head.size() - 2);
  EXPECT_EQ(line.rfind("Authorization: Digest username=\"admin\",realm=\"QAB\",nonce=\"n1\","
                       "uri=\"/admin/upgrade?tftp://127.0.0.1:69/qab1a2b.bi1\",algorithm=\"\",response=\"",
                       0),
            0u);
  EXPECT_NE(line.find(",qop=auth,nc=000000005,cnonce=\"1f\"\r\n"), std::string::npos);
  EXPECT_EQ(line.find("\r\n"), line.size() - 2);
  EXPECT_EQ(request.substr(request.size() - 2), "\r\n");
}

// A request that does not fit the buffer whole is not composed, and nothing
// is written beyond the buffer; the count still advances.
TEST(ComposeDeviceRequest, BoundedByTheBuffer) {
  DigestState digest{};
  std::strcpy(digest.password, "secret");
  std::strcpy(digest.nonce, std::string(127, 'n').c_str());
  std::strcpy(digest.opaque, std::string(127, 'o').c_str());
  std::string path = "/" + std::string(5000, 'p');
  std::string big(16384, '#');
  size_t full = compose_device_request(path.c_str(), 0x7f000002, digest, big.data(), big.size());
  ASSERT_GT(full, 10000u);
  for (size_t capacity : {full + 1, full, full - 1, size_t{5010}, size_t{40}, size_t{1}}) {
    SCOPED_TRACE("capacity " + std::to_string(capacity));
    std::string area(capacity + 32, '#');
    uint32_t before = digest.nonce_count;
    size_t n = compose_device_request(path.c_str(), 0x7f000002, digest, area.data(), capacity);
    EXPECT_EQ(digest.nonce_count, before + 1);
    EXPECT_EQ(n, capacity > full ? full : 0u);
    EXPECT_EQ(area.substr(capacity), std::string(32, '#'));
  }
}

}  // namespace
