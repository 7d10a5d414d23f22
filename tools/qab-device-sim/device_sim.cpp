#include "tools/qab-device-sim/device_sim.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <stdexcept>

#include "tools/qab-device-sim/http_message.h"
#include "tools/qab-device-sim/sim_digest.h"
#include "tools/qab-device-sim/sim_responses.h"

namespace qabsim {
namespace {

constexpr size_t max_request_header = 65536;

std::string dotted(uint32_t a) {
  char text[16];
  std::snprintf(text, sizeof text, "%u.%u.%u.%u", a >> 24, (a >> 16) & 0xff, (a >> 8) & 0xff, a & 0xff);
  return text;
}

// Waits for `events` on fd, or for the stop signal. True when fd is ready.
bool wait_for(int fd, short events, int stop_fd, int timeout_ms) {
  pollfd p[2] = {{fd, events, 0}, {stop_fd, POLLIN, 0}};
  for (;;) {
    int r = ::poll(p, 2, timeout_ms);
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0 || p[1].revents) return false;
    return true;
  }
}

// Sends everything unless the peer goes away or the device stops.
size_t send_all(int fd, const std::string& bytes, int stop_fd) {
  size_t sent = 0;
  while (sent < bytes.size()) {
    ssize_t n = ::send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
    if (n > 0) {
      sent += static_cast<size_t>(n);
    } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) {
      if (!wait_for(fd, POLLOUT, stop_fd, -1)) break;
    } else {
      break;
    }
  }
  return sent;
}

// Reads and drops whatever the peer sends until it closes (or the device
// stops, or `timeout_ms` passes when not negative).
void drain_until_closed(int fd, int stop_fd, int timeout_ms) {
  char scratch[4096];
  for (;;) {
    if (!wait_for(fd, POLLIN, stop_fd, timeout_ms)) return;
    ssize_t n = ::recv(fd, scratch, sizeof scratch, 0);
    if (n == 0 || (n < 0 && errno != EAGAIN && errno != EINTR)) return;
  }
}

}  // namespace

struct DeviceSim::Answer {
  Faults faults;  // as configured when the answer was made
  RecordedRequest record;
  std::string bytes;  // what to send, faults applied
  bool has_trigger = false;
  UpgradeTrigger trigger;
};

DeviceSim::DeviceSim(DeviceSimConfig config) : config_(std::move(config)), random_(std::random_device{}()) {
  nonce_ = config_.protection.first_nonce.empty() ? new_nonce() : config_.protection.first_nonce;
}

DeviceSim::~DeviceSim() { stop(); }

std::string DeviceSim::new_nonce() {
  char text[33];
  std::snprintf(text, sizeof text, "%016llx%016llx", static_cast<unsigned long long>(random_()),
                static_cast<unsigned long long>(random_()));
  return text;
}

void DeviceSim::start() {
  if (running()) return;
  stopping_ = false;
  stop_fd_ = ::eventfd(0, EFD_CLOEXEC);
  kick_fd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (stop_fd_ < 0 || kick_fd_ < 0) throw std::runtime_error("qab-device-sim: cannot create event descriptors");
  if (!apply_listener()) {
    DeviceSimConfig c = config();
    std::string where = dotted(c.address) + ":" + std::to_string(c.port);
    ::close(stop_fd_);
    ::close(kick_fd_);
    stop_fd_ = kick_fd_ = -1;
    throw std::runtime_error("qab-device-sim: cannot listen on " + where);
  }
  server_ = std::thread([this] { serve(); });
  serving_ = true;
}

void DeviceSim::stop() {
  if (!running()) return;
  {
    std::lock_guard guard(lock_);
    stopping_ = true;
    changed_.notify_all();  // an upgrade waiting for the listener gives up
  }
  uint64_t one = 1;
  if (::write(stop_fd_, &one, sizeof one) < 0) std::perror("qab-device-sim: stop");
  server_.join();
  reap_connections(true);
  if (listen_fd_ >= 0) ::close(listen_fd_);
  listen_fd_ = -1;
  ::close(stop_fd_);
  ::close(kick_fd_);
  stop_fd_ = kick_fd_ = -1;
  serving_ = false;
  std::lock_guard guard(lock_);
  bound_port_ = 0;
}

