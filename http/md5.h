#pragma once
// MD5 message digest (RFC 1321): start, add bytes, finish to 16 bytes.
// Digest authentication with the device is built on it.
#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

using Md5Digest = std::array<uint8_t, 16>;

struct Md5Context {
  uint32_t state[4];
  uint64_t length;      // bytes added so far
  uint8_t block[64];    // the partial block not yet compressed
};

void md5_start(Md5Context& context);
void md5_add(Md5Context& context, const void* data, size_t length);
void md5_add(Md5Context& context, std::string_view text);
// Pads, compresses the last block and gives the digest; start again to reuse.
Md5Digest md5_finish(Md5Context& context);

Md5Digest md5_of(std::string_view bytes);

// 32 lower-case hex digits and a terminating zero.
struct HexDigest {
  char text[33];
  std::string_view view() const { return {text, 32}; }
};

// Each byte as two lower-case hex digits, high nibble first.
HexDigest md5_hex(const Md5Digest& digest);
