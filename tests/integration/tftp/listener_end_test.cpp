// The listener's ways of ending the process, each in a child process (a
// thread-safe death test, the test started again from its beginning) whose
// scripted user logs to a file: the end after the Target pass, the second
// pass after the Transition pass, Cancel while waiting under a flood, and the
// set-up failures. The child must end itself with status 0; one that is
// still running when its bounded waits are over ends with status 7.
#include <sys/resource.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>

#include "tests/integration/tftp/pass_fixture.h"

namespace {

using scripted::quoted;

// The log of a child that runs `body` and must end the process with status 0.
std::string log_of_child(const std::function<void()>& body) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  const std::string path = child_log_path();
  EXPECT_EXIT(
      {
        send_stderr_to(path);
        body();
        std::fprintf(stderr, "the process did not end\n");
        std::_Exit(7);
      },
      ::testing::ExitedWithCode(0), "");
  std::string log = read_text(path);
  ::unlink(path.c_str());
  return log;
}


// The last `count` lines of a log that ends with a newline.
std::string tail(const std::string& log, int count) {
  size_t start = log.size();
  for (int k = 0; k < count; ++k) {
    size_t newline = start >= 2 ? log.rfind('\n', start - 2) : std::string::npos;
    if (newline == std::string::npos) return log;
    start = newline + 1;
  }
  return log.substr(start);
}

// The child's last words: the box and the user's OK on it.
std::string failure_box(const char* message) {
  return std::string("scripted: message task-modal \"QAB Firwmare Upgrade Error\": \"") + message +
         "\"\nscripted: press 0 1 (focus 1)\n";
}

// Everything the child's main thread does in a Target pass, as the upgrade
// passes would: start the listener, trigger the device, then only wait.
void target_pass_child(const char* version_after_flash) {
  TwoSpeedClock clock(0x00100000, 1);
  InstalledClock installed(clock);
  scripted::User user;
  user.echo(true);
  user.every(success_screen).press(1);
  auto s = make_session(UpgradeStage::Target);
  qabsim::DeviceSimConfig config;
  config.upgrade.fetch = true;
  config.upgrade.expected_image = bytes_of(s->target_image);
  config.upgrade.version_after_flash = version_after_flash;
  qabsim::DeviceSim device(config);
  device.start();
  uint16_t port = start_tftp_listener(pc_address, *s);
  trigger_device(port, first_name);
  wait_for_caption(uploading_screen, "Updating ", milliseconds(60000));
  device.wait_for_fetches(1, milliseconds(30000));
  clock.set_speed(fast);
  std::this_thread::sleep_for(std::chrono::seconds(30));
}

TEST(ListenerEnd, TargetPassEndsTheProcess) {
  std::string log = log_of_child([] { target_pass_child(""); });
  size_t waiting = log.find("open 114 \"Waiting For Firmware Download Request From QAB\"");
  ASSERT_NE(waiting, std::string::npos) << tail(log, 30);
  EXPECT_NE(find_from(log, "1022 " + quoted(tftp_waiting_text), waiting), std::string::npos);
  size_t uploaded =
      find_from(log, "caption 110 \"Uploading Target Firmware to QAB@127.0.0.2 1074589/1074589 Bytes\"", waiting);
  EXPECT_NE(find_from(log, "open 111", uploaded), std::string::npos);
  EXPECT_EQ(tail(log, 1), "scripted: close 111 -> 1\n") << "the process went on after the pass";
}

TEST(ListenerEnd, FailedTargetPassAlsoEndsTheProcess) {
  std::string log = log_of_child([] { target_pass_child("3.3.5"); });
  EXPECT_EQ(tail(log, 2), failure_box("Upgrade Failed: Version not matching")) << tail(log, 30);
  EXPECT_EQ(count_of(log, "open 111"), 0u);
}

