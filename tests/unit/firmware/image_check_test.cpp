#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>

#include "firmware/image.h"
#include "firmware/image_check.h"

namespace {

std::vector<uint8_t> sound_image(size_t size) {
  std::vector<uint8_t> image(size, 0x55);
  if (size >= 128) {
    for (size_t i = 92; i < 127; ++i) image[i] = 0;
    image[92] = '3';
  }
  return image;
}

TEST(CheckImage, RefusesImagesThatCannotBeServedOrShown) {
  struct Case {
    const char* name;
    std::vector<uint8_t> image;
    const char* problem;  // empty: accepted
  };
  std::vector<uint8_t> unterminated = sound_image(4096);
  for (size_t i = 92; i < 128; ++i) unterminated[i] = 'x';
  std::vector<uint8_t> nul_in_trailer = unterminated;
  nul_in_trailer[127] = 0;
  const Case cases[] = {
      {"empty", {}, "shorter than its 128-byte header"},
      {"one byte short of a header", sound_image(127), "shorter than its 128-byte header"},
      {"exactly a header", sound_image(128), ""},
      {"version without a NUL", unterminated, "without a NUL inside the header"},
      {"a NUL in the last header byte still ends the text", nul_in_trailer, ""},
      {"65,535 blocks", sound_image(max_image_size), ""},
      {"one byte past 65,535 blocks", sound_image(max_image_size + 1), "at most 65,535 blocks"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::string problem = check_image(c.image);
    if (*c.problem == '\0')
      EXPECT_EQ(problem, "");
    else
      EXPECT_NE(problem.find(c.problem), std::string::npos) << problem;
  }
}

TEST(CheckImage, FileMessagesNameTheFile) {
  std::string path = ::testing::TempDir() + "short-image.bin";
  {
    std::ofstream out(path, std::ios::binary);
    out << "tiny";
  }
  std::string problem = check_image_file(path);
  EXPECT_NE(problem.find(path), std::string::npos) << problem;
  EXPECT_NE(problem.find("shorter than its 128-byte header"), std::string::npos) << problem;
  std::remove(path.c_str());

  problem = check_image_file(path + ".missing");
  EXPECT_NE(problem.find("cannot be read"), std::string::npos) << problem;
}

}  // namespace
