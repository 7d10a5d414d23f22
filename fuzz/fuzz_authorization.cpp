// The Authorization line after any challenge, and the whole request that
// carries it, composed as fetch_device_page does into the real 131,072-byte
// response buffer.
//
// Input, as lines: the user name, the password (each cut to 126 characters as
// the password screen stores them), a path, then up to four numbers: the nonce
// count before the request, the path's length (the path is repeated to reach
// it, so paths of any length up to 140,000 are tried), a space for a header
// written on its own, and, when given, an aim: the path is then made as long as
// needed for the request to end within 8 bytes either side of the buffer's
// end (aim mod 17, minus 8), where a cut is most likely. Everything after the
// fourth line is the challenge, parsed first.
//
// Checked: nothing is written around the DigestState (guard bytes) and every
// field stays terminated; the request is written whole, exactly as expected,
// when it fits the buffer, and refused (result 0, a terminated buffer)
// otherwise; a header written on its own into a heap block of exactly the
// space given is whole or refused in the same way.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "app/session.h"
#include "http/digest.h"
#include "http/request.h"

namespace {

struct GuardedDigest {
  unsigned char before[64];
  DigestState value;
  unsigned char after[64];
};
constexpr unsigned char guard_byte = 0xA5;
constexpr size_t longest_path = 140000;
constexpr uint32_t device = 0xFFFFFFFF;  // the longest Host line

[[noreturn]] void fail(const char* what) {
  std::fprintf(stderr, "check failed: authorization: %s\n", what);
  std::abort();
}

void arm(GuardedDigest& g) {
  std::memset(g.before, guard_byte, sizeof g.before);
  std::memset(g.after, guard_byte, sizeof g.after);
}

template <size_t N>
void check_terminated(const char (&field)[N]) {
  if (std::memchr(field, 0, N) == nullptr) fail("a field is not terminated within its size");
}

void check_record(const GuardedDigest& g) {
  for (unsigned char c : g.before)
    if (c != guard_byte) fail("write before the DigestState");
  for (unsigned char c : g.after)
    if (c != guard_byte) fail("write after the DigestState");
  const DigestState& d = g.value;
  check_terminated(d.previous_nonce);
  check_terminated(d.nonce);
  check_terminated(d.cnonce);
  check_terminated(d.user);
  check_terminated(d.password);
  check_terminated(d.realm);
  check_terminated(d.qop);
  check_terminated(d.algorithm);
  check_terminated(d.uri);
  check_terminated(d.opaque);
}

// The next line of the input, without its '\n'.
std::string_view next_line(std::string_view& rest) {
  size_t end = rest.find('\n');
  std::string_view line = rest.substr(0, end);
  rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
  return line;
}

// A text field as the screens store it: up to the first zero byte, cut.
std::string_view as_text(std::string_view line, size_t limit) {
  line = line.substr(0, line.find('\0'));
  return line.substr(0, limit);
}

// The n-th run of decimal digits in `line` (at most 10 digits read).
std::optional<uint64_t> number(std::string_view line, int n) {
  size_t at = 0;
  for (int i = 0;; ++i) {
    at = line.find_first_of("0123456789", at);
    if (at == std::string_view::npos) return std::nullopt;
    size_t end = line.find_first_not_of("0123456789", at);
    if (end == std::string_view::npos) end = line.size();
    if (i == n) {
      uint64_t value = 0;
      for (size_t k = at; k < end && k < at + 10; ++k) value = value * 10 + static_cast<uint64_t>(line[k] - '0');
      return value;
    }
    at = end;
  }
}

template <size_t N>
void set_field(char (&field)[N], std::string_view text) {
  if (!text.empty()) std::memcpy(field, text.data(), text.size());
  field[text.size()] = '\0';
}

// The header line that the state and the path call for, written apart from
// the code under test (the digest itself is the one checked by the unit tests).
std::string expected_header(const DigestState& d, const std::string& path) {
  NcText nc = make_nc_text(d.nonce_count, d.qop);
  HexDigest response = digest_response(d.nonce, d.cnonce, d.user, d.realm, d.password, d.algorithm, nc.text, "GET",
                                       d.qop, path, "");
  std::string line = std::string("Authorization: Digest username=\"") + d.user + "\",realm=\"" + d.realm +
                     "\",nonce=\"" + d.nonce + "\",uri=\"" + path + "\",algorithm=\"" + d.algorithm +
                     "\",response=\"" + std::string(response.view()) + "\"";
  if (d.opaque[0] != '\0') line += std::string(",opaque=\"") + d.opaque + "\"";
  if (d.qop[0] != '\0') {
    char count[16];
    std::snprintf(count, sizeof count, "%09x", d.nonce_count);
    line += std::string(",qop=") + d.qop + ",nc=" + count + ",cnonce=\"" + d.cnonce + "\"";
  }
  return line + "\r\n";
}

// The whole request for the device at 255.255.255.255 (the longest Host line),
// with `header` when a password is set.
std::string expected_request(const std::string& path, const std::string& header, bool authorised) {
  return "GET " + path + " HTTP/1.1\r\nHost: 255.255.255.255\r\n" + (authorised ? header : "") + "\r\n";
}

// build_authorization on its own into exactly `space` bytes.
void check_alone(const DigestState& state, const std::string& path, const std::string& header, size_t space) {
  static GuardedDigest copy;
  arm(copy);
  copy.value = state;
  std::unique_ptr<char[]> destination(new char[space]);
  std::memset(destination.get(), '#', space);
  int n = build_authorization(copy.value, path.c_str(), destination.get(), space);
  check_record(copy);
  if (header.size() < space) {
    if (n != static_cast<int>(header.size())) fail("a header that fits was not written whole");
    if (std::memcmp(destination.get(), header.data(), header.size()) != 0) fail("header text");
    if (destination[header.size()] != '\0') fail("header not terminated");
  } else {
    if (n != 0) fail("a header that does not fit was not refused");
    if (space > 0 && destination[0] != '\0') fail("a refused header left text behind");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static char* const buffer = new char[response_buffer_size];
  static GuardedDigest digest;

  std::string_view rest(reinterpret_cast<const char*>(data), size);
  std::string_view user = as_text(next_line(rest), 126);
  std::string_view password = as_text(next_line(rest), 126);
  std::string_view piece = as_text(next_line(rest), longest_path);
  std::string_view numbers = next_line(rest);

  // The challenge, terminated, in a heap block of exactly its size.
  std::unique_ptr<char[]> challenge(new char[rest.size() + 1]);
  if (!rest.empty()) std::memcpy(challenge.get(), rest.data(), rest.size());
  challenge[rest.size()] = '\0';

  arm(digest);
  DigestState& d = digest.value;
  d = DigestState{};
  parse_digest_challenge(challenge.get(), d);
  check_record(digest);

  set_field(d.user, user);
  set_field(d.password, password);
  d.nonce_count = static_cast<uint32_t>(number(numbers, 0).value_or(0));
  bool authorised = d.password[0] != '\0';
  std::string path(piece);
  size_t path_length = static_cast<size_t>(number(numbers, 1).value_or(0));
  if (auto aim = number(numbers, 3)) {
    // Each path byte stands in the request line and, with a password, once
    // more in the header's uri.
    DigestState after = d;
    ++after.nonce_count;
    size_t fixed = expected_request("", expected_header(after, ""), authorised).size();
    size_t per_byte = authorised ? 2 : 1;
    size_t end = static_cast<size_t>(response_buffer_size) - 1 + *aim % 17 - 8;
    path_length = end > fixed ? (end - fixed) / per_byte : 0;
  }
  if (path_length > longest_path) path_length = longest_path;
  if (path.empty() && path_length > 0) path = "/";
  while (path.size() < path_length) path += path.substr(0, path_length - path.size());

  const DigestState before = d;
  std::memset(buffer, '#', response_buffer_size);
  size_t length = compose_device_request(path.c_str(), device, d, buffer, response_buffer_size);
  check_record(digest);

  if (d.nonce_count != before.nonce_count + (authorised ? 1u : 0u)) fail("nonce_count not advanced by one");
  DigestState only_uri = d;
  std::memcpy(only_uri.uri, before.uri, sizeof only_uri.uri);
  only_uri.nonce_count = before.nonce_count;
  if (std::memcmp(&only_uri, &before, sizeof before) != 0) fail("composing changed the challenge or credentials");
  if (std::strcmp(d.uri, before.uri) != 0 && path.compare(0, 127, d.uri) != 0) fail("uri is not the path");

  std::string header = expected_header(d, path);
  std::string request = expected_request(path, header, authorised);
  if (request.size() < static_cast<size_t>(response_buffer_size)) {
    if (length != request.size()) fail("a request that fits was not composed whole");
    if (std::memcmp(buffer, request.data(), request.size()) != 0) fail("request text");
    if (buffer[length] != '\0') fail("request not terminated");
    if (authorised && path.compare(0, 127, d.uri) != 0) fail("uri is not the path");
  } else {
    if (length != 0) fail("a request that does not fit was not refused");
    if (std::memchr(buffer, 0, response_buffer_size) == nullptr) fail("a refused request left no terminator");
  }

  // The header alone: in a space the input picks and, unless the path is long
  // (each call hashes it again), with room for it and its zero byte and one
  // byte short.
  if (header.size() <= 4096) {
    check_alone(d, path, header, header.size() + 1);
    check_alone(d, path, header, header.size());
  }
  check_alone(d, path, header, static_cast<size_t>(number(numbers, 2).value_or(0) % (header.size() + 2)));
  return 0;
}
