#include "tests/integration/tftp/pass_fixture.h"

qabsim::DeviceSim& PassTest::start_device(const Bytes& expected,
                                          const std::function<void(qabsim::UpgradeBehaviour&)>& set) {
  qabsim::DeviceSimConfig config;
  config.address = device_address;
  config.upgrade.fetch = true;
  config.upgrade.expected_image = expected;
  config.upgrade.flash_ms = 10000;
  if (set) set(config.upgrade);
  device = std::make_unique<qabsim::DeviceSim>(config);
  device->start();
  return *device;
}

TftpListener& PassTest::open_listener() {
  listener.reset(open_tftp_listener(pc_address, *s));
  return *listener;
}

void PassTest::finish(Background& pass) {
  EXPECT_TRUE(wait_for_caption(uploading_screen, "Updating ", milliseconds(60000))) << "the flash wait never began";
  // The device's own waits were set at the speed of the transfer: let its
  // fetch end before the clock runs fast, or the re-probe could find it
  // still dallying instead of flashing.
  if (device) {
    EXPECT_TRUE(device->wait_for_fetches(1, milliseconds(30000)));
  }
  clock.set_speed(fast);
  pass.wait(milliseconds(30000));
}

std::vector<std::string> PassTest::captions(const scripted::User& user, int screen) {
  std::vector<std::string> out;
  for (const scripted::Entry& e : user.entries())
    if (e.kind == scripted::Entry::Caption && e.screen == screen) out.push_back(e.text);
  return out;
}

std::vector<std::string> PassTest::messages(const scripted::User& user) {
  std::vector<std::string> out;
  for (const scripted::MessageRecord& m : user.message_boxes()) out.push_back(m.text);
  return out;
}