TEST(ListenerEnd, TransitionPassMovesTheStageOnAndWaitsForTheSecondRequest) {
  std::string log = log_of_child([] {
    TwoSpeedClock clock(0x00100000, 1);
    InstalledClock installed(clock);
    scripted::User user;
    user.echo(true);
    user.every(success_screen).press(1);
    auto s = make_session(UpgradeStage::Transition, "/qab4f2.bi0");
    qabsim::DeviceSimConfig config;
    config.upgrade.fetch = true;
    config.upgrade.expected_image = bytes_of(s->transition_image);
    qabsim::DeviceSim device(config);
    device.start();
    uint16_t port = start_tftp_listener(pc_address, *s);
    trigger_device(port, "/qab4f2.bi0");
    wait_for_caption(uploading_screen, "Updating Transition", milliseconds(60000));
    device.wait_for_fetches(1, milliseconds(30000));
    clock.set_speed(fast);

    // The main thread's side: once the stage reads Target, a new name and the
    // second trigger, at real speed again for the transfer.
    auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (s->stage.load() != UpgradeStage::Target && std::chrono::steady_clock::now() < give_up)
      std::this_thread::sleep_for(milliseconds(10));
    clock.set_speed(1);
    std::fprintf(stderr, "main: stage %s\n", s->stage.load() == UpgradeStage::Target ? "Target" : "Transition");
    wait_for_caption(waiting_screen, "Waiting", milliseconds(10000));
    device.configure([&](qabsim::DeviceSimConfig& c) { c.upgrade.expected_image = bytes_of(s->target_image); });
    s->tftp_file_name.set("/qab77.bi1");
    platform::Socket hand = udp_socket(device_address);
    send_to(hand, rrq("/qab4f2.bi0"), pc_address, port);
    std::fprintf(stderr, "main: the first name %s\n",
                 receive(hand, milliseconds(300)) ? "was answered" : "is no longer answered");
    trigger_device(port, "/qab77.bi1");
    wait_for_caption(uploading_screen, "Updating Target", milliseconds(60000));
    device.wait_for_fetches(2, milliseconds(30000));
    clock.set_speed(fast);
    std::this_thread::sleep_for(std::chrono::seconds(30));
  });
  size_t first = log.find("open 114 ");
  ASSERT_NE(first, std::string::npos) << tail(log, 30);
  size_t second = find_from(log, "open 114 ", first + 1);
  ASSERT_NE(second, std::string::npos) << "the waiting screen did not come back";
  EXPECT_EQ(count_of(log, "open 114 "), 2u);
  std::string first_opening = log.substr(first, second - first);
  EXPECT_NE(first_opening.find("1022 " + quoted(tftp_waiting_text)), std::string::npos);
  EXPECT_NE(first_opening.find("caption 110 \"Uploading Transition Firmware to QAB@127.0.0.2 524388/524388 Bytes\""),
            std::string::npos);
  EXPECT_NE(first_opening.find("caption 110 \"Updating Transition Firmware to QAB@127.0.0.2\""), std::string::npos);
  EXPECT_EQ(first_opening.find("open 111"), std::string::npos) << "success shown after the Transition pass";
  EXPECT_NE(log.find("main: stage Target"), std::string::npos);
  std::string rest = log.substr(second);
  EXPECT_NE(rest.find("1022 \"\""), std::string::npos) << "the second waiting screen has a text";
  EXPECT_NE(rest.find("main: the first name is no longer answered"), std::string::npos);
  EXPECT_NE(rest.find("caption 110 \"Uploading Target Firmware to QAB@127.0.0.2 1074589/1074589 Bytes\""),
            std::string::npos);
  EXPECT_EQ(tail(log, 1), "scripted: close 111 -> 1\n");
  EXPECT_EQ(count_of(log, "message task-modal"), 0u);
}

// A flood of requests for another name keeps the socket busy; Cancel on the
// waiting screen must still be handled.
TEST(ListenerEnd, CancelWhileWaitingEndsTheProcessEvenUnderAFlood) {
  std::string log = log_of_child([] {
    scripted::User user;
    user.echo(true);
    user.on(waiting_screen).wait_progress(1010, 50).press(2);
    auto s = make_session(UpgradeStage::Target);
    static platform::Socket stranger = udp_socket(device_address);
    static std::atomic<long> sent{0};
    std::thread([] {
      for (;;) {
        send_to(stranger, rrq("/qab4f2.bi0"), pc_address, 69);
        sent.fetch_add(1);
      }
    }).detach();
    while (sent.load() < 1000) std::this_thread::sleep_for(milliseconds(1));
    start_tftp_listener(pc_address, *s);
    std::this_thread::sleep_for(std::chrono::seconds(20));
  });
  EXPECT_NE(log.find("press 114 2"), std::string::npos) << tail(log, 30);
  EXPECT_EQ(tail(log, 2), failure_box("Upgrade Failed: User Abort"));
}

TEST(ListenerEnd, SetUpFailuresAreShownAndEndTheProcess) {
  struct Case {
    const char* name;
    std::function<void()> prepare;
    const char* message;
  };
  const Case cases[] = {
      {"all 100 ports taken",
       [] {
         static std::vector<platform::Socket> held;
         for (int port = 69; port <= 168; ++port) {
           held.push_back(platform::open_udp_socket());
           platform::bind_socket(held.back(), platform::to_sockaddr(pc_address, static_cast<uint16_t>(port)));
         }
       },
       "Upgrade Failed: Can't bind TFTP listener socket"},
      {"no socket to be had",
       [] {
         rlimit none{0, 0};
         ::setrlimit(RLIMIT_NOFILE, &none);
       },
       "Upgrade Failed: Can't create TFTP listener socket"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    // The sanitizers' own checks need descriptors too and fail without any.
    if (std::string_view(c.name) == "no socket to be had") continue;
#endif
    std::string log = log_of_child([&c] {
      scripted::User user;
      user.echo(true);
      auto s = make_session(UpgradeStage::Target);
      c.prepare();
      start_tftp_listener(pc_address, *s);
    });
    EXPECT_EQ(tail(log, 2), failure_box(c.message)) << tail(log, 30);
  }
}

}  // namespace
