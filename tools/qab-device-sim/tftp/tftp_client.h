#pragma once
// The simulated QAB device's TFTP client: one read transfer (RFC 1350) with
// options (RFC 2347, blksize RFC 2348, tsize and timeout RFC 2349), run to its
// end on the calling thread, with switchable faults so tests can see how a
// server copes with a lossy or misbehaving device.
//
// Every time here is in milliseconds of the installed platform clock
// (platform/clock.h), so a test that runs the clock fast runs the device's
// timeouts, stalls and limits fast too. Every fetch ends: each wait is bounded
// by the resend timeout and the whole fetch by `give_up_after_ms`.
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "tools/qab-device-sim/tftp/tftp_wire.h"

namespace qab_sim {

// What a QAB device names in its read request: tsize 0 (the server answers
// with the size) and the time-out it would like the server to use.
TftpOptions device_request_options(unsigned timeout_seconds = 5);

// Datagrams a misbehaving device may send to the server besides its ACKs.
// A sound server ignores every one of them.
enum class StrayKind {
  Tiny,           // 1 byte: no opcode
  TruncatedAck,   // 3 bytes: an ACK cut inside its block number
  OversizedAck,   // an ACK of the awaited block, padded to 1,100 bytes
  UnknownOpcode,  // opcode 9
  Data,           // a DATA packet, as if the device were sending a file
  Wrq,            // a write request for the same file
  RepeatedRrq,    // the read request again
  Error,          // ERROR 0 "stray": a server that aborts on it ends the transfer
};

struct TftpFaults {
  // Fractions (0..1) of datagrams lost on the way out and on the way in,
  // drawn from a generator seeded with `seed`: the same seed loses the same
  // packets of the same sequence.
  double drop_sent = 0;
  double drop_received = 0;
  uint64_t seed = 1;
  // Every ACK goes out twice in a row.
  bool duplicate_acks = false;
  // Every ACK is followed by a late copy of the ACK before it, as if the
  // network had delivered an old duplicate out of order.
  bool reorder_acks = false;
  // The first ACK of this block (0: the ACK of the OACK) goes out from another
  // source port instead of the request's; later ones come from the right port.
  std::optional<uint32_t> ack_from_other_port;
  // Sent to the server's transfer port before each ACK, in this order.
  std::vector<StrayKind> stray_datagrams;
  bool strays_from_other_port = false;
  // On first receiving this block, wait `stall_ms` before acknowledging it.
  std::optional<uint32_t> stall_at_block;
  uint32_t stall_ms = 0;
  // On receiving this block (0: the OACK), stop answering: nothing more is
  // sent or taken. The device keeps counting what the server still sends for
  // `reboot_listen_ms`, then the fetch ends.
  std::optional<uint32_t> reboot_at_block;
  uint32_t reboot_listen_ms = 0;
};

struct FetchOptions {
  uint32_t server_address = 0;  // host byte order, like platform/net.h
  uint16_t server_port = 69;
  std::string file_name;
  uint32_t local_address = 0;  // the device's own address, e.g. 127.0.0.2
  uint16_t local_port = 0;     // 0: any free port
  std::string mode = "octet";  // sent as given; the data is kept byte for byte
  TftpOptions request_options = device_request_options();
  // Wait for the server's next packet this long before sending the last packet
  // again, at most `retries` times in a row.
  uint32_t timeout_ms = 1000;
  uint32_t retries = 5;
  // After the last ACK, stay this long to acknowledge a repeated last block
  // (RFC 1350 section 6) before the fetch counts as done.
  uint32_t dally_ms = 0;
  uint32_t give_up_after_ms = 120000;
  // When set, the received image is compared with these bytes.
  std::optional<std::span<const uint8_t>> expected;
  bool keep_image = true;
  // Answer a datagram from another address or port with ERROR 5, as RFC 1350
  // asks; it is ignored either way.
  bool answer_unknown_sources = true;
  TftpFaults faults;
};

enum class FetchEnd {
  Completed,      // the short last block was received and acknowledged
  ServerError,    // the server sent ERROR
  NoAnswer,       // the server fell silent for `retries` resends
  Rebooted,       // the reboot fault stopped the device
  ProtocolError,  // the server broke the protocol; the device sent ERROR
  SocketError,    // the device's socket could not be opened, bound or used
  TimeLimit,      // `give_up_after_ms` passed
};

const char* fetch_end_name(FetchEnd end);

struct FetchResult {
  FetchEnd end = FetchEnd::SocketError;
  std::string reason;  // why the fetch stopped, in words
  bool completed() const { return end == FetchEnd::Completed; }

  uint64_t bytes_received = 0;
  std::vector<uint8_t> image;            // when keep_image
  std::optional<bool> matches_expected;  // when an expected image was given

  bool oack_received = false;
  TftpOptions oack_options;
  TftpOptions unrequested_oack_options;  // in the OACK but not in the request
  std::optional<uint64_t> announced_size;  // the OACK's tsize
  uint32_t block_size = 512;               // the blksize in use

  uint32_t blocks = 0;             // distinct DATA blocks taken
  uint32_t last_block_size = 0;    // payload of the block taken last
  uint32_t duplicate_blocks = 0;   // copies of the block acknowledged last
  uint32_t unexpected_blocks = 0;  // DATA with any other number
  uint32_t oacks_received = 0;     // every OACK datagram, repeats and after reboot included
  uint32_t datagrams_after_reboot = 0;
  uint32_t foreign_datagrams = 0;   // from another address or port
  uint32_t malformed_datagrams = 0; // too short to read or of an unexpected opcode
  uint32_t other_port_replies = 0;  // datagrams that reached the other-port socket

  uint32_t acks_sent = 0;  // ACKs sent, copies and those the loss fault dropped included
  uint32_t resends = 0;    // packets sent again after a timeout
  uint32_t dropped_sent = 0;
  uint32_t dropped_received = 0;

  uint16_t local_port = 0;
  uint16_t server_transfer_port = 0;  // source port of the server's first reply
  uint16_t error_code = 0;            // of the server's ERROR
  std::string error_message;
};

FetchResult fetch(const FetchOptions& options);

}  // namespace qab_sim
