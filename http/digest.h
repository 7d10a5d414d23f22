#pragma once
// HTTP Digest access authentication (RFC 2617) towards the device: reading a
// challenge into the DigestState and writing the Authorization header line.
//
// Choices of this system that the device's web server accepts: the nonce
// count is sent and hashed as nine hex digits, the md5-sess key is made over
// the raw 16-byte digest, the algorithm is always sent in quotes (algorithm=""
// when the challenge named none), and challenge parameters are recognised only
// in their quoted form.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "http/digest_state.h"
#include "http/md5.h"

// The nonce count as sent and hashed: "%09x", or empty while qop is empty.
struct NcText {
  char text[10];
};
NcText make_nc_text(uint32_t nonce_count, const char* qop);

// Takes the challenge in `text` (from the "WWW-Authenticate:" header name to
// the end of the received data) into `digest`. 0 on success, 1 when the text
// holds no quoted realm or no quoted nonce (the realm may already have been
// replaced then). A value longer than its field is cut to fit the field.
int parse_digest_challenge(const char* text, DigestState& digest);

// Writes the whole "Authorization: Digest ..." line for a GET of `path`, CR LF
// included and followed by a zero byte, into `destination`, which has `space`
// bytes. Returns the characters written, not counting the zero byte. The caller
// has already advanced nonce_count. When the line does not fit, nothing but a
// zero byte (if space allows) is written and the result is 0.
int build_authorization(DigestState& digest, const char* path, char* destination, size_t space);

// HA1 as 32 hex digits: MD5(user:realm:password), or for md5-sess (in any
// letter case) MD5(raw digest:nonce:cnonce).
HexDigest compute_ha1(std::string_view algorithm, std::string_view user, std::string_view realm,
                      std::string_view password, std::string_view nonce, std::string_view cnonce);

// The request digest over HA1, the nonce and HA2; with qop also over nc,
// cnonce and qop exactly as given. qop "auth-int" adds the body's hash to A2.
HexDigest compute_response(std::string_view ha1, std::string_view nonce, std::string_view nc_text,
                           std::string_view cnonce, std::string_view qop, std::string_view method,
                           std::string_view uri, std::string_view body);

// compute_ha1 followed by compute_response.
HexDigest digest_response(std::string_view nonce, std::string_view cnonce, std::string_view user,
                          std::string_view realm, std::string_view password, std::string_view algorithm,
                          std::string_view nc_text, std::string_view method, std::string_view qop,
                          std::string_view uri, std::string_view body);
