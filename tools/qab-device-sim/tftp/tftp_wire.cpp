#include "tools/qab-device-sim/tftp/tftp_wire.h"

#include <cctype>
#include <cstring>

namespace qab_sim::wire {

namespace {

void put16(std::vector<uint8_t>& out, uint16_t value) {
  out.push_back(static_cast<uint8_t>(value >> 8));
  out.push_back(static_cast<uint8_t>(value & 0xff));
}

void put_text(std::vector<uint8_t>& out, std::string_view text) {
  out.insert(out.end(), text.begin(), text.end());
  out.push_back(0);
}

}  // namespace

std::vector<uint8_t> request(Opcode opcode, std::string_view file_name, std::string_view mode,
                             const TftpOptions& options) {
  std::vector<uint8_t> out;
  put16(out, opcode);
  put_text(out, file_name);
  put_text(out, mode);
  for (const TftpOption& option : options) {
    put_text(out, option.name);
    put_text(out, option.value);
  }
  return out;
}

std::vector<uint8_t> ack(uint16_t block) {
  std::vector<uint8_t> out;
  put16(out, Ack);
  put16(out, block);
  return out;
}

std::vector<uint8_t> error(uint16_t code, std::string_view message) {
  std::vector<uint8_t> out;
  put16(out, Error);
  put16(out, code);
  put_text(out, message);
  return out;
}

bool parse_options(const uint8_t* body, size_t length, TftpOptions& out) {
  std::vector<std::string> texts;
  size_t at = 0;
  while (at < length) {
    const void* zero = std::memchr(body + at, 0, length - at);
    if (zero == nullptr) return false;
    size_t end = static_cast<size_t>(static_cast<const uint8_t*>(zero) - body);
    texts.emplace_back(reinterpret_cast<const char*>(body + at), end - at);
    at = end + 1;
  }
  if (texts.size() % 2 != 0) return false;
  for (size_t i = 0; i < texts.size(); i += 2) out.push_back({texts[i], texts[i + 1]});
  return true;
}

std::optional<ErrorPacket> parse_error(const uint8_t* packet, size_t length) {
  if (length < 4 || be16(packet) != Error) return std::nullopt;
  ErrorPacket e;
  e.code = be16(packet + 2);
  const uint8_t* text = packet + 4;
  const void* zero = std::memchr(text, 0, length - 4);
  size_t text_length = zero ? static_cast<size_t>(static_cast<const uint8_t*>(zero) - text) : length - 4;
  e.message.assign(reinterpret_cast<const char*>(text), text_length);
  return e;
}

bool same_option_name(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i]))) return false;
  }
  return true;
}

}  // namespace qab_sim::wire
