#include "tools/qab-mkimage/mkimage.h"

#include <openssl/evp.h>

#include <cstring>
#include <sstream>
#include <stdexcept>

#include "firmware/image.h"

namespace {

std::string trim(const std::string& s) {
  size_t b = s.find_first_not_of(" \t\r");
  size_t e = s.find_last_not_of(" \t\r");
  return b == std::string::npos ? std::string() : s.substr(b, e - b + 1);
}

uint32_t parse_number(const std::string& value, int line) {
  try {
    size_t used = 0;
    unsigned long long v = std::stoull(value, &used, 0);
    if (used != value.size() || v > 0xFFFFFFFFull) throw std::invalid_argument("range");
    return static_cast<uint32_t>(v);
  } catch (const std::exception&) {
    throw std::runtime_error("recipe line " + std::to_string(line) + ": not a 32-bit number: " + value);
  }
}

void md5(const uint8_t* data, size_t length, uint8_t out[16]) {
  unsigned int n = 16;
  if (!EVP_Digest(data, length, out, &n, EVP_md5(), nullptr)) throw std::runtime_error("MD5 failed");
}

void put_be32(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v >> 24);
  p[1] = static_cast<uint8_t>(v >> 16);
  p[2] = static_cast<uint8_t>(v >> 8);
  p[3] = static_cast<uint8_t>(v);
}

}  // namespace

ImageRecipe parse_recipe(const std::string& text) {
  ImageRecipe r;
  bool have_magic = false, have_version = false, have_length = false;
  std::istringstream in(text);
  std::string line;
  int number = 0;
  while (std::getline(in, line)) {
    ++number;
    line = trim(line.substr(0, line.find('#')));
    if (line.empty()) continue;
    size_t eq = line.find('=');
    if (eq == std::string::npos) throw std::runtime_error("recipe line " + std::to_string(number) + ": expected key=value");
    std::string key = trim(line.substr(0, eq)), value = trim(line.substr(eq + 1));
    if (key == "magic") {
      r.magic = value;
      have_magic = true;
    } else if (key == "version") {
      r.version = value;
      have_version = true;
    } else if (key == "total_length") {
      r.total_length = parse_number(value, number);
      have_length = true;
    } else if (key == "seed") {
      r.seed = parse_number(value, number);
    } else {
      throw std::runtime_error("recipe line " + std::to_string(number) + ": unknown key " + key);
    }
  }
  if (!have_magic || !have_version || !have_length)
    throw std::runtime_error("recipe needs magic, version and total_length");
  return r;
}

std::vector<uint8_t> build_image(const ImageRecipe& r) {
  if (r.magic.size() > 16) throw std::runtime_error("magic is longer than 16 characters");
  if (r.version.size() > 34) throw std::runtime_error("version is longer than 34 characters");
  if (r.total_length < image_header_size) throw std::runtime_error("total_length is shorter than the 128-byte header");

  std::vector<uint8_t> image(r.total_length, 0);
  // Body: a xorshift sequence, so images differ in every block and a byte
  // lost or moved in a transfer shows.
  uint32_t x = r.seed ? r.seed : 0x9E3779B9u;
  for (size_t i = image_header_size; i < image.size(); ++i) {
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    image[i] = static_cast<uint8_t>(x >> 24);
  }

  ImageHeader h{};
  std::memcpy(h.magic, r.magic.data(), r.magic.size());
  put_be32(h.header_length, image_header_size);
  put_be32(h.digest_length, 64);
  put_be32(h.total_length, r.total_length);
  std::memcpy(h.version, r.version.data(), r.version.size());
  h.trailer = 0x12;
  md5(image.data() + image_header_size, image.size() - image_header_size, h.body_digest);
  // The header digest covers the header with both digest fields zeroed.
  ImageHeader zeroed = h;
  std::memset(zeroed.body_digest, 0, sizeof zeroed.body_digest);
  md5(reinterpret_cast<const uint8_t*>(&zeroed), sizeof zeroed, h.header_digest);
  std::memcpy(image.data(), &h, sizeof h);
  return image;
}
