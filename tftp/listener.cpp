#include "tftp/listener.h"

#include <cstring>
#include <new>
#include <string_view>

#include "http/request.h"
#include "platform/host.h"
#include "platform/thread.h"
#include "resources/screens/screen_ids.h"
#include "tftp/datagram_checks.h"
#include "tftp/idle_slot.h"
#include "tftp/transfer.h"
#include "ui/screens.h"
#include "ui/ui.h"

const char tftp_waiting_text[] =
    "Firmware upload will begin when the QAB is idle, where the QAB will request to download the firmware from "
    "this PC using TFTP at the first available UDP port starting at port number 69.\r\n\r\nIf firmware download "
    "does not start, please check that you have done the following: a) Hangup properly all the phones attached "
    "to the QAB, b) Disable any firewall software (such as Internet Connection Firewall) on this PC, and c) Make "
    "sure that this PC and the QAB are on the same LAN subnet; it will not work for example if this PC is behind "
    "a router while the QAB is in front of it.";
static_assert(sizeof tftp_waiting_text == 572 + 1);

namespace {

constexpr int progress_bar = 1010;
constexpr int text_area = 1022;
constexpr int spinner_steps = 1000;

[[noreturn]] void fail(const char* message) {
  ui::show_failure(message);
  platform::end_process();
}

}  // namespace

TftpListener* open_tftp_listener(uint32_t local_address, UpgradeSession& s) {
  TftpListener* listener = new (std::nothrow) TftpListener();
  if (!listener) fail("Upgrade Failed: Can't malloc for TFTP listener");
  listener->socket = platform::open_udp_socket();
  if (!listener->socket.valid()) fail("Upgrade Failed: Can't create TFTP listener socket");
  for (int k = 0; k < tftp_port_tries; ++k) {
    uint16_t port = static_cast<uint16_t>(tftp_first_port + k);
    if (platform::bind_socket(listener->socket, make_socket_address(local_address, port))) {
      listener->local_address = local_address;
      listener->port = port;
      listener->session = &s;
      return listener;
    }
  }
  fail("Upgrade Failed: Can't bind TFTP listener socket");
}

uint16_t start_tftp_listener(uint32_t local_address, UpgradeSession& s) {
  TftpListener* listener = open_tftp_listener(local_address, s);
  const uint16_t port = listener->port;
  // Without its thread no request could ever be served: say so rather than
  // let the device's request go unanswered for ever.
  if (!platform::start_detached([listener] { run_tftp_listener(*listener); }))
    fail("Upgrade Failed: Can't start TFTP listener thread");
  return port;
}

TftpRequester await_read_request(TftpListener& listener, dialog::Window* waiting_screen) {
  int spinner = 0;
  IdleSlot slot(tftp_waiting_poll_ms);
  for (;;) {
    // The bar and the screen's messages move on with time, not with traffic:
    // a flood of datagrams neither speeds the bar up nor shuts Cancel out.
    if (slot.elapsed()) {
      spinner = spinner + 1 == spinner_steps ? 0 : spinner + 1;
      waiting_screen->set_progress_pos(progress_bar, spinner);
      dialog::pump_all();
    }
    if (!slot.wait_readable(listener.socket)) continue;

    sockaddr_in from{};
    long length = receive_packet(listener.socket, listener.receive_buffer, from);
    // The name as it is when this datagram is read: the main thread may
    // write the next pass's name meanwhile.
    char current[SharedFileName::capacity];
    listener.session->tftp_file_name.get(current);
    if (names_the_file(listener.receive_buffer, length, std::string_view(current, strnlen(current, sizeof current)))) {
      TftpRequester requester;
      read_socket_address(from, requester.address, requester.port);
      return requester;
    }
  }
}

void run_tftp_pass(TftpListener& listener, bool first_pass) {
  dialog::Window* screen = ui::create_progress_screen(waiting_screen);
  screen->set_progress_range(progress_bar, 0, spinner_steps);
  screen->set_progress_pos(progress_bar, 0);
  if (first_pass) screen->set_item_text(text_area, tftp_waiting_text);
  dialog::show(screen);
  platform::set_non_blocking(listener.socket, true);

  TftpRequester requester = await_read_request(listener, screen);
  dialog::destroy(screen);
  serve_image(listener.socket, listener.local_address, requester.address, requester.port, *listener.session);
}

void run_tftp_listener(TftpListener& listener) {
  UpgradeSession& s = *listener.session;
  for (bool first_pass = true;; first_pass = false) {
    run_tftp_pass(listener, first_pass);
    if (s.stage.load() == UpgradeStage::Target) {
      listener.socket.close();
      platform::end_process();
    }
    // Only now, with the pass and its re-probe over, may the main thread send
    // its second upgrade request.
    s.stage.store(UpgradeStage::Target);
  }
}
