#include "http/digest.h"

#include <cstdio>
#include <cstring>
#include <initializer_list>

#include "http/text_writer.h"
#include "platform/random.h"

namespace {

bool equals_ignoring_case(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

// MD5 of the parts joined by single colons.
Md5Digest md5_joined(std::initializer_list<std::string_view> parts) {
  Md5Context context;
  md5_start(context);
  bool first = true;
  for (std::string_view part : parts) {
    if (!first) md5_add(context, ":", 1);
    md5_add(context, part);
    first = false;
  }
  return md5_finish(context);
}

// A challenge parameter in quoted form: the bytes after `name` (which ends in
// the opening quote) up to the next quote or the end of the text.
bool find_quoted(const char* text, const char* name, std::string_view& value) {
  const char* start = std::strstr(text, name);
  if (!start) return false;
  start += std::strlen(name);
  const char* end = std::strchr(start, '"');
  value = end ? std::string_view(start, static_cast<size_t>(end - start)) : std::string_view(start);
  return true;
}

// Copies a value into a fixed field, cut to the field's size if longer.
template <size_t N>
void copy_cut(char (&field)[N], std::string_view value) {
  size_t n = value.size() < N - 1 ? value.size() : N - 1;
  std::memcpy(field, value.data(), n);
  field[n] = '\0';
}

template <size_t N>
void take_optional(char (&field)[N], const char* text, const char* name) {
  std::string_view value;
  if (find_quoted(text, name, value))
    copy_cut(field, value);
  else
    field[0] = '\0';
}

}  // namespace

NcText make_nc_text(uint32_t nonce_count, const char* qop) {
  NcText nc{};
  if (qop[0] != '\0') std::snprintf(nc.text, sizeof nc.text, "%09x", nonce_count);
  return nc;
}

int parse_digest_challenge(const char* text, DigestState& digest) {
  std::string_view value;
  if (!find_quoted(text, "realm=\"", value)) return 1;
  copy_cut(digest.realm, value);
  if (!find_quoted(text, "nonce=\"", value)) return 1;
  copy_cut(digest.nonce, value);

  // A new nonce restarts the count; a repeated one keeps it running, so the
  // probe can tell a fresh nonce from a refused password.
  if (std::strcmp(digest.nonce, digest.previous_nonce) != 0) {
    std::memcpy(digest.previous_nonce, digest.nonce, sizeof digest.previous_nonce);
    digest.nonce_count = 0;
  }
  std::snprintf(digest.cnonce, sizeof digest.cnonce, "%x", static_cast<unsigned>(platform::next_random()));
  take_optional(digest.algorithm, text, "algorithm=\"");
  take_optional(digest.qop, text, "qop=\"");
  take_optional(digest.opaque, text, "opaque=\"");
  return 0;
}

HexDigest compute_ha1(std::string_view algorithm, std::string_view user, std::string_view realm,
                      std::string_view password, std::string_view nonce, std::string_view cnonce) {
  Md5Digest h = md5_joined({user, realm, password});
  if (equals_ignoring_case(algorithm, "md5-sess")) {
    // The session key is made over the raw digest, not over its hex text.
    std::string_view raw(reinterpret_cast<const char*>(h.data()), h.size());
    h = md5_joined({raw, nonce, cnonce});
  }
  return md5_hex(h);
}

HexDigest compute_response(std::string_view ha1, std::string_view nonce, std::string_view nc_text,
                           std::string_view cnonce, std::string_view qop, std::string_view method,
                           std::string_view uri, std::string_view body) {
  HexDigest ha2;
  if (equals_ignoring_case(qop, "auth-int")) {
    HexDigest body_hash = md5_hex(md5_of(body));
    ha2 = md5_hex(md5_joined({method, uri, body_hash.view()}));
  } else {
    ha2 = md5_hex(md5_joined({method, uri}));
  }
  if (!qop.empty()) return md5_hex(md5_joined({ha1, nonce, nc_text, cnonce, qop, ha2.view()}));
  return md5_hex(md5_joined({ha1, nonce, ha2.view()}));
}

HexDigest digest_response(std::string_view nonce, std::string_view cnonce, std::string_view user,
                          std::string_view realm, std::string_view password, std::string_view algorithm,
                          std::string_view nc_text, std::string_view method, std::string_view qop,
                          std::string_view uri, std::string_view body) {
  HexDigest ha1 = compute_ha1(algorithm, user, realm, password, nonce, cnonce);
  return compute_response(ha1.view(), nonce, nc_text, cnonce, qop, method, uri, body);
}

int build_authorization(DigestState& digest, const char* path, char* destination, size_t space) {
  NcText nc = make_nc_text(digest.nonce_count, digest.qop);
  // The field keeps what fits; the header and the hash use the whole target,
  // which must match the request line for the device to accept the answer.
  copy_cut(digest.uri, std::string_view(path));
  HexDigest response = digest_response(digest.nonce, digest.cnonce, digest.user, digest.realm, digest.password,
                                       digest.algorithm, nc.text, "GET", digest.qop, path, "");

  TextWriter line(destination, space);
  line.append("Authorization: Digest username=\"%s\",realm=\"%s\",nonce=\"%s\",uri=\"%s\",algorithm=\"%s\",response=\"%s\"",
              digest.user, digest.realm, digest.nonce, path, digest.algorithm, response.text);
  if (digest.opaque[0] != '\0') line.append(",opaque=\"%s\"", digest.opaque);
  if (digest.qop[0] != '\0') line.append(",qop=%s,nc=%09x,cnonce=\"%s\"", digest.qop, digest.nonce_count, digest.cnonce);
  line.append("\r\n");
  if (!line.fits()) {
    // Half a header line would run into the next one: write none at all.
    if (space > 0) destination[0] = '\0';
    return 0;
  }
  return static_cast<int>(line.length());
}
