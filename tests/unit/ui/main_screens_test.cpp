// The warning, address and confirm screens through the scripted user.
#include <regex>

#include "app/address.h"
#include "platform/random.h"
#include "resources/screens/screen_ids.h"
#include "screen_fixture.h"
#include "ui/screens.h"

namespace {

using MainScreens = ScreenTest;

TEST_F(MainScreens, WarningShowsTheProductAndTheWarningWithCancelFocused) {
  user.on(warning_screen).press(1);
  user.on(warning_screen).press(2);
  EXPECT_EQ(ui::run_warning_screen(*s), 1);
  EXPECT_EQ(ui::run_warning_screen(*s), 0);

  auto opened = user.openings(warning_screen);
  ASSERT_EQ(opened.size(), 2u);
  EXPECT_EQ(opened[0].caption, "ODM-Product Firmware Upgrade");
  EXPECT_EQ(opened[0].focus, 2);  // Cancel, the default button: Enter cancels
  EXPECT_TRUE(opened[0].centred);
  EXPECT_EQ(opened[0].control(1021)->text,
            "WARNING: Forcing a firmware upgrade on your QAB\r\nwithout prior approval from your service provider "
            "or\r\nnetwork administrator may cause interruption to your\r\nservice.  If your QAB is managed by a "
            "service\r\nprovider who retains administrative control of the\r\ndevice, please contact the service "
            "provider for\r\nauthorization before proceeding.  In such cases, the\r\nmost current, approved for "
            "service firmware is\r\nautomatically provided by your service provider without\r\nany onus on the end "
            "user to upgrade manually.");
  EXPECT_EQ(user.results(warning_screen), (std::vector<int>{1, 0}));
}

TEST_F(MainScreens, AddressScreenOfAnAdapter) {
  user.on(adapter_address_screen).press(2);
  EXPECT_EQ(ui::run_address_screen(*s), 0);

  auto opened = user.openings(adapter_address_screen);
  ASSERT_EQ(opened.size(), 1u);
  const dialog::WindowView& v = opened[0];
  EXPECT_EQ(v.caption, "ODM-Product Firmware Upgrade");
  EXPECT_EQ(v.focus, 1000);
  EXPECT_EQ(v.control(1007)->text, "This program will upgrade your QAB\r\nfirmware to:");
  EXPECT_EQ(v.control(1008)->text,
            "To proceed, please provide the IP address\r\nof your QAB. To find out the IP address\r\nof your QAB, "
            "using a telephone handset,\r\nenter * * * *, option 110#, and write down\r\nthe value. For example, "
            "10.1.0.123\r\n\r\nPlease enter IP address of your QAB:");
  EXPECT_EQ(v.control(1015)->text, "Version 3.3.6");
  const dialog::ControlView* list = v.control(1017);
  EXPECT_EQ(list->items, (std::vector<std::string>{"192.168.1.20", "10.0.0.1", "127.0.0.2"}));
  EXPECT_EQ(list->selection, 0);
  bool adapter_icon_shown = false;
  for (const auto& c : v.controls) adapter_icon_shown |= c.kind == dialog::ControlKind::Icon && c.icon == adapter_icon;
  EXPECT_TRUE(adapter_icon_shown);
}

TEST_F(MainScreens, AddressScreenOfAPhoneWithNoLocalAddresses) {
  s->device_kind = DeviceKind::Phone;
  std::memset(s->local_addresses, 0, sizeof s->local_addresses);
  user.on(phone_address_screen).type(1000, "10.1.0.13").press(1);
  EXPECT_EQ(ui::run_address_screen(*s), 1);

  auto opened = user.openings(phone_address_screen);
  ASSERT_EQ(opened.size(), 1u);
  EXPECT_EQ(opened[0].caption, "ODM-Product Firmware Upgrade");
  EXPECT_EQ(opened[0].control(1008)->text,
            "To proceed, please provide the IP address\r\nof your QAB. To find out the IP address of\r\nyour QAB, "
            "press the I button on the phone,\r\nselect \"Network\" option, and check the\r\nvalue of \"Current IP\". "
            "For example, 10.1.0.13\r\n\r\nPlease enter IP address of your QAB:");
  EXPECT_TRUE(opened[0].control(1017)->items.empty());
  EXPECT_EQ(opened[0].control(1017)->selection, -1);
  bool phone_icon_shown = false;
  for (const auto& c : opened[0].controls) phone_icon_shown |= c.kind == dialog::ControlKind::Icon && c.icon == phone_icon;
  EXPECT_TRUE(phone_icon_shown);
  // Nothing selected: any local address.
  EXPECT_EQ(s->local_address, 0u);
  EXPECT_EQ(s->device_address, 0x0A01000Du);
}

TEST_F(MainScreens, InvalidAddressesAreRefusedUntilAValidOneIsTyped) {
  // Each bad try moves the focus to OK first, as a click would; the refusal
  // must bring it back to the address control.
  auto& script = user.on(adapter_address_screen);
  for (const char* bad : {"1.2.3", "0.0.0.0", "256.1.1.1", "10.1.0.13 extra", ""})
    script.type(1000, bad).focus(1).press(1);
  script.type(1000, "10.1.0.13").pick(1017, 1).press(1);
  platform::seed_random(4242);
  EXPECT_EQ(ui::run_address_screen(*s), 1);

  auto boxes = user.message_boxes();
  ASSERT_EQ(boxes.size(), 5u);
  for (const auto& box : boxes) {
    EXPECT_EQ(box.owner_screen, adapter_address_screen);
    EXPECT_EQ(box.caption, "Error");
    EXPECT_EQ(box.text, "Invalid IP Address");
  }
  std::vector<int> focus_at_press;
  for (const auto& e : user.entries())
    if (e.kind == scripted::Entry::Pressed && e.screen == adapter_address_screen) focus_at_press.push_back(e.view.focus);
  EXPECT_EQ(focus_at_press, (std::vector<int>{1, 1, 1, 1, 1, 1000}));

  EXPECT_STREQ(s->device_address_text, "10.1.0.13");
  EXPECT_EQ(s->device_address, 0x0A01000Du);
  EXPECT_EQ(s->local_address, 0x0A000001u);  // the second entry
  platform::seed_random(4242);
  char expected[32];
  std::snprintf(expected, sizeof expected, "/qab%x.bi1", platform::next_random() & 0xffff);
  char name[SharedFileName::capacity];
  s->tftp_file_name.get(name);
  EXPECT_STREQ(name, expected);
}

TEST_F(MainScreens, FileNameCarriesTheStageDigit) {
  s->stage = UpgradeStage::Transition;
  user.on(adapter_address_screen).type(1000, "10*1*0*13").press(1);
  EXPECT_EQ(ui::run_address_screen(*s), 1);
  char name[SharedFileName::capacity];
  s->tftp_file_name.get(name);
  EXPECT_TRUE(std::regex_match(name, std::regex("/qab[0-9a-f]{1,4}\\.bi0"))) << name;
  EXPECT_EQ(s->local_address, 0xC0A80114u);  // the first entry, selected at opening
}

TEST_F(MainScreens, AddressTextIsReadWithinItsLimit) {
  user.on(adapter_address_screen).type(1000, std::string(100, '7')).press(1).press(2);
  EXPECT_EQ(ui::run_address_screen(*s), 0);
  EXPECT_EQ(std::string(s->device_address_text), std::string(62, '7'));
  EXPECT_EQ(s->device_address, 0u);
  EXPECT_EQ(user.message_boxes().size(), 1u);
}

TEST_F(MainScreens, ConfirmScreenAtTarget) {
  std::strcpy(s->device_info.serial_number, "SN123");
  std::strcpy(s->device_info.mac_address, "00:0E:08:12:34:56");
  std::strcpy(s->device_info.software_version, "3.2.0");
  std::strcpy(s->device_info.hardware_version, "1.0");
  std::strcpy(s->device_info.product_name, "QAB-X900");
  user.on(confirm_screen).press(1);
  user.on(confirm_screen).press(2);
  EXPECT_EQ(ui::run_confirm_screen(*s), 1);
  EXPECT_EQ(ui::run_confirm_screen(*s), 0);

  auto opened = user.openings(confirm_screen);
  ASSERT_EQ(opened.size(), 2u);
  const dialog::WindowView& v = opened[0];
  EXPECT_EQ(v.caption, "Confirm Upgrade to Ver. 3.3.6");
  EXPECT_EQ(v.focus, 1);  // the first tab stop, Upgrade
  EXPECT_EQ(v.control(1007)->text,
            "The following information was extracted\r\nfrom your QAB. Please click \"Upgrade\"\r\nif you would like "
            "to proceed. If you would\r\nlike to quit click \"Cancel\".");
  EXPECT_EQ(v.control(1002)->text, "SN123");
  EXPECT_EQ(v.control(1003)->text, "00:0E:08:12:34:56");
  EXPECT_EQ(v.control(1004)->text, "3.2.0");
  EXPECT_EQ(v.control(1005)->text, "1.0");
  EXPECT_EQ(v.control(1006)->text, "QAB-X900");
}

TEST_F(MainScreens, ConfirmScreenAtTransitionCarriesTheNote) {
  s->stage = UpgradeStage::Transition;
  user.on(transition_confirm_screen).press(1);
  EXPECT_EQ(ui::run_confirm_screen(*s), 1);
  auto opened = user.openings(transition_confirm_screen);
  ASSERT_EQ(opened.size(), 1u);
  EXPECT_EQ(opened[0].caption, "Confirm Upgrade to Ver. 3.3.6");
  EXPECT_EQ(opened[0].control(1007)->text,
            "The following information was extracted\r\nfrom your QAB. Please click \"Upgrade\"\r\nif you would like "
            "to proceed. If you would\r\nlike to quit click \"Cancel\".\r\n\r\nNote: Since your current firmware "
            "version\r\nis older than 3.3.1, this upgrade procedure\r\nrequires additional steps and will be\r\n"
            "slightly longer.\r\n");
  EXPECT_EQ(opened[0].control(1002)->text, "");  // no answer carried the label yet
}

}  // namespace
