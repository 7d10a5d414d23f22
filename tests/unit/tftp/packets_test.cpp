#include "tftp/packets.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

Bytes bytes_of(std::string_view text) { return Bytes(text.begin(), text.end()); }

Bytes built(const TftpPacket& packet, size_t length) { return Bytes(packet, packet + length); }

TEST(Be16, ReadsAndWritesHighByteFirst) {
  uint8_t field[2];
  put_be16(field, 0x1234);
  EXPECT_EQ(field[0], 0x12);
  EXPECT_EQ(field[1], 0x34);
  EXPECT_EQ(get_be16(field), 0x1234);
  // Only the low 16 bits travel: block 65,536 goes out as 0.
  put_be16(field, 0x10000 + 0xfffe);
  EXPECT_EQ(get_be16(field), 0xfffe);
  put_be16(field, 0x10000);
  EXPECT_EQ(get_be16(field), 0);
}

TEST(Oack, ExactBytesForEachSize) {
  struct Case {
    const char* name;
    uint32_t image_size;
    std::string_view expected;
  };
  using namespace std::string_view_literals;
  const Case cases[] = {
      {"empty image", 0, "\0\6tsize\0" "0\0" "timeout\0" "5\0"sv},
      {"two blocks", 1024, "\0\6tsize\0" "1024\0" "timeout\0" "5\0"sv},
      {"embedded image", 1074589, "\0\6tsize\0" "1074589\0" "timeout\0" "5\0"sv},
      {"largest size", 4294967295u, "\0\6tsize\0" "4294967295\0" "timeout\0" "5\0"sv},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TftpPacket packet;
    std::memset(packet, 0xee, sizeof packet);
    size_t length = build_oack(packet, c.image_size);
    EXPECT_EQ(built(packet, length), bytes_of(c.expected));
    EXPECT_EQ(length, std::to_string(c.image_size).size() + 19);
    EXPECT_EQ(packet[length], 0xee) << "wrote past the packet's end";
  }
  TftpPacket packet;
  EXPECT_EQ(build_oack(packet, 1074589), 26u);
}

TEST(DataBlock, ExactBytesEmptyAndFull) {
  Bytes image(512);
  for (size_t i = 0; i < image.size(); ++i) image[i] = static_cast<uint8_t>(i * 7 + 3);

  TftpPacket packet;
  std::memset(packet, 0xee, sizeof packet);
  // The empty last block of a 1,024-byte image.
  ASSERT_EQ(build_data_block(packet, image.data(), 0, 3), 4u);
  EXPECT_EQ(built(packet, 4), (Bytes{0x00, 0x03, 0x00, 0x03}));
  EXPECT_EQ(packet[4], 0xee);

  ASSERT_EQ(build_data_block(packet, image.data(), 512, 0x0102), 516u);
  Bytes expected(516);
  expected[0] = 0x00;
  expected[1] = 0x03;
  expected[2] = 0x01;
  expected[3] = 0x02;
  std::copy(image.begin(), image.end(), expected.begin() + 4);
  EXPECT_EQ(built(packet, 516), expected);

  // The low 16 bits of the block number: 65,536 wraps to 0.
  ASSERT_EQ(build_data_block(packet, image.data(), 1, 65536), 5u);
  EXPECT_EQ(built(packet, 5), (Bytes{0x00, 0x03, 0x00, 0x00, image[0]}));
}

TEST(DataBlock, RefusesPayloadOverOneBlock) {
  Bytes image(1100, 0x55);
  TftpPacket packet;
  std::memset(packet, 0xee, sizeof packet);
  EXPECT_EQ(build_data_block(packet, image.data(), 513, 1), 0u);
  EXPECT_EQ(build_data_block(packet, image.data(), 1100, 1), 0u);
  EXPECT_EQ(packet[0], 0xee) << "nothing is built for a refused block";
}

