// probe_device against the simulated device: the connecting screen, the
// automatic repeat for a new nonce, the password screen, and probes that
// must take turns.
#include <atomic>
#include <chrono>
#include <thread>

#include "http/probe.h"
#include "platform/thread.h"
#include "upgrade_fixture.h"

namespace {

using Probe = UpgradeTest;
using std::chrono::milliseconds;

std::string nc_of(const qabsim::RecordedRequest& r) {
  auto it = r.authorization.find("nc");
  return it == r.authorization.end() ? "" : it->second;
}

TEST_F(Probe, UnprotectedDeviceOneConnectingScreen) {
  start();
  address_entered();
  start_device();
  int32_t n = probe();
  ASSERT_GT(n, 0);
  EXPECT_EQ(n, static_cast<int32_t>(device_->requests().at(0).response.size()));
  auto screens = user_.openings(connecting_screen);
  ASSERT_EQ(screens.size(), 1u);
  EXPECT_EQ(screens[0].caption, "Connecting with QAB@127.0.0.2");
  EXPECT_TRUE(user_.openings(password_screen).empty());
  EXPECT_STREQ(s_->device_info.software_version, "3.3.5");
  EXPECT_STREQ(s_->device_info.serial_number, "QX900SIM0001");
}

TEST_F(Probe, FirstContactWithAProtectedDeviceAsksAtOnceThenAuthorises) {
  start();
  address_entered();
  start_device(protected_device());
  user_.on(password_screen).type(1005, "wrong").press(1);
  user_.on(password_screen).type(1005, "s3cret").press(1);
  ASSERT_GT(probe(), 0);

  auto asked = user_.openings(password_screen);
  ASSERT_EQ(asked.size(), 2u);  // no password yet, then the wrong one refused with the same nonce
  for (const auto& v : asked) EXPECT_EQ(v.control(1003)->text, "admin");
  EXPECT_EQ(user_.openings(connecting_screen).size(), 3u);

  auto requests = device_->requests();
  ASSERT_EQ(requests.size(), 3u);
  EXPECT_TRUE(requests[0].authorization.empty());
  EXPECT_EQ(nc_of(requests[1]), "000000001");
  EXPECT_FALSE(requests[1].authorized);
  EXPECT_EQ(requests[1].authorization.at("nonce"), requests[2].authorization.at("nonce"));
  EXPECT_EQ(nc_of(requests[2]), "000000002");  // same nonce: the count runs on
  EXPECT_TRUE(requests[2].authorized);
  EXPECT_STREQ(s_->digest.password, "s3cret");
}

TEST_F(Probe, ANewNonceIsAnsweredOnceWithoutAskingTheUser) {
  start();
  address_entered();
  auto config = protected_device();
  config.protection.nonce_every = 2;  // the third request brings a new nonce
  start_device(config);
  user_.on(password_screen).type(1005, "s3cret").press(1);
  ASSERT_GT(probe(), 0);
  ASSERT_EQ(user_.openings(password_screen).size(), 1u);

  ASSERT_GT(probe(), 0);  // stale nonce, one repeat with the new one
  EXPECT_EQ(user_.openings(password_screen).size(), 1u);
  EXPECT_EQ(user_.openings(connecting_screen).size(), 4u);
  auto requests = device_->requests();
  ASSERT_EQ(requests.size(), 4u);
  EXPECT_FALSE(requests[2].authorized);
  EXPECT_TRUE(requests[3].authorized);
  EXPECT_NE(requests[2].authorization.at("nonce"), requests[3].authorization.at("nonce"));
  EXPECT_EQ(nc_of(requests[3]), "000000001");
}

// When the repeat is refused too, the user is asked; Cancel there ends the run.
TEST_F(Probe, ARefusedRepeatAsksAndCancelEndsTheRun) {
  EXPECT_EXIT(
      {
        start();
        address_entered();
        auto config = protected_device();
        config.protection.nonce_every = 1;  // every request brings a new nonce
        start_device(config);
        user_.on(password_screen).type(1005, "s3cret").press(1);
        user_.on(password_screen).press(2);
        probe();
      },
      ::testing::ExitedWithCode(0),
      "open 104(.|\n)*open 105(.|\n)*open 105(.|\n)*open 104(.|\n)*Upgrade Failed: User Abort");
}

TEST_F(Probe, EmptyPasswordSendsNoAuthorizationAndAsksAgain) {
  start();
  address_entered();
  start_device(protected_device());
  user_.on(password_screen).press(1);  // OK with the field left empty
  user_.on(password_screen).type(1005, "s3cret").press(1);
  ASSERT_GT(probe(), 0);
  auto requests = device_->requests();
  ASSERT_EQ(requests.size(), 3u);
  EXPECT_TRUE(requests[1].authorization.empty());
  EXPECT_TRUE(requests[2].authorized);
}

TEST_F(Probe, UnreachableDeviceGivesZeroWithoutAskingTheUser) {
  start();
  address_entered();
  qabsim::DeviceSimConfig config;
  config.faults.refuse_connections = true;
  start_device(config);
  EXPECT_EQ(probe(), 0);
  EXPECT_EQ(user_.openings(connecting_screen).size(), 1u);
  EXPECT_TRUE(user_.openings(password_screen).empty());
}

TEST_F(Probe, BarMovesEveryTenPassesAndCarriesOverToTheNextScreen) {
  start();
  address_entered();
  auto config = protected_device();
  config.faults.answer_delay_ms = 150;
  start_device(config);
  user_.on(password_screen).type(1005, "s3cret").press(1);
  ASSERT_GT(probe(), 0);
  std::vector<int> positions = user_.progress(connecting_screen);
  ASSERT_GE(positions.size(), 4u);
  // The first step sets 0, where a new bar already stands, so the log starts at 1.
  for (size_t i = 0; i < positions.size(); ++i) EXPECT_EQ(positions[i], static_cast<int>(i) + 1) << "step " << i;
  // Both screens moved the bar, the second going on from the first.
  int before_password = 0, after_password = 0;
  bool asked = false;
  for (const scripted::Entry& e : user_.entries()) {
    if (e.kind == scripted::Entry::Opened && e.screen == password_screen) asked = true;
    if (e.kind == scripted::Entry::ProgressPos && e.screen == connecting_screen) ++(asked ? after_password : before_password);
  }
  EXPECT_GT(before_password, 0);
  EXPECT_GT(after_password, 0);
}

TEST_F(Probe, AWorkerThatCannotStartGivesNoAnswerAtOnce) {
  start();
  address_entered();
  start_device();
  platform::refuse_thread_starts(true);
  auto t0 = std::chrono::steady_clock::now();
  int32_t n = probe();
  platform::refuse_thread_starts(false);
  EXPECT_EQ(n, 0);
  EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(5));
  EXPECT_TRUE(device_->requests().empty());
  EXPECT_EQ(user_.results(connecting_screen).size(), 1u);  // opened and closed
}

