#include "firmware/version.h"

namespace {

bool is_space(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

int digit_value(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'z') return c - 'a' + 10;
  if (c >= 'A' && c <= 'Z') return c - 'A' + 10;
  return 99;
}

// One component, read the way strtoul(text, &end, 0) reads it on a platform
// with a 32-bit unsigned long. Returns the value and sets `end` to where
// reading stopped (the start, when no digit could be read).
uint32_t read_component(std::string_view text, size_t start, size_t& end) {
  size_t i = start;
  while (i < text.size() && is_space(text[i])) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  int base = 10;
  if (i < text.size() && text[i] == '0') {
    base = 8;
    // "0x" announces hexadecimal only when a hex digit follows; otherwise the
    // 0 alone is the number and reading stops at the x.
    if (i + 2 < text.size() && (text[i + 1] == 'x' || text[i + 1] == 'X') && digit_value(text[i + 2]) < 16) {
      base = 16;
      i += 2;
    }
  }
  uint64_t value = 0;
  bool overflow = false;
  size_t digits_start = i;
  while (i < text.size() && digit_value(text[i]) < base) {
    value = value * base + digit_value(text[i]);
    if (value > 0xFFFFFFFFull) {
      overflow = true;
      value = 0xFFFFFFFFull;
    }
    ++i;
  }
  if (i == digits_start) {
    end = start;
    return 0;
  }
  end = i;
  if (overflow) return 0xFFFFFFFFu;
  uint32_t v = static_cast<uint32_t>(value);
  return negative ? 0u - v : v;
}

}  // namespace

int32_t version_number(std::string_view text) {
  uint32_t value = 0;
  size_t pos = 0;
  for (int component = 0; component < 3; ++component) {
    size_t end = pos;
    uint32_t c = read_component(text, pos, end);
    value = value * 100u + c;
    if (end >= text.size()) break;
    pos = end + 1;  // skip exactly one character, whatever it is
  }
  return static_cast<int32_t>(value);
}

UpgradeStage decide_stage(std::string_view software_version, std::string_view transition_version) {
  if (software_version.find("(NT") != std::string_view::npos) return UpgradeStage::Transition;
  if (version_number(software_version) < version_number(transition_version)) return UpgradeStage::Transition;
  return UpgradeStage::Target;
}

VersionCheck verify_installed_version(UpgradeStage stage, DeviceKind kind, std::string_view software_version,
                                      std::string_view target_version, std::string_view transition_version) {
  if (kind == DeviceKind::Phone) return VersionCheck::Skipped;
  std::string_view expected = stage == UpgradeStage::Target ? target_version : transition_version;
  return software_version == expected ? VersionCheck::Match : VersionCheck::Mismatch;
}
