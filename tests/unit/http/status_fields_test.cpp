#include "http/status_fields.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

constexpr const char* unchanged = "(unchanged)";

TEST(ScrapeLabel, Cases) {
  std::string long_value(200, 'x');
  struct Case {
    const char* name;
    std::string text;
    const char* expected;  // `unchanged`: nothing found, the field keeps its old text
  } cases[] = {
      {"table cells", "<tr><td>Serial Number:</td><td>QX900-0001</td></tr>", "QX900-0001"},
      {"label in other case", "<td>serial number:</td><td>QX900-0001</td>", unchanged},
      {"no label", "<td>Product Name:</td><td>QAB</td>", unchanged},
      {"no '>' after the label", "Serial Number: QX900-0001", unchanged},
      {"unterminated skipped tag", "<td>Serial Number:</td><td", unchanged},
      {"line break between the cells", "<td>Serial Number:</td>\n<td>QX900-0001</td>", "\n"},
      {"blank between the cells", "<td>Serial Number:</td> <td>QX900-0001</td>", " "},
      {"empty value cell: the next text is taken",
       "<td>Serial Number:</td><td></td></tr><tr><td>MAC Address:</td>", "MAC Address:"},
      {"value before any tag is not taken", "Serial Number: QX9<br>next line<p>", "next line"},
      {"ends right after the '>'", "<td>Serial Number:</td>", ""},
      {"ends after skipped tags", "<td>Serial Number:</td><td><b>", ""},
      {"value up to the end of the text", "<td>Serial Number:</td><td>QX900", "QX900"},
      {"first occurrence counts, even in a script",
       "<script>l='Serial Number:';</script><td>Serial Number:</td><td>QX</td>", "Serial Number:"},
      {"label in a header line",
       "HTTP/1.1 200 OK\r\nX-Serial-Number: Serial Number:<x>HDR\r\n\r\n<td>Serial Number:</td><td>QX</td>", "HDR\r\n\r\n"},
      {"value cut to the limit", "<td>Serial Number:</td><td>" + long_value + "</td>", nullptr},
      {"bytes kept as they are", "<td>Serial Number:</td><td> a&amp;B \t</td>", " a&amp;B \t"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    char field[128];
    std::memset(field, '#', sizeof field);
    std::strcpy(field, unchanged);
    char* result = scrape_label(c.text.c_str(), "Serial Number:", field, 127);
    if (c.expected == unchanged) {
      EXPECT_EQ(result, nullptr);
    } else {
      EXPECT_EQ(result, field);
    }
    std::string expected = c.expected ? c.expected : long_value.substr(0, 127);
    EXPECT_EQ(std::string(field), expected);
  }
}

TEST(ScrapeStatusFields, ReadsAllFiveAndLeavesMissingOnesAlone) {
  DeviceInfo info{};
  std::strcpy(info.hardware_version, "from an earlier page");
  const char* page =
      "<html><table>"
      "<tr><td>Product Name:</td><td>QABX900</td></tr>\n"
      "<tr><td>MAC Address:</td><td>02:00:00:12:34:56</td></tr>\n"
      "<tr><td>Software Version:</td><td>3.3.5</td></tr>\n"
      "<tr><td>Serial Number:</td><td>QX900SIM0001</td></tr>\n"
      "</table></html>";
  scrape_status_fields(page, info);
  EXPECT_STREQ(info.product_name, "QABX900");
  EXPECT_STREQ(info.mac_address, "02:00:00:12:34:56");
  EXPECT_STREQ(info.software_version, "3.3.5");
  EXPECT_STREQ(info.hardware_version, "from an earlier page");
  EXPECT_STREQ(info.serial_number, "QX900SIM0001");
}

}  // namespace
