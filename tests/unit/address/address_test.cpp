// parse_device_address: every code, the order of the checks, and what is stored.
#include <gtest/gtest.h>

#include <string>

#include "app/address.h"

namespace {

struct Case {
  const char* name;
  std::string text;
  int code;
  uint32_t address;
};

const Case cases[] = {
    {"plain", "10.1.0.13", address_valid, 0x0A01000D},
    {"stars as separators", "10*1*0*13", address_valid, 0x0A01000D},
    {"mixed separators", "10.1*0.13", address_valid, 0x0A01000D},
    {"empty number inside", "10..1.0.13", address_valid, 0x0A01000D},
    {"separators at both ends", ".10.1.0.13.", address_valid, 0x0A01000D},
    {"leading zeros, 15 characters", "001.002.003.004", address_valid, 0x01020304},
    {"nine digits with leading zeros", "000000255.1.1.1", address_valid, 0xFF010101},
    {"highest", "255.255.255.255", address_valid, 0xFFFFFFFF},
    {"all zero parses but is no address", "0.0.0.0", address_valid, 0},
    {"empty", "", address_bad_length, 0},
    {"6 characters", "1.2.34", address_bad_length, 0},
    {"16 characters", "123.123.123.1234", address_bad_length, 0},
    {"length before numbers", "1.2.3", address_bad_length, 0},
    {"trailing blank", "1.2.3.4 ", address_bad_character, 0},
    {"minus sign", "-1.2.3.4", address_bad_character, 0},
    {"letter", "1.2.3.4a", address_bad_character, 0},
    {"byte above 127", "1.2.3.4\xC3\xA9", address_bad_character, 0},
    {"characters before numbers", "999.2.3.4 ", address_bad_character, 0},
    {"three numbers", "10.10.10", address_too_few_numbers, 0},
    {"seven points", ".......", address_too_few_numbers, 0},
    {"only stars", "*******", address_too_few_numbers, 0},
    {"five numbers", "1.2.3.4.5", address_too_many_numbers, 0},
    {"count before the fifth value", "1.2.3.4.256", address_too_many_numbers, 0},
    {"fourth fails before fifth counted", "1.2.3.999.5", address_number_too_large, 0},
    {"first fails before the count", "256.1.2.3.4", address_number_too_large, 0},
    {"above 255", "256.1.1.1", address_number_too_large, 0},
    {"seven digits", "1234567", address_number_too_large, 0},
    {"eleven digits", "12345678901.1", address_number_too_large, 0},
    {"ten digits of leading zeros", "0000000001.1.1", address_number_too_large, 0},
};

TEST(ParseDeviceAddress, CodesAndAddresses) {
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    uint32_t address = 0xDEADBEEF;
    EXPECT_EQ(parse_device_address(c.text.c_str(), &address), c.code);
    EXPECT_EQ(address, c.address);
  }
}

TEST(ParseDeviceAddress, LeavesTheTypedTextAsItWas) {
  char text[] = "10..1.0.13";
  uint32_t address = 0;
  ASSERT_EQ(parse_device_address(text, &address), address_valid);
  EXPECT_STREQ(text, "10..1.0.13");
}

TEST(ParseDeviceAddress, LongTextIsMeasuredWithoutReadingPastIt) {
  // 62 characters, the most the address screen stores.
  std::string text(62, '1');
  uint32_t address = 1;
  EXPECT_EQ(parse_device_address(text.c_str(), &address), address_bad_length);
  EXPECT_EQ(address, 0u);
}

}  // namespace
