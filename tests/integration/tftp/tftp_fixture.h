#pragma once
// What the TFTP server's tests share: a session with the embedded images of
// the two-stage test package, sockets for a device played by hand, bounded
// waits on sockets, screens and threads, the upgrade trigger, and the log of
// a child process whose end is the thing tested. Everything runs on loopback
// inside the test's own network namespace.
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "app/session.h"
#include "platform/net.h"

inline constexpr uint32_t pc_address = 0x7f000001;      // 127.0.0.1: this PC
inline constexpr uint32_t device_address = 0x7f000002;  // 127.0.0.2: the device
inline constexpr const char* device_text = "127.0.0.2";
inline constexpr const char* first_name = "/qab4f2.bi1";

using Bytes = std::vector<uint8_t>;
using std::chrono::milliseconds;

Bytes bytes_of(const FirmwareImage& image);

// A session as the upgrade leaves it when the passes begin: both embedded
// images loaded (target 3.3.6, transition 3.3.1), `stage`, the PC and device
// addresses and `file_name`. Registers the screens.
std::unique_ptr<UpgradeSession> make_session(UpgradeStage stage, const char* file_name = first_name);

// An image of `size` bytes (at least its 128-byte header) carrying `version`.
Bytes make_image(uint32_t size, const char* version);
// Points `image` at `bytes`, which the caller keeps alive.
void use_image(FirmwareImage& image, const Bytes& bytes);

// A bound, blocking UDP socket on `address`, any port.
platform::Socket udp_socket(uint32_t address);
uint16_t port_of(const platform::Socket& socket);

struct Datagram {
  Bytes bytes;
  uint32_t address = 0;
  uint16_t port = 0;
  std::chrono::nanoseconds arrived{};  // when the kernel took it in (CLOCK_REALTIME)
};
// The next datagram on `socket`, waiting at most `bound`.
std::optional<Datagram> receive(const platform::Socket& socket, milliseconds bound);
void send_to(const platform::Socket& socket, const Bytes& bytes, uint32_t address, uint16_t port);

// Packets written out here, apart from the server's own coding.
Bytes rrq(std::string_view name, std::string_view mode = "octet",
          const std::vector<std::pair<std::string, std::string>>& options = {{"tsize", "0"}, {"timeout", "5"}});
Bytes ack(uint16_t block);
Bytes text_bytes(std::string_view text);
Bytes oack_bytes(uint32_t size);  // the 19 + n bytes the server must send

// Polls the visible screens until one made from template `screen` has a
// caption beginning with `prefix`; false after `bound`.
bool wait_for_caption(int screen, std::string_view prefix, milliseconds bound);

// The upgrade trigger for `file_name` at 127.0.0.1:`port`, sent to the device
// web server at `device` without screens; the response's byte count.
int32_t trigger_device(uint16_t port, const std::string& file_name, uint32_t device = device_address);

// Runs `body` on a thread of its own. A body that has not ended within the
// bound of wait() cannot be joined: the process then ends with status 4 and
// `report`, so a test can neither hang nor pass.
class Background {
 public:
  explicit Background(std::function<void()> body, std::function<std::string()> report = {});
  ~Background();
  Background(const Background&) = delete;
  Background& operator=(const Background&) = delete;
  void wait(milliseconds bound);

 private:
  std::shared_ptr<std::atomic<bool>> done_;
  std::function<std::string()> report_;
  std::thread thread_;
};

// The log file of a death test's child: the parent and the re-started child
// agree on its name through the environment. The child sends its standard
// error there (with the scripted user's echo on, that is the user's log);
// the parent reads it once the child has ended.
std::string child_log_path();
void send_stderr_to(const std::string& path);
std::string read_text(const std::string& path);
size_t count_of(const std::string& text, std::string_view needle);
// Where `needle` first occurs at or after `from`; npos when it does not.
size_t find_from(const std::string& text, std::string_view needle, size_t from = 0);
