// The simulator's own parsing and credential check, against published
// values where there are some: the device stand-in must be right on its own.
#include <gtest/gtest.h>

#include <map>
#include <string>

#include "tools/qab-device-sim/http_message.h"
#include "tools/qab-device-sim/sim_digest.h"
#include "tools/qab-device-sim/sim_responses.h"

namespace {

using namespace qabsim;

// RFC 2617, section 3.5: the request and its Authorization header.
Protection rfc_protection() {
  Protection p;
  p.enabled = true;
  p.user = "Mufasa";
  p.password = "Circle Of Life";
  p.realm = "testrealm@host.com";
  p.qop = "auth,auth-int";
  p.opaque = "5ccc069c403ebaf9f0171e9517f40e41";
  return p;
}
const std::string rfc_nonce = "dcd98b7102dd2f0e8b11d0f600bfb0c093";
const std::string rfc_header =
    "Digest username=\"Mufasa\",\r\n realm=\"testrealm@host.com\",\r\n nonce=\"dcd98b7102dd2f0e8b11d0f600bfb0c093\","
    " uri=\"/dir/index.html\", qop=auth, nc=00000001, cnonce=\"0a4f113b\","
    " response=\"6629fae49393a05397450978507c4ef1\", opaque=\"5ccc069c403ebaf9f0171e9517f40e41\"";

TEST(SimCredentials, Rfc2617Example) {
  std::map<std::string, std::string> params;
  ASSERT_TRUE(parse_digest_credentials(rfc_header, params));
  EXPECT_EQ(params["qop"], "auth");
  EXPECT_EQ(params["nc"], "00000001");
  EXPECT_EQ(params["realm"], "testrealm@host.com");

  struct Case {
    const char* name;
    Protection protection;
    std::string nonce, target;
    CredentialCheck expected;
  } cases[] = {
      {"as published", rfc_protection(), rfc_nonce, "/dir/index.html", CredentialCheck::Accepted},
      {"another password", [] { auto p = rfc_protection(); p.password = "x"; return p; }(), rfc_nonce,
       "/dir/index.html", CredentialCheck::Wrong},
      {"another opaque", [] { auto p = rfc_protection(); p.opaque = "x"; return p; }(), rfc_nonce,
       "/dir/index.html", CredentialCheck::Wrong},
      {"qop not offered", [] { auto p = rfc_protection(); p.qop = "auth-int"; return p; }(), rfc_nonce,
       "/dir/index.html", CredentialCheck::Wrong},
      {"uri not the request's", rfc_protection(), rfc_nonce, "/other", CredentialCheck::Wrong},
      {"nonce rotated since", rfc_protection(), "0123", "/dir/index.html", CredentialCheck::Stale},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(check_credentials(c.protection, c.nonce, "GET", c.target, params), c.expected);
  }
}

// The upgrader's way, built here by hand with OpenSSL: nine-digit nc, the
// whole qop list, algorithm="", md5-sess keyed with the raw digest.
TEST(SimCredentials, UpgradersComputationAccepted) {
  Protection p = rfc_protection();
  const std::string a1 = "Mufasa:testrealm@host.com:Circle Of Life", uri = "/admin/advanced", cnonce = "7f3";
  auto header = [&](const std::string& algorithm, const std::string& ha1, const std::string& qop) {
    std::string ha2 = md5_hex("GET:" + uri);
    std::string response = md5_hex(ha1 + ":" + rfc_nonce + ":000000001:" + cnonce + ":" + qop + ":" + ha2);
    return "Digest username=\"Mufasa\",realm=\"testrealm@host.com\",nonce=\"" + rfc_nonce + "\",uri=\"" + uri +
           "\",algorithm=\"" + algorithm + "\",response=\"" + response + "\",opaque=\"" + p.opaque + "\",qop=" + qop +
           ",nc=000000001,cnonce=\"" + cnonce + "\"";
  };
  std::string raw_sess = md5_hex(md5_raw(a1) + ":" + rfc_nonce + ":" + cnonce);
  struct Case {
    const char* name;
    std::string header;
    CredentialCheck expected;
  } cases[] = {
      {"algorithm empty, qop list", header("", md5_hex(a1), "auth,auth-int"), CredentialCheck::Accepted},
      {"md5-sess over the raw digest", header("MD5-sess", raw_sess, "auth"), CredentialCheck::Accepted},
      {"md5-sess over the hex digest", header("md5-sess", md5_hex(md5_hex(a1) + ":" + rfc_nonce + ":" + cnonce), "auth"),
       CredentialCheck::Accepted},
      {"session key claimed as MD5", header("MD5", raw_sess, "auth"), CredentialCheck::Wrong},
      {"unknown algorithm", header("SHA-256", md5_hex(a1), "auth"), CredentialCheck::Wrong},
      {"not Digest", "Basic TXVmYXNhOkNpcmNsZSBPZiBMaWZl", CredentialCheck::Missing},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::map<std::string, std::string> params;
    parse_digest_credentials(c.header, params);
    EXPECT_EQ(check_credentials(p, rfc_nonce, "GET", uri, params), c.expected);
  }
}

TEST(SimMessages, RequestAndUpgradeUrl) {
  HttpRequest r;
  ASSERT_TRUE(parse_http_request("GET /admin/advanced HTTP/1.1\r\nHost: 127.0.0.2\r\nAuthorization:  Digest a=b \r\n\r\n", r));
  EXPECT_EQ(r.method, "GET");
  EXPECT_EQ(r.target, "/admin/advanced");
  ASSERT_NE(r.header("authorization"), nullptr);
  EXPECT_EQ(*r.header("authorization"), "Digest a=b");
  EXPECT_FALSE(parse_http_request("garbage\r\n\r\n", r));
  EXPECT_EQ(find_header_end("GET / HTTP/1.1\r\nHost: x\r\n\r\nrest"), 27u);
  EXPECT_EQ(find_header_end("GET / HTTP/1.1\r\nHost: x\r\n"), std::string::npos);

  struct Case {
    const char* url;
    bool ok;
    uint32_t address;
    uint16_t port;
    const char* file;
  } cases[] = {
      {"tftp://127.0.0.1:69/qab1a2b.bi1", true, 0x7f000001, 69, "/qab1a2b.bi1"},
      {"tftp://192.168.1.20:168/qabffff.bi0", true, 0xc0a80114, 168, "/qabffff.bi0"},
      {"tftp://127.0.0.1/qab1.bi1", true, 0x7f000001, 69, "/qab1.bi1"},
      {"tftp://127.0.0.256:69/x", false, 0, 0, ""},
      {"tftp://127.0.0:69/x", false, 0, 0, ""},
      {"tftp://127.0.0.1:0/x", false, 0, 0, ""},
      {"tftp://127.0.0.1:69", false, 0, 0, ""},
      {"http://127.0.0.1:69/x", false, 0, 0, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.url);
    UpgradeTrigger t;
    ASSERT_EQ(parse_upgrade_url(c.url, t), c.ok);
    if (!c.ok) continue;
    EXPECT_EQ(t.address, c.address);
    EXPECT_EQ(t.port, c.port);
    EXPECT_EQ(t.file_name, c.file);
  }
}

TEST(SimResponses, OversizedResponseIsExactly200000Bytes) {
  Faults f;
  f.oversized_response = true;
  std::string r = http_response(200, "OK", "", status_page_html(StatusPage{}), f);
  EXPECT_EQ(r.size(), oversized_response_size);
  size_t body = r.find("\r\n\r\n") + 4;
  EXPECT_NE(r.find("Content-Length: " + std::to_string(r.size() - body) + "\r\n"), std::string::npos);
  EXPECT_EQ(r.rfind("HTTP/1.1 200 OK\r\n", 0), 0u);
}

}  // namespace
