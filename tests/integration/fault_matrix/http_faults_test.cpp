// The HTTP side of the fault matrix: the status probe of the upgrade, from
// the warning screen to the confirmation, against a device whose web server
// misbehaves. The probe has no time-out of its own: where the device keeps it
// waiting, the user's Cancel ends the run ("Upgrade Failed: User Abort", the
// process ends), and a device that asks for a password the user cannot give
// keeps bringing the password screen back until Cancel. Bad values are cut to
// their fields and the buffer, never written past them.
#include <algorithm>
#include <cstring>

#include "app/sequence.h"
#include "http/request.h"
#include "tests/integration/fault_matrix/matrix_fixture.h"

namespace {

constexpr const char* user_abort = "Upgrade Failed: User Abort";

std::string failure_box(const char* message) {
  return std::string("message task-modal \"QAB Firwmare Upgrade Error\": \"") + message + "\"";
}

std::string tail(const std::string& log) { return log.substr(log.size() > 3000 ? log.size() - 3000 : 0); }

// The user's way to the status probe: warning, then the device's address.
void answer_warning_and_address(scripted::User& user) {
  user.on(warning_screen).press(1);
  user.on(adapter_address_screen).type(1000, "127.0.0.2").pick(1017, 0).press(1);
}

// The probe must be over within `bound`, or the test ends with the log.
bool sequence_within(UpgradeSession& s, const scripted::User& user, milliseconds bound) {
  bool confirmed = false;
  Background run([&] { confirmed = run_upgrade_sequence(s); }, [&user] { return user.transcript(); });
  run.wait(bound);
  return confirmed;
}

qabsim::DeviceSimConfig protected_device(const std::string& password = "s3cret") {
  qabsim::DeviceSimConfig c;
  c.protection.enabled = true;
  c.protection.password = password;
  c.protection.qop = "auth";
  return c;
}

// A device that keeps the connection: the connecting screen stays up after
// the device has had the request (and, when it answers, answered it), until
// the user, 2 s of the clock later, presses Cancel.
TEST_F(MatrixTest, ADeviceThatKeepsTheConnectionIsEndedByCancel) {
  struct Case {
    const char* name;
    bool answers;
  };
  const Case cases[] = {
      {"a response that never ends (device answers, never closes)", true},
      {"a device that never answers and never closes", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    case_started_ = std::chrono::steady_clock::now();
    std::string log = log_of_child([&] {
      use_clock();
      make_target_session();
      qabsim::DeviceSimConfig config;
      config.faults.never_close = c.answers;
      config.faults.never_answer = !c.answers;
      start_device(config);
      scripted::User user;
      user.echo(true);
      answer_warning_and_address(user);
      auto seen_at = std::make_shared<uint32_t>(0);
      user.on(connecting_screen)
          .wait_until(
              [this, seen_at](const dialog::WindowView&) {
                if (device_->requests().empty()) return false;
                if (*seen_at == 0) *seen_at = platform::tick_ms();
                if (platform::tick_ms() - *seen_at < 2000) return false;
                std::fprintf(stderr, "test: the device had the request 2 s ago; the probe still waits\n");
                return true;
              },
              "the device has had the request for 2 s")
          .press(2);
      run_upgrade_sequence(*s_);
    });
    const size_t waited = log.find("test: the device had the request 2 s ago; the probe still waits");
    const size_t cancel = find_from(log, "press 105 2", waited);
    EXPECT_NE(cancel, std::string::npos) << tail(log);
    EXPECT_EQ(log.rfind("close 105", cancel), std::string::npos) << "the probe returned\n" << tail(log);
    EXPECT_EQ(count_of(log, "open 105 "), 1u);
    EXPECT_EQ(log.find("open 103"), std::string::npos);
    EXPECT_NE(find_from(log, failure_box(user_abort), cancel), std::string::npos) << tail(log);
    EXPECT_EQ(count_of(log, "message task-modal"), 1u);
    report(std::string(c.name) + ": the probe still waiting 2 s after the request; Cancel on the connecting " +
           "screen: \"" + user_abort + "\", the process ended with status 0");
  }
}

// A device that sends more than the buffer holds and never closes: reading
// stops at 131,071 bytes, so the probe returns without waiting for the close.
TEST_F(MatrixTest, AnEndlessResponseIsReadUpToTheBuffer) {
  use_clock();
  make_target_session();
  qabsim::DeviceSimConfig config;
  config.faults.oversized_response = true;  // 200,000 bytes, the page at their start
  config.faults.never_close = true;
  start_device(config);
  scripted::User user;
  answer_warning_and_address(user);
  user.on(confirm_screen).press(1);
  EXPECT_TRUE(sequence_within(*s_, user, milliseconds(20000)));
  EXPECT_EQ(s_->response_buffer[response_limit], '\0');
  EXPECT_EQ(std::strlen(s_->response_buffer), static_cast<size_t>(response_limit));
  EXPECT_STREQ(s_->device_info.software_version, "3.3.5");
  auto confirm = user.openings(confirm_screen);
  ASSERT_EQ(confirm.size(), 1u);
  EXPECT_EQ(confirm[0].control(1002)->text, "QX900SIM0001");
  report("200,000 bytes from a device that never closes: read up to 131,071 bytes, byte 131,071 zero, the probe "
              "returned without the close, fields on the confirm screen");
}

// A device that refuses every answer: the password screen comes back each
// time (at once for an unchanged nonce; after one automatic repeat for a new
// one) until the user cancels.
TEST_F(MatrixTest, A401LoopAsksAgainUntilCancel) {
  struct Case {
    const char* name;
    unsigned nonce_every;  // a new nonce after this many requests; 0: never
    const char* typed;     // the password the user types each time
    int rounds;            // password screens confirmed before Cancel
    size_t connecting;     // connecting screens in all
  };
  const Case cases[] = {
      {"401 loop, wrong password (same nonce)", 0, "wrong", 5, 6},
      {"401 loop, a new nonce at every request (right password)", 1, "s3cret", 3, 1 + 3 * 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    case_started_ = std::chrono::steady_clock::now();
    std::string log = log_of_child([&] {
      use_clock();
      make_target_session();
      qabsim::DeviceSimConfig config = protected_device();
      config.protection.nonce_every = c.nonce_every;
      start_device(config);
      scripted::User user;
      user.echo(true);
      answer_warning_and_address(user);
      for (int k = 0; k < c.rounds; ++k) user.on(password_screen).type(1005, c.typed).press(1);
      user.on(password_screen).press(2);
      run_upgrade_sequence(*s_);
    });
    EXPECT_EQ(count_of(log, "open 104 "), static_cast<size_t>(c.rounds + 1)) << tail(log);
    EXPECT_EQ(count_of(log, "open 105 "), c.connecting);
    const size_t cancel = log.find("press 104 2");
    EXPECT_NE(cancel, std::string::npos) << tail(log);
    EXPECT_NE(find_from(log, failure_box(user_abort), cancel), std::string::npos);
    EXPECT_EQ(log.find("open 103"), std::string::npos);
    report(std::string(c.name) + ": the password screen " + std::to_string(count_of(log, "open 104 ")) +
                " times, " + std::to_string(count_of(log, "open 105 ")) + " requests; Cancel: \"" + user_abort +
                "\", the process ended with status 0");
  }
}

// Fields with bytes of their own around them, so a write past a field shows.
struct Guarded {
  unsigned char before[64];
  DigestState digest;
  unsigned char between[64];
  DeviceInfo info;
  unsigned char after[64];
};

void expect_guards(const Guarded& g) {
  auto intact = [](const unsigned char* p, size_t n) {
    return std::all_of(p, p + n, [](unsigned char b) { return b == 0xa5; });
  };
  EXPECT_TRUE(intact(g.before, sizeof g.before));
  EXPECT_TRUE(intact(g.between, sizeof g.between));
  EXPECT_TRUE(intact(g.after, sizeof g.after));
}

template <size_t N>
void expect_field(const char (&field)[N], const std::string& value) {
  EXPECT_NE(std::memchr(field, 0, N), nullptr) << "a field without its zero byte";
  EXPECT_EQ(std::string(field, strnlen(field, N)), value);
}

qabsim::DeviceSimConfig huge_challenge() {
  qabsim::DeviceSimConfig config = protected_device();
  config.protection.realm = std::string(10000, 'r');
  config.protection.first_nonce = std::string(10000, 'n');
  config.protection.opaque = std::string(10000, 'o');
  return config;
}

// A challenge whose realm, nonce and opaque are 10,000 bytes each: each is
// cut to its field, the answer is still a well-formed request that the device
// can read, and nothing is written past a field or the buffer.
TEST_F(MatrixTest, ChallengeWithValuesOf10000BytesIsCutToItsFields) {
  use_clock();
  make_target_session();
  start_device(huge_challenge());

  Guarded g;
  std::memset(&g, 0xa5, sizeof g);
  std::memset(&g.digest, 0, sizeof g.digest);
  std::memset(&g.info, 0, sizeof g.info);
  std::vector<char> area(response_buffer_size + 256, 0x5a);
  auto fetch = [&] {
    return fetch_device_page(pc_address, device_local_port_base, device_address, device_web_port, "/admin/advanced",
                             area.data(), response_limit, g.digest, g.info);
  };
  ASSERT_EQ(fetch(), -1);
  expect_field(g.digest.realm, std::string(127, 'r'));
  expect_field(g.digest.nonce, std::string(127, 'n'));
  expect_field(g.digest.opaque, std::string(127, 'o'));
  expect_field(g.digest.qop, "auth");
  expect_guards(g);

  std::strcpy(g.digest.user, "admin");
  std::strcpy(g.digest.password, "s3cret");
  EXPECT_EQ(fetch(), -1) << "the device took an answer made with a cut nonce";
  expect_guards(g);
  EXPECT_TRUE(std::all_of(area.begin() + response_buffer_size, area.end(), [](char b) { return b == 0x5a; }));
  auto requests = device_->requests();
  ASSERT_EQ(requests.size(), 2u);
  const qabsim::RecordedRequest& answer = requests[1];
  EXPECT_EQ(answer.method, "GET");
  EXPECT_EQ(answer.target, "/admin/advanced");
  EXPECT_EQ(answer.bytes.rfind("GET /admin/advanced HTTP/1.1\r\nHost: 127.0.0.2\r\nAuthorization: Digest ", 0), 0u);
  EXPECT_EQ(count_of(answer.bytes, "\r\n"), 4u) << answer.bytes;
  EXPECT_EQ(answer.bytes.substr(answer.bytes.size() - 4), "\r\n\r\n");
  EXPECT_EQ(answer.authorization.at("realm"), std::string(127, 'r'));
  EXPECT_EQ(answer.authorization.at("nonce"), std::string(127, 'n'));
  EXPECT_EQ(answer.authorization.at("opaque"), std::string(127, 'o'));
  EXPECT_EQ(answer.authorization.at("nc"), "000000001");
  EXPECT_EQ(answer.authorization.at("response").size(), 32u);
  EXPECT_EQ(answer.status, 401);
  report("challenge with realm, nonce and opaque of 10,000 bytes: each cut to 127 bytes, the answer a valid request "
         "of " + std::to_string(answer.bytes.size()) + " bytes that the device parsed, no byte written past a field "
         "or the buffer; refused (401), as made with the cut nonce");
}

// The same device through the probe: the password is asked, the answer made
// with the cut nonce refused, the password asked again, until Cancel.
TEST_F(MatrixTest, ChallengeWithValuesOf10000BytesAsksAgainUntilCancel) {
  case_started_ = std::chrono::steady_clock::now();
  std::string log = log_of_child([&] {
    use_clock();
    make_target_session();
    start_device(huge_challenge());
    scripted::User user;
    user.echo(true);
    answer_warning_and_address(user);
    user.on(password_screen).type(1005, "s3cret").press(1);
    user.on(password_screen).press(2);
    run_upgrade_sequence(*s_);
  });
  EXPECT_EQ(count_of(log, "open 104 "), 2u) << tail(log);
  EXPECT_NE(find_from(log, failure_box(user_abort), log.find("press 104 2")), std::string::npos) << tail(log);
  EXPECT_EQ(log.find("open 103"), std::string::npos);
  report(std::string("challenge of 10,000-byte values through the probe: the password screen ") +
         std::to_string(count_of(log, "open 104 ")) + " times; Cancel: \"" + user_abort +
         "\", the process ended with status 0");
}

// A status page of exactly `size` bytes whose last value runs to its end.
std::string status_page_of(size_t size) {
  std::string page = "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nConnection: close\r\n\r\n<html><body><table>"
                     "<tr><td>Product Name:</td><td>" + std::string(10000, 'P') + "</td></tr>"
                     "<tr><td>MAC Address:</td><td>02:00:00:12:34:56</td></tr>"
                     "<tr><td>Software Version:</td><td>3.3.5</td></tr>"
                     "<tr><td>Hardware Version:</td><td>1.0</td></tr>";
  const std::string last = "<tr><td>Serial Number:</td><td>QX900SIM0001";
  page += std::string(size - page.size() - last.size(), ' ');
  return page + last;
}

// Pages of 131,071 bytes (the most a request receives) and 131,072: the
// fields are read, the byte at index 131,071 is zero, the last byte of the
// longer page is not read, and nothing lands past the buffer or a field.
TEST_F(MatrixTest, StatusPagesAtTheBufferLimit) {
  struct Case {
    const char* name;
    size_t size;
    const char* serial;  // the value that ends the page, as far as it was read
  };
  const Case cases[] = {
      {"status page of 131,071 bytes", 131071, "QX900SIM0001"},
      {"status page of 131,072 bytes", 131072, "QX900SIM000"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    use_clock();
    make_target_session();
    qabsim::DeviceSimConfig config;
    config.raw_response = status_page_of(c.size);
    start_device(config);

    // Through the upgrade's own probe, into the session's buffer.
    scripted::User user;
    answer_warning_and_address(user);
    user.on(confirm_screen).press(1);
    EXPECT_TRUE(sequence_within(*s_, user, milliseconds(20000)));
    EXPECT_EQ(s_->response_buffer[response_limit], '\0');
    EXPECT_EQ(std::strlen(s_->response_buffer), static_cast<size_t>(response_limit));
    expect_field(s_->device_info.product_name, std::string(127, 'P'));
    expect_field(s_->device_info.software_version, "3.3.5");
    expect_field(s_->device_info.serial_number, c.serial);
    DigestState untouched{};
    EXPECT_EQ(std::memcmp(&s_->digest, &untouched, sizeof untouched), 0) << "written past the fields";

    // Once more into a buffer with bytes of its own after it.
    std::vector<char> area(response_buffer_size + 256, 0x5a);
    Guarded g;
    std::memset(&g, 0xa5, sizeof g);
    std::memset(&g.digest, 0, sizeof g.digest);
    std::memset(&g.info, 0, sizeof g.info);
    int32_t n = fetch_device_page(pc_address, device_local_port_base, device_address, device_web_port,
                                  "/admin/advanced", area.data(), response_limit, g.digest, g.info);
    EXPECT_EQ(n, response_limit);
    EXPECT_EQ(area[response_limit], '\0');
    EXPECT_TRUE(std::all_of(area.begin() + response_buffer_size, area.end(), [](char b) { return b == 0x5a; }));
    expect_field(g.info.serial_number, c.serial);
    expect_guards(g);
    report(std::string(c.name) + ": " + std::to_string(n) + " bytes read, byte 131,071 zero, fields read " +
                "(product name cut to 127, serial \"" + c.serial + "\"), nothing past the buffer or a field, " +
                "confirm screen reached");
    device_->stop();
    platform::install_clock(nullptr);
  }
}

}  // namespace
