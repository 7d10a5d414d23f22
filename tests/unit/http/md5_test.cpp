#include "http/md5.h"

#include <gtest/gtest.h>

#include <string>

#include "reference_md5.h"

namespace {

std::string hex_of(std::string_view bytes) { return std::string(md5_hex(md5_of(bytes)).view()); }

TEST(Md5, Rfc1321TestSuite) {
  struct Case {
    const char* input;
    const char* digest;
  } cases[] = {
      {"", "d41d8cd98f00b204e9800998ecf8427e"},
      {"a", "0cc175b9c0f1b6a831c399e269772661"},
      {"abc", "900150983cd24fb0d6963f7d28e17f72"},
      {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
      {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
      {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789", "d174ab98d277d9f5a5611c2c9f419d9f"},
      {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
       "57edf4a22be3c955ac49da2e2107b67a"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.input);
    EXPECT_EQ(hex_of(c.input), c.digest);
  }
}

// Every length around the padding boundaries (55, 56, 63, 64 bytes and their
// multiples), fed in pieces of every size, against an independent MD5.
TEST(Md5, MatchesReferenceForAllLengthsAndPieceSizes) {
  std::string message;
  for (int i = 0; i < 300; ++i) message += static_cast<char>((i * 37 + 11) & 0xff);
  for (size_t length = 0; length <= message.size(); ++length) {
    std::string_view part(message.data(), length);
    std::string expected = reference_md5_hex(part);
    for (size_t piece : {size_t{1}, size_t{7}, size_t{63}, size_t{64}, size_t{65}, length + 1}) {
      SCOPED_TRACE("length " + std::to_string(length) + " piece " + std::to_string(piece));
      Md5Context context;
      md5_start(context);
      for (size_t at = 0; at < length; at += piece) md5_add(context, part.substr(at, piece));
      ASSERT_EQ(std::string(md5_hex(md5_finish(context)).view()), expected);
    }
  }
}

TEST(Md5, HexIsLowerCaseHighNibbleFirstAndTerminated) {
  Md5Digest digest{};
  digest[0] = 0xa5;
  digest[15] = 0x0f;
  HexDigest hex = md5_hex(digest);
  EXPECT_EQ(std::string(hex.text), "a5" + std::string(28, '0') + "0f");
}

}  // namespace
