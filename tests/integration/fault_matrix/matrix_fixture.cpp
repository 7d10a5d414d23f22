#include "tests/integration/fault_matrix/matrix_fixture.h"

#include <sys/prctl.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <sstream>

#include "app/passes.h"
#include "platform/dialog/front_end.h"

namespace {

std::mutex lines_lock;
std::vector<std::string> lines;

// Prints the summary once every case has run (in the parent process only: a
// death test's child ends inside its case).
class MatrixSummary : public ::testing::Environment {
 public:
  void TearDown() override {
    std::lock_guard guard(lines_lock);
    std::printf("\nFault matrix, %zu cases:\n", lines.size());
    for (const std::string& line : lines) std::printf("  %s\n", line.c_str());
    std::fflush(stdout);
  }
};

::testing::Environment* const summary = ::testing::AddGlobalTestEnvironment(new MatrixSummary);

}  // namespace

void matrix_line(const std::string& line) {
  std::lock_guard guard(lines_lock);
  lines.push_back(line);
}

void TimedUser::changed(const dialog::Change& change) {
  if (change.kind == dialog::Change::Caption && change.template_id == uploading_screen) {
    std::lock_guard guard(captions_lock_);
    captions_.push_back({platform::tick_ms(), std::string(change.text)});
  }
  scripted::User::changed(change);
}

std::vector<TimedUser::Caption> TimedUser::upload_captions() const {
  std::lock_guard guard(captions_lock_);
  return captions_;
}

void MatrixTest::SetUp() {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  // One millisecond of the fast clock is 50 us of real time, as long as the
  // kernel's default timer slack: without this every idle poll would last
  // about twice its length. Threads started from here on inherit it.
  ::prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
}

void MatrixTest::TearDown() {
  if (device_) device_->stop();
  device_.reset();
  listener_.reset();
  platform::install_clock(nullptr);
}

void MatrixTest::use_clock(unsigned speed) {
  case_started_ = std::chrono::steady_clock::now();
  clock_ = std::make_unique<TwoSpeedClock>(0x00100000, speed);
  platform::install_clock(clock_.get());
}

void MatrixTest::report(const std::string& line) const {
  std::chrono::duration<double> took = std::chrono::steady_clock::now() - case_started_;
  char seconds[32];
  std::snprintf(seconds, sizeof seconds, " [%.1f s]", took.count());
  matrix_line(line + seconds);
}

void MatrixTest::speed_up_after_the_transfer() {
  EXPECT_TRUE(wait_for_caption(uploading_screen, "Updating ", milliseconds(120000))) << "the transfer never ended";
  EXPECT_TRUE(device_->wait_for_fetches(1, milliseconds(60000))) << "the device's fetch never ended";
  clock_->set_speed(flash_speed);
}

void MatrixTest::make_target_session() { s_ = make_session(UpgradeStage::Target); }

void MatrixTest::use_target_image_of(uint32_t size) {
  image_ = make_image(size, "3.3.6");
  use_image(s_->target_image, image_);
}

qabsim::DeviceSim& MatrixTest::start_device(qabsim::DeviceSimConfig config) {
  if (device_) device_->stop();
  config.address = device_address;
  config.port = 80;
  device_ = std::make_unique<qabsim::DeviceSim>(std::move(config));
  device_->start();
  return *device_;
}

qabsim::DeviceSimConfig MatrixTest::upgrading_device(const std::function<void(qabsim::UpgradeBehaviour&)>& set) const {
  qabsim::DeviceSimConfig config;
  qabsim::UpgradeBehaviour& u = config.upgrade;
  u.fetch = true;
  u.expected_image = bytes_of(s_->target_image);
  u.flash_ms = 10000;
  // The device's own bound on a whole fetch, far above what any case needs.
  u.give_up_after_ms = 3600000;
  if (set) set(u);
  return config;
}