bool DeviceSim::configure(const std::function<void(DeviceSimConfig&)>& change) {
  std::unique_lock guard(lock_);
  change(config_);
  return apply_and_wait(guard);
}

bool DeviceSim::apply_and_wait(std::unique_lock<std::mutex>& guard) {
  uint64_t wanted = ++generation_;
  if (!running() || stopping_) {
    applied_generation_ = wanted;
    return true;
  }
  uint64_t one = 1;
  if (::write(kick_fd_, &one, sizeof one) < 0) return false;
  changed_.wait_for(guard, std::chrono::seconds(5), [&] { return applied_generation_ >= wanted || stopping_; });
  return applied_generation_ >= wanted && listener_ok_;
}

DeviceSimConfig DeviceSim::config() const {
  std::lock_guard guard(lock_);
  return config_;
}

uint16_t DeviceSim::port() const {
  std::lock_guard guard(lock_);
  return bound_port_;
}

void DeviceSim::set_upgrade_hook(UpgradeHook hook) {
  std::lock_guard guard(lock_);
  hook_ = std::move(hook);
}

std::vector<RecordedRequest> DeviceSim::requests() const {
  std::lock_guard guard(lock_);
  return requests_;
}

std::vector<UpgradeTrigger> DeviceSim::triggers() const {
  std::lock_guard guard(lock_);
  return triggers_;
}

bool DeviceSim::wait_for_requests(size_t count, std::chrono::milliseconds timeout) const {
  std::unique_lock guard(lock_);
  return changed_.wait_for(guard, timeout, [&] { return requests_.size() >= count; });
}

void DeviceSim::clear_records() {
  std::lock_guard guard(lock_);
  requests_.clear();
  triggers_.clear();
  upgrades_.clear();
  fetches_ended_ = 0;
}

std::string DeviceSim::nonce() const {
  std::lock_guard guard(lock_);
  return nonce_;
}

// Makes the listening socket agree with the configuration. Runs before the
// server thread starts and then only on it.
bool DeviceSim::apply_listener() {
  std::unique_lock guard(lock_);
  uint64_t generation = generation_;
  bool refuse = config_.faults.refuse_connections || away_;
  uint32_t address = config_.address;
  uint16_t port = config_.port;
  bool same = listen_fd_ >= 0 && address == bound_address_ && port == requested_port_;
  bool ok = true;
  if (refuse || !same) {
    if (listen_fd_ >= 0) ::close(listen_fd_);
    listen_fd_ = -1;
    bound_port_ = 0;
  }
  if (!refuse && !same) {
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    int yes = 1;
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(port);
    sa.sin_addr.s_addr = htonl(address);
    socklen_t length = sizeof sa;
    ok = fd >= 0 && ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes) == 0 &&
         ::bind(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa) == 0 && ::listen(fd, 64) == 0 &&
         ::getsockname(fd, reinterpret_cast<sockaddr*>(&sa), &length) == 0;
    if (ok) {
      listen_fd_ = fd;
      bound_address_ = address;
      requested_port_ = port;
      bound_port_ = ntohs(sa.sin_port);
    } else if (fd >= 0) {
      ::close(fd);
    }
  }
  listener_ok_ = ok;
  applied_generation_ = generation;
  changed_.notify_all();
  return ok;
}

