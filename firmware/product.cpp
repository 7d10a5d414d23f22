#include "firmware/product.h"

#include <cstring>

namespace {

// Order matters where prefixes overlap: "zEpHrA4" must be tried before "zephra".
constexpr ProductEntry table[] = {
    {"qabx300", "QAB-X300", DeviceKind::Adapter},
    {"qabx200", "QAB-X100/X200", DeviceKind::Adapter},
    {"qabx101", "QAB-X101", DeviceKind::Adapter},
    {"zEpHrA4", "QAB-P41/QAB-P21", DeviceKind::Phone},
    {"zEpH401", "QAB-P01", DeviceKind::Phone},
    {"SzEpHrM", "QAB-P42/QABP22", DeviceKind::Phone},
    {"zephra", "QAB-P84", DeviceKind::Phone},
    {"qabx210", "QAB-X210", DeviceKind::Adapter},
    {"qabx900", "QABX900", DeviceKind::Adapter},
    {"VoLaRiX", "TKA4", DeviceKind::Adapter},
    {"VxTkA4V3", "TKA4T", DeviceKind::Adapter},
};
constexpr ProductEntry fallback{"", "ODM-Product", DeviceKind::Adapter};

char lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool matches(const char (&magic)[16], const char* prefix) {
  size_t n = std::strlen(prefix);
  for (size_t i = 0; i < n; ++i) {
    if (magic[i] == '\0' || lower(magic[i]) != lower(prefix[i])) return false;
  }
  return true;
}

}  // namespace

std::span<const ProductEntry> product_table() { return table; }
const ProductEntry& fallback_product() { return fallback; }

const ProductEntry& identify_product(const ImageHeader& header) {
  for (const ProductEntry& row : table) {
    if (matches(header.magic, row.magic_prefix)) return row;
  }
  return fallback;
}
