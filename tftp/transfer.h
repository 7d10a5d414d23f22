#pragma once
// One TFTP read transfer of the current stage's firmware image to the device
// whose read request the listener accepted: an option acknowledgement, then
// 512-byte DATA blocks, each after the ACK of the one before, the last packet
// repeated while the device is silent, with the upload screen showing the
// progress. It runs on the listener's thread and socket, and ends in the
// flash wait and verification.
#include <cstdint>

#include "app/session.h"
#include "platform/net.h"
#include "tftp/packets.h"

// A silent tick is this many idle polls of at least 1 ms: the last packet is
// sent again after at least 100 ms without the expected ACK.
inline constexpr uint32_t tftp_polls_per_tick = 100;
// The 30th silent tick in a row (at least 3 s of silence, after 29 repeats)
// ends the transfer as incomplete.
inline constexpr uint32_t tftp_silent_tick_limit = 30;

// The state of one transfer; serve_image makes it and releases it.
struct TftpSession {
  const platform::Socket* socket = nullptr;  // the listener's, borrowed, non-blocking
  uint32_t local_address = 0;                // host order; the re-probe is sent from it
  uint32_t client_address = 0;               // host order: source of the accepted request
  uint16_t client_port = 0;
  const uint8_t* image_data = nullptr;  // the image served, in place
  uint32_t image_size = 0;
  uint32_t block_count = 0;      // image_size / 512 + 1
  uint32_t last_block_size = 0;  // image_size mod 512: the payload of block block_count
  uint32_t next_block = 0;       // the block whose ACK is awaited; 0: the OACK's
  uint32_t block_size = 0;       // payload of the DATA block sent last
  uint32_t bytes_acked = 0;
  TftpPacket packet = {};  // every packet is built and every datagram received here
};

// Serves the image of `s.stage` to the client, then runs the flash wait and
// verification; returns when the pass is over. Cancel on the upload screen
// ends the process with "Upgrade Failed: User Abort".
void serve_image(const platform::Socket& socket, uint32_t local_address, uint32_t client_address,
                 uint16_t client_port, UpgradeSession& s = session());
