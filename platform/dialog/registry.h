#pragma once
// Internal to the dialog layer: the table of live windows and the per-thread
// command queues.
#include <condition_variable>
#include <deque>
#include <map>
#include <memory>
#include <mutex>

#include "platform/dialog/dialog.h"
#include "platform/dialog/front_end.h"

namespace dialog {

struct Command {
  Handle window;
  int id;
};

// The commands waiting for one thread's windows.
struct Queue {
  std::mutex lock;
  std::condition_variable ready;
  std::deque<Command> commands;
  bool woken = false;  // end_dialog or a post since the last wait
};

struct Live {
  Window window;  // what the owner holds
  WindowView state;
  Handler handler;
  std::shared_ptr<Queue> queue;
  int disabled = 0;  // modal children and message boxes it waits for
  bool ended = false;
  int result = 0;

  Live() = default;
  void init(Handle h, int template_id) {
    window.handle_ = h;
    window.template_id_ = template_id;
  }
};

struct Registry {
  std::mutex lock;
  std::map<Handle, std::unique_ptr<Live>> windows;
  Handle next_handle = 1;
  uint64_t next_z = 1;
  std::atomic<uint64_t> generation{0};
  std::atomic<FrontEnd*> front_end{nullptr};

  Live* find(Handle h) {
    auto it = windows.find(h);
    return it == windows.end() ? nullptr : it->second.get();
  }
};

Registry& registry();
// The calling thread's queue, made on first use.
std::shared_ptr<Queue> this_thread_queue();
void destroy_handle(Handle handle);
// Tells the front end, outside the lock.
void notify(const Change& change);

}  // namespace dialog
