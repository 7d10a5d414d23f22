#pragma once
// Runs Debian's tftpd-hpa (in.tftpd) as a reference TFTP server on loopback
// for the length of a test, serving one file from a private folder. Meant for
// tests that run inside their own network namespace.
#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

class TftpdHpa {
 public:
  // The server program, or "" when the package is not installed.
  static std::string program();

  TftpdHpa() = default;
  TftpdHpa(const TftpdHpa&) = delete;
  TftpdHpa& operator=(const TftpdHpa&) = delete;
  ~TftpdHpa();

  // Writes `contents` as `file_name` into a fresh folder and starts the server
  // on `port` of every IPv4 address, retransmitting after `retransmit_us`
  // microseconds when the client names no timeout. Inside the test's private
  // namespace every address is a loopback one. (The server cannot be given a
  // loopback address to bind: it resolves it with AI_ADDRCONFIG, which finds
  // nothing where loopback is the only interface.) Waits at most 5 s for the
  // server to listen; returns false with `error()` set when it cannot.
  bool start(const std::string& file_name, const std::vector<uint8_t>& contents, uint16_t port,
             long retransmit_us = 1000000);
  void stop();
  const std::string& error() const { return error_; }

 private:
  static bool listening(uint16_t port);

  pid_t pid_ = -1;
  std::string folder_;
  std::string file_path_;
  std::string error_;
};
