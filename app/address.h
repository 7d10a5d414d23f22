#pragma once
// The device's address as the user typed it on the address screen.
#include <cstdint>

#include "app/session.h"
#include "platform/dialog/dialog.h"

// Results of parse_device_address; the first failing check gives the code.
enum AddressCode : int {
  address_valid = 0,           // four numbers, each 0..255
  address_number_too_large = 1,
  address_too_many_numbers = 2,
  address_too_few_numbers = 3,  // none at all, or fewer than four
  address_bad_length = 4,       // fewer than 7 or more than 15 characters
  address_bad_character = 5,    // other than 0-9, '.' and '*'
};

// Parses "a.b.c.d" (points or stars as separators, empty numbers skipped)
// into a host-order address, first number in the top byte. Writes 0 to
// `address` first and the address only when it returns address_valid.
int parse_device_address(const char* text, uint32_t* address);

// The address screen's OK: reads and parses the address control; refuses an
// invalid address (or 0.0.0.0) with a message box and the focus back on the
// control; otherwise draws the TFTP file name and takes the selected local
// address. True when the screen may close.
bool accept_device_address(UpgradeSession& s, dialog::Window& screen);

inline constexpr int address_control = 1000;
inline constexpr int local_address_list = 1017;
