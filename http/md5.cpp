#include "http/md5.h"

#include <cstring>

namespace {

// Per-round shift amounts and the sine-derived constants of RFC 1321, 3.4.
constexpr uint32_t shifts[64] = {7, 12, 17, 22, 7, 12, 17, 22, 7, 12, 17, 22, 7, 12, 17, 22,
                                 5, 9,  14, 20, 5, 9,  14, 20, 5, 9,  14, 20, 5, 9,  14, 20,
                                 4, 11, 16, 23, 4, 11, 16, 23, 4, 11, 16, 23, 4, 11, 16, 23,
                                 6, 10, 15, 21, 6, 10, 15, 21, 6, 10, 15, 21, 6, 10, 15, 21};

constexpr uint32_t sines[64] = {
    0xd76aa478, 0xe8c7b756, 0x242070db, 0xc1bdceee, 0xf57c0faf, 0x4787c62a, 0xa8304613, 0xfd469501,
    0x698098d8, 0x8b44f7af, 0xffff5bb1, 0x895cd7be, 0x6b901122, 0xfd987193, 0xa679438e, 0x49b40821,
    0xf61e2562, 0xc040b340, 0x265e5a51, 0xe9b6c7aa, 0xd62f105d, 0x02441453, 0xd8a1e681, 0xe7d3fbc8,
    0x21e1cde6, 0xc33707d6, 0xf4d50d87, 0x455a14ed, 0xa9e3e905, 0xfcefa3f8, 0x676f02d9, 0x8d2a4c8a,
    0xfffa3942, 0x8771f681, 0x6d9d6122, 0xfde5380c, 0xa4beea44, 0x4bdecfa9, 0xf6bb4b60, 0xbebfbc70,
    0x289b7ec6, 0xeaa127fa, 0xd4ef3085, 0x04881d05, 0xd9d4d039, 0xe6db99e5, 0x1fa27cf8, 0xc4ac5665,
    0xf4292244, 0x432aff97, 0xab9423a7, 0xfc93a039, 0x655b59c3, 0x8f0ccc92, 0xffeff47d, 0x85845dd1,
    0x6fa87e4f, 0xfe2ce6e0, 0xa3014314, 0x4e0811a1, 0xf7537e82, 0xbd3af235, 0x2ad7d2bb, 0xeb86d391};

uint32_t rotate_left(uint32_t x, uint32_t n) { return (x << n) | (x >> (32 - n)); }

// Words are little-endian in MD5, whatever the host's byte order.
uint32_t load_le32(const uint8_t* p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

void store_le32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

void compress(uint32_t (&state)[4], const uint8_t* block) {
  uint32_t m[16];
  for (int i = 0; i < 16; ++i) m[i] = load_le32(block + 4 * i);
  uint32_t a = state[0], b = state[1], c = state[2], d = state[3];
  for (int i = 0; i < 64; ++i) {
    uint32_t f;
    int g;
    if (i < 16) {
      f = (b & c) | (~b & d);
      g = i;
    } else if (i < 32) {
      f = (d & b) | (~d & c);
      g = (5 * i + 1) % 16;
    } else if (i < 48) {
      f = b ^ c ^ d;
      g = (3 * i + 5) % 16;
    } else {
      f = c ^ (b | ~d);
      g = (7 * i) % 16;
    }
    uint32_t next = b + rotate_left(a + f + sines[i] + m[g], shifts[i]);
    a = d;
    d = c;
    c = b;
    b = next;
  }
  state[0] += a;
  state[1] += b;
  state[2] += c;
  state[3] += d;
}

}  // namespace

void md5_start(Md5Context& context) {
  context.state[0] = 0x67452301;
  context.state[1] = 0xefcdab89;
  context.state[2] = 0x98badcfe;
  context.state[3] = 0x10325476;
  context.length = 0;
}

void md5_add(Md5Context& context, const void* data, size_t length) {
  const auto* bytes = static_cast<const uint8_t*>(data);
  size_t used = context.length % 64;
  context.length += length;
  if (used > 0) {
    size_t take = 64 - used < length ? 64 - used : length;
    std::memcpy(context.block + used, bytes, take);
    bytes += take;
    length -= take;
    if (used + take < 64) return;
    compress(context.state, context.block);
  }
  for (; length >= 64; bytes += 64, length -= 64) compress(context.state, bytes);
  if (length > 0) std::memcpy(context.block, bytes, length);
}

void md5_add(Md5Context& context, std::string_view text) { md5_add(context, text.data(), text.size()); }

Md5Digest md5_finish(Md5Context& context) {
  // A 1 bit, zeros up to 56 bytes modulo 64, then the message length in bits.
  uint64_t bits = context.length * 8;
  uint8_t padding[72] = {0x80};
  size_t used = context.length % 64;
  size_t pad = used < 56 ? 56 - used : 120 - used;
  for (int i = 0; i < 8; ++i) padding[pad + i] = static_cast<uint8_t>(bits >> (8 * i));
  md5_add(context, padding, pad + 8);

  Md5Digest digest;
  for (int i = 0; i < 4; ++i) store_le32(digest.data() + 4 * i, context.state[i]);
  return digest;
}

Md5Digest md5_of(std::string_view bytes) {
  Md5Context context;
  md5_start(context);
  md5_add(context, bytes);
  return md5_finish(context);
}

HexDigest md5_hex(const Md5Digest& digest) {
  static constexpr char digits[] = "0123456789abcdef";
  HexDigest hex;
  for (size_t i = 0; i < digest.size(); ++i) {
    hex.text[2 * i] = digits[digest[i] >> 4];
    hex.text[2 * i + 1] = digits[digest[i] & 0xf];
  }
  hex.text[32] = '\0';
  return hex;
}
