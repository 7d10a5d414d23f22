#pragma once
// What a front end (the terminal, or a scripted test user) sees of the live
// windows and how it passes the user's actions on. Any thread may call these.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/dialog/view.h"

namespace dialog {

struct Change {
  enum Kind { Shown, Closed, Caption, Text, Focus, Items, Selection, ProgressRange, ProgressPos, Raised };
  Kind kind;
  Handle handle;
  int template_id;
  bool visible;         // the window was visible when it changed
  int control = 0;      // the control that changed
  int a = 0, b = 0;     // range lo/hi, position, selection, focus, or the close result
  std::string_view text;  // caption or text; valid during the call only
};

class FrontEnd {
 public:
  virtual ~FrontEnd() = default;
  // A window changed. Called on the thread that changed it, with no dialog
  // lock held; keep it cheap (the transfer updates progress for every block).
  virtual void changed(const Change& change) = 0;
  // The calling thread owns windows and has nothing pending: from pump_one
  // and pump_all (modal 0), and repeatedly while a modal loop of `modal` waits.
  virtual void idle(Handle modal) { (void)modal; }
};

// Installs the front end (nullptr: none). Install before windows exist and
// remove after the threads that own windows are done.
void set_front_end(FrontEnd* front_end);

// Visible windows, bottom first.
std::vector<WindowView> visible_windows();
// Visible windows of the calling thread, bottom first.
std::vector<WindowView> visible_windows_of_this_thread();
bool window_view(Handle handle, WindowView& out);
// Counts every change; a front end redraws when it moves.
uint64_t generation();

// The user's actions. All are ignored for windows that are gone, hidden or
// disabled. Controls keep their own text, selection and focus (like the
// platform's native controls); only commands go through the owner's queue.
void post_command(Handle window, int id);
void input_text(Handle window, int control, std::string_view text);
void input_select(Handle window, int control, int index);
void input_focus(Handle window, int control);
void raise(Handle window);

}  // namespace dialog