// Two probes share the response buffer and the authentication state: a
// second one waits for the first, with its own connecting screen up.
TEST_F(Probe, ProbesFromTwoThreadsTakeTurns) {
  start();
  address_entered();
  qabsim::DeviceSimConfig config;
  config.faults.answer_delay_ms = 700;
  start_device(config);

  std::atomic<int32_t> first{-5};
  std::thread other([&] { first = probe("/admin/upgrade?tftp://127.0.0.1:69/qab1.bi1"); });
  ASSERT_TRUE(device_->wait_for_requests(1, milliseconds(5000)));
  std::atomic<int32_t> second{-5};
  std::thread mine([&] { second = probe(); });
  std::this_thread::sleep_for(milliseconds(300));
  EXPECT_EQ(device_->requests().size(), 1u) << "the second probe must wait for the first";
  EXPECT_EQ(user_.openings(connecting_screen).size(), 2u) << "the waiting probe shows its screen";
  other.join();
  mine.join();
  EXPECT_GT(first.load(), 0);
  EXPECT_GT(second.load(), 0);
  auto requests = device_->requests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(requests[1].target, "/admin/advanced");
}

TEST_F(Probe, CancelWorksWhileWaitingForTheOtherProbe) {
  EXPECT_EXIT(
      {
        start();
        address_entered();
        qabsim::DeviceSimConfig config;
        config.faults.never_answer = true;
        start_device(config);
        std::thread([&] { probe(); }).detach();
        if (!device_->wait_for_requests(1, milliseconds(5000))) std::_Exit(4);
        user_.on(connecting_screen).press(2);  // the second connecting screen
        probe();
      },
      ::testing::ExitedWithCode(0), "open 105(.|\n)*open 105(.|\n)*press 105 2(.|\n)*Upgrade Failed: User Abort");
}

}  // namespace
