#include "http/request.h"

#include <cstring>

#include "http/digest.h"
#include "http/status_fields.h"
#include "http/text_writer.h"
#include "platform/failure.h"
#include "platform/host.h"

sockaddr_in make_socket_address(uint32_t address, uint16_t port) { return platform::to_sockaddr(address, port); }

void read_socket_address(const sockaddr_in& socket_address, uint32_t& address, uint16_t& port) {
  platform::from_sockaddr(socket_address, address, port);
}

platform::Socket open_device_connection(uint32_t local_address, uint16_t local_port_base, uint32_t device_address,
                                        uint16_t device_port) {
  platform::Socket s = platform::open_tcp_socket();
  if (!s.valid()) {
    platform::present_failure("Upgrade Failed: Can't open HTTP socket");
    platform::end_process();
  }
  // A fixed range of local ports, so a firewall on the PC can be opened for
  // exactly these; the next port is tried while one is still taken.
  bool bound = false;
  for (int k = 0; k < device_local_port_tries && !bound; ++k) {
    bound = platform::bind_socket(s, make_socket_address(local_address, static_cast<uint16_t>(local_port_base + k)));
  }
  if (!bound) {
    platform::present_failure("Upgrade Failed: Can't bind HTTP socket");
    platform::end_process();
  }
  if (!platform::connect_socket(s, make_socket_address(device_address, device_port))) return {};
  return s;
}

size_t compose_device_request(const char* path, uint32_t device_address, DigestState& digest, char* buffer,
                              size_t capacity) {
  TextWriter request(buffer, capacity);
  request.append("GET %s HTTP/1.1\r\n", path);
  request.append("Host: %u.%u.%u.%u\r\n", device_address >> 24, (device_address >> 16) & 0xff,
                 (device_address >> 8) & 0xff, device_address & 0xff);
  size_t length = request.length();
  if (digest.password[0] != '\0') {
    ++digest.nonce_count;
    if (request.fits()) {
      int n = build_authorization(digest, path, buffer + length, capacity - length);
      if (n == 0) return 0;
      length += static_cast<size_t>(n);
    }
  }
  if (!request.fits() || capacity - length < 3) return 0;
  std::memcpy(buffer + length, "\r\n", 3);
  return length + 2;
}

int32_t fetch_device_page(uint32_t local_address, uint16_t local_port_base, uint32_t device_address,
                          uint16_t device_port, const char* path, char* buffer, int32_t buffer_size,
                          DigestState& digest, DeviceInfo& device_info) {
  platform::Socket connection = open_device_connection(local_address, local_port_base, device_address, device_port);
  if (buffer_size < 0) buffer_size = 0;

  // The request is composed (and the count advanced) whether or not there is
  // a connection. One that does not fit the buffer whole is not sent at all:
  // a cut request would leave the device waiting for its end.
  size_t length = compose_device_request(path, device_address, digest, buffer, static_cast<size_t>(buffer_size) + 1);
  if (length == 0) return 0;
  if (connection.valid()) platform::send_bytes(connection, buffer, length);

  int32_t received = 0;
  while (connection.valid() && received < buffer_size) {
    long n = platform::receive_bytes(connection, buffer + received, static_cast<size_t>(buffer_size - received));
    if (n <= 0) break;
    received += static_cast<int32_t>(n);
    buffer[received] = '\0';
  }

  // With nothing received the buffer still holds the request, which is not HTTP.
  if (classify_response(buffer, digest) == ResponseClass::AuthRequired) return -1;
  if (received > 0) scrape_status_fields(buffer, device_info);
  return received;
}

ResponseClass classify_response(const char* text, DigestState& digest) {
  if (std::strncmp(text, "HTTP/1.1", 8) != 0) return ResponseClass::NotHttp;
  const char* at = text + 8;
  if (*at == '\0') return ResponseClass::NoStatus;
  ++at;  // the blank after the version, whatever it is
  while (*at == ' ' || *at == '\t') ++at;
  if (*at == '\0') return ResponseClass::NoStatus;
  if (std::strncmp(at, "200", 3) == 0) return ResponseClass::StatusOk;
  if (std::strncmp(at, "401", 3) != 0) return ResponseClass::OtherStatus;
  const char* challenge = std::strstr(at, "WWW-Authenticate:");
  if (!challenge) return ResponseClass::OtherStatus;
  return parse_digest_challenge(challenge, digest) == 0 ? ResponseClass::AuthRequired : ResponseClass::OtherStatus;
}

int probe_worker(const ProbeRequest& request) {
  return fetch_device_page(request.local_address, request.local_port_base, request.device_address,
                           request.device_port, request.path, request.buffer, request.buffer_size, *request.digest,
                           *request.device_info);
}
