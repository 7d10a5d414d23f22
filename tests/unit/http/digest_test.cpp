#include "http/digest.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "platform/random.h"
#include "reference_md5.h"

namespace {

// RFC 2617, section 3.5.
constexpr const char* rfc_nonce = "dcd98b7102dd2f0e8b11d0f600bfb0c093";
constexpr const char* rfc_cnonce = "0a4f113b";

std::string str(const HexDigest& h) { return std::string(h.view()); }

template <size_t N>
void set(char (&field)[N], const std::string& value) {
  ASSERT_LT(value.size(), N);
  std::memcpy(field, value.c_str(), value.size() + 1);
}

TEST(DigestCompute, Rfc2617WorkedExample) {
  HexDigest ha1 = compute_ha1("", "Mufasa", "testrealm@host.com", "Circle Of Life", rfc_nonce, rfc_cnonce);
  EXPECT_EQ(str(ha1), "939e7578ed9e3c518a452acee763bce9");
  EXPECT_EQ(str(compute_response(ha1.view(), rfc_nonce, "00000001", rfc_cnonce, "auth", "GET", "/dir/index.html", "")),
            "6629fae49393a05397450978507c4ef1");
  EXPECT_EQ(str(digest_response(rfc_nonce, rfc_cnonce, "Mufasa", "testrealm@host.com", "Circle Of Life", "MD5",
                                "00000001", "GET", "auth", "/dir/index.html", "")),
            "6629fae49393a05397450978507c4ef1");
}

TEST(DigestCompute, SessionKeyOnlyForMd5SessInAnyCaseAndOverTheRawDigest) {
  std::string raw = reference_md5_raw("Mufasa:testrealm@host.com:Circle Of Life");
  std::string session = reference_md5_hex(raw + ":" + rfc_nonce + ":" + rfc_cnonce);
  ASSERT_EQ(session, "71f45625a6e5fcdd072ce44e8e101a01");
  const std::string plain = "939e7578ed9e3c518a452acee763bce9";
  struct Case {
    const char* algorithm;
    std::string expected;
  } cases[] = {{"md5-sess", session}, {"MD5-sess", session}, {"MD5-SESS", session}, {"mD5-SeSs", session},
               {"MD5", plain},        {"", plain},           {"md5-sess2", plain},  {"sess", plain}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.algorithm);
    EXPECT_EQ(str(compute_ha1(c.algorithm, "Mufasa", "testrealm@host.com", "Circle Of Life", rfc_nonce, rfc_cnonce)),
              c.expected);
  }
}

TEST(DigestCompute, ResponseFormsByQop) {
  const std::string ha1 = "939e7578ed9e3c518a452acee763bce9", uri = "/dir/index.html";
  std::string ha2 = reference_md5_hex("GET:" + uri);
  std::string ha2_int = reference_md5_hex("GET:" + uri + ":d41d8cd98f00b204e9800998ecf8427e");
  auto with_qop = [&](const std::string& qop, const std::string& h2) {
    return reference_md5_hex(ha1 + ":" + rfc_nonce + ":000000001:" + rfc_cnonce + ":" + qop + ":" + h2);
  };
  struct Case {
    const char* qop;
    std::string expected;
  } cases[] = {
      {"", reference_md5_hex(ha1 + ":" + rfc_nonce + ":" + ha2)},
      {"auth", with_qop("auth", ha2)},
      {"auth-int", with_qop("auth-int", ha2_int)},
      {"AUTH-INT", with_qop("AUTH-INT", ha2_int)},
      {"auth,auth-int", with_qop("auth,auth-int", ha2)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.qop);
    NcText nc = make_nc_text(1, c.qop);
    EXPECT_EQ(str(compute_response(ha1, rfc_nonce, nc.text, rfc_cnonce, c.qop, "GET", uri, "")), c.expected);
  }
}

TEST(DigestCompute, NcTextHasNineDigitsAndIsEmptyWithoutQop) {
  EXPECT_STREQ(make_nc_text(1, "auth").text, "000000001");
  EXPECT_STREQ(make_nc_text(0x1234abu, "auth-int").text, "0001234ab");
  EXPECT_STREQ(make_nc_text(0xffffffffu, "x").text, "0ffffffff");
  EXPECT_STREQ(make_nc_text(7, "").text, "");
}

