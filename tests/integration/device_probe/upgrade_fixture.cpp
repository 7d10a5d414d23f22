#include "upgrade_fixture.h"

#include <cstring>

#include "http/probe.h"
#include "platform/host.h"
#include "tools/qab-mkimage/mkimage.h"
#include "ui/ui.h"

void use_threadsafe_death_tests() { GTEST_FLAG_SET(death_test_style, "threadsafe"); }

void UpgradeTest::SetUp() {
  use_threadsafe_death_tests();
  ui::install();
  user_.echo(true);  // so a test whose process ends still shows what it saw
  target_image_ = build_image({"QaBx900tFiRmWaRe", "3.3.6", 4096, 1});
  transition_image_ = build_image({"QaBx900tFiRmWaRe", "3.3.1", 2048, 2});
  platform::set_local_address_source([] { return std::vector<uint32_t>{pc_address}; });
}

void UpgradeTest::TearDown() {
  if (device_) device_->stop();
  platform::set_local_address_source({});
}

void UpgradeTest::start(UpgradeStage stage) {
  start_up(*s_, stage, [this](std::string_view, int id) -> std::optional<platform::Resource> {
    const auto& image = id == target_image_id ? target_image_ : transition_image_;
    return platform::Resource{image.data(), static_cast<uint32_t>(image.size())};
  });
}

void UpgradeTest::address_entered() {
  s_->device_address = device_address;
  std::strcpy(s_->device_address_text, "127.0.0.2");
  s_->local_address = pc_address;
}

qabsim::DeviceSim& UpgradeTest::start_device(qabsim::DeviceSimConfig config) {
  if (device_) device_->stop();
  config.address = device_address;
  config.port = 80;
  device_ = std::make_unique<qabsim::DeviceSim>(config);
  device_->start();
  return *device_;
}

qabsim::DeviceSimConfig UpgradeTest::protected_device(const std::string& password, const std::string& qop) {
  qabsim::DeviceSimConfig c;
  c.protection.enabled = true;
  c.protection.user = "admin";
  c.protection.password = password;
  c.protection.qop = qop;
  return c;
}

int32_t UpgradeTest::probe(const char* path) { return probe_device(device_request(*s_, path), s_->device_address_text); }

void UpgradeTest::answer_warning_and_address() {
  user_.on(warning_screen).press(1);
  user_.on(adapter_address_screen).type(1000, "127.0.0.2").pick(1017, 0).press(1);
}
