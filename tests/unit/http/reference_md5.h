#pragma once
// MD5 from OpenSSL, an implementation independent of ours, for comparisons.
#include <openssl/evp.h>

#include <string>
#include <string_view>

inline std::string reference_md5_raw(std::string_view bytes) {
  unsigned char out[EVP_MAX_MD_SIZE];
  unsigned int n = 0;
  EVP_Digest(bytes.data(), bytes.size(), out, &n, EVP_md5(), nullptr);
  return std::string(reinterpret_cast<char*>(out), n);
}

inline std::string reference_md5_hex(std::string_view bytes) {
  static const char digits[] = "0123456789abcdef";
  std::string raw = reference_md5_raw(bytes), hex;
  for (unsigned char c : raw) {
    hex += digits[c >> 4];
    hex += digits[c & 0xf];
  }
  return hex;
}
