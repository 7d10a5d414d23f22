#include "tools/qab-device-sim/tftp/tftp_faults.h"

namespace qab_sim {

bool LossDraw::lose() {
  if (fraction_ <= 0) return false;
  state_ += 0x9e3779b97f4a7c15ull;
  uint64_t z = state_;
  z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ull;
  z = (z ^ (z >> 27)) * 0x94d049bb133111ebull;
  z ^= z >> 31;
  // The top 53 bits as a fraction in [0, 1).
  double draw = static_cast<double>(z >> 11) / 9007199254740992.0;
  return draw < fraction_;
}

std::vector<uint8_t> stray_datagram(StrayKind kind, uint16_t block, const std::vector<uint8_t>& request) {
  const uint8_t hi = static_cast<uint8_t>(block >> 8);
  const uint8_t lo = static_cast<uint8_t>(block & 0xff);
  switch (kind) {
    case StrayKind::Tiny:
      return {0x00};
    case StrayKind::TruncatedAck:
      return {0x00, wire::Ack, hi};
    case StrayKind::OversizedAck: {
      std::vector<uint8_t> out(1100, 0);
      out[1] = wire::Ack;
      out[2] = hi;
      out[3] = lo;
      return out;
    }
    case StrayKind::UnknownOpcode:
      return {0x00, 0x09, hi, lo};
    case StrayKind::Data: {
      std::vector<uint8_t> out(4 + 16, 0x5a);
      out[0] = 0x00;
      out[1] = wire::Data;
      out[2] = hi;
      out[3] = lo;
      return out;
    }
    case StrayKind::Wrq: {
      std::vector<uint8_t> out = request;
      if (out.size() >= 2) out[1] = wire::Wrq;
      return out;
    }
    case StrayKind::RepeatedRrq:
      return request;
    case StrayKind::Error:
      return wire::error(wire::Undefined, "stray");
  }
  return {};
}

}  // namespace qab_sim
