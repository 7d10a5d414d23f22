#include "platform/host.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <thread>

namespace platform {
namespace {

std::mutex source_lock;
std::function<std::vector<uint32_t>()> address_source;
std::atomic<void (*)()> terminal_restorer{nullptr};

std::vector<uint32_t> system_addresses() {
  std::vector<uint32_t> outside, loopback;
  ifaddrs* list = nullptr;
  if (getifaddrs(&list) != 0) return {};
  for (ifaddrs* i = list; i; i = i->ifa_next) {
    if (!i->ifa_addr || i->ifa_addr->sa_family != AF_INET || !(i->ifa_flags & IFF_UP)) continue;
    uint32_t a = ntohl(reinterpret_cast<const sockaddr_in*>(i->ifa_addr)->sin_addr.s_addr);
    ((i->ifa_flags & IFF_LOOPBACK) ? loopback : outside).push_back(a);
  }
  freeifaddrs(list);
  std::vector<uint32_t>& chosen = outside.empty() ? loopback : outside;
  if (chosen.size() > static_cast<size_t>(max_local_addresses)) chosen.resize(max_local_addresses);
  return chosen;
}

}  // namespace

std::vector<uint32_t> local_ipv4_addresses() {
  std::function<std::vector<uint32_t>()> source;
  {
    std::lock_guard guard(source_lock);
    source = address_source;
  }
  return source ? source() : system_addresses();
}

void set_local_address_source(std::function<std::vector<uint32_t>()> source) {
  std::lock_guard guard(source_lock);
  address_source = std::move(source);
}

void set_terminal_restorer(void (*restore)()) { terminal_restorer.store(restore); }

void restore_terminal() {
  if (auto restore = terminal_restorer.exchange(nullptr)) restore();
}

void end_process() {
  static std::atomic_flag ending = ATOMIC_FLAG_INIT;
  if (ending.test_and_set()) {
    // Another thread is already ending the process: wait for it.
    for (;;) std::this_thread::sleep_for(std::chrono::seconds(1));
  }
  restore_terminal();
  std::fflush(nullptr);
  std::_Exit(0);
}

}  // namespace platform
