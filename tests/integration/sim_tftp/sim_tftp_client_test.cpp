// The simulated device's TFTP client fetching from tftpd-hpa on loopback, in
// the test's own network namespace: whole images with and without options,
// loss both ways, the server's ERROR, and the client's fault switches.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <vector>

#include "tests/integration/sim_tftp/tftpd_hpa.h"
#include "tools/qab-device-sim/tftp/tftp_client.h"

namespace {

using qab_sim::FetchEnd;
using qab_sim::FetchOptions;
using qab_sim::FetchResult;
using qab_sim::TftpOption;
using qab_sim::TftpOptions;

constexpr uint32_t server_address = 0x7f000001;  // 127.0.0.1
constexpr uint32_t device_address = 0x7f000002;  // 127.0.0.2
constexpr uint16_t server_port = 69;
constexpr uint32_t image_size = 1074589;         // 2,099 blocks, the last of 413 bytes
const char* const file_name = "qab1a2b.bin";

std::vector<uint8_t> make_image(uint32_t size) {
  std::vector<uint8_t> image(size);
  uint32_t x = 0x12345678;
  for (uint8_t& b : image) {
    x = x * 1103515245u + 12345u;
    b = static_cast<uint8_t>(x >> 23);
  }
  return image;
}

class AgainstTftpdHpa : public ::testing::Test {
 protected:
  void SetUp() override {
    if (TftpdHpa::program().empty()) {
      GTEST_SKIP() << "in.tftpd not installed: install Debian's tftpd-hpa package to run these tests";
    }
    image_ = make_image(image_size);
  }

  // Starts the server; `retransmit_us` is its resend time when the client
  // names no timeout option.
  void serve(long retransmit_us = 1000000) {
    ASSERT_TRUE(server_.start(file_name, image_, server_port, retransmit_us)) << server_.error();
  }

  FetchOptions options() const {
    FetchOptions o;
    o.server_address = server_address;
    o.server_port = server_port;
    o.file_name = file_name;
    o.local_address = device_address;
    o.expected = std::span<const uint8_t>(image_);
    o.timeout_ms = 1000;
    o.retries = 5;
    o.give_up_after_ms = 60000;
    return o;
  }

  static void expect_intact(const FetchResult& r, const std::vector<uint8_t>& image) {
    EXPECT_EQ(r.end, FetchEnd::Completed) << r.reason;
    EXPECT_EQ(r.bytes_received, image.size());
    EXPECT_EQ(r.blocks, 2099u);
    EXPECT_EQ(r.last_block_size, 413u);
    EXPECT_EQ(r.matches_expected, std::optional<bool>(true));
    EXPECT_TRUE(r.image == image) << "received image differs from the served file";
  }

