// parse_device_address on any typed text: the whole input as one terminated
// text of any length, and the input as the address screen stores it (cut to
// 62 characters and a zero byte). Each copy sits in a heap block of exactly its
// size, so a read past the terminator is caught. The code and the address are
// compared with an independent reading of the address rules, and the text must
// come back unchanged.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string_view>

#include "app/address.h"

namespace {

// The rules in the order they are checked: length, characters, then the
// numbers from left to right (too many, too large), then too few.
int expected_code(std::string_view text, uint32_t& address) {
  address = 0;
  if (text.size() < 7 || text.size() > 15) return address_bad_length;
  for (char c : text) {
    if ((c < '0' || c > '9') && c != '.' && c != '*') return address_bad_character;
  }
  uint32_t octets[4] = {};
  int taken = 0;
  size_t at = 0;
  while (at < text.size()) {
    if (text[at] == '.' || text[at] == '*') {
      ++at;
      continue;
    }
    size_t end = text.find_first_of(".*", at);
    if (end == std::string_view::npos) end = text.size();
    std::string_view number = text.substr(at, end - at);
    at = end;
    if (taken == 4) return address_too_many_numbers;
    if (number.size() >= 10) return address_number_too_large;
    uint64_t value = 0;
    for (char c : number) value = value * 10 + static_cast<uint64_t>(c - '0');
    if (value > 255) return address_number_too_large;
    octets[taken++] = static_cast<uint32_t>(value);
  }
  if (taken < 4) return address_too_few_numbers;
  address = octets[0] << 24 | octets[1] << 16 | octets[2] << 8 | octets[3];
  return address_valid;
}

void fail(const char* what, const char* text) {
  std::fprintf(stderr, "check failed: parse_device_address: %s for \"%s\"\n", what, text);
  std::abort();
}

void check(const char* text, size_t stored) {
  // What the parser gets must be what it leaves.
  std::unique_ptr<char[]> before(new char[stored]);
  std::memcpy(before.get(), text, stored);

  uint32_t address = 0xDEADBEEF;
  int code = parse_device_address(text, &address);
  uint32_t want_address = 0;
  int want_code = expected_code(std::string_view(text), want_address);
  if (code != want_code) fail("wrong code", text);
  if (address != want_address) fail("wrong address", text);
  if (std::memcmp(before.get(), text, stored) != 0) fail("text changed", text);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // The whole input as one terminated text.
  std::unique_ptr<char[]> whole(new char[size + 1]);
  if (size > 0) std::memcpy(whole.get(), data, size);
  whole[size] = '\0';
  check(whole.get(), size + 1);

  // As the address screen's OK reads the control: at most 63 bytes, zero
  // byte included.
  constexpr size_t limit = 63;
  size_t n = size < limit - 1 ? size : limit - 1;
  std::unique_ptr<char[]> field(new char[n + 1]);
  if (n > 0) std::memcpy(field.get(), data, n);
  field[n] = '\0';
  check(field.get(), n + 1);
  return 0;
}
