// The upgrade from the warning screen to the confirmation, against the
// simulated device: every way the user or the device can end it early.
#include "upgrade_fixture.h"

namespace {

using Sequence = UpgradeTest;

const char* const failure_caption = "QAB Firwmare Upgrade Error";

TEST_F(Sequence, UnprotectedDeviceReachesTheConfirmScreenWithItsFields) {
  start();
  qabsim::DeviceSimConfig config;
  config.page = {"QABX900", "02:00:00:AB:CD:EF", "3.3.2", "2.1", "SN-0042", "", ""};
  start_device(config);
  answer_warning_and_address();
  user_.on(confirm_screen).press(1);
  ASSERT_TRUE(run_upgrade_sequence(*s_));

  EXPECT_EQ(user_.openings(connecting_screen).size(), 1u);
  EXPECT_TRUE(user_.openings(password_screen).empty());
  auto confirm = user_.openings(confirm_screen);
  ASSERT_EQ(confirm.size(), 1u);
  EXPECT_EQ(confirm[0].caption, "Confirm Upgrade to Ver. 3.3.6");
  EXPECT_EQ(confirm[0].control(1002)->text, "SN-0042");
  EXPECT_EQ(confirm[0].control(1003)->text, "02:00:00:AB:CD:EF");
  EXPECT_EQ(confirm[0].control(1004)->text, "3.3.2");
  EXPECT_EQ(confirm[0].control(1005)->text, "2.1");
  EXPECT_EQ(confirm[0].control(1006)->text, "QABX900");
  EXPECT_TRUE(user_.message_boxes().empty());
  EXPECT_EQ(device_->requests().at(0).target, "/admin/advanced");
  EXPECT_EQ(device_->requests().at(0).peer_address, pc_address);
}

TEST_F(Sequence, ProtectedDeviceAsksForThePasswordBeforeTheFields) {
  start();
  start_device(protected_device("pw"));
  answer_warning_and_address();
  user_.on(password_screen).type(1005, "pw").press(1);
  user_.on(confirm_screen).press(1);
  ASSERT_TRUE(run_upgrade_sequence(*s_));
  EXPECT_EQ(user_.openings(connecting_screen).size(), 2u);
  EXPECT_EQ(user_.openings(confirm_screen).at(0).control(1004)->text, "3.3.5");
}

TEST_F(Sequence, EndingsBeforeTheUpgrade) {
  struct Case {
    const char* name;
    bool refuse;          // the device refuses connections
    int cancel_screen;    // the screen whose Cancel the user presses; 0: none
    const char* message;  // the failure shown, or nullptr for none
  };
  const Case cases[] = {
      {"cancel on the warning", false, warning_screen, nullptr},
      {"cancel on the address screen", false, adapter_address_screen, nullptr},
      {"cancel on the confirm screen", false, confirm_screen, "Upgrade Failed: User Abort"},
      {"an unreachable device", true, 0, "Upgrade Failed: No Response From QAB"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    s_ = std::make_unique<UpgradeSession>();
    scripted::User user;  // a fresh log per case
    start();
    qabsim::DeviceSimConfig config;
    config.faults.refuse_connections = c.refuse;
    start_device(config);
    const int order[] = {warning_screen, adapter_address_screen, confirm_screen};
    for (int screen : order) {
      if (screen == c.cancel_screen) {
        user.on(screen).press(2);
        break;
      }
      if (screen == adapter_address_screen)
        user.on(screen).type(1000, "127.0.0.2").press(1);
      else
        user.on(screen).press(1);
    }
    EXPECT_FALSE(run_upgrade_sequence(*s_));
    auto boxes = user.message_boxes();
    if (c.message) {
      ASSERT_EQ(boxes.size(), 1u);
      EXPECT_EQ(boxes[0].text, c.message);
      EXPECT_EQ(boxes[0].caption, failure_caption);
      EXPECT_EQ(boxes[0].owner_screen, -1);
    } else {
      EXPECT_TRUE(boxes.empty());
    }
    if (c.cancel_screen == warning_screen) {
      EXPECT_TRUE(user.openings(adapter_address_screen).empty());
    }
    if (c.refuse) {
      EXPECT_TRUE(user.openings(confirm_screen).empty());
    }
  }
}

TEST_F(Sequence, A404PageStillCountsAsAnAnswer) {
  start();
  qabsim::DeviceSimConfig config;
  config.raw_response = "HTTP/1.1 404 Not Found\r\nContent-Length: 9\r\n\r\nNot Found";
  start_device(config);
  answer_warning_and_address();
  user_.on(confirm_screen).press(1);
  ASSERT_TRUE(run_upgrade_sequence(*s_));
  auto confirm = user_.openings(confirm_screen).at(0);
  for (int field : {1002, 1003, 1004, 1005, 1006}) EXPECT_EQ(confirm.control(field)->text, "") << field;
}

// Cancel on the connecting and the password screen ends the process itself.
TEST_F(Sequence, CancelOnTheConnectingScreenEndsTheRun) {
  EXPECT_EXIT(
      {
        start();
        qabsim::DeviceSimConfig config;
        config.faults.never_answer = true;
        start_device(config);
        answer_warning_and_address();
        user_.on(connecting_screen).press(2);
        run_upgrade_sequence(*s_);
        std::_Exit(5);  // must not get here
      },
      ::testing::ExitedWithCode(0), "press 105 2(.|\n)*QAB Firwmare Upgrade Error.*Upgrade Failed: User Abort");
}

TEST_F(Sequence, CancelOnThePasswordScreenEndsTheRun) {
  EXPECT_EXIT(
      {
        start();
        start_device(protected_device());
        answer_warning_and_address();
        user_.on(password_screen).press(2);
        run_upgrade_sequence(*s_);
        std::_Exit(5);
      },
      ::testing::ExitedWithCode(0), "press 104 2(.|\n)*QAB Firwmare Upgrade Error.*Upgrade Failed: User Abort");
}

TEST_F(Sequence, TwoStagePackageChoosesTheConfirmScreenByTheDevicesVersion) {
  struct Case {
    const char* name;
    const char* device_version;
    int screen;
    UpgradeStage stage;
  };
  const Case cases[] = {
      {"as new as the transition image", "3.3.6", confirm_screen, UpgradeStage::Target},
      {"older than the transition image", "3.2.9", transition_confirm_screen, UpgradeStage::Transition},
      {"a version marked (NT", "3.3.6(NT)", transition_confirm_screen, UpgradeStage::Transition},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    s_ = std::make_unique<UpgradeSession>();
    scripted::User user;
    start(UpgradeStage::Transition);
    qabsim::DeviceSimConfig config;
    config.page.software_version = c.device_version;
    start_device(config);
    user.on(warning_screen).press(1);
    user.on(adapter_address_screen).type(1000, "127.0.0.2").press(1);
    user.on(c.screen).press(1);
    ASSERT_TRUE(run_upgrade_sequence(*s_));
    EXPECT_EQ(s_->stage.load(), c.stage);
    auto shown = user.openings(c.screen);
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].caption, "Confirm Upgrade to Ver. 3.3.6");
    bool noted = shown[0].control(1007)->text.find("is older than 3.3.1, this upgrade procedure") != std::string::npos;
    EXPECT_EQ(noted, c.stage == UpgradeStage::Transition);
    // The file name keeps the digit the address screen gave it.
    char name[SharedFileName::capacity];
    s_->tftp_file_name.get(name);
    EXPECT_NE(std::string(name).find(".bi0"), std::string::npos) << name;
  }
}

}  // namespace