void DeviceSim::serve() {
  for (;;) {
    pollfd p[3] = {{stop_fd_, POLLIN, 0}, {kick_fd_, POLLIN, 0}, {listen_fd_, POLLIN, 0}};
    int r = ::poll(p, listen_fd_ >= 0 ? 3 : 2, 200);
    if (r < 0 && errno != EINTR) break;
    if (p[0].revents) break;
    if (p[1].revents) {
      uint64_t count;
      if (::read(kick_fd_, &count, sizeof count) < 0 && errno != EAGAIN) break;
      apply_listener();
      continue;
    }
    if (listen_fd_ >= 0 && p[2].revents) {
      int fd = ::accept4(listen_fd_, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
      if (fd >= 0) {
        std::lock_guard guard(lock_);
        Connection& c = connections_.emplace_back();
        c.thread = std::thread([this, fd, &c] { handle(fd, &c); });
      }
    }
    reap_connections(false);
  }
}

void DeviceSim::reap_connections(bool all) {
  std::list<Connection> finished;
  {
    std::lock_guard guard(lock_);
    for (auto it = connections_.begin(); it != connections_.end();) {
      auto next = std::next(it);
      if (all || it->done) finished.splice(finished.end(), connections_, it);
      it = next;
    }
  }
  for (Connection& c : finished) c.thread.join();
}

void DeviceSim::handle(int fd, Connection* self) {
  sockaddr_in peer{};
  socklen_t peer_length = sizeof peer;
  ::getpeername(fd, reinterpret_cast<sockaddr*>(&peer), &peer_length);
  DeviceSimConfig c = config();
  int timeout_ms = c.request_timeout_ms;
  // Each connection takes one of the unanswered ones while any are left.
  bool unanswered = false;
  {
    std::lock_guard guard(lock_);
    if (config_.faults.unanswered_connections > 0) {
      --config_.faults.unanswered_connections;
      unanswered = true;
    }
  }

  // Read the request header, within the time a client is given for it.
  std::string bytes;
  bool complete = false, peer_gone = false, stopping = false;
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  while (!complete && bytes.size() < max_request_header) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) break;
    pollfd p[2] = {{fd, POLLIN, 0}, {stop_fd_, POLLIN, 0}};
    int r = ::poll(p, 2, static_cast<int>(left.count()));
    if (r < 0 && errno == EINTR) continue;
    if (r < 0 || p[1].revents) {
      stopping = r >= 0;
      break;
    }
    if (r == 0) break;
    char chunk[4096];
    ssize_t n = ::recv(fd, chunk, sizeof chunk, 0);
    if (n < 0 && (errno == EAGAIN || errno == EINTR)) continue;
    if (n <= 0) {
      peer_gone = true;
      break;
    }
    bytes.append(chunk, static_cast<size_t>(n));
    complete = find_header_end(bytes) != std::string::npos;  // requests here have no body
  }

  Answer a = answer(bytes, complete, ntohl(peer.sin_addr.s_addr), ntohs(peer.sin_port));
  const Faults& faults = a.faults;
  if (stopping || peer_gone || faults.never_answer || unanswered) {
    a.bytes.clear();
    a.record.status = 0;
  }
  a.record.response = a.bytes;
  if (!bytes.empty() || !a.bytes.empty()) {
    std::lock_guard guard(lock_);
    requests_.push_back(a.record);
    if (a.has_trigger) triggers_.push_back(a.trigger);
    changed_.notify_all();
  }

  if (faults.answer_delay_ms > 0 && !stopping && !peer_gone && !unanswered) {
    pollfd p{stop_fd_, POLLIN, 0};
    while (::poll(&p, 1, faults.answer_delay_ms) < 0 && errno == EINTR) {
    }
    stopping = p.revents != 0;
  }
  bool answered = false;
  if (unanswered) {
    // Closed at once: the client sees the connection end with nothing received.
    ::close(fd);
    fd = -1;
  } else if (!stopping && !peer_gone && !faults.never_answer) {
    send_all(fd, a.bytes, stop_fd_);
    answered = true;
    if (!faults.never_close) {
      // Close our side first and let the client read to the end before the
      // descriptor goes: closing with unread input would reset the connection.
      ::shutdown(fd, SHUT_WR);
      drain_until_closed(fd, stop_fd_, 1000);
      ::close(fd);
      fd = -1;
    }
  }
  // The device goes on to fetch the firmware once it has answered, even when
  // it then keeps the connection open.
  if (answered && a.has_trigger) {
    UpgradeHook hook;
    {
      std::lock_guard guard(lock_);
      hook = hook_;
    }
    if (hook) hook(a.trigger);
    if (c.upgrade.fetch && !stopping_) run_upgrade(a.trigger, c.upgrade);
  }
  if (fd >= 0) {
    if (!stopping && !peer_gone) drain_until_closed(fd, stop_fd_, -1);
    ::close(fd);
  }
  std::lock_guard guard(lock_);
  self->done = true;
}

