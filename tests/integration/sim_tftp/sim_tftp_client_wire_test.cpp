// The simulated device's TFTP client against a scripted server on loopback:
// the exact datagrams it sends, from which port, and how it answers what a
// reference server never sends (options it did not ask for, oversized
// blocks, datagrams from a stranger).
#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "platform/net.h"
#include "tools/qab-device-sim/tftp/tftp_client.h"

namespace {

using namespace std::string_literals;
using Bytes = std::vector<uint8_t>;
using qab_sim::FetchEnd;
using qab_sim::FetchOptions;
using qab_sim::FetchResult;
using qab_sim::StrayKind;
using qab_sim::TftpOptions;

constexpr uint32_t server_address = 0x7f000001;
constexpr uint32_t device_address = 0x7f000002;

Bytes bytes(const std::string& s) { return Bytes(s.begin(), s.end()); }

Bytes data_block(uint16_t block, size_t length, uint8_t fill) {
  Bytes out(4 + length, fill);
  out[0] = 0;
  out[1] = 3;
  out[2] = static_cast<uint8_t>(block >> 8);
  out[3] = static_cast<uint8_t>(block);
  return out;
}

Bytes ack(uint16_t block) { return {0, 4, static_cast<uint8_t>(block >> 8), static_cast<uint8_t>(block)}; }

struct Received {
  Bytes bytes;
  uint16_t port = 0;
  uint32_t address = 0;
};

// One UDP socket on 127.0.0.1 that reads with a bound on every wait.
struct Peer {
  platform::Socket socket = platform::open_udp_socket();
  uint16_t port = 0;

  Peer() {
    EXPECT_TRUE(platform::bind_socket(socket, platform::to_sockaddr(server_address, 0)));
    port = platform::local_port(socket);
  }
  Received receive(long timeout_us = 2000000) {
    Received r;
    if (platform::wait_readable(socket, timeout_us) != platform::WaitResult::Readable) return r;
    Bytes buffer(70000);
    sockaddr_in from{};
    long n = platform::receive_datagram(socket, buffer.data(), buffer.size(), from);
    if (n < 0) return r;
    buffer.resize(static_cast<size_t>(n));
    r.bytes = std::move(buffer);
    platform::from_sockaddr(from, r.address, r.port);
    return r;
  }
  void send(const Bytes& b, uint16_t to_port) {
    platform::send_datagram(socket, b.data(), b.size(), platform::to_sockaddr(device_address, to_port));
  }
};

struct ScriptedServer : ::testing::Test {
  Peer server;
  std::future<FetchResult> fetching;

