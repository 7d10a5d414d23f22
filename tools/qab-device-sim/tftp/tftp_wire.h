#pragma once
// The simulated device's own TFTP packet coding (RFC 1350; options RFC 2347,
// 2348, 2349). Written apart from the upgrader's server code on purpose, so a
// fault in one cannot hide behind the same fault in the other.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qab_sim {

struct TftpOption {
  std::string name;
  std::string value;
  bool operator==(const TftpOption&) const = default;
};
using TftpOptions = std::vector<TftpOption>;

namespace wire {

enum Opcode : uint16_t { Rrq = 1, Wrq = 2, Data = 3, Ack = 4, Error = 5, Oack = 6 };

// RFC 1350 error codes the client itself sends.
enum ErrorCode : uint16_t { Undefined = 0, IllegalOperation = 4, UnknownTransferId = 5, OptionsRefused = 8 };

inline uint16_t be16(const uint8_t* p) { return static_cast<uint16_t>((p[0] << 8) | p[1]); }

// RRQ/WRQ: opcode, file name, 0, mode, 0, then each option's name and value
// with their zero bytes (RFC 2347).
std::vector<uint8_t> request(Opcode opcode, std::string_view file_name, std::string_view mode,
                             const TftpOptions& options);
std::vector<uint8_t> ack(uint16_t block);
std::vector<uint8_t> error(uint16_t code, std::string_view message);

// Option names and values of an OACK body (after the opcode): false when a
// text lacks its zero byte or a name has no value.
bool parse_options(const uint8_t* body, size_t length, TftpOptions& out);

struct ErrorPacket {
  uint16_t code = 0;
  std::string message;
};
// An ERROR packet of `length` bytes: the code needs 4 bytes; the message runs
// to its zero byte or, when that is missing, to the end of the datagram.
std::optional<ErrorPacket> parse_error(const uint8_t* packet, size_t length);

// Case-insensitive option name comparison (RFC 2347: names are not case sensitive).
bool same_option_name(std::string_view a, std::string_view b);

}  // namespace wire
}  // namespace qab_sim
