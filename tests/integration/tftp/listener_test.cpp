// The listener's socket and its waiting loop, and curl's TFTP client (a peer
// no one here wrote) fetching the image from a whole pass.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>

#include "tests/integration/tftp/pass_fixture.h"
#include "ui/screens.h"

namespace {

// Ports 69 .. 69 + count - 1 on the PC's address, held by another program.
std::vector<platform::Socket> take_ports(int count) {
  std::vector<platform::Socket> held;
  for (int k = 0; k < count; ++k) {
    held.push_back(platform::open_udp_socket());
    EXPECT_TRUE(platform::bind_socket(held.back(), platform::to_sockaddr(pc_address, static_cast<uint16_t>(69 + k))));
  }
  return held;
}

TEST(ListenerSocket, BindsTheFirstFreePortFrom69) {
  auto s = make_session(UpgradeStage::Target);
  for (int taken : {0, 1, 31, 99}) {
    SCOPED_TRACE(std::to_string(taken) + " ports taken");
    std::vector<platform::Socket> held = take_ports(taken);
    std::unique_ptr<TftpListener> listener(open_tftp_listener(pc_address, *s));
    EXPECT_EQ(listener->port, 69 + taken);
    EXPECT_EQ(platform::local_port(listener->socket), 69 + taken);
    EXPECT_EQ(listener->local_address, pc_address);
    EXPECT_EQ(listener->session, s.get());
  }
}

// Waits for requests on a thread of its own, as the listener thread does.
class WaitingTest : public PassTest {
 protected:
  void SetUp() override { open_listener(); }

  void start_waiting(scripted::User& user) {
    waiting = std::make_unique<Background>(
        [this] {
          dialog::Window* screen = ui::create_progress_screen(waiting_screen);
          dialog::show(screen);
          accepted = await_read_request(*listener, screen);
          dialog::destroy(screen);
        },
        [&user] { return user.transcript(); });
  }

