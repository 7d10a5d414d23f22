#include "tests/integration/sim_tftp/tftpd_hpa.h"

#include <pwd.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <thread>

std::string TftpdHpa::program() {
  for (const char* path : {"/usr/sbin/in.tftpd", "/sbin/in.tftpd", "/usr/bin/in.tftpd"}) {
    if (::access(path, X_OK) == 0) return path;
  }
  return "";
}

TftpdHpa::~TftpdHpa() { stop(); }

bool TftpdHpa::start(const std::string& file_name, const std::vector<uint8_t>& contents, uint16_t port,
                     long retransmit_us) {
  std::string server = program();
  if (server.empty()) {
    error_ = "in.tftpd is not installed";
    return false;
  }
  char folder[] = "/tmp/qab-tftpd-XXXXXX";
  if (::mkdtemp(folder) == nullptr) {
    error_ = "cannot make a folder for the served file";
    return false;
  }
  folder_ = folder;
  // The server serves only world-readable files from a folder it can enter.
  ::chmod(folder, 0755);
  file_path_ = folder_ + "/" + file_name;
  {
    std::ofstream out(file_path_, std::ios::binary);
    out.write(reinterpret_cast<const char*>(contents.data()), static_cast<std::streamsize>(contents.size()));
    if (!out) {
      error_ = "cannot write " + file_path_;
      return false;
    }
  }
  ::chmod(file_path_.c_str(), 0644);

  // The server drops its privileges to a named user; the one we run as
  // exists whether or not this is a user namespace.
  const passwd* user = ::getpwuid(::geteuid());
  if (user == nullptr) {
    error_ = "no user name for the current user id";
    return false;
  }
  std::string listen_at = ":" + std::to_string(port);
  std::string retransmit = std::to_string(retransmit_us);
  std::string user_name = user->pw_name;

  pid_ = ::fork();
  if (pid_ < 0) {
    error_ = "fork failed";
    return false;
  }
  if (pid_ == 0) {
    // Its own process group, so stop() also ends the children it forks for
    // transfers still running.
    ::setpgid(0, 0);
    const char* argv[] = {server.c_str(), "-L", "-4", "-s", "-u", user_name.c_str(), "-a", listen_at.c_str(),
                          "-T", retransmit.c_str(), folder_.c_str(), nullptr};
    ::execv(server.c_str(), const_cast<char* const*>(argv));
    std::_Exit(127);
  }
  ::setpgid(pid_, pid_);  // also here, so stop() finds the group even right after fork
  auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (std::chrono::steady_clock::now() < give_up) {
    int status = 0;
    if (::waitpid(pid_, &status, WNOHANG) == pid_) {
      pid_ = -1;
      error_ = "in.tftpd ended at start with status " + std::to_string(status);
      return false;
    }
    if (listening(port)) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  error_ = "in.tftpd did not listen within 5 s";
  return false;
}

bool TftpdHpa::listening(uint16_t port) {
  // /proc/net/udp lists bound sockets as hex "AAAAAAAA:PPPP"; the server's is
  // on the any-address.
  char wanted[16];
  std::snprintf(wanted, sizeof wanted, "00000000:%04X", port);
  std::ifstream udp("/proc/net/udp");
  std::string line;
  while (std::getline(udp, line)) {
    std::istringstream fields(line);
    std::string slot, local;
    fields >> slot >> local;
    if (local == wanted) return true;
  }
  return false;
}

void TftpdHpa::stop() {
  if (pid_ > 0) {
    ::kill(-pid_, SIGTERM);
    auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    int status = 0;
    while (::waitpid(pid_, &status, WNOHANG) == 0) {
      if (std::chrono::steady_clock::now() >= give_up) {
        ::kill(-pid_, SIGKILL);
        ::waitpid(pid_, &status, 0);
        break;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    pid_ = -1;
  }
  if (!file_path_.empty()) ::unlink(file_path_.c_str());
  if (!folder_.empty()) ::rmdir(folder_.c_str());
  file_path_.clear();
  folder_.clear();
}
