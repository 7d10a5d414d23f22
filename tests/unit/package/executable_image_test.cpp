// qab-upgrade as built carries its target image whole.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>

#include "firmware/image.h"

namespace {

std::string read_file(const char* path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

TEST(Executable, HoldsTheTargetImageByteForByte) {
  std::string exe = read_file(QAB_UPGRADER_PATH);
  std::string image = read_file(QAB_PACKAGE_TARGET_IMAGE);
  ASSERT_FALSE(exe.empty());
  ASSERT_GE(image.size(), 128u);
  auto at = std::search(exe.begin(), exe.end(), image.begin(), image.end());
  EXPECT_NE(at, exe.end()) << "the image is not inside " << QAB_UPGRADER_PATH;

  if (std::string(QAB_PACKAGE_TARGET_IMAGE) == QAB_SAMPLE_TARGET_IMAGE) {
    ImageHeader h;
    std::memcpy(&h, image.data(), sizeof h);
    EXPECT_EQ(image.size(), 1074589u);
    EXPECT_EQ(std::string(h.magic, 16), "QaBx900tFiRmWaRe");
    EXPECT_EQ(h.version_text(), "3.3.6");
    EXPECT_EQ(read_be32(h.total_length), 1074589u);
  }
}

}  // namespace
