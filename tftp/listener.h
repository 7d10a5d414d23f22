#pragma once
// The TFTP listener: one UDP socket on the first free port from 69 upward and
// a thread of its own that shows the waiting screen, accepts only a read
// request for the current pass's file name and serves it on the same socket.
// After the Target pass it ends the process; after the Transition pass it
// moves the stage on and waits for the device's second request.
#include <cstdint>

#include "app/session.h"
#include "platform/dialog/dialog.h"
#include "platform/net.h"
#include "tftp/packets.h"

inline constexpr uint16_t tftp_first_port = 69;
inline constexpr int tftp_port_tries = 100;  // 69 through 168
// Each idle poll of the waiting loop lasts this long (at least the 1 ms the
// loop needs): one step of the bar per poll, a cycle of 1000 steps in 2 s.
// Where a wakeup costs some 20 us of processor time, as in a virtual
// machine, 1 ms polls alone would take 2% of a core; 2 ms polls keep the
// wait well below that.
inline constexpr uint32_t tftp_waiting_poll_ms = 2;

// The waiting screen's explanation, shown on the first pass only.
extern const char tftp_waiting_text[];

// The listener's state. The listener thread owns it and never releases it:
// the process ends from that thread.
struct TftpListener {
  uint32_t local_address = 0;  // host order; 0: every local address
  uint16_t port = 0;           // 69 to 168
  platform::Socket socket;
  TftpPacket receive_buffer = {};
  UpgradeSession* session = nullptr;  // whose file name and stage the passes follow
};

// Where an accepted read request came from.
struct TftpRequester {
  uint32_t address = 0;  // host order
  uint16_t port = 0;
};

// Makes the record and binds its socket to `local_address` on the first free
// port of 69..168. Every failure is shown and ends the process: "Upgrade
// Failed: Can't malloc for TFTP listener", "... Can't create TFTP listener
// socket", "... Can't bind TFTP listener socket".
TftpListener* open_tftp_listener(uint32_t local_address, UpgradeSession& s = session());

// open_tftp_listener, then the listener thread; returns the bound port.
uint16_t start_tftp_listener(uint32_t local_address, UpgradeSession& s = session());

// Reads datagrams until a read request names the session's file name, byte
// for byte, and returns its source; everything else is dropped without a
// reply. Once per idle poll the waiting screen's bar steps on and its
// messages are handled (Cancel ends the process), however busy the socket is.
TftpRequester await_read_request(TftpListener& listener, dialog::Window* waiting_screen);

// One pass: the waiting screen (with its explanation when `first_pass`), the
// accepted request's transfer, the flash wait and the check. Returns when the
// pass is over, whatever its outcome.
void run_tftp_pass(TftpListener& listener, bool first_pass);

// The listener thread's body: passes until the Target pass has ended, then
// the process ends.
[[noreturn]] void run_tftp_listener(TftpListener& listener);
