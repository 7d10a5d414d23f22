#include "platform/net.h"

#include <arpa/inet.h>
#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

namespace platform {

bool net_startup() { return true; }

Socket& Socket::operator=(Socket&& other) noexcept {
  if (this != &other) {
    close();
    fd_ = other.release();
  }
  return *this;
}

int Socket::release() {
  int fd = fd_;
  fd_ = -1;
  return fd;
}

void Socket::close() {
  if (fd_ >= 0) {
    ::close(fd_);
    fd_ = -1;
  }
}

Socket open_tcp_socket() { return Socket(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)); }
Socket open_udp_socket() { return Socket(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0)); }

sockaddr_in to_sockaddr(uint32_t address, uint16_t port) {
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  sa.sin_port = htons(port);
  sa.sin_addr.s_addr = htonl(address);
  return sa;
}

void from_sockaddr(const sockaddr_in& sa, uint32_t& address, uint16_t& port) {
  address = ntohl(sa.sin_addr.s_addr);
  port = ntohs(sa.sin_port);
}

bool bind_socket(const Socket& s, const sockaddr_in& local) {
  return ::bind(s.fd(), reinterpret_cast<const sockaddr*>(&local), sizeof local) == 0;
}

bool connect_socket(const Socket& s, const sockaddr_in& remote) {
  if (::connect(s.fd(), reinterpret_cast<const sockaddr*>(&remote), sizeof remote) == 0) return true;
  if (errno != EINTR) return false;
  // The connection attempt goes on in the background after EINTR: wait for it.
  pollfd p{s.fd(), POLLOUT, 0};
  int r;
  do {
    r = ::poll(&p, 1, -1);
  } while (r < 0 && errno == EINTR);
  if (r <= 0) return false;
  int err = 0;
  socklen_t len = sizeof err;
  return ::getsockopt(s.fd(), SOL_SOCKET, SO_ERROR, &err, &len) == 0 && err == 0;
}

bool set_non_blocking(const Socket& s, bool on) {
  int flags = ::fcntl(s.fd(), F_GETFL);
  if (flags < 0) return false;
  flags = on ? (flags | O_NONBLOCK) : (flags & ~O_NONBLOCK);
  return ::fcntl(s.fd(), F_SETFL, flags) == 0;
}

namespace {
template <typename F>
long retry(F call) {
  ssize_t r;
  do {
    r = call();
  } while (r < 0 && errno == EINTR);
  return static_cast<long>(r);
}
}  // namespace

long send_bytes(const Socket& s, const void* data, size_t length) {
  return retry([&] { return ::send(s.fd(), data, length, MSG_NOSIGNAL); });
}

long receive_bytes(const Socket& s, void* buffer, size_t length) {
  return retry([&] { return ::recv(s.fd(), buffer, length, 0); });
}

long send_datagram(const Socket& s, const void* data, size_t length, const sockaddr_in& to) {
  return retry([&] {
    return ::sendto(s.fd(), data, length, MSG_NOSIGNAL, reinterpret_cast<const sockaddr*>(&to), sizeof to);
  });
}

long receive_datagram(const Socket& s, void* buffer, size_t length, sockaddr_in& from) {
  return retry([&] {
    socklen_t len = sizeof from;
    from = sockaddr_in{};
    return ::recvfrom(s.fd(), buffer, length, 0, reinterpret_cast<sockaddr*>(&from), &len);
  });
}

WaitResult wait_readable(const Socket& s, long timeout_us) {
  timespec deadline{};
  clock_gettime(CLOCK_MONOTONIC, &deadline);
  long long end_ns = deadline.tv_sec * 1000000000LL + deadline.tv_nsec + timeout_us * 1000LL;
  for (;;) {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    long long left_ns = end_ns - (now.tv_sec * 1000000000LL + now.tv_nsec);
    if (left_ns < 0) left_ns = 0;
    timespec ts{static_cast<time_t>(left_ns / 1000000000LL), static_cast<long>(left_ns % 1000000000LL)};
    pollfd p{s.fd(), POLLIN, 0};
    int r = ::ppoll(&p, 1, &ts, nullptr);
    if (r > 0) return (p.revents & (POLLIN | POLLERR | POLLHUP)) ? WaitResult::Readable : WaitResult::Error;
    if (r == 0) return WaitResult::Timeout;
    if (errno != EINTR) return WaitResult::Error;
  }
}

uint16_t local_port(const Socket& s) {
  sockaddr_in sa{};
  socklen_t len = sizeof sa;
  if (::getsockname(s.fd(), reinterpret_cast<sockaddr*>(&sa), &len) != 0) return 0;
  return ntohs(sa.sin_port);
}

}  // namespace platform
