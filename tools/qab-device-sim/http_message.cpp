#include "tools/qab-device-sim/http_message.h"

#include <cctype>
#include <charconv>

namespace qabsim {
namespace {

std::string_view trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.remove_suffix(1);
  return s;
}

bool read_number(std::string_view& s, unsigned max, unsigned& value) {
  const char* end = s.data() + s.size();
  auto [next, error] = std::from_chars(s.data(), end, value);
  if (error != std::errc() || next == s.data() || value > max) return false;
  s.remove_prefix(static_cast<size_t>(next - s.data()));
  return true;
}

// Whether a parameter ("name=") begins at `at`, after blanks.
bool starts_parameter(std::string_view s, size_t at) {
  while (at < s.size() && (s[at] == ' ' || s[at] == '\t' || s[at] == '\r' || s[at] == '\n')) ++at;
  size_t name = at;
  while (at < s.size() && (std::isalnum(static_cast<unsigned char>(s[at])) || s[at] == '-' || s[at] == '_')) ++at;
  while (at < s.size() && (s[at] == ' ' || s[at] == '\t')) ++at;
  return at > name && at < s.size() && s[at] == '=';
}

}  // namespace

std::string lower_case(std::string_view text) {
  std::string out(text);
  for (char& c : out)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return out;
}

const std::string* HttpRequest::header(std::string_view name) const {
  std::string wanted = lower_case(name);
  for (const auto& [key, value] : headers)
    if (lower_case(key) == wanted) return &value;
  return nullptr;
}

size_t find_header_end(std::string_view bytes) {
  for (size_t i = 0; i < bytes.size(); ++i) {
    if (bytes[i] != '\n') continue;
    if (i + 1 < bytes.size() && bytes[i + 1] == '\n') return i + 2;
    if (i + 2 < bytes.size() && bytes[i + 1] == '\r' && bytes[i + 2] == '\n') return i + 3;
  }
  return std::string_view::npos;
}

bool parse_http_request(std::string_view header, HttpRequest& request) {
  request = HttpRequest{};
  size_t line_end = header.find('\n');
  std::string_view line = trim(header.substr(0, line_end));
  size_t a = line.find(' '), b = line.rfind(' ');
  if (a == std::string_view::npos || b == a) return false;
  request.method = std::string(line.substr(0, a));
  request.target = std::string(trim(line.substr(a + 1, b - a - 1)));
  request.version = std::string(line.substr(b + 1));
  if (request.target.empty() || request.version.rfind("HTTP/", 0) != 0) return false;

  while (line_end != std::string_view::npos) {
    header.remove_prefix(line_end + 1);
    line_end = header.find('\n');
    line = trim(header.substr(0, line_end));
    if (line.empty()) break;
    size_t colon = line.find(':');
    if (colon == std::string_view::npos || colon == 0) continue;  // not a header line: ignored
    request.headers.emplace_back(std::string(trim(line.substr(0, colon))), std::string(trim(line.substr(colon + 1))));
  }
  return true;
}

bool parse_digest_credentials(std::string_view value, std::map<std::string, std::string>& params) {
  params.clear();
  value = trim(value);
  if (value.size() < 6 || lower_case(value.substr(0, 6)) != "digest") return false;
  value.remove_prefix(6);
  if (!value.empty() && value.front() != ' ' && value.front() != '\t') return false;

  size_t i = 0;
  auto skip = [&](std::string_view set) {
    while (i < value.size() && set.find(value[i]) != std::string_view::npos) ++i;
  };
  while (i < value.size()) {
    skip(" \t\r\n,");
    size_t name_start = i;
    while (i < value.size() && value[i] != '=' && value[i] != ',' && value[i] != ' ') ++i;
    std::string name = lower_case(value.substr(name_start, i - name_start));
    skip(" \t\r\n");
    if (i >= value.size() || value[i] != '=') {
      if (i < value.size()) ++i;  // a bare word: skipped
      continue;
    }
    ++i;
    skip(" \t\r\n");
    std::string v;
    if (i < value.size() && value[i] == '"') {
      for (++i; i < value.size() && value[i] != '"'; ++i) {
        if (value[i] == '\\' && i + 1 < value.size()) ++i;
        v += value[i];
      }
      ++i;  // the closing quote
    } else {
      // A bare value runs to the comma that starts the next parameter, so
      // that a list such as qop=auth,auth-int stays whole.
      size_t start = i;
      while (i < value.size() && !(value[i] == ',' && starts_parameter(value, i + 1))) ++i;
      v = std::string(trim(value.substr(start, i - start)));
    }
    if (!name.empty()) params.emplace(name, v);
  }
  return true;
}

bool parse_upgrade_url(std::string_view url, UpgradeTrigger& trigger) {
  constexpr std::string_view scheme = "tftp://";
  if (url.substr(0, scheme.size()) != scheme) return false;
  url.remove_prefix(scheme.size());
  uint32_t address = 0;
  for (int i = 0; i < 4; ++i) {
    unsigned octet;
    if (!read_number(url, 255, octet)) return false;
    address = address << 8 | octet;
    if (i < 3) {
      if (url.empty() || url.front() != '.') return false;
      url.remove_prefix(1);
    }
  }
  unsigned port = 69;
  if (!url.empty() && url.front() == ':') {
    url.remove_prefix(1);
    if (!read_number(url, 65535, port) || port == 0) return false;
  }
  if (url.size() < 2 || url.front() != '/') return false;
  trigger.address = address;
  trigger.port = static_cast<uint16_t>(port);
  trigger.file_name = std::string(url);
  return true;
}

}  // namespace qabsim
