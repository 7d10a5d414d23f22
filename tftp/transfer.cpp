#include "tftp/transfer.h"

#include <cstdio>
#include <cstring>
#include <memory>
#include <new>

#include "http/request.h"
#include "platform/host.h"
#include "resources/screens/screen_ids.h"
#include "tftp/datagram_checks.h"
#include "tftp/flash_wait.h"
#include "tftp/idle_slot.h"
#include "ui/screens.h"
#include "ui/ui.h"

namespace {

constexpr int progress_bar = 1010;

const FirmwareImage& image_of(const UpgradeSession& s) {
  return s.stage.load() == UpgradeStage::Target ? s.target_image : s.transition_image;
}

// After each expected ACK: the bar stands at the block awaited next, and the
// title counts the bytes the device has acknowledged.
void show_progress(dialog::Window* screen, const TftpSession& t, const UpgradeSession& s) {
  screen->set_progress_pos(progress_bar, static_cast<int>(t.next_block));
  char title[160];
  int address_length = static_cast<int>(strnlen(s.device_address_text, sizeof s.device_address_text));
  std::snprintf(title, sizeof title, "Uploading %s Firmware to QAB@%.*s %u/%u Bytes", stage_word(s.stage.load()),
                address_length, s.device_address_text, t.bytes_acked, t.image_size);
  screen->set_caption(title);
}

// The packet whose ACK is awaited, built again: `packet` has received
// datagrams since it was sent.
void send_again(TftpSession& t, const sockaddr_in& client, uint32_t data_offset) {
  if (t.next_block == 0)
    send_oack(*t.socket, t.packet, client, t.image_size);
  else
    send_data_block(*t.socket, t.packet, t.image_data + data_offset, t.block_size, t.next_block, client);
}

// Runs the transfer under the open upload screen; true when every block has
// been acknowledged, false when the silence limit ended it.
bool run_transfer(TftpSession& t, dialog::Window* screen, const UpgradeSession& s) {
  platform::set_non_blocking(*t.socket, true);
  const sockaddr_in client = make_socket_address(t.client_address, t.client_port);
  send_oack(*t.socket, t.packet, client, t.image_size);

  uint32_t polls = 0;
  uint32_t silent_ticks = 0;
  uint32_t data_offset = 0;
  IdleSlot slot;       // the idle poll
  IdleSlot pump_slot;  // when the screen's messages are looked at next
  for (;;) {
    if (slot.elapsed()) {
      if (++polls == tftp_polls_per_tick) {
        polls = 0;
        if (++silent_ticks == tftp_silent_tick_limit) return false;
        send_again(t, client, data_offset);
      }
    }
    // At most one message per millisecond: the screen stays responsive
    // (Cancel included) even while datagrams keep arriving, and an expected
    // ACK is not held up by it.
    if (pump_slot.elapsed()) dialog::pump_one();

    // A datagram that is already waiting is taken at once; otherwise the
    // rest of the slot is spent waiting for one.
    sockaddr_in from{};
    long length = receive_packet(*t.socket, t.packet, from);
    if (length < 0) {
      if (!slot.wait_readable(*t.socket)) continue;
      length = receive_packet(*t.socket, t.packet, from);
    }
    // Only an ACK of the awaited block from the request's own address and
    // port moves the transfer on; everything else is dropped without a reply.
    if (length < 0 || !is_expected_ack(t.packet, length, from, t.client_address, t.client_port, t.next_block))
      continue;

    polls = 0;
    silent_ticks = 0;
    t.bytes_acked += t.block_size;
    ++t.next_block;
    if (t.next_block > t.block_count) {
      show_progress(screen, t, s);
      return true;
    }
    t.block_size = t.next_block == t.block_count ? t.last_block_size : tftp_block_size;
    data_offset = t.next_block == 1 ? 0 : data_offset + tftp_block_size;
    send_data_block(*t.socket, t.packet, t.image_data + data_offset, t.block_size, t.next_block, client);
    // The screen follows once the block is on its way, while the device
    // takes it in.
    show_progress(screen, t, s);
    slot.restart();
  }
}

}  // namespace

void serve_image(const platform::Socket& socket, uint32_t local_address, uint32_t client_address,
                 uint16_t client_port, UpgradeSession& s) {
  std::unique_ptr<TftpSession> t(new (std::nothrow) TftpSession());
  if (!t) {
    ui::show_failure("Upgrade Failed: Can't malloc for TFTP session");
    platform::end_process();
  }
  t->socket = &socket;
  t->local_address = local_address;
  t->client_address = client_address;
  t->client_port = client_port;
  const FirmwareImage& image = image_of(s);
  t->image_data = image.data;
  t->image_size = image.size;
  t->block_count = tftp_block_count(image.size);
  t->last_block_size = tftp_last_block_size(image.size);

  // The screen keeps its template's caption until the first expected ACK.
  dialog::Window* screen = ui::create_progress_screen(uploading_screen);
  screen->set_progress_range(progress_bar, 0, static_cast<int>(t->block_count));
  screen->set_progress_pos(progress_bar, 0);
  dialog::show(screen);

  bool complete = run_transfer(*t, screen, s);
  await_flash_and_verify(t->local_address, t->client_address, !complete, screen, s);
}