// One golden line per qop and algorithm form, responses computed apart from
// this code (the RFC formulas over a byte-exact transcript).
TEST(BuildAuthorization, GoldenLines) {
  struct Case {
    const char* name;
    const char* algorithm;
    const char* qop;
    const char* opaque;
    uint32_t count;
    const char* line;
  } cases[] = {
      {"no qop, no algorithm", "", "", "", 1,
       "Authorization: Digest username=\"admin\",realm=\"QAB Device\",nonce=\"5f2b0c9a1e\",uri=\"/admin/advanced\","
       "algorithm=\"\",response=\"4bf769db21491a3993b3b0571c30fabf\"\r\n"},
      {"auth, MD5, opaque", "MD5", "auth", "0pq", 1,
       "Authorization: Digest username=\"admin\",realm=\"QAB Device\",nonce=\"5f2b0c9a1e\",uri=\"/admin/advanced\","
       "algorithm=\"MD5\",response=\"6f168096e122de17e6c3af99b5720b5c\",opaque=\"0pq\",qop=auth,nc=000000001,"
       "cnonce=\"1a2b\"\r\n"},
      {"auth-int, MD5-sess, tenth request", "MD5-sess", "auth-int", "", 10,
       "Authorization: Digest username=\"admin\",realm=\"QAB Device\",nonce=\"5f2b0c9a1e\",uri=\"/admin/advanced\","
       "algorithm=\"MD5-sess\",response=\"0447cdbbb3a4ddb4cb1e8385ef74c07e\",qop=auth-int,nc=00000000a,"
       "cnonce=\"1a2b\"\r\n"},
      {"qop list, algorithm given unquoted", "", "auth,auth-int", "0pq", 1,
       "Authorization: Digest username=\"admin\",realm=\"QAB Device\",nonce=\"5f2b0c9a1e\",uri=\"/admin/advanced\","
       "algorithm=\"\",response=\"295be5e0329c26c62048420cbfd12e38\",opaque=\"0pq\",qop=auth,auth-int,nc=000000001,"
       "cnonce=\"1a2b\"\r\n"},
      {"md5-sess without qop", "md5-sess", "", "", 3,
       "Authorization: Digest username=\"admin\",realm=\"QAB Device\",nonce=\"5f2b0c9a1e\",uri=\"/admin/advanced\","
       "algorithm=\"md5-sess\",response=\"273d35deb2c7cc08e7e13c4dcc7fc74e\"\r\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    DigestState d{};
    set(d.user, "admin");
    set(d.password, "secret");
    set(d.realm, "QAB Device");
    set(d.nonce, "5f2b0c9a1e");
    set(d.cnonce, "1a2b");
    set(d.algorithm, c.algorithm);
    set(d.qop, c.qop);
    set(d.opaque, c.opaque);
    d.nonce_count = c.count;
    char line[1024];
    int n = build_authorization(d, "/admin/advanced", line, sizeof line);
    EXPECT_EQ(std::string(line), c.line);
    EXPECT_EQ(n, static_cast<int>(std::strlen(c.line)));
    EXPECT_STREQ(d.uri, "/admin/advanced");
  }
}

// Every field at its longest and a long target: the line is written whole when
// it fits and not at all when it does not, never past the space it is given.
TEST(BuildAuthorization, NeverWritesPastItsSpace) {
  DigestState d{};
  std::string long127(127, 'v');
  set(d.user, long127);
  set(d.password, long127);
  set(d.realm, long127);
  set(d.nonce, long127);
  set(d.cnonce, "7fff");
  set(d.algorithm, std::string(15, 'a'));
  set(d.qop, std::string(15, 'q'));
  set(d.opaque, long127);
  d.nonce_count = 0xffffffffu;
  std::string path = "/admin/upgrade?tftp://127.0.0.1:69/" + std::string(3000, 'p');

  std::string full(8192, '#');
  int length = build_authorization(d, path.c_str(), full.data(), full.size());
  ASSERT_GT(length, 3500);
  EXPECT_EQ(full.substr(static_cast<size_t>(length) - 2, 3), std::string("\r\n\0", 3));
  EXPECT_NE(full.find(",uri=\"" + path + "\","), std::string::npos);
  // The field keeps what fits; the header carries the whole target.
  EXPECT_EQ(std::string(d.uri), path.substr(0, 127));

  for (size_t space : {size_t(length) + 1, size_t(length), size_t(length) - 1, size_t{40}, size_t{1}, size_t{0}}) {
    SCOPED_TRACE("space " + std::to_string(space));
    std::string area(space + 64, '#');
    int n = build_authorization(d, path.c_str(), area.data(), space);
    if (space > size_t(length)) {
      EXPECT_EQ(n, length);
      EXPECT_EQ(area.substr(0, size_t(length) + 1), full.substr(0, size_t(length) + 1));
    } else {
      EXPECT_EQ(n, 0);
      if (space > 0) {
        EXPECT_EQ(area[0], '\0');
      }
    }
    EXPECT_EQ(area.substr(space), std::string(64, '#'));
  }
}

// What a challenge leaves in the state: result, fields, and the fields around
// the ones written unharmed.
struct Expected {
  int result;
  std::string realm, nonce, algorithm, qop, opaque;
};

class ChallengeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    set(state.d.realm, "old realm");
    set(state.d.nonce, "old nonce");
    set(state.d.previous_nonce, "old nonce");
    set(state.d.cnonce, "c0c0");
    set(state.d.algorithm, "MD5");
    set(state.d.qop, "auth");
    set(state.d.opaque, "old opaque");
    set(state.d.user, "admin");
    set(state.d.password, "pw");
    state.d.nonce_count = 5;
    std::memset(state.guard, 0x5a, sizeof state.guard);
  }
  void expect_guard_intact() {
    for (unsigned char c : state.guard) ASSERT_EQ(c, 0x5a);
    EXPECT_STREQ(state.d.user, "admin");
    EXPECT_STREQ(state.d.password, "pw");
  }
  struct {
    DigestState d;
    unsigned char guard[64];
  } state{};
};

