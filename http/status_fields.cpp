#include "http/status_fields.h"

#include <cstring>

char* scrape_label(const char* text, const char* label, char* field, int limit) {
  const char* at = std::strstr(text, label);
  if (!at) return nullptr;
  at = std::strchr(at, '>');
  if (!at) return nullptr;
  ++at;
  // Only tags that follow each other directly are skipped.
  while (*at == '<') {
    at = std::strchr(at, '>');
    if (!at) return nullptr;
    ++at;
  }
  int n = 0;
  while (n < limit && at[n] != '\0' && at[n] != '<') {
    field[n] = at[n];
    ++n;
  }
  field[n] = '\0';
  return field;
}

void scrape_status_fields(const char* text, DeviceInfo& info) {
  char* fields[5] = {info.product_name, info.mac_address, info.software_version, info.hardware_version,
                     info.serial_number};
  for (int i = 0; i < 5; ++i) scrape_label(text, status_labels[i], fields[i], 127);
}
