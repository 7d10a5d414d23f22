#pragma once
// A test clock whose speed can change while it runs, its tick counter
// continuing where it stood: a transfer runs at real speed, so that its
// 100 ms and 3 s limits are not set off by a busy machine, and the 30-second
// flash wait that follows runs in a fraction of a second.
#include <chrono>
#include <cstdint>
#include <mutex>

#include "platform/clock.h"

class TwoSpeedClock : public platform::Clock {
 public:
  TwoSpeedClock(uint32_t start_tick, unsigned speed);
  void set_speed(unsigned speed);

  uint32_t tick_ms() override;
  void sleep_ms(uint32_t ms) override;
  std::chrono::microseconds real_duration(uint32_t ms) override;

 private:
  using Steady = std::chrono::steady_clock;
  // Microseconds of this clock since it started, as of now.
  uint64_t clock_us(Steady::time_point now) const;

  mutable std::mutex lock_;
  uint32_t start_tick_;
  uint64_t us_at_change_ = 0;  // clock microseconds at the last change of speed
  Steady::time_point changed_at_;
  unsigned speed_;
};

// Installs a clock for the life of a scope: before the threads that use it
// start, removed after they have ended.
class InstalledClock {
 public:
  explicit InstalledClock(platform::Clock& clock) { platform::install_clock(&clock); }
  ~InstalledClock() { platform::install_clock(nullptr); }
  InstalledClock(const InstalledClock&) = delete;
  InstalledClock& operator=(const InstalledClock&) = delete;
};
