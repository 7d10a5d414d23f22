#pragma once
// Sockets: the small part of a socket library that the upgrader needs.
// Addresses are IPv4, host byte order (first octet in the most significant
// byte); conversion to network order happens only in to_sockaddr/from_sockaddr.
#include <netinet/in.h>

#include <cstddef>
#include <cstdint>

namespace platform {

// Starts the socket library. Always succeeds on this platform; callers keep
// their failure path for ports where it can fail.
bool net_startup();

// Owns one socket descriptor and closes it on destruction.
class Socket {
 public:
  Socket() = default;
  explicit Socket(int fd) : fd_(fd) {}
  Socket(const Socket&) = delete;
  Socket& operator=(const Socket&) = delete;
  Socket(Socket&& other) noexcept : fd_(other.release()) {}
  Socket& operator=(Socket&& other) noexcept;
  ~Socket() { close(); }

  bool valid() const { return fd_ >= 0; }
  int fd() const { return fd_; }
  int release();
  void close();

 private:
  int fd_ = -1;
};

Socket open_tcp_socket();
Socket open_udp_socket();

sockaddr_in to_sockaddr(uint32_t address, uint16_t port);
void from_sockaddr(const sockaddr_in& sa, uint32_t& address, uint16_t& port);

bool bind_socket(const Socket& s, const sockaddr_in& local);
// Blocking connect; an interrupted connect is completed, not abandoned.
bool connect_socket(const Socket& s, const sockaddr_in& remote);
bool set_non_blocking(const Socket& s, bool on);

// Each returns the byte count, or -1 on error (or, non-blocking, when nothing
// is waiting). A send to a peer that has gone away returns -1 and never raises
// SIGPIPE. Interrupted calls are retried.
long send_bytes(const Socket& s, const void* data, size_t length);
long receive_bytes(const Socket& s, void* buffer, size_t length);
long send_datagram(const Socket& s, const void* data, size_t length, const sockaddr_in& to);
long receive_datagram(const Socket& s, void* buffer, size_t length, sockaddr_in& from);

enum class WaitResult { Readable, Timeout, Error };
// Waits until a datagram or data can be read, or the timeout (microseconds) passes.
WaitResult wait_readable(const Socket& s, long timeout_us);

// Local UDP/TCP port a socket is bound to (host order), 0 if unknown.
uint16_t local_port(const Socket& s);

}  // namespace platform
