// The TFTP side of the fault matrix: whole Target passes of the embedded
// image (1,074,589 bytes, 2,099 blocks) against a device whose network or
// whose client misbehaves. A pass that can end well ends with the image
// received intact (the device compares it byte for byte before it flashes),
// the version checked and the success screen; one that cannot ends with
// "Upgrade Failed: Firmware Upload Incomplete" after the whole flash wait and
// without a re-probe.
#include <functional>
#include <string>
#include <vector>

#include "app/passes.h"
#include "tests/integration/fault_matrix/matrix_fixture.h"

namespace {

using qab_sim::FetchEnd;
using qab_sim::FetchResult;

constexpr const char* incomplete = "Upgrade Failed: Firmware Upload Incomplete";
// Block 1,050 is the middle of the transfer; its caption counts the bytes of
// the 1,049 blocks before it.
constexpr uint32_t middle_block = 1050;
constexpr const char* middle_caption = "Uploading Target Firmware to QAB@127.0.0.2 537088/1074589 Bytes";

// What the server sent a second time or more, as the device saw it: every
// datagram that reached the device, lost on the way in or not, less the OACK
// and each block once.
uint32_t server_repeats(const FetchResult& f) {
  uint32_t seen = f.oacks_received + f.blocks + f.duplicate_blocks + f.unexpected_blocks + f.dropped_received;
  return seen > f.blocks + 1 ? seen - (f.blocks + 1) : 0;
}

std::string device_counts(const FetchResult& f) {
  std::string s = std::to_string(server_repeats(f)) + " packets sent again by the server";
  if (f.dropped_sent || f.dropped_received)
    s += ", " + std::to_string(f.dropped_sent) + " of the device's and " + std::to_string(f.dropped_received) +
         " of the server's datagrams lost";
  if (f.resends) s += ", " + std::to_string(f.resends) + " device resends";
  return s;
}

// The checks of a pass that ends well, for an image of `size` bytes; the
// words of its line.
std::string expect_complete(const PassOutcome& o, uint32_t size = 1074589) {
  const FetchResult& f = o.upgrade.fetch;
  EXPECT_EQ(f.end, FetchEnd::Completed) << f.reason;
  EXPECT_EQ(f.matches_expected, true) << "the image received differs from the one served";
  EXPECT_EQ(f.bytes_received, size);
  EXPECT_EQ(f.blocks, size / 512 + 1);
  EXPECT_EQ(f.last_block_size, size % 512);
  EXPECT_EQ(f.unexpected_blocks, 0u) << "a block out of order";
  EXPECT_TRUE(o.upgrade.flashed) << o.upgrade.note;
  EXPECT_TRUE(o.transfer_complete);
  EXPECT_TRUE(o.messages.empty()) << o.messages[0];
  EXPECT_EQ(o.success_screens, 1u);
  EXPECT_EQ(o.success_version, "3.3.6");
  const bool intact = f.matches_expected == true && f.bytes_received == size;
  return std::string(f.completed() && o.success_screens == 1 ? "complete" : "NOT complete") + ", " +
         std::to_string(f.blocks) + " blocks, image " + (intact ? "intact" : "NOT intact") + ", success screen " +
         o.success_version + "; " + device_counts(f);
}

// The checks of a pass that cannot end well: the upload is reported
// incomplete after the flash wait, the device is not asked again.
std::string expect_incomplete(const PassOutcome& o) {
  EXPECT_EQ(o.messages, std::vector<std::string>{incomplete});
  EXPECT_TRUE(o.messages_after_the_wait) << "the message came before the flash wait was over";
  EXPECT_FALSE(o.transfer_complete);
  EXPECT_EQ(o.success_screens, 0u);
  EXPECT_EQ(o.connecting_screens, 1u) << "re-probed after an incomplete upload";
  EXPECT_FALSE(o.upgrade.flashed);
  // The silence limit: 30 ticks of 100 idle polls of at least 1 ms each.
  EXPECT_GE(o.last_block_to_end_ms, 3000);
  const std::string shown = o.messages.empty() ? "no message" : "\"" + o.messages[0] + "\"";
  return "incomplete after " + std::to_string(o.last_block_to_end_ms) + " ms of silence, " + shown +
         " after the flash wait, no re-probe";
}

struct Case {
  const char* name;
  unsigned speed;       // the clock's speed during the transfer
  uint32_t image_size;  // 0: the embedded image
  std::function<void(qabsim::UpgradeBehaviour&)> set;
  bool completes;
  const char* why;  // printed with the line
  std::function<void(const PassOutcome&)> check;
};

TEST_F(MatrixTest, DeviceAndNetworkFaultsDuringTheTransfer) {
  // A lost datagram is made good by the server's own repeat after 100 ms of
  // silence: the device answers a repeated block with its ACK again. Only 30
  // silent ticks in a row end the transfer, which at 30% loss each way needs
  // 30 failed exchanges in a row (0.51^30, about 2e-9 per block), so even 30%
  // completes; the device's own resends after 1 s hardly come into it. The
  // device waits 3 s after its last ACK (as long as the server keeps
  // repeating), so a lost last ACK is answered too. At 30% every block costs
  // about one repeat of 100 ms: that case serves an image of 586 blocks, at a
  // faster clock, to stay short.
  auto lossy = [](double fraction, uint64_t seed) {
    return [fraction, seed](qabsim::UpgradeBehaviour& b) {
      b.faults.drop_sent = fraction;
      b.faults.drop_received = fraction;
      b.faults.seed = seed;
      b.dally_ms = 3000;
    };
  };
  // With a Sorcerer's Apprentice fault (a block sent again for a repeated
  // ACK) every block would arrive twice.
  auto few_repeats = [](const PassOutcome& o) { EXPECT_LT(o.upgrade.fetch.duplicate_blocks, 100u); };
  const Case cases[] = {
      {"loss 10% each way (seed 11)", matrix_speed, 0, lossy(0.10, 11), true, "", {}},
      {"loss 30% each way (seed 30)", flash_speed, 300000, lossy(0.30, 30), true,
       " (the server's repeat every 100 ms makes each loss good; 30 in a row are needed to fail)", {}},
      {"every ACK duplicated", matrix_speed, 0, [](auto& b) { b.faults.duplicate_acks = true; }, true, "", few_repeats},
      {"ACKs reordered (each ACK followed by a late copy of the one before)", matrix_speed, 0,
       [](auto& b) { b.faults.reorder_acks = true; }, true, "", few_repeats},
      {"device stalls 2 s at block 1050", exact_speed, 0,
       [](auto& b) {
         b.faults.stall_at_block = middle_block;
         b.faults.stall_ms = 2000;
       },
       true, " (under the 3 s silence limit)",
       [](const PassOutcome& o) { EXPECT_GE(o.upgrade.fetch.duplicate_blocks, 10u) << "block 1050 was not repeated"; }},
      {"device stalls 4 s at block 1050", exact_speed, 0,
       [](auto& b) {
         b.faults.stall_at_block = middle_block;
         b.faults.stall_ms = 4000;
       },
       false, " (over the 3 s silence limit)", {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    use_clock(c.speed);
    make_target_session();
    if (c.image_size) use_target_image_of(c.image_size);
    start_device(upgrading_device(c.set));
    PassOutcome o;
    {
      TimedUser user;
      user.every(success_screen).press(1);
      o = run_target_pass(user);
    }
    std::string words = c.completes ? expect_complete(o, s_->target_image.size) : expect_incomplete(o);
    if (c.check) c.check(o);
    report(std::string(c.name) + ": " + words + c.why);
    device_->stop();
    platform::install_clock(nullptr);
  }
}

// 10,000 junk datagrams at the listener's port from another socket: 5,000
// while the listener waits, the rest while the transfer runs. They are read
// and dropped; the transfer completes as if they were not there.
TEST_F(MatrixTest, JunkFloodWhileWaitingAndDuringTheTransfer) {
  use_clock();
  make_target_session();
  start_device(upgrading_device());
  const long drops_before = udp_receive_drops();
  TimedUser user;
  user.every(success_screen).press(1);
  std::unique_ptr<JunkFlood> flood;
  long while_waiting = 0, in_transfer = 0, drops = 0;
  PassOutcome o = run_target_pass(
      user,
      [&] {
        flood = std::make_unique<JunkFlood>(listener_->port);
        flood->allow(5000, std::chrono::microseconds(50));
        EXPECT_TRUE(flood->wait_sent(5000, milliseconds(10000)));
        while_waiting = flood->sent();
      },
      [&] {
        flood->allow(10000, std::chrono::microseconds(20));  // the transfer is short
        EXPECT_TRUE(wait_for_caption(uploading_screen, "Updating ", milliseconds(60000)));
        // What the kernel dropped meanwhile, while the socket was being read;
        // after the transfer nothing reads it until the next pass.
        drops = udp_receive_drops() - drops_before;
        in_transfer = flood->sent() - while_waiting;
        EXPECT_TRUE(flood->wait_sent(10000, milliseconds(20000)));
      });
  std::string words = expect_complete(o);
  EXPECT_GT(in_transfer, 1000) << "the flood did not reach the transfer";
  report("10,000 junk datagrams (" + std::to_string(while_waiting) + " while the listener waits, " +
         std::to_string(in_transfer) + " during the transfer, " + std::to_string(drops) +
         " of all datagrams dropped by the kernel meanwhile): " + words);
}

// The same flood while a device that has stopped answering leaves the server
// repeating its last block: the junk counts as idle time, not as ticks, so the
// block is still repeated 29 times and the end still takes 3 s of the clock
// (at a clock slow enough to keep the 3 s closely).
TEST_F(MatrixTest, JunkFloodDoesNotSpeedUpTheSilenceLimit) {
  use_clock(exact_speed);
  make_target_session();
  start_device(upgrading_device([](qabsim::UpgradeBehaviour& b) {
    b.faults.reboot_at_block = middle_block;
    b.faults.reboot_listen_ms = 8000;  // counts what the server still sends
  }));
  TimedUser user;
  std::unique_ptr<JunkFlood> flood;
  long in_silence = 0;
  PassOutcome o = run_target_pass(
      user,
      [&] {
        flood = std::make_unique<JunkFlood>(listener_->port);
        flood->allow(2000, std::chrono::microseconds(50));
        EXPECT_TRUE(flood->wait_sent(2000, milliseconds(10000)));
      },
      [&] {
        flood->allow(4000, std::chrono::microseconds(50));
        // The rest of the flood goes into the silence after block 1050.
        auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        auto at_middle = [&] {
          for (const TimedUser::Caption& c : user.upload_captions())
            if (c.text == middle_caption) return true;
          return false;
        };
        while (!at_middle() && std::chrono::steady_clock::now() < give_up)
          std::this_thread::sleep_for(std::chrono::microseconds(200));
        const long before = flood->sent();
        flood->allow(10000, std::chrono::microseconds(50));
        EXPECT_TRUE(wait_for_caption(uploading_screen, "Updating ", milliseconds(60000)));
        in_silence = flood->sent() - before;
      });
  std::string words = expect_incomplete(o);
  const FetchResult& f = o.upgrade.fetch;
  EXPECT_EQ(f.end, FetchEnd::Rebooted) << f.reason;
  EXPECT_EQ(f.datagrams_after_reboot, 29u) << "block 1050 is sent 30 times in all";
  EXPECT_GT(in_silence, 500) << "the flood did not reach the silence";
  report("10,000 junk datagrams, device silent from block 1050 (" + std::to_string(in_silence) +
              " junk datagrams during the silence): block 1050 repeated " + std::to_string(f.datagrams_after_reboot) +
              " times, " + words);
}

// A device that reboots in the middle of the transfer: the upload is
// incomplete and, this being the Target pass, the process ends after the
// message, as the whole upgrade runs it (listener, request, then waiting).
TEST_F(MatrixTest, DeviceRebootsInTheMiddleOfTheTransfer) {
  case_started_ = std::chrono::steady_clock::now();
  std::string log = log_of_child([this] {
    use_clock();
    make_target_session();
    start_device(upgrading_device([](qabsim::UpgradeBehaviour& b) { b.faults.reboot_at_block = middle_block; }));
    TimedUser user;
    user.echo(true);
    user.every(success_screen).press(1);
    std::thread([this] { speed_up_after_the_transfer(); }).detach();
    run_upgrade_passes(*s_);
  });
  const size_t middle = log.find(std::string("caption 110 \"") + middle_caption + "\"");
  const size_t next = log.find("caption 110 \"Uploading", middle + 1);
  const size_t updating = find_from(log, "caption 110 \"Updating Target Firmware to QAB@127.0.0.2\"", middle);
  const size_t box = find_from(log, std::string("message task-modal \"QAB Firwmare Upgrade Error\": \"") + incomplete,
                               updating);
  EXPECT_NE(middle, std::string::npos) << "block 1050 was never sent";
  EXPECT_TRUE(next == std::string::npos || next > updating) << "the transfer went past block 1050";
  EXPECT_NE(updating, std::string::npos);
  ASSERT_NE(box, std::string::npos) << log.substr(log.size() > 3000 ? log.size() - 3000 : 0);
  const size_t full = find_from(log, "pos 110 1010 937\n", updating);
  EXPECT_LT(full, box) << "the message came before the flash wait was over";
  EXPECT_EQ(count_of(log, "open 105 "), 1u) << "re-probed after an incomplete upload";
  EXPECT_EQ(count_of(log, "open 111 "), 0u);
  EXPECT_EQ(count_of(log, "message task-modal"), 1u);
  // The box is the last thing: the user's OK on it, then the process ended.
  EXPECT_EQ(log.find("scripted: ", log.find("press 0 1", box) + 1), std::string::npos) << "went on after the pass";
  report(std::string("device reboots at block 1050: incomplete, \"") + incomplete +
              "\" after the flash wait, no re-probe, then the process ended with status 0 (the Target pass)");
}

}  // namespace
