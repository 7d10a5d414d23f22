#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "firmware/product.h"

namespace {

ImageHeader header_with_magic(const char* magic, size_t length) {
  ImageHeader h{};
  std::memcpy(h.magic, magic, length);
  return h;
}

TEST(IdentifyProduct, TableRows) {
  struct Case {
    const char* name;
    std::string magic;  // may hold NUL bytes
    const char* display_name;
    DeviceKind kind;
  };
  const Case cases[] = {
      {"this package's magic selects row 9", "QaBx900tFiRmWaRe", "QABX900", DeviceKind::Adapter},
      {"row 1 in capitals", "QABX300FIRMWARE!", "QAB-X300", DeviceKind::Adapter},
      {"row 2", "qabx200xxxxxxxxx", "QAB-X100/X200", DeviceKind::Adapter},
      {"row 3", "qabx101", "QAB-X101", DeviceKind::Adapter},
      {"row 4 beats row 7 in lower case", "zephra4aaaaaaaaa", "QAB-P41/QAB-P21", DeviceKind::Phone},
      {"row 4 beats row 7 in mixed case", "ZePhRa4zzzzzzzzz", "QAB-P41/QAB-P21", DeviceKind::Phone},
      {"row 5", "ZEPH401.........", "QAB-P01", DeviceKind::Phone},
      {"row 6", "szephrm", "QAB-P42/QABP22", DeviceKind::Phone},
      {"row 7 with another seventh character", "zephra5xxxxxxxxx", "QAB-P84", DeviceKind::Phone},
      {"row 7 with a NUL as seventh character", std::string("zephra\0xxxxxxxxx", 16), "QAB-P84", DeviceKind::Phone},
      {"row 8", "qabx210", "QAB-X210", DeviceKind::Adapter},
      {"row 10", "volarix", "TKA4", DeviceKind::Adapter},
      {"row 11 needs all eight characters", "vxtka4v3", "TKA4T", DeviceKind::Adapter},
      {"only seven characters of row 11", "VxTkA4V2xxxxxxxx", "ODM-Product", DeviceKind::Adapter},
      {"a NUL inside a prefix is a mismatch", std::string("qabx\0" "00", 7), "ODM-Product", DeviceKind::Adapter},
      {"digits are compared exactly", "qabx9OOxxxxxxxxx", "ODM-Product", DeviceKind::Adapter},
      {"an all-zero magic", std::string(16, '\0'), "ODM-Product", DeviceKind::Adapter},
      {"no row matches", "SomethingElse...", "ODM-Product", DeviceKind::Adapter},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const ProductEntry& p = identify_product(header_with_magic(c.magic.data(), c.magic.size()));
    EXPECT_STREQ(p.display_name, c.display_name);
    EXPECT_EQ(p.device_kind, c.kind);
  }
}

TEST(IdentifyProduct, TableHasElevenRowsInOrderAndFitsTheSession) {
  auto table = product_table();
  ASSERT_EQ(table.size(), 11u);
  EXPECT_STREQ(table[0].magic_prefix, "qabx300");
  EXPECT_STREQ(table[3].magic_prefix, "zEpHrA4");
  EXPECT_STREQ(table[6].magic_prefix, "zephra");
  EXPECT_STREQ(table[10].magic_prefix, "VxTkA4V3");
  for (const ProductEntry& row : table) {
    SCOPED_TRACE(row.display_name);
    EXPECT_GE(std::strlen(row.magic_prefix), 6u);
    EXPECT_LE(std::strlen(row.magic_prefix), 8u);
    EXPECT_LE(std::strlen(row.display_name), 31u);
  }
  EXPECT_STREQ(fallback_product().display_name, "ODM-Product");
}

}  // namespace
