#pragma once
// The fault matrix: the upgrade against the simulated device on loopback, the
// scripted user answering the screens and a clock many times faster than real
// time. Each case ends in a full pass with the image received intact, or in
// the system's own failure message when it cannot end well, and adds one line
// to the summary that is printed when the matrix is over.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/clock.h"
#include "platform/scripted/scripted_user.h"
#include "resources/screens/screen_ids.h"
#include "tests/integration/tftp/test_clock.h"
#include "tests/integration/tftp/tftp_fixture.h"
#include "tftp/listener.h"
#include "tools/qab-device-sim/device_sim.h"

// The clock's speed while a transfer runs. One millisecond of the clock (the
// transfer's idle poll) is then 50 us of real time; each poll overshoots by
// the kernel's wake-up latency and the loop's own turn, a few tens of us here,
// which stretches the transfer's 100 ms ticks by a good part. Cases whose
// ending hangs on the 3 s silence limit being kept closely run their transfer
// at `exact_speed` instead.
inline constexpr unsigned matrix_speed = 20;
inline constexpr unsigned exact_speed = 2;
// From the end of the transfer on: the 30-second flash wait in 0.6 s.
inline constexpr unsigned flash_speed = 50;

// Adds one line to the summary: what the case checked and how it ended.
void matrix_line(const std::string& line);

// A scripted user that also notes the clock's tick at each caption of the
// upload screen: the title changes with every expected ACK and once more when
// the transfer is over, so the captions tell how long the end took.
class TimedUser : public scripted::User {
 public:
  struct Caption {
    uint32_t tick;
    std::string text;
  };
  void changed(const dialog::Change& change) override;
  std::vector<Caption> upload_captions() const;

 private:
  mutable std::mutex captions_lock_;
  std::vector<Caption> captions_;
};

// What became of one Target pass.
struct PassOutcome {
  qabsim::UpgradeRecord upgrade;      // the device's side: its fetch, its flash
  std::vector<std::string> messages;  // failure boxes, in order
  bool messages_after_the_wait = true;  // none came before the flash wait's bar was full
  size_t success_screens = 0;
  std::string success_version;        // as the success screen shows it
  size_t connecting_screens = 0;      // the upgrade request's and the re-probes'
  bool transfer_complete = false;     // the last upload title counts every byte
  // Clock milliseconds from the last block sent for the first time to the
  // end of the transfer (the flash wait's title); -1 when no block was sent.
  int64_t last_block_to_end_ms = -1;
};

class MatrixTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Installs a clock `speed` times faster than real time. Call before any
  // thread that reads the clock starts.
  void use_clock(unsigned speed = matrix_speed);
  // Once the transfer is over (the flash wait's title is up) and the device's
  // fetch has ended, runs the clock at flash_speed. The device's waits follow
  // the clock from then on.
  void speed_up_after_the_transfer();
  // The session as the confirmation leaves it, with the test package's
  // images (target 3.3.6, 1,074,589 bytes).
  void make_target_session();
  // Serves an image of `size` bytes (version 3.3.6) instead of the embedded one.
  void use_target_image_of(uint32_t size);
  qabsim::DeviceSim& start_device(qabsim::DeviceSimConfig config);
  // A device at 127.0.0.2 that fetches what the upgrade request names,
  // expects the session's target image byte for byte and flashes it.
  qabsim::DeviceSimConfig upgrading_device(const std::function<void(qabsim::UpgradeBehaviour&)>& set = {}) const;

  // One Target pass as the upgrade runs it: the listener on 127.0.0.1, its
  // thread waiting, the upgrade request sent from this thread through the
  // probe, the transfer, the flash wait, the re-probe and the success screen.
  // `after_request` runs on this thread once the request has been answered.
  PassOutcome run_target_pass(TimedUser& user, const std::function<void()>& before_request = {},
                              const std::function<void()>& after_request = {});

  // matrix_line with the real time since use_clock.
  void report(const std::string& line) const;

  std::unique_ptr<TwoSpeedClock> clock_;
  std::chrono::steady_clock::time_point case_started_;
  std::unique_ptr<UpgradeSession> s_;
  Bytes image_;  // the image served when it is not the embedded one
  std::unique_ptr<qabsim::DeviceSim> device_;
  std::unique_ptr<TftpListener> listener_;
};

// The log of a child process (a thread-safe death test) that runs `body` and
// must end the process itself with status 0; its standard error, where the
// scripted user echoes what it sees, goes to a file that the parent reads.
std::string log_of_child(const std::function<void()>& body);

// Junk datagrams sent to the listener's port from a socket of their own at
// the device's address, at most one per gap, never more than the budget
// allows: everything the listener and the transfer must ignore, and never a
// read request for the file being offered.
class JunkFlood {
 public:
  explicit JunkFlood(uint16_t port);
  ~JunkFlood();
  JunkFlood(const JunkFlood&) = delete;
  JunkFlood& operator=(const JunkFlood&) = delete;

  // Lets the flood go on, one datagram per `gap` at most, until `total`
  // datagrams have been sent.
  void allow(long total, std::chrono::microseconds gap) {
    gap_us_.store(gap.count());
    budget_.store(total);
  }
  // Waits (bounded) until `count` have been sent.
  bool wait_sent(long count, milliseconds bound) const;
  long sent() const { return sent_.load(); }

 private:
  std::atomic<long> budget_{0};
  std::atomic<long> gap_us_{50};
  std::atomic<long> sent_{0};
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

// Datagrams the kernel of this network namespace dropped because a UDP
// receive queue was full.
long udp_receive_drops();
