#include "platform/random.h"

#include <mutex>

namespace platform {
namespace {
std::mutex lock;
uint32_t state = 1;
}  // namespace

void seed_random(uint32_t seed) {
  std::lock_guard guard(lock);
  state = seed;
}

int next_random() {
  std::lock_guard guard(lock);
  // A linear congruential step; the upper bits are the better ones.
  state = state * 214013u + 2531011u;
  return static_cast<int>((state >> 16) & 0x7fffu);
}

}  // namespace platform
