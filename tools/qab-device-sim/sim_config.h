#pragma once
// What the simulated QAB device serves and how it misbehaves, and what it
// keeps of each request for tests.
#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "tools/qab-device-sim/tftp/tftp_client.h"

namespace qabsim {

// The five values of the status page /admin/advanced.
struct StatusPage {
  std::string product_name = "QABX900";
  std::string mac_address = "02:00:00:12:34:56";
  std::string software_version = "3.3.5";
  std::string hardware_version = "1.0";
  std::string serial_number = "QX900SIM0001";
  // Put into the page's <head> as it is, e.g. a script that names a label.
  std::string extra_head;
  // Complete header lines ("Name: value\r\n") added to the page's response.
  std::string extra_headers;
};

// How the challenge writes the algorithm parameter.
enum class AlgorithmForm { Absent, Quoted, Unquoted };

struct Protection {
  bool enabled = false;
  std::string user = "admin";
  std::string password;
  std::string realm = "QAB Device";
  std::string qop;  // offered qop: "", "auth", "auth-int", "auth,auth-int"
  AlgorithmForm algorithm_form = AlgorithmForm::Absent;
  std::string algorithm = "MD5";  // e.g. "MD5", "md5-sess", "MD5-Sess"
  std::string opaque;             // empty: none is sent or checked
  unsigned nonce_every = 0;       // a new nonce after this many requests; 0: never
  std::string first_nonce;        // empty: a random one
};

// Faults as switches; several may be on at once.
struct Faults {
  bool refuse_connections = false;  // nothing listens: connections are refused
  bool never_answer = false;        // accept and read the request, then stay silent
  bool never_close = false;         // answer, then keep the connection open
  bool close_mid_response = false;  // send only the first cut_at bytes, then close
  size_t cut_at = 0;                // 0: half of the response
  bool oversized_response = false;  // pad every response to exactly 200,000 bytes
  bool challenge_missing = false;   // answer every request 401 without WWW-Authenticate
  bool http10_status_line = false;  // "HTTP/1.0" in the status line
  int answer_delay_ms = 0;          // a slow device: wait this long before answering
  // The next this many connections are read and then closed without an
  // answer; the device counts it down as it does so.
  unsigned unanswered_connections = 0;
};

// What the device does after it has answered an upgrade trigger: fetch the
// named file over TFTP with its own client, check it, "flash" it (the web
// server is away meanwhile) and come back reporting the new version. Times
// are milliseconds of the installed platform clock.
struct UpgradeBehaviour {
  // Off: a trigger is only recorded (and the hook called).
  bool fetch = false;
  // The device's own address for the transfer; 0: the web server's address.
  uint32_t tftp_address = 0;
  std::string mode = "octet";
  // What the read request asks for: tsize 0 and timeout, as a QAB device
  // does; empty for a request without options.
  qab_sim::TftpOptions request_options = qab_sim::device_request_options();
  uint32_t resend_ms = 1000;  // the device repeats its last packet after this silence
  uint32_t retries = 5;
  uint32_t dally_ms = 0;
  uint32_t give_up_after_ms = 120000;
  qab_sim::TftpFaults faults;
  // When not empty, the image the device must receive byte for byte; another
  // one is not flashed.
  std::vector<uint8_t> expected_image;
  // How long the web server is away while the device writes the image and
  // restarts; also after a reboot in the middle of the transfer.
  uint32_t flash_ms = 10000;
  // Where the web server comes back; 0: where it was.
  uint32_t address_after_flash = 0;
  // What the status page reports after flashing; empty: the version text of
  // the header received.
  std::string version_after_flash;
  // When not empty, the password the device asks for once it is back (as
  // after a factory reset).
  std::string password_after_flash;
  // Connections closed without an answer once the device is back.
  unsigned unanswered_after_flash = 0;
};

inline constexpr size_t oversized_response_size = 200000;

struct DeviceSimConfig {
  uint32_t address = 0x7f000002;  // host order: 127.0.0.2
  uint16_t port = 80;             // 0: any free port (see DeviceSim::port)
  StatusPage page;
  Protection protection;
  Faults faults;
  // When set, sent verbatim as the answer to every request (after the request
  // has been read); the connection faults still apply.
  std::string raw_response;
  // A client that has not finished its request header by then is answered 400.
  int request_timeout_ms = 5000;
  UpgradeBehaviour upgrade;
};

// The TFTP source named by /admin/upgrade?tftp://a.b.c.d:port/file.
struct UpgradeTrigger {
  uint32_t address = 0;  // host order
  uint16_t port = 69;    // 69 when the URL names none
  std::string file_name; // from the slash on
};

// What became of one upgrade trigger.
struct UpgradeRecord {
  UpgradeTrigger trigger;
  bool fetched = false;  // a fetch ran: the device only fetches from loopback addresses
  qab_sim::FetchResult fetch;
  bool flashed = false;        // the image was taken and the reported version changed
  std::string version_after;   // what the status page reports once the device is back
  std::string note;            // why nothing was fetched or flashed
};

struct RecordedRequest {
  std::string bytes;  // exactly as received before the answer
  uint32_t peer_address = 0;
  uint16_t peer_port = 0;
  std::string method, target;
  std::map<std::string, std::string> authorization;  // Digest parameters, names in lower case
  bool authorized = false;  // credentials checked and accepted
  int status = 0;           // status code answered, 0 for none
  std::string response;     // the bytes sent
};

}  // namespace qabsim
