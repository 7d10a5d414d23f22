#include "tests/integration/tftp/tftp_fixture.h"

#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

#include "http/request.h"
#include "platform/dialog/front_end.h"
#include "tools/qab-mkimage/mkimage.h"
#include "ui/ui.h"

Bytes bytes_of(const FirmwareImage& image) { return Bytes(image.data, image.data + image.size); }

std::unique_ptr<UpgradeSession> make_session(UpgradeStage stage, const char* file_name) {
  ui::install();
  auto s = std::make_unique<UpgradeSession>();
  if (!load_images(UpgradeStage::Transition, s->target_image, s->transition_image)) {
    std::fprintf(stderr, "the test package's images are missing\n");
    std::abort();
  }
  s->stage.store(stage);
  s->device_kind = DeviceKind::Adapter;
  s->local_addresses[0] = pc_address;
  s->local_address = pc_address;
  s->device_address = device_address;
  std::strcpy(s->device_address_text, device_text);
  s->tftp_file_name.set(file_name);
  return s;
}

Bytes make_image(uint32_t size, const char* version) {
  ImageRecipe recipe;
  recipe.magic = "QaBx900tFiRmWaRe";
  recipe.version = version;
  recipe.total_length = size;
  recipe.seed = size;
  return build_image(recipe);
}

void use_image(FirmwareImage& image, const Bytes& bytes) {
  image.data = bytes.data();
  image.size = static_cast<uint32_t>(bytes.size());
  std::memcpy(&image.header, bytes.data(), sizeof image.header);
}

platform::Socket udp_socket(uint32_t address) {
  platform::Socket s = platform::open_udp_socket();
  if (!s.valid() || !platform::bind_socket(s, platform::to_sockaddr(address, 0))) {
    std::perror("test socket");
    std::abort();
  }
  int on = 1;
  ::setsockopt(s.fd(), SOL_SOCKET, SO_TIMESTAMPNS, &on, sizeof on);
  return s;
}

uint16_t port_of(const platform::Socket& socket) { return platform::local_port(socket); }

std::optional<Datagram> receive(const platform::Socket& socket, milliseconds bound) {
  if (platform::wait_readable(socket, static_cast<long>(bound.count()) * 1000) != platform::WaitResult::Readable)
    return std::nullopt;
  Datagram d;
  d.bytes.resize(70000);
  sockaddr_in from{};
  iovec io{d.bytes.data(), d.bytes.size()};
  alignas(cmsghdr) char control[256];
  msghdr m{};
  m.msg_name = &from;
  m.msg_namelen = sizeof from;
  m.msg_iov = &io;
  m.msg_iovlen = 1;
  m.msg_control = control;
  m.msg_controllen = sizeof control;
  ssize_t n = ::recvmsg(socket.fd(), &m, MSG_DONTWAIT);
  if (n < 0) return std::nullopt;
  d.bytes.resize(static_cast<size_t>(n));
  platform::from_sockaddr(from, d.address, d.port);
  for (cmsghdr* c = CMSG_FIRSTHDR(&m); c; c = CMSG_NXTHDR(&m, c)) {
    if (c->cmsg_level == SOL_SOCKET && c->cmsg_type == SCM_TIMESTAMPNS) {
      timespec ts;
      std::memcpy(&ts, CMSG_DATA(c), sizeof ts);
      d.arrived = std::chrono::seconds(ts.tv_sec) + std::chrono::nanoseconds(ts.tv_nsec);
    }
  }
  return d;
}

void send_to(const platform::Socket& socket, const Bytes& bytes, uint32_t address, uint16_t port) {
  platform::send_datagram(socket, bytes.data(), bytes.size(), platform::to_sockaddr(address, port));
}

Bytes text_bytes(std::string_view text) { return Bytes(text.begin(), text.end()); }

Bytes rrq(std::string_view name, std::string_view mode, const std::vector<std::pair<std::string, std::string>>& options) {
  Bytes b{0, 1};
  auto put = [&b](std::string_view text) {
    b.insert(b.end(), text.begin(), text.end());
    b.push_back(0);
  };
  put(name);
  put(mode);
  for (const auto& [option, value] : options) {
    put(option);
    put(value);
  }
  return b;
}

Bytes ack(uint16_t block) { return Bytes{0, 4, static_cast<uint8_t>(block >> 8), static_cast<uint8_t>(block)}; }

Bytes oack_bytes(uint32_t size) {
  std::string text = std::string("\0\6tsize\0", 8) + std::to_string(size) + std::string("\0timeout\0" "5\0", 11);
  return text_bytes(text);
}

bool wait_for_caption(int screen, std::string_view prefix, milliseconds bound) {
  auto give_up = std::chrono::steady_clock::now() + bound;
  for (;;) {
    for (const dialog::WindowView& v : dialog::visible_windows())
      if (v.template_id == screen && v.caption.rfind(prefix, 0) == 0) return true;
    if (std::chrono::steady_clock::now() >= give_up) return false;
    std::this_thread::sleep_for(milliseconds(1));
  }
}

int32_t trigger_device(uint16_t port, const std::string& file_name, uint32_t device) {
  std::string path = "/admin/upgrade?tftp://127.0.0.1:" + std::to_string(port) + file_name;
  std::vector<char> buffer(131072);
  DigestState digest{};
  DeviceInfo info{};
  return fetch_device_page(pc_address, device_local_port_base, device, device_web_port, path.c_str(), buffer.data(),
                           131071, digest, info);
}

Background::Background(std::function<void()> body, std::function<std::string()> report)
    : done_(std::make_shared<std::atomic<bool>>(false)), report_(std::move(report)) {
  thread_ = std::thread([done = done_, body = std::move(body)] {
    body();
    done->store(true);
  });
}

Background::~Background() { wait(milliseconds(60000)); }

void Background::wait(milliseconds bound) {
  if (!thread_.joinable()) return;
  auto give_up = std::chrono::steady_clock::now() + bound;
  while (!done_->load()) {
    if (std::chrono::steady_clock::now() >= give_up) {
      std::fprintf(stderr, "a thread under test did not end within %lld ms\n%s", static_cast<long long>(bound.count()),
                   report_ ? report_().c_str() : "");
      std::fflush(stderr);
      std::_Exit(4);
    }
    std::this_thread::sleep_for(milliseconds(1));
  }
  thread_.join();
}

std::string child_log_path() {
  if (const char* path = std::getenv("QAB_TFTP_CHILD_LOG")) return path;
  std::string path = "/tmp/qab-tftp-child-" + std::to_string(::getpid()) + ".log";
  ::setenv("QAB_TFTP_CHILD_LOG", path.c_str(), 1);
  return path;
}

void send_stderr_to(const std::string& path) {
  int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (fd < 0 || ::dup2(fd, 2) < 0) std::_Exit(5);
  ::close(fd);
}

std::string read_text(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

size_t count_of(const std::string& text, std::string_view needle) {
  size_t n = 0;
  for (size_t at = text.find(needle); at != std::string::npos; at = text.find(needle, at + needle.size())) ++n;
  return n;
}

size_t find_from(const std::string& text, std::string_view needle, size_t from) {
  return from == std::string::npos ? std::string::npos : text.find(needle, from);
}
