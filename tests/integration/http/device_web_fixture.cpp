#include "device_web_fixture.h"

#include <cstdio>
#include <cstdlib>
#include <thread>

#include "platform/failure.h"

platform::Socket hold_local_port(uint16_t port) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
  for (;;) {
    platform::Socket s = platform::open_tcp_socket();
    if (platform::bind_socket(s, platform::to_sockaddr(test_local_address, port))) return s;
    if (std::chrono::steady_clock::now() > deadline) return {};
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

bool wait_finished(const platform::Worker& worker, std::chrono::milliseconds timeout) {
  auto deadline = std::chrono::steady_clock::now() + timeout;
  while (!worker.finished()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

void DeviceWebTest::SetUp() {
  platform::set_failure_presenter([](const char* message) {
    std::fprintf(stderr, "unexpected failure ending the process: %s\n", message);
    std::abort();
  });
}

void DeviceWebTest::TearDown() {
  if (device) device->stop();
}

qabsim::DeviceSim& DeviceWebTest::start_device(qabsim::DeviceSimConfig config) {
  config.address = sim_device_address;
  config.port = 80;
  device = std::make_unique<qabsim::DeviceSim>(config);
  device->start();
  return *device;
}

void DeviceWebTest::start_fetch(platform::Worker& worker, const char* path) {
  ASSERT_TRUE(worker.start([this, path] {
    return fetch_device_page(test_local_address, device_local_port_base, sim_device_address, device_web_port, path,
                             buffer.data(), receive_limit, digest, info);
  }));
}

int32_t DeviceWebTest::fetch(const char* path) {
  platform::Worker worker;
  start_fetch(worker, path);
  if (!wait_finished(worker, std::chrono::seconds(10))) {
    ADD_FAILURE() << "the exchange did not end within 10 s";
    if (device) device->stop();  // closes the connection the fetch waits on
  }
  worker.join();
  return worker.exit_code();
}
