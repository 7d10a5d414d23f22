#include <gtest/gtest.h>
#include <sys/socket.h>

#include <chrono>
#include <csignal>
#include <set>
#include <thread>

#include "platform/clock.h"
#include "platform/net.h"
#include "platform/random.h"
#include "platform/thread.h"

namespace {

TEST(Random, DrawsStayInTheNarrowRangeAndFollowTheSeed) {
  platform::seed_random(12345);
  std::vector<int> first;
  std::set<int> distinct;
  for (int i = 0; i < 100000; ++i) {
    int r = platform::next_random();
    ASSERT_GE(r, 0);
    ASSERT_LE(r, platform::random_max);
    if (i < 10) first.push_back(r);
    distinct.insert(r);
  }
  EXPECT_GT(distinct.size(), 20000u);  // the whole range is in use, not a few values
  platform::seed_random(12345);
  for (int expected : first) EXPECT_EQ(platform::next_random(), expected);
}

TEST(Clock, ScaledClockStartsWhereToldAndWraps) {
  platform::ScaledClock fast(0xFFFFFFFFu - 50, 100);
  platform::install_clock(&fast);
  uint32_t before = platform::tick_ms();
  EXPECT_GE(before, 0xFFFFFFFFu - 50);
  auto real_start = std::chrono::steady_clock::now();
  platform::sleep_ms(1000);  // 10 ms of real time at 100 times the speed
  auto real = std::chrono::steady_clock::now() - real_start;
  uint32_t after = platform::tick_ms();
  platform::install_clock(nullptr);
  EXPECT_LT(after, before) << "the counter must have wrapped";
  EXPECT_GE(static_cast<uint32_t>(after - before), 1000u);  // wrapping difference is still right
  EXPECT_LT(real, std::chrono::milliseconds(900));
  EXPECT_EQ(fast.real_duration(100), std::chrono::microseconds(1000));
}

TEST(Net, SendToAPeerThatHasGoneAwayFailsWithoutSigpipe) {
  // Default SIGPIPE action would end the test process.
  ASSERT_NE(std::signal(SIGPIPE, SIG_DFL), SIG_ERR);
  int fds[2];
  ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM, 0, fds), 0);
  platform::Socket mine(fds[0]);
  { platform::Socket theirs(fds[1]); }  // closed at once
  char byte = 'x';
  long r = 0;
  for (int i = 0; i < 3 && r >= 0; ++i) r = platform::send_bytes(mine, &byte, 1);
  EXPECT_EQ(r, -1);
}

TEST(Net, WaitReadableEndsWhenADatagramArrivesOrTheTimeoutPasses) {
  platform::Socket rx = platform::open_udp_socket(), tx = platform::open_udp_socket();
  ASSERT_TRUE(platform::bind_socket(rx, platform::to_sockaddr(0x7F000001, 0)));
  uint16_t port = platform::local_port(rx);
  ASSERT_NE(port, 0);

  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(platform::wait_readable(rx, 20000), platform::WaitResult::Timeout);
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(20));

  ASSERT_EQ(platform::send_datagram(tx, "hi", 2, platform::to_sockaddr(0x7F000001, port)), 2);
  EXPECT_EQ(platform::wait_readable(rx, 5000000), platform::WaitResult::Readable);
  char buf[8];
  sockaddr_in from{};
  EXPECT_EQ(platform::receive_datagram(rx, buf, sizeof buf, from), 2);
  uint32_t address;
  uint16_t from_port;
  platform::from_sockaddr(from, address, from_port);
  EXPECT_EQ(address, 0x7F000001u);
  EXPECT_EQ(from_port, platform::local_port(tx));

  ASSERT_TRUE(platform::set_non_blocking(rx, true));
  EXPECT_EQ(platform::receive_datagram(rx, buf, sizeof buf, from), -1);  // nothing waiting
}

TEST(Worker, StarterPollsForTheExitCode) {
  platform::Worker w;
  std::atomic<bool> go{false};
  ASSERT_TRUE(w.start([&] {
    while (!go) std::this_thread::yield();
    return -1;
  }));
  EXPECT_FALSE(w.finished());
  go = true;
  for (int i = 0; i < 5000 && !w.finished(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  ASSERT_TRUE(w.finished());
  EXPECT_EQ(w.exit_code(), -1);
}

}  // namespace
