#pragma once
// The pseudo-random generator behind file names and the Digest client nonce.
// Its draws lie in 0..32767 whatever the C library's rand() gives, because the
// names and the nonce are formatted from that range. Safe to use from any thread.
#include <cstdint>

namespace platform {

constexpr int random_max = 32767;

void seed_random(uint32_t seed);
int next_random();  // 0..32767

}  // namespace platform
