#include "firmware/image_check.h"

#include <fstream>
#include <iterator>

#include "firmware/image.h"

std::string check_image(const std::vector<uint8_t>& image) {
  if (image.size() < image_header_size)
    return "is " + std::to_string(image.size()) + " bytes long, shorter than its 128-byte header";
  if (image.size() > max_image_size)
    return "is " + std::to_string(image.size()) +
           " bytes long; the transfer can send at most 65,535 blocks (33,553,919 bytes)";
  bool terminated = false;
  for (uint32_t i = 92; i < image_header_size; ++i) terminated = terminated || image[i] == 0;
  if (!terminated) return "has a version text (bytes 92-126) without a NUL inside the header";
  return {};
}

std::string check_image_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return "firmware image " + path + ": cannot be read";
  std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::string problem = check_image(bytes);
  return problem.empty() ? problem : "firmware image " + path + " " + problem;
}
