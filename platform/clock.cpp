#include "platform/clock.h"

#include <atomic>
#include <thread>

namespace platform {
namespace {

class SystemClock : public Clock {
 public:
  uint32_t tick_ms() override {
    auto now = std::chrono::steady_clock::now().time_since_epoch();
    return static_cast<uint32_t>(std::chrono::duration_cast<std::chrono::milliseconds>(now).count());
  }
  void sleep_ms(uint32_t ms) override { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }
  std::chrono::microseconds real_duration(uint32_t ms) override { return std::chrono::milliseconds(ms); }
};

SystemClock system_clock;
std::atomic<Clock*> current{&system_clock};

}  // namespace

uint32_t tick_ms() { return current.load()->tick_ms(); }
void sleep_ms(uint32_t ms) { current.load()->sleep_ms(ms); }
std::chrono::microseconds real_duration(uint32_t ms) { return current.load()->real_duration(ms); }
void install_clock(Clock* clock) { current.store(clock ? clock : &system_clock); }

ScaledClock::ScaledClock(uint32_t start_tick, unsigned speed)
    : start_tick_(start_tick), speed_(speed ? speed : 1), origin_(std::chrono::steady_clock::now()) {}

uint32_t ScaledClock::tick_ms() {
  auto real = std::chrono::steady_clock::now() - origin_;
  auto ms = std::chrono::duration_cast<std::chrono::microseconds>(real).count() * speed_ / 1000;
  return start_tick_ + static_cast<uint32_t>(ms);  // wraps like the real counter
}

void ScaledClock::sleep_ms(uint32_t ms) { std::this_thread::sleep_for(real_duration(ms)); }

std::chrono::microseconds ScaledClock::real_duration(uint32_t ms) {
  return std::chrono::microseconds(static_cast<long long>(ms) * 1000 / speed_);
}

}  // namespace platform
