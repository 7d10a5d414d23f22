#pragma once
// The idle poll of the listener and the transfer as a time slot of the
// installed clock (1 ms unless said otherwise). Instead of sleeping through
// the slot, a loop waits on its socket for the rest of it, so a datagram that
// arrives meanwhile is read at once; the slot itself still lasts its full
// length, however many datagrams come in during it. So the counts that the
// loops keep of elapsed slots measure time, not traffic.
#include <chrono>
#include <cstdint>

#include "platform/net.h"

class IdleSlot {
 public:
  // A slot of `ms` milliseconds of the installed clock.
  explicit IdleSlot(uint32_t ms = 1) : ms_(ms) { restart(); }

  // Starts a new slot now.
  void restart();
  // True once the current slot has run its length; the next one starts then.
  bool elapsed();
  // Waits until a datagram is waiting on `socket` (true) or the slot has run
  // out (false). A socket that reports an error is not polled again before
  // the slot's end, so an error cannot turn the loop into a busy one.
  bool wait_readable(const platform::Socket& socket) const;

 private:
  uint32_t ms_;
  std::chrono::steady_clock::time_point end_;
};
