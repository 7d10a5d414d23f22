#include "app/address.h"

#include <cstdio>
#include <cstring>
#include <iterator>

#include "platform/random.h"

int parse_device_address(const char* text, uint32_t* address) {
  *address = 0;
  size_t length = 0;
  while (length <= 15 && text[length] != '\0') ++length;
  if (length < 7 || length > 15) return address_bad_length;
  for (size_t i = 0; i < length; ++i) {
    char c = text[i];
    if (!(c >= '0' && c <= '9') && c != '.' && c != '*') return address_bad_character;
  }

  char work[16];
  std::memcpy(work, text, length);
  work[length] = '\0';
  uint32_t octets[4] = {};
  int taken = 0;
  char* rest = nullptr;
  for (char* number = strtok_r(work, "*.", &rest); number; number = strtok_r(nullptr, "*.", &rest)) {
    if (taken == 4) return address_too_many_numbers;
    size_t digits = std::strlen(number);
    if (digits >= 10) return address_number_too_large;
    uint32_t value = 0;
    for (size_t i = 0; i < digits; ++i) value = value * 10 + static_cast<uint32_t>(number[i] - '0');
    if (value > 255) return address_number_too_large;
    octets[taken++] = value;
  }
  if (taken < 4) return address_too_few_numbers;
  *address = octets[0] << 24 | octets[1] << 16 | octets[2] << 8 | octets[3];
  return address_valid;
}

bool accept_device_address(UpgradeSession& s, dialog::Window& screen) {
  screen.get_item_text(address_control, s.device_address_text, 63);
  parse_device_address(s.device_address_text, &s.device_address);
  if (s.device_address == 0) {
    dialog::message_box(&screen, "Invalid IP Address", "Error");
    screen.set_focus(address_control);
    return false;
  }

  char name[SharedFileName::capacity];
  std::snprintf(name, sizeof name, "/qab%x.bi%d", static_cast<unsigned>(platform::next_random()) & 0xffffu,
                static_cast<int>(s.stage.load()));
  s.tftp_file_name.set(name);

  int selected = screen.list_selection(local_address_list);
  s.local_address = selected >= 0 && selected < static_cast<int>(std::size(s.local_addresses))
                        ? s.local_addresses[selected]
                        : 0;
  return true;
}
