// qab-device-sim: a simulated QAB device's web server, for demos and tests.
// Serves until SIGINT or SIGTERM.
#include <arpa/inet.h>
#include <signal.h>

#include <cstdio>
#include <cstdlib>
#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <vector>

#include "tools/qab-device-sim/device_sim.h"

namespace {

void usage(FILE* out) {
  std::fputs(
      "usage: qab-device-sim [options]\n"
      "Serves a simulated QAB device's web pages until SIGINT or SIGTERM.\n"
      "\n"
      "  --address A.B.C.D          address to listen on (default 127.0.0.2)\n"
      "  --port N                   TCP port (default 80)\n"
      "Status page /admin/advanced:\n"
      "  --product-name TEXT        (default QABX900)\n"
      "  --mac-address TEXT         (default 02:00:00:12:34:56)\n"
      "  --software-version TEXT    (default 3.3.5)\n"
      "  --hardware-version TEXT    (default 1.0)\n"
      "  --serial-number TEXT       (default QX900SIM0001)\n"
      "Digest protection (on when a password is given):\n"
      "  --password TEXT            the administrator's password\n"
      "  --user NAME                the administrator's user name (default admin)\n"
      "  --realm TEXT               (default \"QAB Device\")\n"
      "  --qop LIST                 none, auth, auth-int or auth,auth-int (default none)\n"
      "  --algorithm NAME           the challenge's algorithm value, e.g. MD5 or MD5-sess (default MD5)\n"
      "  --algorithm-form FORM      absent, quoted or unquoted (default absent)\n"
      "  --opaque TEXT              send and check an opaque value\n"
      "  --nonce-every N            a new nonce after every N requests (default: never)\n"
      "Faults:\n"
      "  --refuse                   refuse connections\n"
      "  --never-answer             accept and read requests, never answer\n"
      "  --never-close              answer, never close the connection\n"
      "  --answer-delay MS          wait MS milliseconds before answering each request\n"
      "  --close-mid-response       close after half of each response\n"
      "  --oversized                make each response exactly 200,000 bytes\n"
      "  --challenge-missing        answer every request 401 without a challenge\n"
      "  --http10                   say HTTP/1.0 in the status line\n"
      "  --unanswered N             close the next N connections without an answer\n"
      "After an upgrade trigger (/admin/upgrade?tftp://A.B.C.D:PORT/FILE) the device\n"
      "fetches FILE over TFTP (from loopback addresses only), checks it, is away\n"
      "while flashing, and comes back reporting the version in the image's header:\n"
      "  --no-fetch                 only record triggers; fetch nothing\n"
      "  --tftp-address A.B.C.D     the device's own address for TFTP (default: --address)\n"
      "  --tftp-mode MODE           the read request's mode (default octet)\n"
      "  --tftp-options LIST        device (tsize 0, timeout 5; the default), none,\n"
      "                             or NAME=VALUE[,NAME=VALUE...]\n"
      "  --tftp-resend-ms N         repeat the last packet after N ms of silence (default 1000)\n"
      "  --tftp-retries N           repeats before giving up (default 5)\n"
      "  --expect-image FILE        the image the device must receive, byte for byte;\n"
      "                             another one is not flashed\n"
      "  --flash-ms N               web server away for N ms while flashing (default 10000)\n"
      "  --address-after-flash A.B.C.D   come back on another address\n"
      "  --version-after-flash TEXT      report TEXT instead of the header's version\n"
      "  --unanswered-after-flash N      once back, close N connections without an answer\n"
      "  --password-after-flash TEXT     once back, ask for this password (as after a reset)\n"
      "TFTP faults:\n"
      "  --drop-sent F              lose this fraction (0..1) of the datagrams the device sends\n"
      "  --drop-received F          lose this fraction of the datagrams it receives\n"
      "  --loss-seed N              seed of the losses (default 1)\n"
      "  --duplicate-acks           send every ACK twice\n"
      "  --reorder-acks             follow every ACK with a late copy of the one before\n"
      "  --ack-from-other-port N    send the first ACK of block N (0: the OACK's) from another port\n"
      "  --stray KIND[,KIND...]     send these before each ACK: tiny, truncated-ack,\n"
      "                             oversized-ack, unknown-opcode, data, wrq, repeated-rrq, error\n"
      "  --strays-from-other-port   send the strays from another port\n"
      "  --stall-at-block N         wait --stall-ms before acknowledging block N\n"
      "  --stall-ms N\n"
      "  --reboot-at-block N        stop answering at block N (0: the OACK), as if rebooted\n"
      "  --reboot-listen-ms N       count what the server still sends for N ms after that\n"
      "\n"
      "  --verbose                  print each request and its status\n"
      "  --help                     show this text\n",
      out);
}

std::string dotted(uint32_t a) {
  return std::to_string(a >> 24) + "." + std::to_string((a >> 16) & 0xff) + "." + std::to_string((a >> 8) & 0xff) +
         "." + std::to_string(a & 0xff);
}

unsigned long number(const char* text, unsigned long max, const char* what) {
  char* end = nullptr;
  unsigned long v = std::strtoul(text, &end, 10);
  if (*text == '\0' || *end != '\0' || v > max) throw std::invalid_argument(std::string("bad ") + what + ": " + text);
  return v;
}

uint32_t address(const char* text) {
  in_addr a{};
  if (inet_pton(AF_INET, text, &a) != 1) throw std::invalid_argument(std::string("bad address: ") + text);
  return ntohl(a.s_addr);
}

double fraction(const char* text) {
  char* end = nullptr;
  double v = std::strtod(text, &end);
  if (*text == '\0' || *end != '\0' || !(v >= 0 && v <= 1)) throw std::invalid_argument(std::string("bad fraction: ") + text);
  return v;
}

std::vector<std::string> split(const std::string& list) {
  std::vector<std::string> items;
  size_t from = 0;
  for (;;) {
    size_t comma = list.find(',', from);
    items.push_back(list.substr(from, comma - from));
    if (comma == std::string::npos) return items;
    from = comma + 1;
  }
}

qab_sim::TftpOptions request_options(const std::string& text) {
  if (text == "device") return qab_sim::device_request_options();
  if (text == "none") return {};
  qab_sim::TftpOptions options;
  for (const std::string& item : split(text)) {
    size_t equals = item.find('=');
    if (equals == 0 || equals == std::string::npos) throw std::invalid_argument("bad TFTP option: " + item);
    options.push_back({item.substr(0, equals), item.substr(equals + 1)});
  }
  return options;
}

std::vector<qab_sim::StrayKind> stray_kinds(const std::string& text) {
  using K = qab_sim::StrayKind;
  const std::pair<const char*, K> names[] = {
      {"tiny", K::Tiny},       {"truncated-ack", K::TruncatedAck}, {"oversized-ack", K::OversizedAck},
      {"unknown-opcode", K::UnknownOpcode}, {"data", K::Data}, {"wrq", K::Wrq},
      {"repeated-rrq", K::RepeatedRrq},     {"error", K::Error}};
  std::vector<K> kinds;
  for (const std::string& item : split(text)) {
    auto it = std::find_if(std::begin(names), std::end(names), [&](const auto& n) { return item == n.first; });
    if (it == std::end(names)) throw std::invalid_argument("unknown stray datagram: " + item);
    kinds.push_back(it->second);
  }
  return kinds;
}

std::vector<uint8_t> read_image(const char* path) {
  std::ifstream in(path, std::ios::binary);
  std::vector<uint8_t> bytes;
  if (in) bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  if (bytes.empty()) throw std::invalid_argument(std::string("cannot read the image ") + path);
  return bytes;
}

qabsim::DeviceSimConfig parse(int argc, char** argv, bool& verbose) {
  qabsim::DeviceSimConfig c;
  qabsim::Protection& p = c.protection;
  qabsim::UpgradeBehaviour& u = c.upgrade;
  qab_sim::TftpFaults& tf = u.faults;
  u.fetch = true;  // the command stands in for a device: it fetches unless told not to
  for (int i = 1; i < argc; ++i) {
    std::string option = argv[i];
    auto value = [&]() -> const char* {
      if (i + 1 >= argc) throw std::invalid_argument(option + " needs a value");
      return argv[++i];
    };
    if (option == "--address") {
      c.address = address(value());
    } else if (option == "--port") {
      c.port = static_cast<uint16_t>(number(value(), 65535, "port"));
    } else if (option == "--product-name") {
      c.page.product_name = value();
    } else if (option == "--mac-address") {
      c.page.mac_address = value();
    } else if (option == "--software-version") {
      c.page.software_version = value();
    } else if (option == "--hardware-version") {
      c.page.hardware_version = value();
    } else if (option == "--serial-number") {
      c.page.serial_number = value();
    } else if (option == "--password") {
      p.password = value();
      p.enabled = true;
    } else if (option == "--user") {
      p.user = value();
    } else if (option == "--realm") {
      p.realm = value();
    } else if (option == "--qop") {
      std::string q = value();
      p.qop = q == "none" ? "" : q;
    } else if (option == "--algorithm") {
      p.algorithm = value();
    } else if (option == "--algorithm-form") {
      std::string f = value();
      if (f == "absent")
        p.algorithm_form = qabsim::AlgorithmForm::Absent;
      else if (f == "quoted")
        p.algorithm_form = qabsim::AlgorithmForm::Quoted;
      else if (f == "unquoted")
        p.algorithm_form = qabsim::AlgorithmForm::Unquoted;
      else
        throw std::invalid_argument("bad algorithm form: " + f);
    } else if (option == "--opaque") {
      p.opaque = value();
    } else if (option == "--nonce-every") {
      p.nonce_every = static_cast<unsigned>(number(value(), 1000000, "nonce count"));
    } else if (option == "--refuse") {
      c.faults.refuse_connections = true;
    } else if (option == "--never-answer") {
      c.faults.never_answer = true;
    } else if (option == "--never-close") {
      c.faults.never_close = true;
    } else if (option == "--answer-delay") {
      c.faults.answer_delay_ms = static_cast<int>(number(value(), 600000, "answer delay"));
    } else if (option == "--close-mid-response") {
      c.faults.close_mid_response = true;
    } else if (option == "--oversized") {
      c.faults.oversized_response = true;
    } else if (option == "--challenge-missing") {
      c.faults.challenge_missing = true;
    } else if (option == "--http10") {
      c.faults.http10_status_line = true;
    } else if (option == "--unanswered") {
      c.faults.unanswered_connections = static_cast<unsigned>(number(value(), 1000000, "count"));
    } else if (option == "--no-fetch") {
      u.fetch = false;
    } else if (option == "--tftp-address") {
      u.tftp_address = address(value());
    } else if (option == "--tftp-mode") {
      u.mode = value();
    } else if (option == "--tftp-options") {
      u.request_options = request_options(value());
    } else if (option == "--tftp-resend-ms") {
      u.resend_ms = static_cast<uint32_t>(number(value(), 3600000, "time"));
    } else if (option == "--tftp-retries") {
      u.retries = static_cast<uint32_t>(number(value(), 1000, "count"));
    } else if (option == "--expect-image") {
      u.expected_image = read_image(value());
    } else if (option == "--flash-ms") {
      u.flash_ms = static_cast<uint32_t>(number(value(), 3600000, "time"));
    } else if (option == "--address-after-flash") {
      u.address_after_flash = address(value());
    } else if (option == "--password-after-flash") {
      u.password_after_flash = value();
    } else if (option == "--version-after-flash") {
      u.version_after_flash = value();
    } else if (option == "--unanswered-after-flash") {
      u.unanswered_after_flash = static_cast<unsigned>(number(value(), 1000000, "count"));
    } else if (option == "--drop-sent") {
      tf.drop_sent = fraction(value());
    } else if (option == "--drop-received") {
      tf.drop_received = fraction(value());
    } else if (option == "--loss-seed") {
      tf.seed = number(value(), ~0ul, "seed");
    } else if (option == "--duplicate-acks") {
      tf.duplicate_acks = true;
    } else if (option == "--reorder-acks") {
      tf.reorder_acks = true;
    } else if (option == "--ack-from-other-port") {
      tf.ack_from_other_port = static_cast<uint32_t>(number(value(), 0xffffffffu, "block"));
    } else if (option == "--stray") {
      tf.stray_datagrams = stray_kinds(value());
    } else if (option == "--strays-from-other-port") {
      tf.strays_from_other_port = true;
    } else if (option == "--stall-at-block") {
      tf.stall_at_block = static_cast<uint32_t>(number(value(), 0xffffffffu, "block"));
    } else if (option == "--stall-ms") {
      tf.stall_ms = static_cast<uint32_t>(number(value(), 3600000, "time"));
    } else if (option == "--reboot-at-block") {
      tf.reboot_at_block = static_cast<uint32_t>(number(value(), 0xffffffffu, "block"));
    } else if (option == "--reboot-listen-ms") {
      tf.reboot_listen_ms = static_cast<uint32_t>(number(value(), 3600000, "time"));
    } else if (option == "--verbose") {
      verbose = true;
    } else {
      throw std::invalid_argument("unknown option " + option);
    }
  }
  return c;
}

void show_upgrade(const qabsim::UpgradeRecord& u) {
  if (!u.fetched) {
    std::printf("upgrade: %s\n", u.note.c_str());
  } else {
    const qab_sim::FetchResult& f = u.fetch;
    std::printf("upgrade: fetch %s: %llu bytes in %u blocks, last %u bytes, %u resends%s\n",
                qab_sim::fetch_end_name(f.end), static_cast<unsigned long long>(f.bytes_received), f.blocks,
                f.last_block_size, f.resends,
                !f.matches_expected ? "" : *f.matches_expected ? ", matches the expected image"
                                                               : ", differs from the expected image");
    if (u.flashed)
      std::printf("upgrade: flashed; now reporting version %s\n", u.version_after.c_str());
    else
      std::printf("upgrade: %s; still version %s\n", u.note.c_str(), u.version_after.c_str());
  }
  std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--help") == 0) {
      usage(stdout);
      return 0;
    }
  }
  bool verbose = false;
  qabsim::DeviceSimConfig config;
  try {
    config = parse(argc, argv, verbose);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "qab-device-sim: %s\n", e.what());
    usage(stderr);
    return 2;
  }

  // Blocked before the server's threads start, so only sigtimedwait below
  // takes them.
  sigset_t stop_signals;
  sigemptyset(&stop_signals);
  sigaddset(&stop_signals, SIGINT);
  sigaddset(&stop_signals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &stop_signals, nullptr);

  qabsim::DeviceSim device(config);
  device.set_upgrade_hook([](const qabsim::UpgradeTrigger& t) {
    std::printf("upgrade requested: tftp://%s:%u%s\n", dotted(t.address).c_str(), t.port, t.file_name.c_str());
    std::fflush(stdout);
  });
  try {
    device.start();
  } catch (const std::exception& e) {
    std::fprintf(stderr, "%s\n", e.what());
    return 1;
  }
  std::printf("qab-device-sim: serving on %s:%u\n", dotted(config.address).c_str(), device.port());
  std::fflush(stdout);

  size_t shown = 0, upgrades_shown = 0;
  timespec tick{0, 100 * 1000 * 1000};
  while (sigtimedwait(&stop_signals, nullptr, &tick) < 0) {
    auto upgrades = device.upgrades();
    for (; upgrades_shown < upgrades.size(); ++upgrades_shown) show_upgrade(upgrades[upgrades_shown]);
    if (!verbose) continue;
    auto requests = device.requests();
    for (; shown < requests.size(); ++shown) {
      const qabsim::RecordedRequest& r = requests[shown];
      std::printf("%s:%u %s %s -> %d\n", dotted(r.peer_address).c_str(), r.peer_port, r.method.c_str(),
                  r.target.c_str(), r.status);
    }
    std::fflush(stdout);
  }
  device.stop();
  return 0;
}
