#pragma once
// Which product an image is for, from the first bytes of its header's magic.
#include <span>

#include "firmware/image.h"
#include "firmware/kinds.h"

struct ProductEntry {
  const char* magic_prefix;  // 6 to 8 characters, compared without regard to ASCII case
  const char* display_name;  // at most 31 characters
  DeviceKind device_kind;
};

// The eleven rows in the order in which they are tried; the first match wins.
std::span<const ProductEntry> product_table();
// The row that every header matches when no row of the table does.
const ProductEntry& fallback_product();

const ProductEntry& identify_product(const ImageHeader& header);
