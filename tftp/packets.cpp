#include "tftp/packets.h"

#include <sys/socket.h>

#include <cerrno>
#include <charconv>
#include <cstring>

uint16_t get_be16(const uint8_t* bytes) { return static_cast<uint16_t>((bytes[0] << 8) | bytes[1]); }

void put_be16(uint8_t* bytes, uint32_t value) {
  bytes[0] = static_cast<uint8_t>((value >> 8) & 0xff);
  bytes[1] = static_cast<uint8_t>(value & 0xff);
}

namespace {

// Appends `text` and its zero byte at `at`; returns the offset after them.
size_t put_text(TftpPacket& packet, size_t at, std::string_view text) {
  std::memcpy(packet + at, text.data(), text.size());
  at += text.size();
  packet[at] = 0;
  return at + 1;
}

}  // namespace

size_t build_oack(TftpPacket& packet, uint32_t image_size) {
  // Ten digits at most, so the packet never exceeds 29 bytes.
  char digits[10];
  auto [end, ec] = std::to_chars(digits, digits + sizeof digits, image_size);
  (void)ec;  // a 32-bit value always fits in ten digits
  put_be16(packet, static_cast<uint32_t>(TftpOpcode::Oack));
  size_t at = 2;
  at = put_text(packet, at, "tsize");
  at = put_text(packet, at, std::string_view(digits, static_cast<size_t>(end - digits)));
  at = put_text(packet, at, "timeout");
  at = put_text(packet, at, "5");
  return at;
}

void send_oack(const platform::Socket& socket, TftpPacket& packet, const sockaddr_in& client, uint32_t image_size) {
  size_t length = build_oack(packet, image_size);
  platform::send_datagram(socket, packet, length, client);
}

size_t build_data_block(TftpPacket& packet, const uint8_t* data, uint32_t length, uint32_t block) {
  if (length > tftp_block_size) return 0;
  put_be16(packet, static_cast<uint32_t>(TftpOpcode::Data));
  put_be16(packet + 2, block);
  if (length > 0) std::memcpy(packet + tftp_data_header_size, data, length);
  return tftp_data_header_size + length;
}

void send_data_block(const platform::Socket& socket, TftpPacket& packet, const uint8_t* data, uint32_t length,
                     uint32_t block, const sockaddr_in& client) {
  size_t size = build_data_block(packet, data, length, block);
  if (size > 0) platform::send_datagram(socket, packet, size, client);
}

long receive_packet(const platform::Socket& socket, TftpPacket& packet, sockaddr_in& from) {
  // MSG_TRUNC makes recvfrom report the datagram's real length even when only
  // part of it fitted, so an oversized datagram is told apart from one of
  // exactly tftp_packet_size bytes without a larger scratch buffer and copy.
  ssize_t r;
  do {
    socklen_t from_length = sizeof from;
    from = sockaddr_in{};
    r = ::recvfrom(socket.fd(), packet, tftp_packet_size, MSG_TRUNC, reinterpret_cast<sockaddr*>(&from),
                   &from_length);
  } while (r < 0 && errno == EINTR);
  return r < 0 ? -1 : static_cast<long>(r);
}

namespace {

bool readable(long length) { return length >= 0 && static_cast<size_t>(length) <= tftp_packet_size; }

}  // namespace

std::optional<uint16_t> read_opcode(const TftpPacket& packet, long length) {
  if (!readable(length) || length < 2) return std::nullopt;
  return get_be16(packet);
}

std::optional<uint16_t> read_ack_block(const TftpPacket& packet, long length) {
  if (read_opcode(packet, length) != static_cast<uint16_t>(TftpOpcode::Ack) || length < 4) return std::nullopt;
  return get_be16(packet + 2);
}

std::optional<std::string_view> read_rrq_file_name(const TftpPacket& packet, long length) {
  if (read_opcode(packet, length) != static_cast<uint16_t>(TftpOpcode::Rrq)) return std::nullopt;
  const uint8_t* name = packet + 2;
  size_t room = static_cast<size_t>(length) - 2;
  const void* zero = std::memchr(name, 0, room);
  if (zero == nullptr) return std::nullopt;
  size_t name_length = static_cast<size_t>(static_cast<const uint8_t*>(zero) - name);
  return std::string_view(reinterpret_cast<const char*>(name), name_length);
}

uint32_t tftp_block_count(uint32_t image_size) { return image_size / tftp_block_size + 1; }

uint32_t tftp_last_block_size(uint32_t image_size) { return image_size % tftp_block_size; }

uint32_t tftp_block_length(uint32_t image_size, uint32_t block) {
  uint32_t count = tftp_block_count(image_size);
  if (block == 0 || block > count) return 0;
  return block == count ? tftp_last_block_size(image_size) : tftp_block_size;
}

uint64_t tftp_block_offset(uint32_t block) {
  return block == 0 ? 0 : static_cast<uint64_t>(block - 1) * tftp_block_size;
}
