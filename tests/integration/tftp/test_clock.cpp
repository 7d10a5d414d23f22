#include "tests/integration/tftp/test_clock.h"

#include <thread>

TwoSpeedClock::TwoSpeedClock(uint32_t start_tick, unsigned speed)
    : start_tick_(start_tick), changed_at_(Steady::now()), speed_(speed ? speed : 1) {}

uint64_t TwoSpeedClock::clock_us(Steady::time_point now) const {
  auto real = std::chrono::duration_cast<std::chrono::microseconds>(now - changed_at_).count();
  return us_at_change_ + static_cast<uint64_t>(real) * speed_;
}

void TwoSpeedClock::set_speed(unsigned speed) {
  std::lock_guard guard(lock_);
  Steady::time_point now = Steady::now();
  us_at_change_ = clock_us(now);
  changed_at_ = now;
  speed_ = speed ? speed : 1;
}

uint32_t TwoSpeedClock::tick_ms() {
  std::lock_guard guard(lock_);
  return start_tick_ + static_cast<uint32_t>(clock_us(Steady::now()) / 1000);  // wraps like the real counter
}

void TwoSpeedClock::sleep_ms(uint32_t ms) { std::this_thread::sleep_for(real_duration(ms)); }

std::chrono::microseconds TwoSpeedClock::real_duration(uint32_t ms) {
  std::lock_guard guard(lock_);
  return std::chrono::microseconds(static_cast<long long>(ms) * 1000 / speed_);
}
