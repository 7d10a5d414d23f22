// The device's response as fetch_device_page leaves it, then what
// fetch_device_page does with it: the verdict (taking a 401's challenge) and,
// unless the device demanded authentication, the status page fields.
//
// The input is the received bytes. The 131,072-byte response buffer is a heap
// block of exactly that size; it first holds leftovers of earlier exchanges
// (non-zero bytes up to its end, so a reader that runs past the terminator
// runs off the buffer), then the composed request, then at most 131,071
// received bytes and a zero byte. Afterwards every field of the DigestState and
// the DeviceInfo must be terminated within its size, the bytes around both
// records untouched, and every field either as it was or holding what the
// response says.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "app/session.h"
#include "http/request.h"
#include "http/status_fields.h"

namespace {

template <typename T>
struct Guarded {
  unsigned char before[64];
  T value;
  unsigned char after[64];
};
constexpr unsigned char guard_byte = 0xA5;
constexpr char old_byte = '\x01';  // what the fields held before

[[noreturn]] void fail(const char* what) {
  std::fprintf(stderr, "check failed: device response: %s\n", what);
  std::abort();
}

template <typename T>
void arm(Guarded<T>& g) {
  std::memset(g.before, guard_byte, sizeof g.before);
  std::memset(g.after, guard_byte, sizeof g.after);
}

template <typename T>
void check_guards(const Guarded<T>& g) {
  for (unsigned char c : g.before)
    if (c != guard_byte) fail("write before the record");
  for (unsigned char c : g.after)
    if (c != guard_byte) fail("write after the record");
}

// A field at its longest, as an earlier exchange may have left it.
template <size_t N>
void fill_old(char (&field)[N]) {
  std::memset(field, old_byte, N - 1);
  field[N - 1] = '\0';
}

template <size_t N>
void check_terminated(const char (&field)[N], const char* name) {
  if (std::memchr(field, 0, N) == nullptr) {
    std::fprintf(stderr, "check failed: field %s is not terminated within its %zu bytes\n", name, N);
    std::abort();
  }
}

template <size_t N>
bool same(const char (&a)[N], const char (&b)[N]) {
  return std::strcmp(a, b) == 0;
}

// A quoted challenge parameter as the device wrote it: the bytes after the
// first `name` up to the next quote or the end, cut to `limit` characters.
std::string quoted_value(std::string_view challenge, std::string_view name, size_t limit, bool& present) {
  size_t at = challenge.find(name);
  present = at != std::string_view::npos;
  if (!present) return "";
  std::string_view value = challenge.substr(at + name.size());
  value = value.substr(0, value.find('"'));
  return std::string(value.substr(0, limit));
}

template <size_t N>
void check_parameter(const char (&field)[N], std::string_view challenge, std::string_view name, const char* what) {
  bool present = false;
  std::string want = quoted_value(challenge, name, N - 1, present);
  if (want != field) fail(what);
}

void check_digest(const DigestState& now, const DigestState& old, std::string_view text, ResponseClass verdict) {
  check_terminated(now.previous_nonce, "previous_nonce");
  check_terminated(now.nonce, "nonce");
  check_terminated(now.cnonce, "cnonce");
  check_terminated(now.user, "user");
  check_terminated(now.password, "password");
  check_terminated(now.realm, "realm");
  check_terminated(now.qop, "qop");
  check_terminated(now.algorithm, "algorithm");
  check_terminated(now.uri, "uri");
  check_terminated(now.opaque, "opaque");
  if (!same(now.user, old.user) || !same(now.password, old.password) || !same(now.uri, old.uri))
    fail("a response changed the credentials or the uri");

  if (verdict != ResponseClass::AuthRequired) {
    // At most the realm of a refused challenge (realm but no nonce) changes.
    if (now.nonce_count != old.nonce_count || !same(now.nonce, old.nonce) ||
        !same(now.previous_nonce, old.previous_nonce) || !same(now.cnonce, old.cnonce) ||
        !same(now.qop, old.qop) || !same(now.algorithm, old.algorithm) || !same(now.opaque, old.opaque))
      fail("a response without a usable challenge changed the challenge");
    if (!same(now.realm, old.realm) && text.find(std::string("realm=\"") + now.realm) == std::string_view::npos)
      fail("realm not from the response");
    return;
  }

  size_t header = text.find("WWW-Authenticate:");
  if (header == std::string_view::npos) fail("a challenge taken without its header");
  std::string_view challenge = text.substr(header);
  check_parameter(now.realm, challenge, "realm=\"", "realm");
  check_parameter(now.nonce, challenge, "nonce=\"", "nonce");
  check_parameter(now.algorithm, challenge, "algorithm=\"", "algorithm");
  check_parameter(now.qop, challenge, "qop=\"", "qop");
  check_parameter(now.opaque, challenge, "opaque=\"", "opaque");
  if (!same(now.previous_nonce, now.nonce)) fail("previous_nonce is not the nonce taken");
  uint32_t count = same(now.nonce, old.previous_nonce) ? old.nonce_count : 0;
  if (now.nonce_count != count) fail("nonce_count");
  size_t digits = std::strlen(now.cnonce);
  if (digits < 1 || digits > 4 || std::strspn(now.cnonce, "0123456789abcdef") != digits) fail("cnonce");
}

void check_info(const DeviceInfo& now, const DeviceInfo& old, std::string_view text, bool scraped) {
  const char* fields_now[5] = {now.product_name, now.mac_address, now.software_version, now.hardware_version,
                               now.serial_number};
  const char* fields_old[5] = {old.product_name, old.mac_address, old.software_version, old.hardware_version,
                               old.serial_number};
  for (int i = 0; i < 5; ++i) {
    if (std::memchr(fields_now[i], 0, sizeof now.product_name) == nullptr) {
      std::fprintf(stderr, "check failed: field for %s is not terminated within 128 bytes\n", status_labels[i]);
      std::abort();
    }
    if (std::strcmp(fields_now[i], fields_old[i]) == 0) continue;
    // A field changes only when the fields are read and its label is there,
    // and then holds text of the response up to a '<'.
    if (!scraped) fail("a field changed on an authentication demand or an empty response");
    if (text.find(status_labels[i]) == std::string_view::npos) fail("a field changed without its label");
    if (std::strchr(fields_now[i], '<') != nullptr) fail("a field holds a '<'");
    if (text.find(fields_now[i]) == std::string_view::npos) fail("a field holds text not in the response");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static char* const buffer = new char[response_buffer_size];
  static Guarded<DigestState> digest;
  static Guarded<DeviceInfo> info;

  std::memset(buffer, 'x', response_buffer_size);
  arm(digest);
  arm(info);

  // A session after an earlier challenge and page, every text at its longest.
  DigestState& d = digest.value;
  d = DigestState{};
  d.nonce_count = 7;
  fill_old(d.previous_nonce);
  fill_old(d.nonce);
  std::strcpy(d.cnonce, "7fff");
  fill_old(d.user);
  fill_old(d.realm);
  fill_old(d.qop);
  fill_old(d.algorithm);
  fill_old(d.uri);
  fill_old(d.opaque);
  // No password: the request is composed without a header, as for a device
  // that has not asked yet. The request only sits in the buffer.
  DeviceInfo& di = info.value;
  fill_old(di.product_name);
  fill_old(di.mac_address);
  fill_old(di.software_version);
  fill_old(di.hardware_version);
  fill_old(di.serial_number);
  const DigestState old_digest = d;
  const DeviceInfo old_info = di;

  if (compose_device_request("/admin/advanced", 0x7f000002, d, buffer, response_limit + 1) == 0)
    fail("the status page request does not fit");

  // What the receive loop leaves: the received bytes from the first byte on,
  // a zero byte after them.
  size_t received = size < static_cast<size_t>(response_limit) ? size : static_cast<size_t>(response_limit);
  if (received > 0) {
    std::memcpy(buffer, data, received);
    buffer[received] = '\0';
  }

  ResponseClass verdict = classify_response(buffer, d);
  bool scraped = verdict != ResponseClass::AuthRequired && received > 0;
  if (scraped) scrape_status_fields(buffer, di);

  switch (verdict) {
    case ResponseClass::NotHttp:
    case ResponseClass::NoStatus:
    case ResponseClass::StatusOk:
    case ResponseClass::AuthRequired:
    case ResponseClass::OtherStatus:
      break;
    default:
      fail("verdict out of range");
  }
  if (received == 0 && verdict != ResponseClass::NotHttp) fail("nothing received is not NotHttp");

  std::string_view text(buffer);
  check_guards(digest);
  check_guards(info);
  check_digest(d, old_digest, text, verdict);
  check_info(di, old_info, text, scraped);
  return 0;
}
