// The listener's and the transfer's handling of one datagram: does it ask for
// the file being offered (names_the_file), and is it the ACK the transfer
// awaits (is_expected_ack), for a datagram of 0 to 1,500 bytes from any
// source. As in fuzz_tftp_datagram, the 1,024-byte packet buffer is a heap
// block of exactly that size whose bytes the datagram did not fill are
// poisoned, and the file name lies in a heap block of exactly its length, so
// a read past either is caught. Both answers are checked against the packet
// formats.
//
// Input: 16 bytes of setting, then the offered file name, then the datagram;
// numbers big-endian.
//   0..3   the datagram's source address         4..5   its source port
//   6..9   the transfer's client address         10..11 its port
//   12..13 the block whose ACK the transfer awaits
//   14     flags: bit 0 the client is the source itself; bit 1 the awaited
//          block is past 65,535 (65,536 is added to it)
//   15     length of the offered file name (at most 127, as the session holds)
//   then the name (up to its first zero byte, as the session stores it) and
//   the datagram: the rest of the input, at most 1,500 bytes.
#include <arpa/inet.h>
#include <sanitizer/asan_interface.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string_view>

#include "tftp/datagram_checks.h"

namespace {

constexpr size_t setting_size = 16;
constexpr size_t longest_name = 127;
constexpr size_t longest_datagram = 1500;

[[noreturn]] void fail(const char* what, size_t length) {
  std::fprintf(stderr, "check failed: tftp handling of a datagram of %zu bytes: %s\n", length, what);
  std::abort();
}

uint32_t be32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) << 24 | static_cast<uint32_t>(p[1]) << 16 | static_cast<uint32_t>(p[2]) << 8 | p[3];
}
uint16_t be16(const uint8_t* p) { return static_cast<uint16_t>(p[0] << 8 | p[1]); }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < setting_size) return -1;
  const uint8_t flags = data[14];
  const size_t name_room = data[15];
  if (name_room > longest_name || setting_size + name_room > size) return -1;
  const uint8_t* name_bytes = data + setting_size;
  const uint8_t* datagram = name_bytes + name_room;
  const size_t length = size - setting_size - name_room;
  if (length > longest_datagram) return -1;  // not a datagram of an Ethernet frame

  const uint32_t source_address = be32(data);
  const uint16_t source_port = be16(data + 4);
  const bool same = flags & 1;
  const uint32_t client_address = same ? source_address : be32(data + 6);
  const uint16_t client_port = same ? source_port : be16(data + 10);
  const uint32_t next_block = static_cast<uint32_t>(be16(data + 12)) + ((flags & 2) ? 0x10000u : 0);

  // The name as the session keeps it: up to its first zero byte, in a block
  // of exactly that length.
  const void* zero = std::memchr(name_bytes, 0, name_room);
  const size_t name_length = zero ? static_cast<size_t>(static_cast<const uint8_t*>(zero) - name_bytes) : name_room;
  std::unique_ptr<char[]> name(new char[name_length > 0 ? name_length : 1]);
  if (name_length > 0) std::memcpy(name.get(), name_bytes, name_length);
  const std::string_view file_name(name.get(), name_length);

  // What the receive leaves: the first 1,024 bytes at most, and the
  // datagram's whole length; an oversized one must not be looked at.
  static auto* const packet = reinterpret_cast<TftpPacket*>(new uint8_t[tftp_packet_size]);
  uint8_t* bytes = *packet;
  const size_t stored = length < tftp_packet_size ? length : tftp_packet_size;
  if (stored > 0) std::memcpy(bytes, datagram, stored);
  const size_t readable = length > tftp_packet_size ? 0 : stored;
  ASAN_POISON_MEMORY_REGION(bytes + readable, tftp_packet_size - readable);

  sockaddr_in from{};
  from.sin_family = AF_INET;
  from.sin_addr.s_addr = htonl(source_address);
  from.sin_port = htons(source_port);
  const bool taken = names_the_file(*packet, static_cast<long>(length), file_name);
  const bool expected = is_expected_ack(*packet, static_cast<long>(length), from, client_address, client_port,
                                        next_block);

  ASAN_UNPOISON_MEMORY_REGION(bytes, tftp_packet_size);

  // The listener: an RRQ whose file name, up to a zero byte inside the
  // datagram, is the offered one byte for byte; from any source.
  const bool whole = length <= tftp_packet_size;
  const bool opcode_rrq = whole && length >= 2 && be16(datagram) == 1;
  const void* end_of_name = opcode_rrq ? std::memchr(datagram + 2, 0, length - 2) : nullptr;
  const bool names_it = end_of_name != nullptr &&
                        static_cast<size_t>(static_cast<const uint8_t*>(end_of_name) - (datagram + 2)) == name_length &&
                        std::memcmp(datagram + 2, name.get(), name_length) == 0;
  if (taken != names_it) fail(taken ? "a request taken for another file" : "a request for the file refused", length);

  // The transfer: an ACK of the awaited block, from the client's own address
  // and port; the block number compared in full.
  const bool from_client = source_address == client_address && source_port == client_port;
  const bool ack = whole && length >= 4 && be16(datagram) == 4;
  const bool awaited = ack && from_client && be16(datagram + 2) == next_block;
  if (expected != awaited) fail(expected ? "a datagram taken for the awaited ACK" : "the awaited ACK refused", length);
  return 0;
}
