#pragma once
// TFTP packets as they travel on the wire (RFC 1350, options RFC 2347/2349):
// the big-endian 16-bit fields, the two packets the server sends (OACK and
// DATA), bounds-checked readers for the datagrams it receives, and the block
// arithmetic of a read transfer. Nothing here keeps state; the listener and
// the transfer own their buffers and pass them in.
#include <netinet/in.h>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

#include "platform/net.h"

// Every packet is built in, and every datagram received into, one buffer of
// this size. A datagram longer than this is never looked at.
inline constexpr size_t tftp_packet_size = 1024;
using TftpPacket = uint8_t[tftp_packet_size];

// Payload of a full DATA block; a shorter block ends the transfer.
inline constexpr uint32_t tftp_block_size = 512;
// Opcode and block number in front of a DATA payload.
inline constexpr size_t tftp_data_header_size = 4;

enum class TftpOpcode : uint16_t { Rrq = 1, Wrq = 2, Data = 3, Ack = 4, Error = 5, Oack = 6 };

// Big-endian 16-bit fields: the first byte is the high one. put_be16 stores
// the low 16 bits of `value`.
uint16_t get_be16(const uint8_t* bytes);
void put_be16(uint8_t* bytes, uint32_t value);

// The option acknowledgement: always "tsize" with `image_size` in decimal and
// "timeout" "5", whatever the request asked for. Returns its length, the
// number of digits of `image_size` plus 19.
size_t build_oack(TftpPacket& packet, uint32_t image_size);
void send_oack(const platform::Socket& socket, TftpPacket& packet, const sockaddr_in& client, uint32_t image_size);

// A DATA packet: opcode 3, the low 16 bits of `block`, then `length` bytes of
// `data`. Returns its length, 4 + `length`; returns 0 and builds nothing when
// `length` is over 512, which no block of a read transfer can be.
size_t build_data_block(TftpPacket& packet, const uint8_t* data, uint32_t length, uint32_t block);
// Sends what build_data_block built, with one datagram; sends nothing when it
// built nothing.
void send_data_block(const platform::Socket& socket, TftpPacket& packet, const uint8_t* data, uint32_t length,
                     uint32_t block, const sockaddr_in& client);

// Reads one datagram into `packet`. Returns the datagram's whole length, which
// is more than tftp_packet_size when it did not fit (only the first
// tftp_packet_size bytes are stored and the readers below ignore it), or -1
// when nothing was read (nothing waiting on a non-blocking socket, or an error).
long receive_packet(const platform::Socket& socket, TftpPacket& packet, sockaddr_in& from);

// Readers of a received datagram of `length` bytes (as receive_packet reports
// it). Each gives nothing for a datagram it must ignore, and none reads past
// `length`:
// - a datagram longer than tftp_packet_size, or with a negative length;
// - the opcode: a datagram shorter than 2 bytes has none;
// - an ACK's block number: an ACK shorter than 4 bytes has none, and a
//   datagram that is not an ACK gives none; bytes after the number are not read;
// - an RRQ's file name: from byte 2 up to the first zero byte, which must lie
//   inside the datagram; a datagram that is not an RRQ gives none.
std::optional<uint16_t> read_opcode(const TftpPacket& packet, long length);
std::optional<uint16_t> read_ack_block(const TftpPacket& packet, long length);
std::optional<std::string_view> read_rrq_file_name(const TftpPacket& packet, long length);

// Block arithmetic of a read transfer of `image_size` bytes. Blocks are
// numbered from 1; every block is full except the last, which carries
// image_size mod 512 bytes, so an image whose size is a multiple of 512 ends
// with an empty block.
uint32_t tftp_block_count(uint32_t image_size);      // image_size / 512 + 1
uint32_t tftp_last_block_size(uint32_t image_size);  // image_size mod 512
// Payload length of block `block`: 512, or the last block's size for the last
// one; 0 for a number outside 1..tftp_block_count.
uint32_t tftp_block_length(uint32_t image_size, uint32_t block);
// Offset in the image of block `block`'s payload, (block - 1) * 512; 0 for
// block 0. 64 bits, so that no block number can make it wrap.
uint64_t tftp_block_offset(uint32_t block);
