#include <gtest/gtest.h>
#include <openssl/evp.h>

#include <cstring>
#include <stdexcept>

#include "firmware/image.h"
#include "firmware/image_check.h"
#include "tools/qab-mkimage/mkimage.h"

namespace {

std::vector<uint8_t> md5(const uint8_t* data, size_t n) {
  std::vector<uint8_t> out(16);
  unsigned int len = 16;
  EVP_Digest(data, n, out.data(), &len, EVP_md5(), nullptr);
  return out;
}

TEST(MakeImage, HeaderIsLaidOutForTheUpgrader) {
  ImageRecipe r = parse_recipe("magic=QaBx900tFiRmWaRe\nversion=3.3.6\ntotal_length=1074589\nseed=7 # body\n");
  std::vector<uint8_t> image = build_image(r);
  ASSERT_EQ(image.size(), 1074589u);
  EXPECT_EQ(check_image(image), "");

  const uint8_t* h = image.data();
  EXPECT_EQ(std::memcmp(h, "QaBx900tFiRmWaRe", 16), 0);
  for (int i = 16; i < 48; ++i) EXPECT_EQ(h[i], 0) << "byte " << i;
  const uint8_t lengths[] = {0, 0, 0, 128, 0, 0, 0, 64, 0x00, 0x10, 0x65, 0x9D};  // 1074589 = 0x10659D
  EXPECT_EQ(std::memcmp(h + 80, lengths, sizeof lengths), 0);
  EXPECT_STREQ(reinterpret_cast<const char*>(h + 92), "3.3.6");
  for (int i = 97; i < 127; ++i) EXPECT_EQ(h[i], 0) << "byte " << i;
  EXPECT_EQ(h[127], 0x12);

  // 48-63: MD5 of the body; 64-79: MD5 of the header with both digests zeroed.
  EXPECT_EQ(md5(h + 128, image.size() - 128), std::vector<uint8_t>(h + 48, h + 64));
  std::vector<uint8_t> zeroed(h, h + 128);
  std::fill(zeroed.begin() + 48, zeroed.begin() + 80, 0);
  EXPECT_EQ(md5(zeroed.data(), 128), std::vector<uint8_t>(h + 64, h + 80));

  ImageHeader header;
  std::memcpy(&header, h, sizeof header);
  EXPECT_EQ(header.version_text(), "3.3.6");
  EXPECT_EQ(read_be32(header.total_length), 1074589u);
}

TEST(MakeImage, SameRecipeSameBytesOtherSeedOtherBody) {
  ImageRecipe r{"QaBx900tFiRmWaRe", "3.3.6", 4096, 1};
  auto a = build_image(r), b = build_image(r);
  EXPECT_EQ(a, b);
  r.seed = 2;
  auto c = build_image(r);
  EXPECT_NE(std::vector<uint8_t>(a.begin() + 128, a.end()), std::vector<uint8_t>(c.begin() + 128, c.end()));
}

TEST(MakeImage, RefusesRecipesThatCannotMakeASoundHeader) {
  const char* bad[] = {
      "version=1\ntotal_length=200\n",                                 // no magic
      "magic=ABCDEFGHIJKLMNOPQ\nversion=1\ntotal_length=200\n",         // 17-character magic
      "magic=A\nversion=12345678901234567890123456789012345\ntotal_length=200\n",  // 35-character version
      "magic=A\nversion=1\ntotal_length=127\n",                         // shorter than a header
      "magic=A\nversion=1\ntotal_length=12x\n",                         // not a number
      "magic=A\nversion=1\ntotal_length=200\ncolour=blue\n",            // unknown key
  };
  for (const char* text : bad) {
    SCOPED_TRACE(text);
    EXPECT_THROW(build_image(parse_recipe(text)), std::runtime_error);
  }
}

}  // namespace
