#include "platform/thread.h"

#include <system_error>

namespace platform {
namespace {
std::atomic<bool> refusing{false};
}

void refuse_thread_starts(bool refuse) { refusing.store(refuse); }

Worker::~Worker() {
  if (!thread_.joinable()) return;
  if (finished())
    thread_.join();
  else
    thread_.detach();
}

bool Worker::start(std::function<int()> body) {
  if (thread_.joinable() || refusing.load()) return false;
  auto state = std::make_shared<State>();
  try {
    thread_ = std::thread([state, body = std::move(body)] {
      state->code.store(body());
      state->done.store(true, std::memory_order_release);
    });
  } catch (const std::system_error&) {
    return false;
  }
  state_ = std::move(state);
  return true;
}

bool Worker::finished() const { return state_ && state_->done.load(std::memory_order_acquire); }

int Worker::exit_code() const { return state_ ? state_->code.load() : 0; }

void Worker::join() {
  if (thread_.joinable()) thread_.join();
}

bool start_detached(std::function<void()> body) {
  if (refusing.load()) return false;
  try {
    std::thread(std::move(body)).detach();
  } catch (const std::system_error&) {
    return false;
  }
  return true;
}

}  // namespace platform
