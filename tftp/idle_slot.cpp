#include "tftp/idle_slot.h"

#include <thread>

#include "platform/clock.h"

namespace {
using Steady = std::chrono::steady_clock;
}

// The slot's real length is read again for each slot, so that a test clock
// whose speed changes is followed from the next slot on.
void IdleSlot::restart() { end_ = Steady::now() + platform::real_duration(ms_); }

bool IdleSlot::elapsed() {
  auto now = Steady::now();
  if (now < end_) return false;
  end_ = now + platform::real_duration(ms_);
  return true;
}

bool IdleSlot::wait_readable(const platform::Socket& socket) const {
  auto left = std::chrono::ceil<std::chrono::microseconds>(end_ - Steady::now());
  if (left.count() <= 0) return false;
  switch (platform::wait_readable(socket, static_cast<long>(left.count()))) {
    case platform::WaitResult::Readable:
      return true;
    case platform::WaitResult::Timeout:
      return false;
    case platform::WaitResult::Error:
      break;
  }
  std::this_thread::sleep_until(end_);
  return false;
}