PassOutcome MatrixTest::run_target_pass(TimedUser& user, const std::function<void()>& before_request,
                                        const std::function<void()>& after_request) {
  listener_.reset(open_tftp_listener(pc_address, *s_));
  {
    Background pass([this] { run_tftp_pass(*listener_, true); }, [&user] { return user.transcript(); });
    EXPECT_TRUE(wait_for_caption(waiting_screen, "Waiting", milliseconds(10000)));
    if (before_request) before_request();
    send_upgrade_requests(*s_, listener_->port, UpgradeStage::Target);
    if (after_request) after_request();
    speed_up_after_the_transfer();
    pass.wait(milliseconds(60000));
  }
  listener_.reset();

  PassOutcome o;
  if (device_->wait_for_upgrades(1, milliseconds(30000))) o.upgrade = device_->upgrades()[0];
  for (const scripted::MessageRecord& m : user.message_boxes()) o.messages.push_back(m.text);
  bool wait_over = false;  // the flash wait's bar has reached its end, 937 units
  for (const scripted::Entry& e : user.entries()) {
    if (e.kind == scripted::Entry::ProgressPos && e.screen == uploading_screen && e.value == 937) wait_over = true;
    if (e.kind == scripted::Entry::Message && !wait_over) o.messages_after_the_wait = false;
  }
  auto success = user.openings(success_screen);
  o.success_screens = success.size();
  if (!success.empty() && success[0].control(1004)) o.success_version = success[0].control(1004)->text;
  o.connecting_screens = user.openings(connecting_screen).size();

  const std::string size = std::to_string(s_->target_image.size);
  const std::string whole = "Uploading Target Firmware to QAB@127.0.0.2 " + size + "/" + size + " Bytes";
  std::vector<TimedUser::Caption> captions = user.upload_captions();
  const TimedUser::Caption* last_upload = nullptr;
  const TimedUser::Caption* end = nullptr;
  for (const TimedUser::Caption& c : captions) {
    if (c.text.rfind("Uploading ", 0) == 0) last_upload = &c;
    if (c.text.rfind("Updating ", 0) == 0 && !end) end = &c;
  }
  o.transfer_complete = last_upload && last_upload->text == whole;
  if (last_upload && end) o.last_block_to_end_ms = static_cast<int64_t>(end->tick - last_upload->tick);
  return o;
}

std::string log_of_child(const std::function<void()>& body) {
  const std::string path = child_log_path();
  EXPECT_EXIT(
      {
        send_stderr_to(path);
        body();
        std::fprintf(stderr, "the process did not end\n");
        std::_Exit(7);
      },
      ::testing::ExitedWithCode(0), "");
  std::string log = read_text(path);
  ::unlink(path.c_str());
  return log;
}

namespace {

Bytes junk(long k, const std::string& name) {
  std::string upper = name;
  for (char& c : upper) c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
  Bytes b;
  switch (k % 14) {
    case 0:  // an empty datagram
      return b;
    case 1:  // no opcode
      return Bytes{0};
    case 2:  // another file
      return rrq("/qab4f2.bi0");
    case 3:  // the file in other letter case
      return rrq(upper);
    case 4:  // a write request for it
      b = rrq(name);
      b[1] = 2;
      return b;
    case 5:  // its name without the zero byte, up to the datagram's end
      b = rrq(name, "", {});
      b.resize(2 + name.size());
      return b;
    case 6:  // ACKs of every block, from a stranger's port
      return ack(static_cast<uint16_t>(k % 2100));
    case 7:  // an ACK cut in its block number
      return Bytes{0, 4, 0};
    case 8:  // longer than the packet buffer
      b = ack(0);
      b.resize(1100);
      return b;
    case 9:
      b = ack(1);
      b[1] = 3;
      b.resize(516, 0x5a);
      return b;
    case 10:
      return Bytes{0, 5, 0, 0, 'j', 'u', 'n', 'k', 0};
    case 11:  // an opcode of no packet
      return Bytes{0, 9, 0, 1};
    case 12:
      return Bytes(1500, 0xff);
    default:
      return oack_bytes(1074589);
  }
}

}  // namespace

JunkFlood::JunkFlood(uint16_t port) {
  thread_ = std::thread([this, port] {
    platform::Socket socket = udp_socket(device_address);
    const std::string name = first_name;
    auto next = std::chrono::steady_clock::now();
    while (!stop_.load()) {
      if (sent_.load() >= budget_.load()) {
        std::this_thread::sleep_for(std::chrono::microseconds(200));
        next = std::chrono::steady_clock::now();
        continue;
      }
      std::this_thread::sleep_until(next);
      send_to(socket, junk(sent_.load(), name), pc_address, port);
      sent_.fetch_add(1);
      next += std::chrono::microseconds(gap_us_.load());
    }
  });
}

JunkFlood::~JunkFlood() {
  stop_.store(true);
  thread_.join();
}

bool JunkFlood::wait_sent(long count, milliseconds bound) const {
  auto give_up = std::chrono::steady_clock::now() + bound;
  while (sent_.load() < count) {
    if (std::chrono::steady_clock::now() >= give_up) return false;
    std::this_thread::sleep_for(milliseconds(1));
  }
  return true;
}

long udp_receive_drops() {
  std::ifstream in("/proc/net/snmp");
  std::string names, values;
  while (std::getline(in, names)) {
    if (names.rfind("Udp: ", 0) != 0 || !std::getline(in, values)) continue;
    std::istringstream n(names), v(values);
    std::string name, value;
    while (n >> name && v >> value)
      if (name == "RcvbufErrors") return std::stol(value);
  }
  return -1;
}
