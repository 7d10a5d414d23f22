// The password, progress and success screens, and the failure box.
#include <chrono>
#include <thread>

#include "platform/failure.h"
#include "resources/screens/screen_ids.h"
#include "screen_fixture.h"
#include "ui/screens.h"

namespace {

using DeviceScreens = ScreenTest;

TEST_F(DeviceScreens, PasswordScreenRefillsAdminAndCutsLongEntries) {
  std::string long_password(200, 'p');
  for (int i = 0; i < 200; ++i) long_password[static_cast<size_t>(i)] = static_cast<char>('a' + i % 26);
  user.on(password_screen).type(1003, "operator").type(1005, "secret").press(1);
  user.on(password_screen).type(1005, long_password).press(1);
  user.on(password_screen).type(1003, "someone").type(1005, "other").press(2);

  EXPECT_EQ(ui::run_password_screen(s->digest), 1);
  EXPECT_STREQ(s->digest.user, "operator");
  EXPECT_STREQ(s->digest.password, "secret");

  EXPECT_EQ(ui::run_password_screen(s->digest), 1);
  EXPECT_STREQ(s->digest.user, "admin");  // refilled, whatever was typed before
  EXPECT_EQ(std::string(s->digest.password), long_password.substr(0, 126));

  EXPECT_EQ(ui::run_password_screen(s->digest), 0);
  EXPECT_STREQ(s->digest.user, "admin");  // Cancel leaves the state alone
  EXPECT_EQ(std::string(s->digest.password), long_password.substr(0, 126));

  auto opened = user.openings(password_screen);
  ASSERT_EQ(opened.size(), 3u);
  for (const auto& v : opened) {
    EXPECT_EQ(v.caption, "Enter Password Information");
    EXPECT_EQ(v.control(1003)->text, "admin");
    EXPECT_EQ(v.control(1005)->text, "");
    EXPECT_EQ(v.focus, 1005);
  }
  EXPECT_EQ(opened[0].control(1007)->text.substr(0, 44), "This QAB requires a password in order to be\r");
  EXPECT_NE(opened[0].control(1007)->text.find("* * * * * * * * * * *  Warning  * * * * * * * * * * *\r\n"),
            std::string::npos);
}

TEST_F(DeviceScreens, ConnectingScreenIsCaptionedWithTheDeviceAndRangesTo100) {
  std::strcpy(s->device_address_text, "10.1.0.13");
  dialog::Window* w = ui::create_connecting_screen(s->device_address_text);
  ASSERT_NE(w, nullptr);
  EXPECT_FALSE(w->view().visible);  // created hidden; its creator shows it
  dialog::show(w);
  w->set_progress_pos(1010, 40);
  dialog::destroy(w);

  auto opened = user.openings(connecting_screen);
  ASSERT_EQ(opened.size(), 1u);
  EXPECT_EQ(opened[0].caption, "Connecting with QAB@10.1.0.13");
  EXPECT_EQ(opened[0].control(1010)->range_lo, 0);
  EXPECT_EQ(opened[0].control(1010)->range_hi, 100);
  EXPECT_EQ(opened[0].focus, 2);
  EXPECT_EQ(user.progress(connecting_screen), (std::vector<int>{40}));
}

TEST_F(DeviceScreens, CancelOnAProgressScreenEndsTheRunWithUserAbort) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  for (int screen : {connecting_screen, uploading_screen, waiting_screen}) {
    SCOPED_TRACE(screen);
    EXPECT_EXIT(
        {
          user.echo(true);
          user.on(screen).press(2);
          dialog::Window* w = screen == connecting_screen ? ui::create_connecting_screen("10.1.0.13")
                                                          : ui::create_progress_screen(screen);
          dialog::show(w);
          for (int i = 0; i < 300; ++i) {
            dialog::pump_all();
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
          }
          std::_Exit(7);  // the Cancel did not end the process
        },
        ::testing::ExitedWithCode(0),
        "close " + std::to_string(screen) +
            " -> 0.*message task-modal \"QAB Firwmare Upgrade Error\": \"Upgrade Failed: User Abort\"");
  }
}

TEST_F(DeviceScreens, SuccessScreen) {
  std::strcpy(s->device_address_text, "10.1.0.13");
  std::strcpy(s->device_info.software_version, "3.3.6");
  user.on(success_screen).press(1);
  user.on(success_screen).press(2);
  EXPECT_EQ(ui::run_success_screen(*s), 1);
  EXPECT_EQ(ui::run_success_screen(*s), 0);
  auto opened = user.openings(success_screen);
  ASSERT_EQ(opened.size(), 2u);
  EXPECT_EQ(opened[0].caption, "QAB@10.1.0.13 Upgrade Successful!");
  EXPECT_EQ(opened[0].control(1007)->text, "Your QAB has been successfully\r\nupgraded to the version shown\r\nbelow.");
  EXPECT_EQ(opened[0].control(1004)->text, "3.3.6");
  EXPECT_EQ(opened[0].focus, 1);
}

TEST_F(DeviceScreens, FailuresFromBelowAreShownInTheTaskModalFailureBox) {
  platform::present_failure("Upgrade Failed: No Response From QAB");
  auto boxes = user.message_boxes();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].owner_screen, -1);
  EXPECT_EQ(boxes[0].caption, "QAB Firwmare Upgrade Error");
  EXPECT_EQ(boxes[0].text, "Upgrade Failed: No Response From QAB");
}

}  // namespace
