#pragma once
// Threads: a worker whose starter polls it for its exit code, and detached
// threads that live until the process ends.
#include <atomic>
#include <functional>
#include <memory>
#include <thread>

namespace platform {

class Worker {
 public:
  Worker() = default;
  Worker(const Worker&) = delete;
  Worker& operator=(const Worker&) = delete;
  // Joins a finished worker; a worker still running is left to the process
  // (the upgrader ends the process while a worker may still wait on a socket).
  ~Worker();

  // Starts `body` on a new thread. False when no thread could be created.
  bool start(std::function<int()> body);
  bool started() const { return state_ != nullptr; }
  bool finished() const;
  int exit_code() const;  // meaningful once finished()
  // Waits for a started worker to finish (for tests and orderly shutdowns).
  void join();

 private:
  struct State {
    std::atomic<bool> done{false};
    std::atomic<int> code{0};
  };
  std::shared_ptr<State> state_;
  std::thread thread_;
};

// For tests: while set, no new thread can be started (start and
// start_detached return false), as when the system has no room for one.
void refuse_thread_starts(bool refuse);

// Starts a thread that is never joined. False when it could not be created.
bool start_detached(std::function<void()> body);

}  // namespace platform
