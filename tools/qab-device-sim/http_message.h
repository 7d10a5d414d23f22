#pragma once
// The simulator's own reading of HTTP requests, Digest credentials and the
// upgrade trigger's URL. Written apart from the upgrader's client code so
// that a fault on one side is not hidden by the same fault on the other.
#include <map>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "tools/qab-device-sim/sim_config.h"

namespace qabsim {

struct HttpRequest {
  std::string method, target, version;
  std::vector<std::pair<std::string, std::string>> headers;  // in order, values without surrounding blanks

  // The first header of that name (any letter case), or nullptr.
  const std::string* header(std::string_view name) const;
};

// Where the request header ends (just past its empty line), or npos while
// it has not ended. Lines may end in CR LF or in LF alone.
size_t find_header_end(std::string_view bytes);

// Reads the request line "METHOD TARGET HTTP/x.y" and the header lines.
// False when the request line is malformed.
bool parse_http_request(std::string_view header, HttpRequest& request);

// Reads `Digest name=value, name="value", ...` into `params` (names in
// lower case, quoted values unescaped). False for another scheme.
bool parse_digest_credentials(std::string_view value, std::map<std::string, std::string>& params);

// Reads "tftp://a.b.c.d[:port]/file" (what follows "/admin/upgrade?").
bool parse_upgrade_url(std::string_view url, UpgradeTrigger& trigger);

std::string lower_case(std::string_view text);

}  // namespace qabsim
