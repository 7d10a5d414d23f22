#pragma once
// One HTTP exchange with the device's web server: a TCP connection from the
// first free local port of a fixed range, one GET (with the Digest
// Authorization line while a password is known), the whole response read
// until the device closes, then the verdict and the status page fields.
#include <netinet/in.h>

#include <cstddef>
#include <cstdint>

#include "http/device_info.h"
#include "http/digest_state.h"
#include "platform/net.h"

inline constexpr uint16_t device_local_port_base = 23456;
inline constexpr int device_local_port_tries = 101;  // 23456 through 23556
inline constexpr uint16_t device_web_port = 80;

// The parameters of one request. The caller keeps it, and everything it
// borrows, alive until the worker that runs it has ended.
struct ProbeRequest {
  const void* module_instance;  // where the probe's screens come from; the worker ignores it
  uint32_t local_address;       // host order; 0: any local address
  uint16_t local_port_base;     // first local port to try (23456)
  uint32_t device_address;      // host order
  uint16_t device_port;         // 80
  const char* path;             // request target, sent unchanged
  char* buffer;                 // holds buffer_size + 1 bytes: the session's response buffer
  int32_t buffer_size;          // most response bytes to receive (131,071)
  DigestState* digest;          // the session's authentication state
  DeviceInfo* device_info;      // where the status page fields go
};

enum class ResponseClass : int {
  NotHttp = -1,      // does not begin with "HTTP/1.1" (also: nothing received)
  NoStatus = -2,     // ends after the version and its blanks
  StatusOk = 0,      // "200"
  AuthRequired = 1,  // "401" with a challenge taken into the DigestState
  OtherStatus = 2,   // anything else, "401" without a usable challenge included
};

// Host-order address and port to a socket address and back.
sockaddr_in make_socket_address(uint32_t address, uint16_t port);
void read_socket_address(const sockaddr_in& socket_address, uint32_t& address, uint16_t& port);

// A TCP connection to the device from the first of 101 local ports, starting
// at local_port_base, that can be bound; an invalid socket when the connection
// cannot be made. Ends the process, after showing the failure, when no socket
// can be made or no local port can be bound.
platform::Socket open_device_connection(uint32_t local_address, uint16_t local_port_base, uint32_t device_address,
                                        uint16_t device_port);

// Composes the request for `path` in `buffer` (`capacity` bytes, zero byte
// included): request line, Host line, the Authorization line while a password
// is set (nonce_count advanced first), the empty line. Returns its length, or
// 0 when it does not fit whole.
size_t compose_device_request(const char* path, uint32_t device_address, DigestState& digest, char* buffer,
                              size_t capacity);

// Runs one exchange. Returns -1 when the device demands authentication (its
// challenge is then in `digest`), otherwise the response bytes received (0:
// nothing, also when no connection could be made). `buffer` holds
// buffer_size + 1 bytes, so a zero byte always follows what was received.
// There is no time-out of its own: a device that never closes keeps it waiting.
int32_t fetch_device_page(uint32_t local_address, uint16_t local_port_base, uint32_t device_address,
                          uint16_t device_port, const char* path, char* buffer, int32_t buffer_size,
                          DigestState& digest, DeviceInfo& device_info);

// The verdict on a terminated response text; takes the challenge of an
// authentication demand into `digest`.
ResponseClass classify_response(const char* text, DigestState& digest);

// The worker thread's body: fetch_device_page with the request's fields, its
// result unchanged.
int probe_worker(const ProbeRequest& request);