DeviceSim::Answer DeviceSim::answer(const std::string& bytes, bool complete, uint32_t peer_address,
                                    uint16_t peer_port) {
  std::lock_guard guard(lock_);
  const DeviceSimConfig& c = config_;
  Answer a;
  a.faults = c.faults;
  a.record.bytes = bytes;
  a.record.peer_address = peer_address;
  a.record.peer_port = peer_port;
  auto respond = [&](int status, const char* reason, const std::string& headers, const std::string& body) {
    a.record.status = status;
    a.bytes = http_response(status, reason, headers, body, c.faults);
  };

  HttpRequest request;
  bool parsed = complete && parse_http_request(std::string_view(bytes).substr(0, find_header_end(bytes)), request);
  a.record.method = request.method;
  a.record.target = request.target;
  if (!c.raw_response.empty()) {
    a.bytes = c.raw_response;
  } else if (!parsed) {
    respond(400, "Bad Request", "", "<html><body>Bad Request</body></html>\r\n");
  } else if (c.faults.challenge_missing) {
    respond(401, "Unauthorized", "", "<html><body>Unauthorized</body></html>\r\n");
  } else {
    const Protection& p = c.protection;
    CredentialCheck check = CredentialCheck::Accepted;
    if (p.enabled) {
      if (p.nonce_every > 0 && ++nonce_uses_ > p.nonce_every) {
        nonce_ = new_nonce();
        nonce_uses_ = 1;
      }
      const std::string* credentials = request.header("Authorization");
      check = credentials && parse_digest_credentials(*credentials, a.record.authorization)
                  ? check_credentials(p, nonce_, request.method, request.target, a.record.authorization)
                  : CredentialCheck::Missing;
      a.record.authorized = check == CredentialCheck::Accepted;
    }
    const std::string upgrade_prefix = "/admin/upgrade?";
    if (check != CredentialCheck::Accepted) {
      respond(401, "Unauthorized", challenge_header(p, nonce_, check == CredentialCheck::Stale),
              "<html><body>Unauthorized</body></html>\r\n");
    } else if (request.method != "GET") {
      respond(405, "Method Not Allowed", "Allow: GET\r\n", "<html><body>Method Not Allowed</body></html>\r\n");
    } else if (request.target == "/admin/advanced") {
      respond(200, "OK", c.page.extra_headers, status_page_html(c.page));
    } else if (request.target.rfind(upgrade_prefix, 0) == 0) {
      a.has_trigger = parse_upgrade_url(std::string_view(request.target).substr(upgrade_prefix.size()), a.trigger);
      if (a.has_trigger)
        respond(200, "OK", "", "<html><body>Upgrade started</body></html>\r\n");
      else
        respond(400, "Bad Request", "", "<html><body>Bad upgrade source</body></html>\r\n");
    } else {
      respond(404, "Not Found", "", "<html><body>Not Found</body></html>\r\n");
    }
  }
  if (c.faults.close_mid_response) {
    size_t cut = c.faults.cut_at ? c.faults.cut_at : a.bytes.size() / 2;
    if (cut < a.bytes.size()) a.bytes.resize(cut);
  }
  return a;
}

}  // namespace qabsim
