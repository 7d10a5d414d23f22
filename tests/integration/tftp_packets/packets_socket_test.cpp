// The send and receive ends of the wire layer on real sockets: what goes out
// is exactly one datagram of the built bytes, and a datagram too long for the
// packet buffer is reported as such instead of being read as a shorter one.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "platform/net.h"
#include "tftp/packets.h"

namespace {

constexpr uint32_t loopback = 0x7f000001;

struct Pair : ::testing::Test {
  platform::Socket server = platform::open_udp_socket();
  platform::Socket device = platform::open_udp_socket();
  sockaddr_in server_address{};
  sockaddr_in device_address{};

  void SetUp() override {
    ASSERT_TRUE(server.valid() && device.valid());
    ASSERT_TRUE(platform::bind_socket(server, platform::to_sockaddr(loopback, 0)));
    ASSERT_TRUE(platform::bind_socket(device, platform::to_sockaddr(loopback, 0)));
    server_address = platform::to_sockaddr(loopback, platform::local_port(server));
    device_address = platform::to_sockaddr(loopback, platform::local_port(device));
    ASSERT_TRUE(platform::set_non_blocking(server, true));
  }

  // Reads the next datagram at the device, waiting at most two seconds.
  std::vector<uint8_t> device_receives() {
    if (platform::wait_readable(device, 2000000) != platform::WaitResult::Readable) return {};
    std::vector<uint8_t> buffer(2048);
    sockaddr_in from{};
    long n = platform::receive_datagram(device, buffer.data(), buffer.size(), from);
    if (n < 0) return {};
    EXPECT_EQ(from.sin_port, server_address.sin_port) << "sent from the server's own socket";
    buffer.resize(static_cast<size_t>(n));
    return buffer;
  }

  long server_receives(TftpPacket& packet, sockaddr_in& from) {
    if (platform::wait_readable(server, 2000000) != platform::WaitResult::Readable) return -2;
    return receive_packet(server, packet, from);
  }
};

TEST_F(Pair, OackAndDataGoOutAsOneDatagramEach) {
  TftpPacket packet;
  send_oack(server, packet, device_address, 1074589);
  std::vector<uint8_t> oack = device_receives();
  ASSERT_EQ(oack.size(), 26u);
  EXPECT_EQ(std::memcmp(oack.data(), "\0\6tsize\0" "1074589\0" "timeout\0" "5", 26), 0);

  std::vector<uint8_t> image(1074589);
  for (size_t i = 0; i < image.size(); ++i) image[i] = static_cast<uint8_t>(i % 251);
  uint32_t last = tftp_block_count(1074589);
  send_data_block(server, packet, image.data() + tftp_block_offset(last), tftp_block_length(1074589, last), last,
                  device_address);
  std::vector<uint8_t> data = device_receives();
  ASSERT_EQ(data.size(), 4u + 413);
  EXPECT_EQ(get_be16(data.data()), 3);
  EXPECT_EQ(get_be16(data.data() + 2), 2099);
  EXPECT_EQ(std::memcmp(data.data() + 4, image.data() + 2098 * 512, 413), 0);

  // A refused payload sends nothing at all.
  send_data_block(server, packet, image.data(), 513, 1, device_address);
  EXPECT_EQ(platform::wait_readable(device, 100000), platform::WaitResult::Timeout);
}

TEST_F(Pair, OversizedDatagramIsToldApart) {
  struct Case {
    const char* name;
    size_t size;
    bool readable;
  };
  const Case cases[] = {
      {"ACK", 4, true},
      {"exactly the buffer", tftp_packet_size, true},
      {"one byte over", tftp_packet_size + 1, false},
      {"far over", 1500, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<uint8_t> datagram(c.size, 0);
    datagram[1] = 4;
    datagram[3] = 7;
    ASSERT_EQ(platform::send_datagram(device, datagram.data(), datagram.size(), server_address),
              static_cast<long>(c.size));
    TftpPacket packet;
    sockaddr_in from{};
    long n = server_receives(packet, from);
    EXPECT_EQ(n, static_cast<long>(c.size));
    EXPECT_EQ(from.sin_port, device_address.sin_port);
    EXPECT_EQ(read_ack_block(packet, n), c.readable ? std::optional<uint16_t>(7) : std::nullopt);
  }
  // Nothing waiting on the non-blocking socket: an empty read, not a wait.
  TftpPacket packet;
  sockaddr_in from{};
  EXPECT_EQ(receive_packet(server, packet, from), -1);
}

}  // namespace