  std::unique_ptr<Background> waiting;
  TftpRequester accepted;  // read once `waiting` has ended
};

TEST_F(WaitingTest, AcceptsOnlyAReadRequestForTheCurrentName) {
  scripted::User user;
  start_waiting(user);
  Bytes wrq = rrq(first_name);
  wrq[1] = 2;
  Bytes unterminated = text_bytes(std::string("\0\1", 2) + first_name);  // the name's zero byte is missing
  Bytes oversized = rrq(first_name);
  oversized.resize(1100);
  struct Ignored {
    const char* name;
    Bytes bytes;
  };
  const Ignored ignored[] = {
      {"a write request for the name", wrq},
      // Right after the WRQ, whose zero byte would end the name if the
      // reader looked past the datagram.
      {"a name without its zero byte", unterminated},
      {"the name in other letter case", rrq("/QAB4F2.BI1")},
      {"another stage's name", rrq("/qab4f2.bi0")},
      {"a longer name", rrq(std::string(first_name) + "x")},
      {"a shorter name", rrq("/qab4f2.bi")},
      {"the name without its slash", rrq("qab4f2.bi1")},
      {"a request longer than 1024 bytes", oversized},
      {"one byte", Bytes{0}},
      {"nothing", Bytes{}},
      {"DATA", Bytes{0, 3, 0, 1, 'x'}},
      {"ACK", ack(0)},
      {"ERROR", Bytes{0, 5, 0, 1, 'x', 0}},
      {"OACK", Bytes{0, 6, 't', 0, '1', 0}},
      {"an unknown opcode", Bytes{0, 9, 0, 0}},
  };
  platform::Socket stranger = udp_socket(device_address);
  for (const Ignored& d : ignored) send_to(stranger, d.bytes, pc_address, 69);
  EXPECT_FALSE(receive(stranger, milliseconds(200))) << "the listener answered";
  EXPECT_TRUE(wait_for_caption(waiting_screen, "Waiting", milliseconds(0))) << "no longer waiting";

  // Any mode and any options: only the name counts.
  platform::Socket device = udp_socket(device_address);
  send_to(device, rrq(first_name, "netascii", {{"blksize", "1428"}, {"x-unknown", "1"}}), pc_address, 69);
  waiting->wait(milliseconds(5000));
  EXPECT_EQ(accepted.address, device_address);
  EXPECT_EQ(accepted.port, port_of(device)) << "accepted a datagram that should have been ignored";
  EXPECT_FALSE(receive(stranger, milliseconds(0)));
}

// Under a flood of datagrams to ignore, the bar steps once per idle poll of
// the clock, 1, 2, ... 999, 0, 1: neither faster, nor starved.
TEST_F(WaitingTest, SpinnerStepsOncePerIdlePollUnderAFlood) {
  clock.set_speed(20);
  scripted::User user;
  platform::Socket stranger = udp_socket(device_address);
  std::atomic<bool> flooding{true};
  Background flooder([&] {
    while (flooding.load()) {
      send_to(stranger, rrq("/qab4f2.bi0"), pc_address, 69);
      send_to(stranger, Bytes{0}, pc_address, 69);
    }
  });
  auto began = std::chrono::steady_clock::now();
  start_waiting(user);
  auto wrapped = [&] {
    std::vector<int> bar = user.progress(waiting_screen);
    return std::find(bar.begin(), bar.end(), 0) != bar.end();
  };
  auto give_up = began + std::chrono::seconds(20);
  while (!wrapped() && std::chrono::steady_clock::now() < give_up) std::this_thread::sleep_for(milliseconds(2));
  auto took = std::chrono::steady_clock::now() - began;
  flooding.store(false);
  flooder.wait(milliseconds(5000));
  platform::Socket device = udp_socket(device_address);
  send_to(device, rrq(first_name), pc_address, 69);
  waiting->wait(milliseconds(5000));

  std::vector<int> bar = user.progress(waiting_screen);
  ASSERT_GT(bar.size(), 1000u) << "the bar never wrapped";
  for (size_t k = 0; k < bar.size(); ++k) ASSERT_EQ(bar[k], static_cast<int>((k + 1) % 1000)) << "step " << k;
  EXPECT_GE(took, clock.real_duration(1000 * tftp_waiting_poll_ms)) << "1000 steps faster than 1000 idle polls";
  EXPECT_EQ(accepted.port, port_of(device));
}

TEST_F(PassTest, CurlFetchesTheImageFromAWholePass) {
  open_listener();
  scripted::User user;
  Background pass([&] { run_tftp_pass(*listener, true); }, [&] { return user.transcript(); });
  char folder[] = "/tmp/qab-tftp-curl-XXXXXX";
  ASSERT_NE(::mkdtemp(folder), nullptr);
  std::string out = std::string(folder) + "/image";
  // curl sends the URL's path without its first slash: the second one makes
  // the name the listener waits for.
  std::string url = std::string("tftp://127.0.0.1:69/") + first_name;
  pid_t curl = ::fork();
  if (curl == 0) {
    ::execl(QAB_CURL, QAB_CURL, "-s", "--max-time", "60", "-o", out.c_str(), url.c_str(), nullptr);
    std::_Exit(127);
  }
  int status = -1;
  auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(70);
  while (::waitpid(curl, &status, WNOHANG) == 0) {
    if (std::chrono::steady_clock::now() > give_up) {
      ::kill(curl, SIGKILL);
      ::waitpid(curl, &status, 0);
      break;
    }
    std::this_thread::sleep_for(milliseconds(5));
  }
  finish(pass);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "curl ended with status " << status;
  Bytes got = text_bytes(read_text(out));
  ::unlink(out.c_str());
  ::rmdir(folder);
  EXPECT_EQ(got.size(), 1074589u);
  EXPECT_TRUE(got == bytes_of(s->target_image)) << "curl received another image";
  std::vector<std::string> titles = captions(user);
  ASSERT_GE(titles.size(), 2u);
  EXPECT_EQ(titles[titles.size() - 2], "Uploading Target Firmware to QAB@127.0.0.2 1074589/1074589 Bytes");
}

}  // namespace
