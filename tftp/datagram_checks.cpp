#include "tftp/datagram_checks.h"

#include <optional>

bool names_the_file(const TftpPacket& packet, long length, std::string_view file_name) {
  std::optional<std::string_view> name = read_rrq_file_name(packet, length);
  return name && *name == file_name;
}

bool is_expected_ack(const TftpPacket& packet, long length, const sockaddr_in& from, uint32_t client_address,
                     uint16_t client_port, uint32_t next_block) {
  uint32_t address = 0;
  uint16_t port = 0;
  platform::from_sockaddr(from, address, port);
  if (address != client_address || port != client_port) return false;
  std::optional<uint16_t> block = read_ack_block(packet, length);
  return block && *block == next_block;
}
