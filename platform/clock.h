#pragma once
// The millisecond tick counter and sleeping. The tick is 32 bits and wraps
// about every 49.7 days, like the counter the upgrader was designed around;
// code that measures time with it must handle the wrap.
#include <chrono>
#include <cstdint>

namespace platform {

class Clock {
 public:
  virtual ~Clock() = default;
  virtual uint32_t tick_ms() = 0;
  virtual void sleep_ms(uint32_t ms) = 0;
  // How long `ms` milliseconds of this clock last in real time: lets a loop
  // that waits on a socket instead of sleeping keep to this clock's pace.
  virtual std::chrono::microseconds real_duration(uint32_t ms) = 0;
};

uint32_t tick_ms();
void sleep_ms(uint32_t ms);
std::chrono::microseconds real_duration(uint32_t ms);

// Replaces the system clock (nullptr restores it). For tests: install before
// starting threads that use the clock, remove after they are gone.
void install_clock(Clock* clock);

// A clock for tests: starts at `start_tick` and runs `speed` times faster
// than real time (sleeps are shortened by the same factor).
class ScaledClock : public Clock {
 public:
  ScaledClock(uint32_t start_tick, unsigned speed);
  uint32_t tick_ms() override;
  void sleep_ms(uint32_t ms) override;
  std::chrono::microseconds real_duration(uint32_t ms) override;

 private:
  uint32_t start_tick_;
  unsigned speed_;
  std::chrono::steady_clock::time_point origin_;
};

}  // namespace platform
