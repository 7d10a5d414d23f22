#pragma once
// The simulated device's side of HTTP Digest (RFC 2617): its challenge, and
// the check of a client's credentials, with MD5 from OpenSSL.
//
// Accepted: the RFC's computation (what curl and browsers send) and the
// upgrader's (nine-digit nc, which is hashed as sent anyway; algorithm=""
// taken as MD5; md5-sess keyed with the raw 16-byte digest instead of its
// hex text; qop answered with the whole offered list).
#include <map>
#include <string>
#include <string_view>

#include "tools/qab-device-sim/sim_config.h"

namespace qabsim {

std::string md5_raw(std::string_view bytes);
std::string md5_hex(std::string_view bytes);

// The header line "WWW-Authenticate: Digest ...\r\n".
std::string challenge_header(const Protection& protection, const std::string& nonce, bool stale);

enum class CredentialCheck {
  Accepted,
  Missing,  // no Digest credentials
  Wrong,    // wrong user, password, realm, uri, opaque, qop or algorithm
  Stale,    // right credentials for a nonce that is no longer current
};

// `params` as read by parse_digest_credentials.
CredentialCheck check_credentials(const Protection& protection, const std::string& current_nonce,
                                  const std::string& method, const std::string& target,
                                  const std::map<std::string, std::string>& params);

}  // namespace qabsim
