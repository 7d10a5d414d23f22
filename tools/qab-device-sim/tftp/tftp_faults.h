#pragma once
// The pieces of the client's fault switches that need no socket: the seeded
// loss generator and the catalogue of stray datagrams.
#include <cstdint>
#include <vector>

#include "tools/qab-device-sim/tftp/tftp_client.h"

namespace qab_sim {

// A small seeded generator (splitmix64): the same seed gives the same losses
// on every machine, whatever the C library's rand() does.
class LossDraw {
 public:
  LossDraw(uint64_t seed, double fraction) : state_(seed), fraction_(fraction) {}
  // True when the next datagram is lost.
  bool lose();

 private:
  uint64_t state_;
  double fraction_;
};

// The bytes of one stray datagram. `block` is the block whose ACK the server
// awaits; `request` is the read request the fetch began with.
std::vector<uint8_t> stray_datagram(StrayKind kind, uint16_t block, const std::vector<uint8_t>& request);

}  // namespace qab_sim