TEST_F(ChallengeTest, ParametersInQuotedFormOnly) {
  struct Case {
    const char* name;
    const char* text;
    Expected expected;
  } cases[] = {
      {"all parameters",
       "WWW-Authenticate: Digest realm=\"QAB\", nonce=\"n1\", qop=\"auth\", algorithm=\"MD5-sess\", opaque=\"o1\"\r\n",
       {0, "QAB", "n1", "MD5-sess", "auth", "o1"}},
      {"only realm and nonce: optional ones emptied", "WWW-Authenticate: Digest nonce=\"n1\",realm=\"QAB\"",
       {0, "QAB", "n1", "", "", ""}},
      {"unquoted algorithm and qop count as absent",
       "WWW-Authenticate: Digest realm=\"QAB\", nonce=\"n1\", algorithm=MD5, qop=auth, opaque=\"o\"",
       {0, "QAB", "n1", "", "", "o"}},
      {"qop list kept whole", "WWW-Authenticate: Digest realm=\"QAB\", nonce=\"n1\", qop=\"auth,auth-int\"",
       {0, "QAB", "n1", "", "auth,auth-int", ""}},
      {"value up to the end of the text", "WWW-Authenticate: Digest realm=\"QAB\", nonce=\"abc",
       {0, "QAB", "abc", "", "", ""}},
      {"empty values", "WWW-Authenticate: Digest realm=\"\", nonce=\"\"", {0, "", "", "", "", ""}},
      {"scheme word not examined", "WWW-Authenticate: Bearer realm=\"QAB\", nonce=\"n1\"",
       {0, "QAB", "n1", "", "", ""}},
      {"no realm: nothing changes", "WWW-Authenticate: Digest nonce=\"n1\", qop=\"auth\"",
       {1, "old realm", "old nonce", "MD5", "auth", "old opaque"}},
      {"unquoted realm is no realm", "WWW-Authenticate: Digest realm=QAB, nonce=\"n1\"",
       {1, "old realm", "old nonce", "MD5", "auth", "old opaque"}},
      {"Basic: realm replaced, nothing else", "WWW-Authenticate: Basic realm=\"QAB\"",
       {1, "QAB", "old nonce", "MD5", "auth", "old opaque"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SetUp();
    EXPECT_EQ(parse_digest_challenge(c.text, state.d), c.expected.result);
    EXPECT_EQ(state.d.realm, c.expected.realm);
    EXPECT_EQ(state.d.nonce, c.expected.nonce);
    EXPECT_EQ(state.d.algorithm, c.expected.algorithm);
    EXPECT_EQ(state.d.qop, c.expected.qop);
    EXPECT_EQ(state.d.opaque, c.expected.opaque);
    if (c.expected.result != 0) {
      EXPECT_EQ(state.d.nonce_count, 5u);
      EXPECT_STREQ(state.d.cnonce, "c0c0");
    }
    expect_guard_intact();
  }
}

TEST_F(ChallengeTest, NewNonceRestartsCountRepeatedNonceKeepsIt) {
  const char* challenge = "WWW-Authenticate: Digest realm=\"QAB\", nonce=\"n1\", qop=\"auth\"";
  ASSERT_EQ(parse_digest_challenge(challenge, state.d), 0);
  EXPECT_EQ(state.d.nonce_count, 0u);
  EXPECT_STREQ(state.d.previous_nonce, "n1");

  state.d.nonce_count = 3;
  ASSERT_EQ(parse_digest_challenge(challenge, state.d), 0);
  EXPECT_EQ(state.d.nonce_count, 3u);

  ASSERT_EQ(parse_digest_challenge("WWW-Authenticate: Digest realm=\"QAB\", nonce=\"n2\"", state.d), 0);
  EXPECT_EQ(state.d.nonce_count, 0u);
  EXPECT_STREQ(state.d.previous_nonce, "n2");
}

TEST_F(ChallengeTest, CnonceIsTheNextDrawInHexAtEveryChallenge) {
  const char* challenge = "WWW-Authenticate: Digest realm=\"QAB\", nonce=\"n1\"";
  for (uint32_t seed : {1u, 42u, 0xdeadbeefu}) {
    SCOPED_TRACE(seed);
    platform::seed_random(seed);
    int first = platform::next_random(), second = platform::next_random();
    platform::seed_random(seed);
    char expected[8];
    ASSERT_EQ(parse_digest_challenge(challenge, state.d), 0);
    std::snprintf(expected, sizeof expected, "%x", static_cast<unsigned>(first));
    EXPECT_STREQ(state.d.cnonce, expected);
    ASSERT_EQ(parse_digest_challenge(challenge, state.d), 0);  // same nonce: a new cnonce all the same
    std::snprintf(expected, sizeof expected, "%x", static_cast<unsigned>(second));
    EXPECT_STREQ(state.d.cnonce, expected);
  }
}

// A value longer than its field is cut to the field; nothing beyond is written.
TEST_F(ChallengeTest, LongValuesAreCutToTheirField) {
  for (size_t extra : {size_t{0}, size_t{1}, size_t{10000}}) {
    std::string big(127 + extra, 'N'), small(15 + extra, 'q');
    std::string text = "WWW-Authenticate: Digest realm=\"" + big + "\", nonce=\"" + big + "\", qop=\"" + small +
                       "\", algorithm=\"" + small + "\", opaque=\"" + big + "\"";
    SCOPED_TRACE("value length " + std::to_string(big.size()));
    SetUp();
    ASSERT_EQ(parse_digest_challenge(text.c_str(), state.d), 0);
    EXPECT_EQ(std::string(state.d.realm), big.substr(0, 127));
    EXPECT_EQ(std::string(state.d.nonce), big.substr(0, 127));
    EXPECT_EQ(std::string(state.d.previous_nonce), big.substr(0, 127));
    EXPECT_EQ(std::string(state.d.opaque), big.substr(0, 127));
    EXPECT_EQ(std::string(state.d.qop), small.substr(0, 15));
    EXPECT_EQ(std::string(state.d.algorithm), small.substr(0, 15));
    EXPECT_EQ(state.d.nonce_count, 0u);
    expect_guard_intact();
  }
}

}  // namespace
