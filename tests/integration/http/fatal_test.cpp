// The two failures that end the process, each run in a child process whose
// failure presenter writes the message to a pipe for the parent to check.
#include <poll.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "device_web_fixture.h"
#include "platform/failure.h"
#include "platform/net.h"

namespace {

struct ChildOutcome {
  bool exited = false;  // ended by itself within the time
  int exit_status = -1;
  std::string messages;  // every message presented, one per line
};

int message_fd = -1;

void present_to_pipe(const char* message) {
  std::string line = std::string(message) + "\n";
  if (::write(message_fd, line.data(), line.size()) < 0) std::_Exit(98);
}

// Runs `body` in a child process; a body that returns ends the child with 99.
ChildOutcome run_in_child(const std::function<void()>& body, std::chrono::milliseconds timeout) {
  ChildOutcome outcome;
  int fds[2];
  if (::pipe(fds) != 0) return outcome;
  pid_t pid = ::fork();
  if (pid == 0) {
    ::close(fds[0]);
    message_fd = fds[1];
    platform::set_failure_presenter(present_to_pipe);
    body();
    std::_Exit(99);
  }
  ::close(fds[1]);
  auto deadline = std::chrono::steady_clock::now() + timeout;
  auto left_ms = [&] {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    return left.count() > 0 ? static_cast<int>(left.count()) : 0;
  };
  for (;;) {  // until the child's end of the pipe closes, within the time
    pollfd p{fds[0], POLLIN, 0};
    if (::poll(&p, 1, left_ms()) <= 0) break;
    char chunk[256];
    ssize_t n = ::read(fds[0], chunk, sizeof chunk);
    if (n <= 0) break;
    outcome.messages.append(chunk, static_cast<size_t>(n));
  }
  ::close(fds[0]);
  int status = 0;
  while (::waitpid(pid, &status, WNOHANG) == 0) {
    if (left_ms() == 0) {
      ::kill(pid, SIGKILL);
      ::waitpid(pid, &status, 0);
      return outcome;
    }
    ::usleep(1000);
  }
  outcome.exited = WIFEXITED(status);
  outcome.exit_status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return outcome;
}

TEST_F(DeviceWebTest, NoFreeLocalPortEndsTheProcess) {
  std::vector<platform::Socket> held;
  for (int k = 0; k < device_local_port_tries; ++k) {
    held.push_back(hold_local_port(static_cast<uint16_t>(23456 + k)));
    ASSERT_TRUE(held.back().valid());
  }
  ChildOutcome child = run_in_child(
      [this] {
        fetch_device_page(test_local_address, device_local_port_base, sim_device_address, device_web_port,
                          "/admin/advanced", buffer.data(), receive_limit, digest, info);
      },
      std::chrono::seconds(10));
  EXPECT_TRUE(child.exited);
  EXPECT_EQ(child.exit_status, 0);
  EXPECT_EQ(child.messages, "Upgrade Failed: Can't bind HTTP socket\n");
}

TEST_F(DeviceWebTest, NoSocketEndsTheProcess) {
  ChildOutcome child = run_in_child(
      [this] {
        rlimit none{0, 0};  // no descriptor can be made any more
        ::setrlimit(RLIMIT_NOFILE, &none);
        fetch_device_page(test_local_address, device_local_port_base, sim_device_address, device_web_port,
                          "/admin/advanced", buffer.data(), receive_limit, digest, info);
      },
      std::chrono::seconds(10));
  EXPECT_TRUE(child.exited);
  EXPECT_EQ(child.exit_status, 0);
  EXPECT_EQ(child.messages, "Upgrade Failed: Can't open HTTP socket\n");
}

}  // namespace
