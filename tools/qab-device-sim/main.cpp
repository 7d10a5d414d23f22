// qab-device-sim: a simulated QAB device's web server, for demos and tests.
// Serves until SIGINT or SIGTERM.
#include <arpa/inet.h>
#include <signal.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <string>

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

qabsim::DeviceSimConfig parse(int argc, char** argv, bool& verbose) {
  qabsim::DeviceSimConfig c;
  qabsim::Protection& p = c.protection;
  for (int i = 1; i < argc; ++i) {
    std::string option = argv[i];
    auto value = [&]() -> const char* {
      if (i + 1 >= argc) throw std::invalid_argument(option + " needs a value");
      return argv[++i];
    };
    if (option == "--address") {
      in_addr a{};
      const char* text = value();
      if (inet_pton(AF_INET, text, &a) != 1) throw std::invalid_argument(std::string("bad address: ") + text);
      c.address = ntohl(a.s_addr);
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
    } else if (option == "--verbose") {
      verbose = true;
    } else {
      throw std::invalid_argument("unknown option " + option);
    }
  }
  return c;
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

  size_t shown = 0;
  timespec tick{0, 100 * 1000 * 1000};
  while (sigtimedwait(&stop_signals, nullptr, &tick) < 0) {
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
