#include "tools/qab-device-sim/sim_digest.h"

#include <openssl/evp.h>

#include <vector>

#include "tools/qab-device-sim/http_message.h"

namespace qabsim {
namespace {

std::string hex(std::string_view raw) {
  static const char digits[] = "0123456789abcdef";
  std::string out;
  for (unsigned char c : raw) {
    out += digits[c >> 4];
    out += digits[c & 0xf];
  }
  return out;
}

std::string get(const std::map<std::string, std::string>& params, const char* name, bool& present) {
  auto it = params.find(name);
  present = it != params.end();
  return present ? it->second : std::string();
}

std::vector<std::string> split_list(const std::string& list) {
  std::vector<std::string> items;
  size_t start = 0;
  while (start <= list.size()) {
    size_t comma = list.find(',', start);
    if (comma == std::string::npos) comma = list.size();
    std::string item = list.substr(start, comma - start);
    while (!item.empty() && item.front() == ' ') item.erase(0, 1);
    while (!item.empty() && item.back() == ' ') item.pop_back();
    if (!item.empty()) items.push_back(item);
    start = comma + 1;
  }
  return items;
}

// Whether the client's qop answers the offer: one of the offered options, or
// (as the upgrader sends it) the whole offered text.
bool qop_acceptable(const std::string& offered, const std::string& sent) {
  if (sent == offered) return true;
  for (const std::string& option : split_list(offered))
    if (lower_case(option) == lower_case(sent)) return true;
  return false;
}

}  // namespace

std::string md5_raw(std::string_view bytes) {
  unsigned char out[EVP_MAX_MD_SIZE];
  unsigned int n = 0;
  EVP_Digest(bytes.data(), bytes.size(), out, &n, EVP_md5(), nullptr);
  return std::string(reinterpret_cast<char*>(out), n);
}

std::string md5_hex(std::string_view bytes) { return hex(md5_raw(bytes)); }

std::string challenge_header(const Protection& p, const std::string& nonce, bool stale) {
  std::string h = "WWW-Authenticate: Digest realm=\"" + p.realm + "\", nonce=\"" + nonce + "\"";
  if (!p.qop.empty()) h += ", qop=\"" + p.qop + "\"";
  if (p.algorithm_form == AlgorithmForm::Quoted) h += ", algorithm=\"" + p.algorithm + "\"";
  if (p.algorithm_form == AlgorithmForm::Unquoted) h += ", algorithm=" + p.algorithm;
  if (!p.opaque.empty()) h += ", opaque=\"" + p.opaque + "\"";
  if (stale) h += ", stale=true";
  return h + "\r\n";
}

CredentialCheck check_credentials(const Protection& p, const std::string& current_nonce, const std::string& method,
                                  const std::string& target, const std::map<std::string, std::string>& params) {
  bool has_user, has_realm, has_nonce, has_uri, has_response, has_qop, has_nc, has_cnonce, has_opaque, has_algorithm;
  std::string user = get(params, "username", has_user), realm = get(params, "realm", has_realm),
              nonce = get(params, "nonce", has_nonce), uri = get(params, "uri", has_uri),
              response = lower_case(get(params, "response", has_response)), qop = get(params, "qop", has_qop),
              nc = get(params, "nc", has_nc), cnonce = get(params, "cnonce", has_cnonce),
              opaque = get(params, "opaque", has_opaque), algorithm = lower_case(get(params, "algorithm", has_algorithm));
  if (!has_user || !has_realm || !has_nonce || !has_uri || !has_response) return CredentialCheck::Missing;
  if (user != p.user || realm != p.realm || uri != target) return CredentialCheck::Wrong;
  if (!p.opaque.empty() && opaque != p.opaque) return CredentialCheck::Wrong;
  if (p.qop.empty() ? has_qop : (!has_qop || !has_nc || !has_cnonce || !qop_acceptable(p.qop, qop)))
    return CredentialCheck::Wrong;

  // HA1 candidates: plain MD5 for an absent, empty or "MD5" algorithm; for
  // md5-sess the RFC's key over the hex digest and the one over the raw digest.
  std::vector<std::string> ha1s;
  std::string a1 = p.user + ":" + p.realm + ":" + p.password;
  if (algorithm.empty() || algorithm == "md5") {
    ha1s.push_back(md5_hex(a1));
  } else if (algorithm == "md5-sess") {
    ha1s.push_back(md5_hex(md5_hex(a1) + ":" + nonce + ":" + cnonce));
    ha1s.push_back(md5_hex(md5_raw(a1) + ":" + nonce + ":" + cnonce));
  } else {
    return CredentialCheck::Wrong;
  }
  std::string a2 = method + ":" + uri;
  if (lower_case(qop) == "auth-int") a2 += ":" + md5_hex("");  // requests here carry no body
  std::string ha2 = md5_hex(a2);

  bool match = false;
  for (const std::string& ha1 : ha1s) {
    std::string expected = has_qop ? md5_hex(ha1 + ":" + nonce + ":" + nc + ":" + cnonce + ":" + qop + ":" + ha2)
                                   : md5_hex(ha1 + ":" + nonce + ":" + ha2);
    match = match || expected == response;
  }
  if (!match) return CredentialCheck::Wrong;
  return nonce == current_nonce ? CredentialCheck::Accepted : CredentialCheck::Stale;
}

}  // namespace qabsim