  std::vector<uint8_t> image_;
  TftpdHpa server_;
};

TEST_F(AgainstTftpdHpa, WholeImageWithAndWithoutOptions) {
  serve();
  struct Case {
    const char* name;
    TftpOptions request;
    bool oack;
    TftpOptions acknowledged;
  };
  const Case cases[] = {
      {"device options", qab_sim::device_request_options(1), true, {{"tsize", "1074589"}, {"timeout", "1"}}},
      {"no options: DATA answers the request", {}, false, {}},
      {"an option the server does not know is left out of the OACK",
       {{"tsize", "0"}, {"qabextra", "1"}},
       true,
       {{"tsize", "1074589"}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FetchOptions o = options();
    o.request_options = c.request;
    FetchResult r = qab_sim::fetch(o);
    expect_intact(r, image_);
    EXPECT_EQ(r.oack_received, c.oack);
    EXPECT_EQ(r.oack_options, c.acknowledged);
    EXPECT_TRUE(r.unrequested_oack_options.empty());
    EXPECT_EQ(r.announced_size, c.oack ? std::optional<uint64_t>(image_size) : std::nullopt);
    // tftpd-hpa answers from a port of its own: the client follows it.
    EXPECT_NE(r.server_transfer_port, 0);
    EXPECT_NE(r.server_transfer_port, server_port);
    EXPECT_EQ(r.foreign_datagrams, 0u);
    EXPECT_EQ(r.unexpected_blocks, 0u);
  }
}

TEST_F(AgainstTftpdHpa, TenPercentLossEachWayStillCompletes) {
  // Fast resends on both sides keep the run short; without a timeout option
  // the server uses its own 20 ms.
  serve(20000);
  FetchOptions o = options();
  o.request_options = {{"tsize", "0"}};
  o.timeout_ms = 30;
  o.retries = 20;
  o.dally_ms = 200;
  o.faults.drop_sent = 0.10;
  o.faults.drop_received = 0.10;
  o.faults.seed = 6;
  FetchResult r = qab_sim::fetch(o);
  expect_intact(r, image_);
  // Losses really happened both ways and were repaired by resends.
  EXPECT_GT(r.dropped_sent, 100u);
  EXPECT_GT(r.dropped_received, 100u);
  EXPECT_GT(r.resends, 0u);
  EXPECT_GT(r.duplicate_blocks, 0u);
}

TEST_F(AgainstTftpdHpa, FileNotFoundEndsCleanly) {
  serve();
  FetchOptions o = options();
  o.file_name = "no-such-file.bin";
  auto started = std::chrono::steady_clock::now();
  FetchResult r = qab_sim::fetch(o);
  EXPECT_EQ(r.end, FetchEnd::ServerError) << r.reason;
  EXPECT_EQ(r.error_code, 1);
  EXPECT_EQ(r.error_message, "File not found");
  EXPECT_EQ(r.bytes_received, 0u);
  EXPECT_EQ(r.matches_expected, std::optional<bool>(false));
  EXPECT_EQ(r.resends, 0u) << "the ERROR ends the fetch without waiting";
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(1));
}

TEST_F(AgainstTftpdHpa, ServerAwayEndsAfterBoundedResends) {
  // Nothing listens: the request is resent `retries` times, then the fetch ends.
  FetchOptions o = options();
  o.timeout_ms = 50;
  o.retries = 3;
  FetchResult r = qab_sim::fetch(o);
  EXPECT_EQ(r.end, FetchEnd::NoAnswer) << r.reason;
  EXPECT_EQ(r.resends, 3u);
  EXPECT_EQ(r.bytes_received, 0u);
}

// The device's misbehaviours against a server that is known to cope with
// them: each fetch must still bring the image intact, or end as the fault says.
TEST_F(AgainstTftpdHpa, FaultSwitches) {
  serve(20000);
  struct Case {
    const char* name;
    void (*set)(FetchOptions&);
    void (*check)(const FetchResult&, const std::vector<uint8_t>&);
  };
  const Case cases[] = {
      {"every ACK twice",
       [](FetchOptions& o) { o.faults.duplicate_acks = true; },
       [](const FetchResult& r, const std::vector<uint8_t>& image) {
         expect_intact(r, image);
         EXPECT_GE(r.acks_sent, 2u * 2100);
       }},
      {"stale ACK after each ACK",
       [](FetchOptions& o) { o.faults.reorder_acks = true; },
       [](const FetchResult& r, const std::vector<uint8_t>& image) {
         expect_intact(r, image);
         EXPECT_GE(r.acks_sent, 2u * 2099);
       }},
      {"first ACK of block 5 from another port",
       [](FetchOptions& o) { o.faults.ack_from_other_port = 5; },
       [](const FetchResult& r, const std::vector<uint8_t>& image) {
         expect_intact(r, image);
         // The server ignored it and repeated block 5, which was then
         // acknowledged from the right port; it never answered the other port.
         EXPECT_GE(r.duplicate_blocks, 1u);
         EXPECT_EQ(r.other_port_replies, 0u);
       }},
      {"stall of 300 ms at block 10",
       [](FetchOptions& o) {
         o.faults.stall_at_block = 10;
         o.faults.stall_ms = 300;
       },
       [](const FetchResult& r, const std::vector<uint8_t>& image) {
         expect_intact(r, image);
         EXPECT_GE(r.duplicate_blocks, 1u) << "the server resent block 10 during the stall";
       }},
      {"strays before each ACK (all but ERROR, which this server rightly aborts on)",
       [](FetchOptions& o) {
         using K = qab_sim::StrayKind;
         o.faults.stray_datagrams = {K::Tiny, K::TruncatedAck, K::OversizedAck, K::UnknownOpcode,
                                     K::Data, K::Wrq,          K::RepeatedRrq};
       },
       [](const FetchResult& r, const std::vector<uint8_t>& image) { expect_intact(r, image); }},
      {"reboot at block 100",
       [](FetchOptions& o) {
         o.faults.reboot_at_block = 100;
         o.faults.reboot_listen_ms = 300;
       },
       [](const FetchResult& r, const std::vector<uint8_t>&) {
         EXPECT_EQ(r.end, FetchEnd::Rebooted) << r.reason;
         EXPECT_EQ(r.blocks, 99u);
         EXPECT_EQ(r.bytes_received, 99u * 512);
         EXPECT_GE(r.datagrams_after_reboot, 1u) << "the server went on resending block 100";
         EXPECT_EQ(r.matches_expected, std::optional<bool>(false));
       }},
      {"reboot before acknowledging the OACK",
       [](FetchOptions& o) {
         o.faults.reboot_at_block = 0;
         o.faults.reboot_listen_ms = 300;
       },
       [](const FetchResult& r, const std::vector<uint8_t>&) {
         EXPECT_EQ(r.end, FetchEnd::Rebooted) << r.reason;
         EXPECT_EQ(r.blocks, 0u);
         EXPECT_GE(r.oacks_received, 2u) << "the server repeated its OACK";
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FetchOptions o = options();
    o.request_options = {{"tsize", "0"}};
    o.timeout_ms = 200;
    c.set(o);
    FetchResult r = qab_sim::fetch(o);
    c.check(r, image_);
  }
}

}  // namespace
