#pragma once
// Live screens. Every window belongs to the thread that created it: the front
// end posts the user's commands to that thread's queue, and the window's
// handler runs only while that thread pumps (pump_one, pump_all) or waits in a
// modal loop (run_modal, message_box). Setters only change state and mark the
// window dirty, so they are cheap enough to call for every transferred block;
// they may be called from any thread.
#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

#include "platform/dialog/view.h"

namespace dialog {

class Window;

// What the opening handler did about the focus.
enum class OpenFocus {
  Default,  // the platform gives the focus to the first tab stop
  Set,      // the handler set the focus itself and it stands
};

struct Handler {
  std::function<OpenFocus(Window&)> open;     // once, before the window is shown
  std::function<void(Window&, int)> command;  // a button or the Cancel command (id 2)
};

// Command ids of the platform's OK and Cancel; Escape and Ctrl-C send Cancel.
inline constexpr int id_ok = 1;
inline constexpr int id_cancel = 2;

class Window {
 public:
  Handle handle() const { return handle_; }
  int template_id() const { return template_id_; }

  void set_caption(std::string_view caption);
  void set_item_text(int id, std::string_view text);
  // Copies at most limit - 1 bytes of the control's text and a terminating
  // zero into `out` (limit bytes); returns the bytes copied. Empty for an
  // unknown control.
  size_t get_item_text(int id, char* out, size_t limit) const;
  std::string item_text(int id) const;
  void set_focus(int id);
  int focus() const;
  void add_list_item(int id, std::string_view text);
  void set_list_selection(int id, int index);
  int list_selection(int id) const;  // -1 when nothing is selected
  void set_progress_range(int id, int lo, int hi);
  void set_progress_pos(int id, int pos);
  // Keeps the window centred on the display and raises it to the top.
  void center();
  WindowView view() const;

 private:
  friend struct Live;
  Window() = default;
  Handle handle_ = 0;
  int template_id_ = 0;
};

// A modeless screen from template `template_id`, hidden, owned by the calling
// thread; its open handler has run. Null when the template is unknown.
Window* create_modeless(int template_id, Handler handler, Window* owner = nullptr);
void show(Window* window);
// Destroys a window of the calling thread; pending commands for it are dropped.
void destroy(Window* window);

// Handles at most one pending command of the calling thread's windows; true
// when one was handled.
bool pump_one();
// Handles every pending command of the calling thread's windows.
void pump_all();

// Runs template `template_id` as a modal screen on the calling thread and
// returns the result given to end_dialog; -1 when the template is unknown.
// The owner, if any, takes no input meanwhile.
int run_modal(int template_id, Handler handler, Window* owner = nullptr);
// Ends the modal loop of `window` with `result` once its handler returns.
void end_dialog(Window& window, int result);

// A message box with `text`, `caption` and one OK button, run on the calling
// thread; returns 1 (OK) once the user has dismissed it. With an owner, the
// owner takes no input meanwhile; without one it is task-modal: no window of
// the calling thread takes input meanwhile.
int message_box(Window* owner, std::string_view text, std::string_view caption);

}  // namespace dialog