  FetchOptions options() const {
    FetchOptions o;
    o.server_address = server_address;
    o.server_port = server.port;
    o.file_name = "/qab1a2b.bi1";
    o.local_address = device_address;
    o.timeout_ms = 300;
    o.retries = 3;
    o.give_up_after_ms = 10000;
    return o;
  }
  void start(FetchOptions o) {
    fetching = std::async(std::launch::async, [o] { return qab_sim::fetch(o); });
  }
  FetchResult result() {
    EXPECT_EQ(fetching.wait_for(std::chrono::seconds(15)), std::future_status::ready);
    return fetching.get();
  }
};

TEST_F(ScriptedServer, TakesUnaskedOptionsAnswersStrangersAndAcksDuplicates) {
  FetchOptions o = options();
  o.request_options = {};
  o.mode = "netascii";
  start(o);
  Received rrq = server.receive();
  EXPECT_EQ(rrq.bytes, bytes("\0\1/qab1a2b.bi1\0netascii\0"s));
  EXPECT_EQ(rrq.address, device_address);
  const uint16_t device = rrq.port;

  // Options the request never named, as the upgrader always sends them.
  server.send(bytes("\0\6tsize\0" "515\0" "timeout\0" "5\0"s), device);
  Received r = server.receive();
  EXPECT_EQ(r.bytes, ack(0));
  EXPECT_EQ(r.port, device) << "every ACK comes from the request's port";

  server.send(data_block(1, 512, 0x11), device);
  EXPECT_EQ(server.receive().bytes, ack(1));
  server.send(data_block(1, 512, 0x11), device);
  EXPECT_EQ(server.receive().bytes, ack(1)) << "a repeated block is acknowledged again";

  // A stranger's DATA for the awaited block: answered with ERROR 5, not taken.
  Peer stranger;
  stranger.send(data_block(2, 3, 0x66), device);
  EXPECT_EQ(stranger.receive().bytes, bytes("\0\5\0\5Unknown transfer ID\0"s));

  server.send(data_block(2, 3, 0x22), device);
  EXPECT_EQ(server.receive().bytes, ack(2));

  FetchResult f = result();
  EXPECT_EQ(f.end, FetchEnd::Completed) << f.reason;
  Bytes expected(512, 0x11);
  expected.insert(expected.end(), 3, 0x22);
  EXPECT_EQ(f.image, expected);
  EXPECT_EQ(f.unrequested_oack_options, (TftpOptions{{"tsize", "515"}, {"timeout", "5"}}));
  EXPECT_EQ(f.announced_size, std::optional<uint64_t>(515));
  EXPECT_EQ(f.server_transfer_port, server.port);
  EXPECT_EQ(f.duplicate_blocks, 1u);
  EXPECT_EQ(f.foreign_datagrams, 1u);
}

TEST_F(ScriptedServer, RefusesBlockLargerThanAgreed) {
  start(options());
  Received rrq = server.receive();
  EXPECT_EQ(rrq.bytes, bytes("\0\1/qab1a2b.bi1\0octet\0tsize\0" "0\0timeout\0" "5\0"s));
  server.send(data_block(1, 600, 0x33), rrq.port);
  Received r = server.receive();
  ASSERT_GE(r.bytes.size(), 4u);
  EXPECT_EQ(Bytes(r.bytes.begin(), r.bytes.begin() + 4), (Bytes{0, 5, 0, 4}));
  FetchResult f = result();
  EXPECT_EQ(f.end, FetchEnd::ProtocolError) << f.reason;
  EXPECT_EQ(f.bytes_received, 0u);
}

TEST_F(ScriptedServer, FaultSwitchesOnTheWire) {
  FetchOptions o = options();
  o.faults.stray_datagrams = {StrayKind::Tiny, StrayKind::TruncatedAck, StrayKind::OversizedAck,
                              StrayKind::UnknownOpcode, StrayKind::Data, StrayKind::Wrq,
                              StrayKind::RepeatedRrq, StrayKind::Error};
  o.faults.duplicate_acks = true;
  o.faults.reorder_acks = true;
  o.faults.ack_from_other_port = 1;
  start(o);
  Received rrq = server.receive();
  const uint16_t device = rrq.port;
  auto expect_strays = [&](uint16_t block) {
    const uint8_t hi = static_cast<uint8_t>(block >> 8), lo = static_cast<uint8_t>(block);
    Bytes oversized(1100, 0);
    oversized[1] = 4;
    oversized[2] = hi;
    oversized[3] = lo;
    Bytes data = data_block(block, 16, 0x5a);
    Bytes wrq = rrq.bytes;
    wrq[1] = 2;
    const Bytes strays[] = {{0}, {0, 4, hi}, oversized, {0, 9, hi, lo}, data, wrq, rrq.bytes,
                            bytes("\0\5\0\0stray\0"s)};
    for (const Bytes& stray : strays) {
      Received r = server.receive();
      EXPECT_EQ(r.bytes, stray);
      EXPECT_EQ(r.port, device);
    }
  };

  server.send(bytes("\0\6tsize\0" "512\0" "timeout\0" "5\0"s), device);
  expect_strays(0);
  EXPECT_EQ(server.receive().bytes, ack(0));
  EXPECT_EQ(server.receive().bytes, ack(0)) << "every ACK twice";

  server.send(data_block(1, 512, 0x44), device);
  expect_strays(1);
  Received moved = server.receive();
  EXPECT_EQ(moved.bytes, ack(1));
  EXPECT_NE(moved.port, device) << "the first ACK of block 1 comes from another port";
  Received stale = server.receive();
  EXPECT_EQ(stale.bytes, ack(0)) << "a stale ACK follows each ACK";
  EXPECT_EQ(stale.port, device);

  // The server repeats block 1 as if it had not heard the moved ACK.
  server.send(data_block(1, 512, 0x44), device);
  for (const Bytes& expected : {ack(1), ack(1), ack(0)}) {
    Received r = server.receive();
    EXPECT_EQ(r.bytes, expected);
    EXPECT_EQ(r.port, device);
  }
  server.send(data_block(2, 0, 0), device);
  expect_strays(2);
  for (const Bytes& expected : {ack(2), ack(2), ack(1)}) EXPECT_EQ(server.receive().bytes, expected);

  FetchResult f = result();
  EXPECT_EQ(f.end, FetchEnd::Completed) << f.reason;
  EXPECT_EQ(f.bytes_received, 512u);
  EXPECT_EQ(f.blocks, 2u);
  EXPECT_EQ(f.last_block_size, 0u);
}

TEST_F(ScriptedServer, RebootedDeviceStaysSilentAndCounts) {
  FetchOptions o = options();
  o.faults.reboot_at_block = 0;
  o.faults.reboot_listen_ms = 600;
  start(o);
  Received rrq = server.receive();
  const Bytes oack = bytes("\0\6tsize\0" "9\0" "timeout\0" "5\0"s);
  for (int i = 0; i < 4; ++i) {
    server.send(oack, rrq.port);
    EXPECT_TRUE(server.receive(100000).bytes.empty()) << "a rebooted device sends nothing";
  }
  FetchResult f = result();
  EXPECT_EQ(f.end, FetchEnd::Rebooted) << f.reason;
  EXPECT_EQ(f.oacks_received, 4u);
  EXPECT_EQ(f.acks_sent, 0u);
}

TEST_F(ScriptedServer, LossOfEverythingEndsAfterBoundedResends) {
  FetchOptions o = options();
  o.timeout_ms = 50;
  o.faults.drop_sent = 1.0;
  start(o);
  EXPECT_TRUE(server.receive(500000).bytes.empty()) << "every datagram is lost on the way out";
  FetchResult f = result();
  EXPECT_EQ(f.end, FetchEnd::NoAnswer) << f.reason;
  EXPECT_EQ(f.resends, 3u);
  EXPECT_EQ(f.dropped_sent, 4u);
}

TEST_F(ScriptedServer, TimesFollowTheInstalledClock) {
  // Twenty times faster: three resends of 1,000 clock ms and a stall of
  // 2,000 take a fraction of what they would in real time.
  platform::ScaledClock fast(0, 20);
  platform::install_clock(&fast);
  FetchOptions o = options();
  o.timeout_ms = 1000;
  o.faults.stall_at_block = 1;
  o.faults.stall_ms = 2000;
  auto started = std::chrono::steady_clock::now();
  start(o);
  Received rrq = server.receive();
  server.send(data_block(1, 512, 0x44), rrq.port);
  EXPECT_EQ(server.receive().bytes, ack(1));
  FetchResult f = result();
  auto took = std::chrono::steady_clock::now() - started;
  platform::install_clock(nullptr);
  EXPECT_EQ(f.end, FetchEnd::NoAnswer) << f.reason;
  EXPECT_EQ(f.resends, 3u);
  EXPECT_GE(took, std::chrono::milliseconds(250));
  EXPECT_LT(took, std::chrono::milliseconds(1500)) << "5 s of clock time at 20 times the speed";
}

}  // namespace