TEST(BlockArithmetic, CountsLastBlockAndOffsets) {
  struct Case {
    const char* name;
    uint32_t image_size;
    uint32_t block_count;
    uint32_t last_block_size;
  };
  const Case cases[] = {
      {"empty image: one empty block", 0, 1, 0},
      {"one byte", 1, 1, 1},
      {"one block less a byte", 511, 1, 511},
      {"exactly one block: empty second block", 512, 2, 0},
      {"1,024 bytes: third block empty", 1024, 3, 0},
      {"embedded image", 1074589, 2099, 413},
      {"largest image of 65,535 blocks", 33553919, 65535, 511},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(tftp_block_count(c.image_size), c.block_count);
    EXPECT_EQ(tftp_last_block_size(c.image_size), c.last_block_size);
    // Walking the blocks covers the image exactly once, without gap or overlap.
    uint64_t covered = 0;
    for (uint32_t block = 1; block <= c.block_count; ++block) {
      ASSERT_EQ(tftp_block_offset(block), covered) << "block " << block;
      uint32_t length = tftp_block_length(c.image_size, block);
      ASSERT_EQ(length, block < c.block_count ? 512u : c.last_block_size) << "block " << block;
      covered += length;
    }
    EXPECT_EQ(covered, c.image_size);
    EXPECT_EQ(tftp_block_length(c.image_size, 0), 0u);
    EXPECT_EQ(tftp_block_length(c.image_size, c.block_count + 1), 0u);
  }
  EXPECT_EQ(tftp_block_offset(2099), 2098u * 512);
  EXPECT_EQ(tftp_block_offset(0), 0u);
  EXPECT_EQ(tftp_block_offset(4294967295u), 4294967294ull * 512);
}

// One table for every reader, over datagrams that must be read, ignored
// (too short, cut short, unterminated, oversized) or that are something else.
TEST(Readers, ReadOnlyWhatWasReceived) {
  using namespace std::string_view_literals;
  struct Case {
    const char* name;
    std::string_view bytes;  // what the buffer holds
    long length;             // what the receive reported
    std::optional<uint16_t> opcode;
    std::optional<uint16_t> ack_block;
    std::optional<std::string_view> file_name;
  };
  const std::string_view rrq = "\0\1/qab1a2b.bi1\0octet\0"sv;
  const Case cases[] = {
      {"nothing received", ""sv, -1, {}, {}, {}},
      {"empty datagram", ""sv, 0, {}, {}, {}},
      {"one byte: no opcode", "\0\4\0\5"sv, 1, {}, {}, {}},
      {"opcode only ACK", "\0\4\0\5"sv, 2, 4, {}, {}},
      {"ACK cut in its block number", "\0\4\0\5"sv, 3, 4, {}, {}},
      {"ACK of block 5", "\0\4\0\5"sv, 4, 4, 5, {}},
      {"ACK with trailing bytes", "\0\4\1\2xyz"sv, 7, 4, 0x0102, {}},
      {"ACK of the OACK", "\0\4\0\0"sv, 4, 4, 0, {}},
      {"DATA is no ACK", "\0\3\0\5"sv, 4, 3, {}, {}},
      {"ERROR", "\0\5\0\1nope\0"sv, 9, 5, {}, {}},
      {"unknown opcode", "\xff\xff\0\1"sv, 4, 0xffff, {}, {}},
      {"RRQ with mode", rrq, static_cast<long>(rrq.size()), 1, {}, "/qab1a2b.bi1"sv},
      {"RRQ name ends at the last byte", "\0\1/f\0"sv, 5, 1, {}, "/f"sv},
      {"RRQ empty name", "\0\1\0octet\0"sv, 9, 1, {}, ""sv},
      {"RRQ opcode only", "\0\1"sv, 2, 1, {}, {}},
      {"RRQ name without its zero byte", "\0\1/qab"sv, 6, 1, {}, {}},
      {"RRQ zero byte only beyond the datagram", "\0\1/qab\0"sv, 6, 1, {}, {}},
      {"WRQ is no RRQ", "\0\2/f\0octet\0"sv, 11, 2, {}, {}},
      {"oversized ACK", "\0\4\0\5"sv, 1025, {}, {}, {}},
      {"oversized RRQ", rrq, 70000, {}, {}, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TftpPacket packet;
    // Several rows hold more bytes than were received (a block number, a zero
    // byte) and the rest of the buffer is zero: a reader that looked past
    // `length` would find a number or a terminator it must not use.
    std::memset(packet, 0, sizeof packet);
    std::memcpy(packet, c.bytes.data(), c.bytes.size());
    EXPECT_EQ(read_opcode(packet, c.length), c.opcode);
    EXPECT_EQ(read_ack_block(packet, c.length), c.ack_block);
    EXPECT_EQ(read_rrq_file_name(packet, c.length), c.file_name);
  }
}

TEST(Readers, AcceptFullSizeDatagram) {
  TftpPacket packet;
  std::memset(packet, 'a', sizeof packet);
  put_be16(packet, 1);
  packet[tftp_packet_size - 1] = 0;
  auto name = read_rrq_file_name(packet, tftp_packet_size);
  ASSERT_TRUE(name.has_value());
  EXPECT_EQ(name->size(), tftp_packet_size - 3);
  packet[tftp_packet_size - 1] = 'a';
  EXPECT_FALSE(read_rrq_file_name(packet, tftp_packet_size).has_value());
}

}  // namespace
