// The transfer against a device played by hand, datagram by datagram, with
// the clock at real speed: the exact bytes of every packet, and what moves
// the transfer on and what does not. A packet the server repeats because the
// device fell silent comes at least 100 ms of the clock after the one before,
// so anything sooner is an answer to what the device just sent.
#include <atomic>

#include "tests/integration/tftp/pass_fixture.h"
#include "tftp/transfer.h"

namespace {

using std::chrono::nanoseconds;

Bytes data_packet(uint16_t block, const Bytes& image, size_t offset, size_t length) {
  Bytes p(4 + length);
  p[1] = 3;
  p[2] = static_cast<uint8_t>(block >> 8);
  p[3] = static_cast<uint8_t>(block);
  for (size_t k = 0; k < length; ++k) p[4 + k] = image[offset + k];
  return p;
}

class TransferTest : public PassTest {
 protected:
  void SetUp() override { open_listener(); }

  // serve_image for the hand-played device at `port`, on its own thread.
  std::unique_ptr<Background> serve(uint16_t port, scripted::User& user) {
    return std::make_unique<Background>([this, port] { serve_image(listener->socket, pc_address, device_address, port, *s); },
                                        [&user] { return user.transcript(); });
  }

  // Everything that reaches `hand` within `window`: each must be a repeat of
  // `last` sent for silence, at least 100 ms of the clock after the one before.
  void expect_only_repeats(const platform::Socket& hand, Datagram last, milliseconds window) {
    const nanoseconds repeat_gap = clock.real_duration(100) - std::chrono::microseconds(200);
    while (auto d = receive(hand, window)) {
      EXPECT_EQ(d->bytes, last.bytes) << "an answer to a datagram that should have been ignored";
      EXPECT_GE(d->arrived - last.arrived, repeat_gap) << "a packet sent again without the silence";
      last = *d;
    }
  }

