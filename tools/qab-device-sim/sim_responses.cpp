#include "tools/qab-device-sim/sim_responses.h"

namespace qabsim {

std::string status_page_html(const StatusPage& page) {
  const std::pair<const char*, const std::string*> rows[] = {
      {"Product Name:", &page.product_name},         {"MAC Address:", &page.mac_address},
      {"Software Version:", &page.software_version}, {"Hardware Version:", &page.hardware_version},
      {"Serial Number:", &page.serial_number},
  };
  std::string html = "<html><head><title>QAB Device Status</title>" + page.extra_head +
                     "</head>\r\n<body><h1>Status</h1>\r\n<table>\r\n";
  for (const auto& [label, value] : rows) html += std::string("<tr><td>") + label + "</td><td>" + *value + "</td></tr>\r\n";
  return html + "</table>\r\n</body></html>\r\n";
}

std::string http_response(int status, const std::string& reason, const std::string& extra_headers,
                          const std::string& body, const Faults& faults) {
  std::string head = std::string(faults.http10_status_line ? "HTTP/1.0 " : "HTTP/1.1 ") + std::to_string(status) +
                     " " + reason + "\r\n" + extra_headers + "Content-Type: text/html\r\nConnection: close\r\n";
  std::string padded = body;
  if (faults.oversized_response) {
    // The Content-Length header's own width depends on the body's length:
    // find the width at which both agree.
    for (size_t digits = 1; digits <= 7; ++digits) {
      size_t fixed = head.size() + std::string("Content-Length: \r\n\r\n").size() + digits;
      if (fixed + body.size() > oversized_response_size) break;
      size_t length = oversized_response_size - fixed;
      if (std::to_string(length).size() == digits) {
        padded = body + std::string(length - body.size(), ' ');
        break;
      }
    }
  }
  return head + "Content-Length: " + std::to_string(padded.size()) + "\r\n\r\n" + padded;
}

}  // namespace qabsim
