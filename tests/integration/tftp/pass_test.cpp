// Whole passes of the listener against the simulated device: the device asks
// for the file the trigger named, with its own TFTP client, checks what it
// received byte for byte, flashes it and comes back with its version.
#include <algorithm>

#include "tests/integration/tftp/pass_fixture.h"

namespace {

using qab_sim::FetchEnd;
using qab_sim::TftpOption;
using qab_sim::TftpOptions;

TEST_F(PassTest, WholePassAgainstTheDevice) {
  const Bytes image = bytes_of(s->target_image);
  ASSERT_EQ(image.size(), 1074589u);
  start_device(image);
  open_listener();
  ASSERT_EQ(listener->port, 69);
  scripted::User user;
  user.on(success_screen).press(1);
  Background pass([&] { run_tftp_pass(*listener, true); }, [&] { return user.transcript(); });
  ASSERT_GT(trigger_device(69, first_name), 0);
  finish(pass);
  ASSERT_TRUE(device->wait_for_upgrades(1, milliseconds(10000)));

  const qabsim::UpgradeRecord u = device->upgrades()[0];
  const qab_sim::FetchResult& f = u.fetch;
  EXPECT_EQ(f.end, FetchEnd::Completed) << f.reason;
  EXPECT_EQ(f.blocks, 2099u);
  EXPECT_EQ(f.last_block_size, 413u);
  EXPECT_EQ(f.bytes_received, 1074589u);
  EXPECT_TRUE(f.image == image) << "the image received differs from the one served";
  EXPECT_EQ(f.matches_expected, true);
  EXPECT_EQ(f.oack_options, (TftpOptions{{"tsize", "1074589"}, {"timeout", "5"}}));
  EXPECT_TRUE(u.flashed) << u.note;
  EXPECT_EQ(u.version_after, "3.3.6");

  // The waiting screen with its explanation, then the upload screen.
  auto waiting = user.openings(waiting_screen);
  ASSERT_EQ(waiting.size(), 1u);
  EXPECT_EQ(waiting[0].control(1022)->text, tftp_waiting_text);
  EXPECT_EQ(waiting[0].control(1010)->range_hi, 1000);
  auto uploading = user.openings(uploading_screen);
  ASSERT_EQ(uploading.size(), 1u);
  EXPECT_EQ(uploading[0].caption, "Uploading Firmware To QAB");
  EXPECT_EQ(uploading[0].control(1010)->range_hi, 2099);

  std::vector<std::string> titles = captions(user);
  ASSERT_GE(titles.size(), 3u);
  EXPECT_EQ(titles.front(), "Uploading Target Firmware to QAB@127.0.0.2 0/1074589 Bytes");
  EXPECT_EQ(titles[titles.size() - 2], "Uploading Target Firmware to QAB@127.0.0.2 1074589/1074589 Bytes");
  EXPECT_EQ(titles.back(), "Updating Target Firmware to QAB@127.0.0.2");

  // The bar: the block awaited next after each ACK (1 after the OACK's, 2100
  // after the last block's), then the flash wait's 0..937.
  std::vector<int> bar = user.progress(uploading_screen);
  auto wait_start = std::find(bar.begin(), bar.end(), 0);
  ASSERT_NE(wait_start, bar.end());
  std::vector<int> blocks(bar.begin(), wait_start), expected_blocks(2100);
  for (int k = 0; k < 2100; ++k) expected_blocks[k] = k + 1;
  EXPECT_EQ(blocks, expected_blocks);
  EXPECT_TRUE(std::is_sorted(wait_start, bar.end()));
  EXPECT_EQ(bar.back(), 937);

  auto success = user.openings(success_screen);
  ASSERT_EQ(success.size(), 1u);
  EXPECT_EQ(success[0].control(1004)->text, "3.3.6");
  EXPECT_TRUE(messages(user).empty());
}

// What the device does, what it receives, and what the user is told.
struct DeviceCase {
  const char* name;
  uint32_t image_size;  // a test image of that size, version 3.3.6
  unsigned transfer_speed;
  std::function<void(qabsim::UpgradeBehaviour&)> set;
  FetchEnd fetch_end;
  const char* message;  // "" when none
  std::function<void(const qab_sim::FetchResult&)> check;
};

TEST_F(PassTest, DeviceFaults) {
  using K = qab_sim::StrayKind;
  const std::vector<K> every_stray = {K::Tiny, K::TruncatedAck, K::OversizedAck, K::UnknownOpcode,
                                      K::Data, K::Wrq,          K::RepeatedRrq,  K::Error};
  const TftpOptions both = {{"tsize", "20000"}, {"timeout", "5"}};
  const DeviceCase cases[] = {
      {"lost datagrams both ways", 65536, 1,
       [](auto& b) {
         b.faults.drop_sent = 0.04;
         b.faults.drop_received = 0.04;
         b.faults.seed = 7;
         b.dally_ms = 1000;  // a lost last ACK is answered when the block comes again
       },
       FetchEnd::Completed, "",
       [](const auto& f) {
         EXPECT_GT(f.dropped_sent, 0u);
         EXPECT_GT(f.dropped_received, 0u);
       }},
      {"every kind of stray datagram from the device's port", 20000, 1,
       [&](auto& b) { b.faults.stray_datagrams = every_stray; }, FetchEnd::Completed, "",
       [](const auto& f) { EXPECT_EQ(f.error_code, 0); }},
      {"every kind of stray datagram from another port", 20000, 1,
       [&](auto& b) {
         b.faults.stray_datagrams = every_stray;
         b.faults.strays_from_other_port = true;
       },
       FetchEnd::Completed, "", [](const auto& f) { EXPECT_EQ(f.other_port_replies, 0u) << "answered a stranger"; }},
      {"every ACK twice, and a late copy of the one before", 20000, 1,
       [](auto& b) {
         b.faults.duplicate_acks = true;
         b.faults.reorder_acks = true;
       },
       FetchEnd::Completed, "", {}},
      {"the first ACK of block 7 from another port", 20000, 1, [](auto& b) { b.faults.ack_from_other_port = 7; },
       FetchEnd::Completed, "",
       [](const auto& f) {
         EXPECT_EQ(f.other_port_replies, 0u);
         EXPECT_GE(f.duplicate_blocks, 1u) << "block 7 was not repeated: the stranger's ACK was taken";
       }},
      {"a stall shorter than the silence limit", 20000, 1,
       [](auto& b) {
         b.faults.stall_at_block = 5;
         b.faults.stall_ms = 1500;
       },
       FetchEnd::Completed, "", [](const auto& f) { EXPECT_GE(f.duplicate_blocks, 1u); }},
      {"a stall longer than the silence limit", 20000, 10,
       [](auto& b) {
         b.faults.stall_at_block = 5;
         b.faults.stall_ms = 30000;  // ten times the silence limit: room for slow idle polls
       },
       FetchEnd::NoAnswer, "Upgrade Failed: Firmware Upload Incomplete", {}},
      {"a reboot at block 10", 20000, 10,
       [](auto& b) {
         b.faults.reboot_at_block = 10;
         b.faults.reboot_listen_ms = 40000;  // until long after the last repeat, however slow
       },
       FetchEnd::Rebooted, "Upgrade Failed: Firmware Upload Incomplete",
       [](const auto& f) { EXPECT_EQ(f.datagrams_after_reboot, 29u) << "block 10 is repeated 29 times"; }},
      {"a request without options", 20000, 1, [](auto& b) { b.request_options = {}; }, FetchEnd::Completed, "",
       [&](const auto& f) {
         EXPECT_EQ(f.oack_options, both);
         EXPECT_EQ(f.unrequested_oack_options, both);
       }},
      {"netascii with options the server does not know", 20000, 1,
       [](auto& b) {
         b.mode = "netascii";
         b.request_options = {{"blksize", "1428"}, {"windowsize", "4"}, {"tsize", "0"}};
       },
       FetchEnd::Completed, "",
       [&](const auto& f) {
         EXPECT_EQ(f.oack_options, both);
         EXPECT_EQ(f.block_size, 512u);
       }},
      {"the device reports another version", 20000, 1, [](auto& b) { b.version_after_flash = "3.3.5"; },
       FetchEnd::Completed, "Upgrade Failed: Version not matching", {}},
  };
  for (const DeviceCase& c : cases) {
    SCOPED_TRACE(c.name);
    clock.set_speed(c.transfer_speed);
    const Bytes image = make_image(c.image_size, "3.3.6");
    use_image(s->target_image, image);
    start_device(image, c.set);
    open_listener();
    scripted::User user;
    user.every(success_screen).press(1);
    {
      Background pass([&] { run_tftp_pass(*listener, true); }, [&] { return user.transcript(); });
      ASSERT_GT(trigger_device(listener->port, first_name), 0);
      finish(pass);
    }
    ASSERT_TRUE(device->wait_for_upgrades(1, milliseconds(20000)));
    const qab_sim::FetchResult f = device->upgrades()[0].fetch;
    EXPECT_EQ(f.end, c.fetch_end) << f.reason;
    if (c.fetch_end == FetchEnd::Completed) {
      EXPECT_TRUE(f.image == image) << "the image received differs";
    }
    if (c.check) c.check(f);

    std::vector<std::string> shown = messages(user);
    if (*c.message) {
      EXPECT_EQ(shown, std::vector<std::string>{c.message});
      EXPECT_TRUE(user.openings(success_screen).empty());
    } else {
      EXPECT_TRUE(shown.empty()) << shown[0];
      EXPECT_EQ(user.openings(success_screen).size(), 1u);
    }
    device.reset();
    listener.reset();
  }
}

}  // namespace