  Bytes image;
  platform::Socket hand = udp_socket(device_address);
};

TEST_F(TransferTest, SmallImagesBlockByBlock) {
  struct Case {
    const char* name;
    uint32_t size;
    std::vector<uint32_t> payloads;
  };
  const Case cases[] = {
      {"empty image: one empty block", 0, {0}},
      {"header and one byte", 129, {129}},
      {"one byte past a block", 513, {512, 1}},
      {"two full blocks and an empty one", 1024, {512, 512, 0}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    clock.set_speed(1);
    if (c.size > 0) {
      image = make_image(c.size, "3.3.6");
      use_image(s->target_image, image);
    } else {
      image = Bytes(1);
      s->target_image.data = image.data();
      s->target_image.size = 0;
    }
    scripted::User user;
    auto pass = serve(port_of(hand), user);

    auto oack = receive(hand, milliseconds(2000));
    ASSERT_TRUE(oack);
    EXPECT_EQ(oack->bytes, oack_bytes(c.size));
    EXPECT_EQ(oack->port, 69) << "served from the listener's own port";
    Datagram last = *oack;
    size_t offset = 0;
    for (uint16_t block = 1; block <= c.payloads.size(); ++block) {
      send_to(hand, ack(block - 1), pc_address, 69);
      auto d = receive(hand, milliseconds(2000));
      ASSERT_TRUE(d);
      EXPECT_EQ(d->bytes, data_packet(block, image, offset, c.payloads[block - 1]));
      offset += c.payloads[block - 1];
      last = *d;
    }
    send_to(hand, ack(static_cast<uint16_t>(c.payloads.size())), pc_address, 69);
    ASSERT_TRUE(wait_for_caption(uploading_screen, "Updating ", milliseconds(5000)));
    EXPECT_FALSE(receive(hand, milliseconds(0))) << "sent more after the last ACK";
    finish(*pass);

    std::vector<std::string> titles = captions(user);
    ASSERT_GE(titles.size(), 2u);
    std::string count = std::to_string(c.size);
    EXPECT_EQ(titles[titles.size() - 2], "Uploading Target Firmware to QAB@127.0.0.2 " + count + "/" + count + " Bytes");
    // No device answers at 127.0.0.2:80: ten re-probes, then the pass ends
    // without a word.
    EXPECT_EQ(user.openings(connecting_screen).size(), 10u);
    EXPECT_TRUE(messages(user).empty());
  }
}

TEST_F(TransferTest, DuplicateAckIsDroppedWithoutAResend) {
  image = make_image(3000, "3.3.6");  // blocks 1 to 5 full, block 6 of 440 bytes
  use_image(s->target_image, image);
  scripted::User user;
  auto pass = serve(port_of(hand), user);
  ASSERT_TRUE(receive(hand, milliseconds(2000)));
  for (uint16_t block = 1; block <= 6; ++block) {
    send_to(hand, ack(block - 1), pc_address, 69);
    if (block == 6) send_to(hand, ack(5), pc_address, 69);
    auto d = receive(hand, milliseconds(2000));
    ASSERT_TRUE(d);
    EXPECT_EQ(d->bytes, data_packet(block, image, (block - 1) * 512u, block < 6 ? 512 : 440));
    if (block == 6) expect_only_repeats(hand, *d, milliseconds(80));
  }
  send_to(hand, ack(6), pc_address, 69);
  finish(*pass);
  std::vector<std::string> titles = captions(user);
  ASSERT_GE(titles.size(), 2u);
  EXPECT_EQ(titles[titles.size() - 2], "Uploading Target Firmware to QAB@127.0.0.2 3000/3000 Bytes");
}

TEST_F(TransferTest, DatagramsOtherThanTheExpectedAckMoveNothing) {
  image = bytes_of(s->target_image);
  platform::Socket other = udp_socket(device_address);  // the device's address, another port
  platform::Socket third = udp_socket(device_address);
  scripted::User user;
  auto pass = serve(port_of(hand), user);
  auto oack = receive(hand, milliseconds(2000));
  ASSERT_TRUE(oack);
  ASSERT_EQ(oack->bytes.size(), 26u);

  Bytes oversized_ack = ack(0);
  oversized_ack.resize(1100);
  Bytes wrq = rrq(first_name);
  wrq[1] = 2;
  send_to(other, ack(0), pc_address, 69);
  send_to(hand, Bytes{0, 4, 0}, pc_address, 69);  // an ACK cut in its block number, after a stray ACK 0
  send_to(third, rrq(first_name), pc_address, 69);
  for (const Bytes& b : {rrq(first_name), wrq, Bytes{0, 5, 0, 0, 'x', 0}, Bytes{0}, Bytes{}, ack(1),
                         Bytes{0, 3, 0, 1, 'd'}, oversized_ack, Bytes{0, 6, 't', 0}})
    send_to(hand, b, pc_address, 69);
  expect_only_repeats(hand, *oack, milliseconds(80));

  // The expected ACK moves it on at once, with the image's first 512 bytes:
  // the start of its header.
  send_to(hand, ack(0), pc_address, 69);
  auto data = receive(hand, milliseconds(2000));
  while (data && data->bytes == oack->bytes) data = receive(hand, milliseconds(2000));
  ASSERT_TRUE(data);
  EXPECT_EQ(data->bytes, data_packet(1, image, 0, 512));
  EXPECT_EQ(std::string(data->bytes.begin() + 4, data->bytes.begin() + 20), "QaBx900tFiRmWaRe");

  clock.set_speed(fast);  // the device falls silent: the transfer gives up
  pass->wait(milliseconds(30000));
  EXPECT_FALSE(receive(other, milliseconds(0))) << "answered another port";
  EXPECT_FALSE(receive(third, milliseconds(0))) << "answered a second read request";
  EXPECT_EQ(messages(user), std::vector<std::string>{"Upgrade Failed: Firmware Upload Incomplete"});
}

// A device that never acknowledges the OACK, quiet or flooding the server
// with datagrams to ignore: the OACK goes out 30 times in all, a silent tick
// of at least 100 ms of the clock apart, and after the whole flash wait the
// upload is reported incomplete, with no re-probe.
TEST_F(TransferTest, UnacknowledgedOackIsSentThirtyTimes) {
  for (bool flood : {false, true}) {
    SCOPED_TRACE(flood ? "flooded" : "quiet");
    clock.set_speed(10);
    image = bytes_of(s->target_image);
    platform::Socket other = udp_socket(device_address);
    std::atomic<bool> flooding{flood};
    scripted::User user;
    auto pass = serve(port_of(hand), user);
    Background flooder([&] {
      Bytes oversized_ack = ack(0);
      oversized_ack.resize(1100);
      const Bytes junk[] = {Bytes{0}, Bytes{0, 5, 0, 0, 0}, ack(1), oversized_ack, rrq(first_name),
                            Bytes{0, 3, 0, 1, 'x'}};
      while (flooding.load()) {
        for (const Bytes& b : junk) send_to(hand, b, pc_address, 69);
        send_to(other, ack(0), pc_address, 69);
        send_to(hand, Bytes{0, 4, 0}, pc_address, 69);
      }
    });

    std::vector<Datagram> received;
    auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (std::chrono::steady_clock::now() < give_up) {
      if (auto d = receive(hand, milliseconds(20))) {
        received.push_back(*d);
        continue;
      }
      if (wait_for_caption(uploading_screen, "Updating ", milliseconds(0))) break;
    }
    flooding.store(false);
    flooder.wait(milliseconds(5000));
    const nanoseconds tick = clock.real_duration(100);
    clock.set_speed(fast);
    pass->wait(milliseconds(30000));

    ASSERT_EQ(received.size(), 30u);
    for (size_t k = 0; k < received.size(); ++k) {
      EXPECT_EQ(received[k].bytes, oack_bytes(1074589)) << "datagram " << k;
      if (k > 0) {
        EXPECT_GE(received[k].arrived - received[k - 1].arrived, tick - std::chrono::microseconds(200));
      }
    }
    EXPECT_EQ(messages(user), std::vector<std::string>{"Upgrade Failed: Firmware Upload Incomplete"});
    EXPECT_TRUE(user.openings(connecting_screen).empty()) << "re-probed after a failed upload";
    // The message comes after the bar has filled.
    auto entries = user.entries();
    auto full = std::find_if(entries.begin(), entries.end(), [](const scripted::Entry& e) {
      return e.kind == scripted::Entry::ProgressPos && e.screen == uploading_screen && e.value == 937;
    });
    auto message = std::find_if(entries.begin(), entries.end(),
                                [](const scripted::Entry& e) { return e.kind == scripted::Entry::Message; });
    EXPECT_LT(full, message);
  }
}

}  // namespace
