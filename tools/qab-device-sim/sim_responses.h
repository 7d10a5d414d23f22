#pragma once
// The simulated device's answers: the status page and whole HTTP responses.
#include <string>

#include "tools/qab-device-sim/sim_config.h"

namespace qabsim {

// The HTML status page: the five labels, each in a table cell followed
// directly by the cell holding its value.
std::string status_page_html(const StatusPage& page);

// A whole response: status line, `extra_headers` (complete lines), the
// content headers and the body. With the HTTP/1.0 fault the status line says
// so; with the oversized fault the body is padded until the whole response is
// exactly oversized_response_size bytes.
std::string http_response(int status, const std::string& reason, const std::string& extra_headers,
                          const std::string& body, const Faults& faults);

}  // namespace qabsim
