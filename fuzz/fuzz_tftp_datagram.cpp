// The TFTP datagram readers on a datagram of any length from 0 to 1,500 bytes.
// The readers get the length the receive reported, which is more than the
// 1,024-byte packet buffer for an oversized datagram. The buffer is a heap
// block of exactly 1,024 bytes, and every byte of it that the datagram did not
// fill is poisoned, so a reader that looks past the received length (or at an
// oversized datagram at all) is caught by the sanitizer. The readers' results
// are checked against the packet formats.
#include <sanitizer/asan_interface.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "tftp/packets.h"

namespace {

constexpr size_t longest_datagram = 1500;

[[noreturn]] void fail(const char* what, size_t length) {
  std::fprintf(stderr, "check failed: tftp datagram of %zu bytes: %s\n", length, what);
  std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > longest_datagram) return -1;  // not a datagram of an Ethernet frame
  static auto* const packet = reinterpret_cast<TftpPacket*>(new uint8_t[tftp_packet_size]);
  uint8_t* bytes = *packet;

  // What the receive leaves: the first 1,024 bytes at most; the rest of the
  // buffer holds nothing of this datagram. An oversized datagram is reported
  // with its whole length and must not be looked at.
  size_t stored = size < tftp_packet_size ? size : tftp_packet_size;
  if (stored > 0) std::memcpy(bytes, data, stored);
  size_t readable = size > tftp_packet_size ? 0 : stored;
  ASAN_POISON_MEMORY_REGION(bytes + readable, tftp_packet_size - readable);

  long length = static_cast<long>(size);
  auto opcode = read_opcode(*packet, length);
  auto block = read_ack_block(*packet, length);
  auto name = read_rrq_file_name(*packet, length);

  ASAN_UNPOISON_MEMORY_REGION(bytes, tftp_packet_size);

  bool whole = size <= tftp_packet_size;
  bool has_opcode = whole && size >= 2;
  if (opcode.has_value() != has_opcode) fail("opcode present or absent wrongly", size);
  if (opcode && *opcode != (data[0] << 8 | data[1])) fail("opcode value", size);

  bool is_ack = has_opcode && *opcode == static_cast<uint16_t>(TftpOpcode::Ack);
  if (block.has_value() != (is_ack && size >= 4)) fail("ACK block present or absent wrongly", size);
  if (block && *block != (data[2] << 8 | data[3])) fail("ACK block value", size);

  bool is_rrq = has_opcode && *opcode == static_cast<uint16_t>(TftpOpcode::Rrq);
  const void* zero = is_rrq ? std::memchr(data + 2, 0, size - 2) : nullptr;
  if (name.has_value() != (zero != nullptr)) fail("RRQ file name present or absent wrongly", size);
  if (name) {
    size_t want = static_cast<size_t>(static_cast<const uint8_t*>(zero) - (data + 2));
    if (reinterpret_cast<const uint8_t*>(name->data()) != bytes + 2) fail("file name not at byte 2", size);
    if (name->size() != want) fail("file name length", size);
  }
  return 0;
}
