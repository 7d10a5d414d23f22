#include "tools/qab-device-sim/tftp/tftp_client.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>

#include "platform/clock.h"
#include "platform/net.h"
#include "tools/qab-device-sim/tftp/tftp_faults.h"

namespace qab_sim {

TftpOptions device_request_options(unsigned timeout_seconds) {
  return {{"tsize", "0"}, {"timeout", std::to_string(timeout_seconds)}};
}

const char* fetch_end_name(FetchEnd end) {
  switch (end) {
    case FetchEnd::Completed: return "completed";
    case FetchEnd::ServerError: return "server error";
    case FetchEnd::NoAnswer: return "no answer";
    case FetchEnd::Rebooted: return "rebooted";
    case FetchEnd::ProtocolError: return "protocol error";
    case FetchEnd::SocketError: return "socket error";
    case FetchEnd::TimeLimit: return "time limit";
  }
  return "?";
}

namespace {

using Steady = std::chrono::steady_clock;

// Largest UDP payload, so a datagram the server should never send (a block
// over the agreed size) is seen whole and reported, not cut down to size.
constexpr size_t receive_capacity = 65536;
// blksize bounds of RFC 2348.
constexpr uint32_t min_block_size = 8;
constexpr uint32_t max_block_size = 65464;

Steady::duration clock_ms(uint32_t ms) { return platform::real_duration(ms); }

bool all_digits(const std::string& text) {
  return !text.empty() && text.size() <= 19 &&
         std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

class Transfer {
 public:
  explicit Transfer(const FetchOptions& options)
      : options_(options),
        faults_(options.faults),
        lose_sent_(faults_.seed, faults_.drop_sent),
        lose_received_(faults_.seed ^ 0x5851f42d4c957f2dull, faults_.drop_received),
        buffer_(receive_capacity) {}

  FetchResult run();

 private:
  enum class Phase { Requesting, Negotiated, Receiving, Dallying, Rebooted, Done };

  bool open_sockets();
  void finish(FetchEnd end, std::string reason);
  void protocol_error(uint16_t code, const std::string& reason);

  // Sends through the loss fault; `other` picks the other-port socket.
  void send(const std::vector<uint8_t>& bytes, const sockaddr_in& to, bool other = false);
  void send_ack(uint32_t block_index, bool fresh);
  void remember(std::vector<uint8_t> bytes, const sockaddr_in& to);
  void arm_resend() { resend_at_ = Steady::now() + clock_ms(options_.timeout_ms); retries_left_ = options_.retries; }

  void on_timeout();
  void on_datagram(size_t length, const sockaddr_in& from);
  void on_oack(size_t length);
  void on_data(size_t length);
  void take_block(const uint8_t* payload, size_t length);
  void reboot();
  void drain_other_socket();
  void settle_comparison();

  const FetchOptions& options_;
  const TftpFaults& faults_;
  FetchResult result_;
  LossDraw lose_sent_;
  LossDraw lose_received_;
  std::vector<uint8_t> buffer_;

  platform::Socket socket_;
  platform::Socket other_socket_;
  sockaddr_in server_{};  // where the request goes
  sockaddr_in peer_{};    // the server's transfer address, once known
  bool peer_known_ = false;

  Phase phase_ = Phase::Requesting;
  std::vector<uint8_t> request_;
  std::vector<uint8_t> last_packet_;
  sockaddr_in last_to_{};
  uint32_t next_block_ = 1;   // index of the block awaited, counted past 65,535
  uint32_t acked_block_ = 0;  // index of the block acknowledged last (0: the OACK)
  bool acked_any_ = false;
  bool mismatch_ = false;

  Steady::time_point deadline_;
  Steady::time_point resend_at_;
  uint32_t retries_left_ = 0;
};

bool Transfer::open_sockets() {
  socket_ = platform::open_udp_socket();
  if (!socket_.valid() ||
      !platform::bind_socket(socket_, platform::to_sockaddr(options_.local_address, options_.local_port)) ||
      !platform::set_non_blocking(socket_, true)) {
    return false;
  }
  result_.local_port = platform::local_port(socket_);
  if (faults_.ack_from_other_port || (faults_.strays_from_other_port && !faults_.stray_datagrams.empty())) {
    other_socket_ = platform::open_udp_socket();
    if (!other_socket_.valid() ||
        !platform::bind_socket(other_socket_, platform::to_sockaddr(options_.local_address, 0)) ||
        !platform::set_non_blocking(other_socket_, true)) {
      return false;
    }
  }
  return true;
}

void Transfer::finish(FetchEnd end, std::string reason) {
  result_.end = end;
  result_.reason = std::move(reason);
  phase_ = Phase::Done;
}

void Transfer::protocol_error(uint16_t code, const std::string& reason) {
  send(wire::error(code, reason), peer_known_ ? peer_ : server_);
  finish(FetchEnd::ProtocolError, reason);
}

void Transfer::send(const std::vector<uint8_t>& bytes, const sockaddr_in& to, bool other) {
  if (lose_sent_.lose()) {
    ++result_.dropped_sent;
    return;
  }
  platform::send_datagram(other ? other_socket_ : socket_, bytes.data(), bytes.size(), to);
}

void Transfer::remember(std::vector<uint8_t> bytes, const sockaddr_in& to) {
  last_packet_ = std::move(bytes);
  last_to_ = to;
}

void Transfer::send_ack(uint32_t block_index, bool fresh) {
  const uint16_t block = static_cast<uint16_t>(block_index & 0xffff);
  if (fresh) {
    for (StrayKind kind : faults_.stray_datagrams) {
      std::vector<uint8_t> stray = stray_datagram(kind, block, request_);
      platform::send_datagram(faults_.strays_from_other_port ? other_socket_ : socket_, stray.data(), stray.size(),
                              peer_);
    }
  }
  std::vector<uint8_t> ack = wire::ack(block);
  if (fresh && faults_.ack_from_other_port == block_index) {
    send(ack, peer_, true);
  } else {
    send(ack, peer_);
    if (faults_.duplicate_acks) {
      send(ack, peer_);
      ++result_.acks_sent;
    }
  }
  ++result_.acks_sent;
  if (faults_.reorder_acks && block_index >= 1) {
    send(wire::ack(static_cast<uint16_t>((block_index - 1) & 0xffff)), peer_);
    ++result_.acks_sent;
  }
  acked_block_ = block_index;
  acked_any_ = true;
  remember(std::move(ack), peer_);
}

void Transfer::reboot() {
  phase_ = Phase::Rebooted;
  Steady::time_point until = Steady::now() + clock_ms(faults_.reboot_listen_ms);
  resend_at_ = std::min(until, deadline_);
}

void Transfer::on_timeout() {
  switch (phase_) {
    case Phase::Dallying:
      finish(FetchEnd::Completed, "completed");
      return;
    case Phase::Rebooted:
      finish(FetchEnd::Rebooted, "rebooted at block " + std::to_string(*faults_.reboot_at_block));
      return;
    default:
      break;
  }
  if (retries_left_ == 0) {
    std::string awaited = phase_ == Phase::Requesting ? "a reply to the request"
                                                      : "block " + std::to_string(next_block_);
    finish(FetchEnd::NoAnswer, "no answer after " + std::to_string(options_.retries) + " resends, awaiting " + awaited);
    return;
  }
  --retries_left_;
  ++result_.resends;
  send(last_packet_, last_to_);
  resend_at_ = Steady::now() + clock_ms(options_.timeout_ms);
}

void Transfer::on_datagram(size_t length, const sockaddr_in& from) {
  const uint8_t* p = buffer_.data();
  if (phase_ == Phase::Rebooted) {
    ++result_.datagrams_after_reboot;
    if (length >= 2 && wire::be16(p) == wire::Oack) ++result_.oacks_received;
    return;
  }
  if (lose_received_.lose()) {
    ++result_.dropped_received;
    return;
  }
  // The server's transfer port is the source port of its first reply; from
  // then on only that address and port belong to this transfer.
  bool from_server = from.sin_addr.s_addr == server_.sin_addr.s_addr;
  bool from_peer = peer_known_ && from_server && from.sin_port == peer_.sin_port;
  if (!from_server || (peer_known_ && !from_peer)) {
    ++result_.foreign_datagrams;
    if (options_.answer_unknown_sources) {
      std::vector<uint8_t> e = wire::error(wire::UnknownTransferId, "Unknown transfer ID");
      platform::send_datagram(socket_, e.data(), e.size(), from);
    }
    return;
  }
  const uint16_t opcode = length >= 2 ? wire::be16(p) : 0;
  if (opcode != wire::Oack && opcode != wire::Data && opcode != wire::Error) {
    ++result_.malformed_datagrams;
    return;
  }
  if (!peer_known_) {
    peer_ = from;
    peer_known_ = true;
    result_.server_transfer_port = ntohs(from.sin_port);
  }
  switch (opcode) {
    case wire::Oack:
      ++result_.oacks_received;
      on_oack(length);
      return;
    case wire::Data:
      on_data(length);
      return;
    case wire::Error: {
      auto e = wire::parse_error(p, length);
      result_.error_code = e ? e->code : 0;
      result_.error_message = e ? e->message : "";
      finish(FetchEnd::ServerError, "server error " + std::to_string(result_.error_code) + ": " +
                                        result_.error_message);
      return;
    }
  }
}

void Transfer::on_oack(size_t length) {
  if (phase_ == Phase::Negotiated) {
    // The server did not hear the ACK of its OACK and repeats it.
    ++result_.duplicate_blocks;
    send_ack(0, false);
    return;
  }
  if (phase_ != Phase::Requesting) {
    ++result_.malformed_datagrams;
    return;
  }
  if (faults_.reboot_at_block == 0u) {
    reboot();
    return;
  }
  TftpOptions options;
  if (!wire::parse_options(buffer_.data() + 2, length - 2, options)) {
    protocol_error(wire::OptionsRefused, "malformed option acknowledgement");
    return;
  }
  result_.oack_received = true;
  result_.oack_options = options;
  for (const TftpOption& option : options) {
    auto asked = std::find_if(options_.request_options.begin(), options_.request_options.end(),
                              [&](const TftpOption& o) { return wire::same_option_name(o.name, option.name); });
    // A QAB device takes an OACK with options it did not ask for (the
    // upgrader always sends tsize and timeout); they are noted, not refused.
    if (asked == options_.request_options.end()) result_.unrequested_oack_options.push_back(option);
    if (wire::same_option_name(option.name, "tsize")) {
      if (!all_digits(option.value)) {
        protocol_error(wire::OptionsRefused, "tsize value \"" + option.value + "\" is not a size");
        return;
      }
      result_.announced_size = std::strtoull(option.value.c_str(), nullptr, 10);
      if (options_.keep_image && *result_.announced_size <= (64u << 20)) result_.image.reserve(*result_.announced_size);
    } else if (wire::same_option_name(option.name, "blksize") && asked != options_.request_options.end()) {
      unsigned long long size = all_digits(option.value) ? std::strtoull(option.value.c_str(), nullptr, 10) : 0;
      unsigned long long wanted = std::strtoull(asked->value.c_str(), nullptr, 10);
      if (size < min_block_size || size > max_block_size || size > wanted) {
        protocol_error(wire::OptionsRefused, "blksize value \"" + option.value + "\" refused");
        return;
      }
      result_.block_size = static_cast<uint32_t>(size);
    }
  }
  phase_ = Phase::Negotiated;
  send_ack(0, true);
  arm_resend();
}

void Transfer::on_data(size_t length) {
  if (length < 4) {
    ++result_.malformed_datagrams;
    return;
  }
  const uint8_t* p = buffer_.data();
  const uint16_t block = wire::be16(p + 2);
  const size_t payload = length - 4;
  const bool awaited = block == static_cast<uint16_t>(next_block_ & 0xffff) &&
                       (phase_ == Phase::Requesting || phase_ == Phase::Negotiated || phase_ == Phase::Receiving);
  if (!awaited) {
    if (acked_any_ && acked_block_ >= 1 && block == static_cast<uint16_t>(acked_block_ & 0xffff)) {
      ++result_.duplicate_blocks;  // our ACK was lost or late: acknowledge again
      send_ack(acked_block_, false);
    } else {
      ++result_.unexpected_blocks;
    }
    return;
  }
  // A reply of DATA to a request with options: the server does not take
  // options (RFC 2347) and the transfer goes on without them.
  if (payload > result_.block_size) {
    protocol_error(wire::IllegalOperation, "block " + std::to_string(next_block_) + " carries " +
                                               std::to_string(payload) + " bytes, more than " +
                                               std::to_string(result_.block_size));
    return;
  }
  if (faults_.reboot_at_block == next_block_) {
    reboot();
    return;
  }
  if (faults_.stall_at_block == next_block_) {
    platform::sleep_ms(faults_.stall_ms);
  }
  take_block(p + 4, payload);
  const bool last = payload < result_.block_size;
  send_ack(next_block_, true);
  ++next_block_;
  if (!last) {
    phase_ = Phase::Receiving;
    arm_resend();
  } else if (options_.dally_ms > 0) {
    phase_ = Phase::Dallying;
    resend_at_ = Steady::now() + clock_ms(options_.dally_ms);
  } else {
    finish(FetchEnd::Completed, "completed");
  }
}

void Transfer::take_block(const uint8_t* payload, size_t length) {
  if (options_.expected) {
    const std::span<const uint8_t>& expected = *options_.expected;
    if (result_.bytes_received + length > expected.size() ||
        std::memcmp(expected.data() + result_.bytes_received, payload, length) != 0) {
      mismatch_ = true;
    }
  }
  if (options_.keep_image) result_.image.insert(result_.image.end(), payload, payload + length);
  result_.bytes_received += length;
  result_.last_block_size = static_cast<uint32_t>(length);
  ++result_.blocks;
}

void Transfer::drain_other_socket() {
  if (!other_socket_.valid()) return;
  sockaddr_in from{};
  while (platform::receive_datagram(other_socket_, buffer_.data(), buffer_.size(), from) >= 0) {
    ++result_.other_port_replies;
  }
}

void Transfer::settle_comparison() {
  if (options_.expected) {
    result_.matches_expected = result_.completed() && !mismatch_ && result_.bytes_received == options_.expected->size();
  }
}

FetchResult Transfer::run() {
  deadline_ = Steady::now() + clock_ms(options_.give_up_after_ms);
  if (!open_sockets()) {
    finish(FetchEnd::SocketError, std::string("cannot open the device's socket: ") + std::strerror(errno));
    settle_comparison();
    return std::move(result_);
  }
  server_ = platform::to_sockaddr(options_.server_address, options_.server_port);
  request_ = wire::request(wire::Rrq, options_.file_name, options_.mode, options_.request_options);
  send(request_, server_);
  remember(request_, server_);
  arm_resend();

  while (phase_ != Phase::Done) {
    Steady::time_point now = Steady::now();
    if (now >= deadline_ && phase_ != Phase::Dallying && phase_ != Phase::Rebooted) {
      finish(FetchEnd::TimeLimit, "time limit of " + std::to_string(options_.give_up_after_ms) + " ms reached");
      break;
    }
    drain_other_socket();
    Steady::time_point wake = std::min(resend_at_, deadline_);
    if (now >= wake) {
      on_timeout();
      continue;
    }
    long wait_us = std::chrono::duration_cast<std::chrono::microseconds>(wake - now).count() + 1;
    platform::WaitResult ready = platform::wait_readable(socket_, wait_us);
    if (ready == platform::WaitResult::Error) {
      finish(FetchEnd::SocketError, "waiting on the device's socket failed");
      break;
    }
    if (ready == platform::WaitResult::Timeout) continue;
    sockaddr_in from{};
    long n = platform::receive_datagram(socket_, buffer_.data(), buffer_.size(), from);
    // An ICMP error from an earlier send can make a read fail once; the next
    // wait tells whether the socket is really unusable.
    if (n < 0) continue;
    on_datagram(static_cast<size_t>(n), from);
  }
  drain_other_socket();
  settle_comparison();
  return std::move(result_);
}

}  // namespace

FetchResult fetch(const FetchOptions& options) { return Transfer(options).run(); }

}  // namespace qab_sim
