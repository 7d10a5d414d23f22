#pragma once
// A stand-in for a QAB device's web server, run in-process on its own thread.
// HTTP/1.1, one response per connection and then close: the status page
// /admin/advanced, optional Digest protection, the upgrade trigger
// /admin/upgrade?tftp://..., and faults as switches. It keeps every request.
// With config.upgrade.fetch on, a trigger makes it fetch the named file with
// its own TFTP client, check it, go away while "flashing" and come back
// reporting the version it received.
//
//   qabsim::DeviceSim device({.address = 0x7f000002});
//   device.start();                 // serving until stop() or destruction
//   ... fetch from 127.0.0.2:80 ...
//   device.requests()[0].bytes      // exactly what the client sent
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "tools/qab-device-sim/sim_config.h"

namespace qabsim {

class DeviceSim {
 public:
  // Called with the parsed source of each accepted upgrade trigger, on the
  // connection's thread, after the answer has been sent and the connection
  // closed. stop() waits for a hook that is still running, so it must end.
  using UpgradeHook = std::function<void(const UpgradeTrigger&)>;

  explicit DeviceSim(DeviceSimConfig config = {});
  DeviceSim(const DeviceSim&) = delete;
  DeviceSim& operator=(const DeviceSim&) = delete;
  ~DeviceSim();

  // Binds the address (unless connections are to be refused) and starts
  // serving. Throws std::runtime_error when the address cannot be bound.
  void start();
  // Closes every connection and waits for the threads; each of their waits
  // also watches for the stop, so this returns promptly, except that a TFTP
  // fetch under way runs to its end (its own time-outs bound it). Records
  // are kept, and the device may be started again.
  void stop();
  bool running() const { return serving_; }

  // Changes the configuration, also while serving; new connections see the
  // change. Returns once the listening socket agrees with it (closed while
  // connections are refused, rebound after an address or port change): false
  // when the new address could not be bound.
  bool configure(const std::function<void(DeviceSimConfig&)>& change);
  DeviceSimConfig config() const;
  // The port actually bound (useful with port 0); 0 while not listening.
  uint16_t port() const;

  void set_upgrade_hook(UpgradeHook hook);

  std::vector<RecordedRequest> requests() const;
  std::vector<UpgradeTrigger> triggers() const;
  // Upgrades that have run to their end (fetch, flash and return), in order.
  std::vector<UpgradeRecord> upgrades() const;
  bool wait_for_upgrades(size_t count, std::chrono::milliseconds timeout) const;
  // Waits until at least `count` fetches have ended; a device that restarts
  // after its fetch is away by then.
  bool wait_for_fetches(size_t count, std::chrono::milliseconds timeout) const;
  // Waits until at least `count` requests have been recorded.
  bool wait_for_requests(size_t count, std::chrono::milliseconds timeout) const;
  void clear_records();
  // The nonce that the next challenge will carry (if it is not rotated first).
  std::string nonce() const;

 private:
  struct Connection {
    std::thread thread;
    bool done = false;
  };
  struct Answer;

  void serve();
  bool apply_listener();
  void reap_connections(bool all);
  void handle(int fd, Connection* self);
  Answer answer(const std::string& bytes, bool complete, uint32_t peer_address, uint16_t peer_port);
  std::string new_nonce();
  // Waits until the server thread has applied the configuration as it now is.
  bool apply_and_wait(std::unique_lock<std::mutex>& guard);

  // The device's side of an upgrade (device_upgrade.cpp), on the trigger's
  // connection thread.
  void run_upgrade(const UpgradeTrigger& trigger, const UpgradeBehaviour& behaviour);
  void set_away(bool away);
  // Waits `ms` of the installed clock; false when the device stops first.
  bool wait_clock_ms(uint32_t ms) const;

  mutable std::mutex lock_;
  mutable std::condition_variable changed_;
  DeviceSimConfig config_;
  uint64_t generation_ = 0, applied_generation_ = 0;
  bool listener_ok_ = true;
  uint16_t bound_port_ = 0;
  uint32_t bound_address_ = 0;
  uint16_t requested_port_ = 0;
  std::string nonce_;
  unsigned nonce_uses_ = 0;
  std::mt19937_64 random_;
  std::vector<RecordedRequest> requests_;
  std::vector<UpgradeTrigger> triggers_;
  std::vector<UpgradeRecord> upgrades_;
  size_t fetches_ended_ = 0;
  bool away_ = false;  // restarting after an upgrade: nothing listens
  UpgradeHook hook_;
  std::list<Connection> connections_;

  int stop_fd_ = -1;    // readable once stopping: every wait watches it
  int kick_fd_ = -1;    // wakes the server thread to apply a new configuration
  int listen_fd_ = -1;  // owned by the server thread while it runs
  std::thread server_;
  std::atomic<bool> serving_{false};
  std::atomic<bool> stopping_{false};
};

}  // namespace qabsim
