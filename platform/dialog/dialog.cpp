// Creating, running and ending windows; the per-thread queues; what front ends call.
#include "platform/dialog/dialog.h"

#include <algorithm>
#include <chrono>

#include "platform/dialog/registry.h"

namespace dialog {

Registry& registry() {
  // Never destroyed: windows may outlive static destruction on other threads.
  static Registry* r = new Registry();
  return *r;
}

std::shared_ptr<Queue> this_thread_queue() {
  thread_local std::shared_ptr<Queue> queue = std::make_shared<Queue>();
  return queue;
}

void notify(const Change& change) {
  if (FrontEnd* fe = registry().front_end.load()) fe->changed(change);
}

void set_front_end(FrontEnd* front_end) { registry().front_end.store(front_end); }

namespace {

// How long a modal loop waits for a command before it lets the front end look
// again (the scripted user acts and keeps its time bounds from there).
constexpr auto idle_slice = std::chrono::milliseconds(20);

void idle(Handle modal) {
  if (FrontEnd* fe = registry().front_end.load()) fe->idle(modal);
}

void wake(Queue& q) {
  {
    std::lock_guard guard(q.lock);
    q.woken = true;
  }
  q.ready.notify_all();
}

bool pop(Queue& q, Command& out, bool wait) {
  std::unique_lock guard(q.lock);
  if (q.commands.empty() && wait && !q.woken) q.ready.wait_for(guard, idle_slice);
  q.woken = false;
  if (q.commands.empty()) return false;
  out = q.commands.front();
  q.commands.pop_front();
  return true;
}

// Runs the handler of the command's window, on the owner's thread.
void dispatch(const Command& cmd) {
  Registry& r = registry();
  Window* window = nullptr;
  std::function<void(Window&, int)> handler;
  {
    std::lock_guard guard(r.lock);
    Live* live = r.find(cmd.window);
    if (!live || live->disabled || !live->state.visible) return;
    window = &live->window;
    handler = live->handler.command;
  }
  if (handler) handler(*window, cmd.id);
}

Live* make_window(int template_id, std::string_view caption, int w, int h, std::vector<ControlView> controls,
                  Handler handler, Window* owner) {
  Registry& r = registry();
  auto live = std::make_unique<Live>();
  live->handler = std::move(handler);
  live->queue = this_thread_queue();
  live->state.template_id = template_id;
  live->state.caption = caption;
  live->state.w = w;
  live->state.h = h;
  live->state.controls = std::move(controls);
  std::lock_guard guard(r.lock);
  Handle handle = r.next_handle++;
  if (r.next_handle == 0) r.next_handle = 1;
  live->init(handle, template_id);
  live->state.handle = handle;
  if (owner) {
    if (Live* o = r.find(owner->handle())) {
      live->state.owner = o->state.handle;
      live->state.owner_template_id = o->state.template_id;
    }
  }
  Live* raw = live.get();
  r.windows.emplace(handle, std::move(live));
  return raw;
}

std::vector<ControlView> controls_of(const DialogTemplate& t) {
  std::vector<ControlView> out;
  out.reserve(t.controls.size());
  for (const ControlTemplate& c : t.controls) {
    ControlView v;
    v.id = c.id;
    v.kind = c.kind;
    v.style = c.style;
    v.x = c.x;
    v.y = c.y;
    v.w = c.w;
    v.h = c.h;
    v.icon = c.icon;
    v.text = c.text ? c.text : "";
    out.push_back(std::move(v));
  }
  return out;
}

// Runs the open handler; without a focus that stands, the first tab stop gets it.
void open(Live& live) {
  OpenFocus focus = OpenFocus::Default;
  if (live.handler.open) focus = live.handler.open(live.window);
  if (focus == OpenFocus::Set) return;
  int first = 0;
  {
    std::lock_guard guard(registry().lock);
    for (const ControlView& c : live.state.controls) {
      if (c.has(style::tab_stop)) {
        first = c.id;
        break;
      }
    }
  }
  if (first) live.window.set_focus(first);
}

Window* create(int template_id, Handler handler, Window* owner) {
  const DialogTemplate* t = find_template(template_id);
  if (!t) return nullptr;
  Live* live = make_window(template_id, t->caption ? t->caption : "", t->w, t->h, controls_of(*t), std::move(handler),
                           owner);
  open(*live);
  return &live->window;
}

// Disables `owner`, or with none every window of the calling thread but `except`.
// Returns the handles it disabled, for enable_again.
std::vector<Handle> disable_for(Window* owner, Handle except) {
  Registry& r = registry();
  std::vector<Handle> out;
  std::shared_ptr<Queue> q = this_thread_queue();
  std::lock_guard guard(r.lock);
  for (auto& [h, live] : r.windows) {
    bool hit = owner ? h == owner->handle() : (live->queue == q && h != except);
    if (hit) {
      ++live->disabled;
      live->state.enabled = false;
      out.push_back(h);
    }
  }
  r.generation.fetch_add(1, std::memory_order_relaxed);
  return out;
}

void enable_again(const std::vector<Handle>& handles) {
  Registry& r = registry();
  std::lock_guard guard(r.lock);
  for (Handle h : handles) {
    if (Live* live = r.find(h); live && live->disabled > 0) {
      live->state.enabled = --live->disabled == 0;
    }
  }
  r.generation.fetch_add(1, std::memory_order_relaxed);
}

int modal_loop(Live& live, const std::vector<Handle>& disabled) {
  Handle h = live.state.handle;
  std::shared_ptr<Queue> q = live.queue;
  show(&live.window);
  Registry& r = registry();
  int result = 0;
  for (;;) {
    {
      std::lock_guard guard(r.lock);
      Live* l = r.find(h);
      if (!l) break;  // its handler destroyed it: a cancelled screen
      if (l->ended) {
        result = l->result;
        break;
      }
    }
    Command cmd;
    if (pop(*q, cmd, true))
      dispatch(cmd);
    else
      idle(h);
  }
  destroy_handle(h);
  enable_again(disabled);
  return result;
}

// The lines of a message box's text, for its size.
void measure(std::string_view text, int& columns, int& lines) {
  columns = 0;
  lines = 1;
  int column = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r') continue;
    if (text[i] == '\n') {
      ++lines;
      column = 0;
      continue;
    }
    columns = std::max(columns, ++column);
  }
}

}  // namespace

Window* create_modeless(int template_id, Handler handler, Window* owner) {
  return create(template_id, std::move(handler), owner);
}

void show(Window* window) {
  if (!window) return;
  Registry& r = registry();
  Change c{Change::Shown, window->handle(), window->template_id(), true, 0, 0, 0, {}};
  {
    std::lock_guard guard(r.lock);
    Live* live = r.find(window->handle());
    if (!live || live->state.visible) return;
    live->state.visible = true;
    live->state.z = r.next_z++;
    r.generation.fetch_add(1, std::memory_order_relaxed);
  }
  notify(c);
}

void destroy(Window* window) {
  if (window) destroy_handle(window->handle());
}

void destroy_handle(Handle handle) {
  Registry& r = registry();
  Change c{Change::Closed, handle, 0, false, 0, 0, 0, {}};
  std::unique_ptr<Live> gone;
  {
    std::lock_guard guard(r.lock);
    auto it = r.windows.find(handle);
    if (it == r.windows.end()) return;
    c.visible = it->second->state.visible;
    c.template_id = it->second->state.template_id;
    c.a = it->second->result;
    gone = std::move(it->second);
    r.windows.erase(it);
    r.generation.fetch_add(1, std::memory_order_relaxed);
  }
  notify(c);
}

bool pump_one() {
  idle(0);
  Command cmd;
  if (!pop(*this_thread_queue(), cmd, false)) return false;
  dispatch(cmd);
  return true;
}

void pump_all() {
  idle(0);
  Command cmd;
  std::shared_ptr<Queue> q = this_thread_queue();
  while (pop(*q, cmd, false)) dispatch(cmd);
}

int run_modal(int template_id, Handler handler, Window* owner) {
  const DialogTemplate* t = find_template(template_id);
  if (!t) return -1;
  Live* live = make_window(template_id, t->caption ? t->caption : "", t->w, t->h, controls_of(*t), std::move(handler),
                           owner);
  std::vector<Handle> disabled;
  if (owner) disabled = disable_for(owner, 0);
  open(*live);
  return modal_loop(*live, disabled);
}

void end_dialog(Window& window, int result) {
  Registry& r = registry();
  std::shared_ptr<Queue> q;
  {
    std::lock_guard guard(r.lock);
    Live* live = r.find(window.handle());
    if (!live) return;
    live->ended = true;
    live->result = result;
    q = live->queue;
  }
  wake(*q);
}

int message_box(Window* owner, std::string_view text, std::string_view caption) {
  int columns = 0, lines = 0;
  measure(text, columns, lines);
  // Sized like the platform's box: the text with a margin, the OK button
  // centred below it; never wider than 74 characters (it wraps beyond).
  int text_w = std::clamp(columns, 1, 70) * 4;
  int w = std::max(text_w + 16, 80);
  int text_h = lines * 8;
  std::vector<ControlView> controls(2);
  controls[0].id = no_id;
  controls[0].kind = ControlKind::Static;
  controls[0].x = 8;
  controls[0].y = 8;
  controls[0].w = w - 16;
  controls[0].h = text_h;
  controls[0].text = text;
  controls[1].id = id_ok;
  controls[1].kind = ControlKind::Button;
  controls[1].style = style::tab_stop | style::default_button;
  controls[1].text = "OK";
  controls[1].x = (w - 50) / 2;
  controls[1].y = text_h + 16;
  controls[1].w = 50;
  controls[1].h = 14;
  Handler handler;
  handler.command = [](Window& box, int id) {
    if (id == id_ok || id == id_cancel) end_dialog(box, id_ok);
  };
  Live* live = make_window(message_box_id, caption, w, text_h + 28, std::move(controls), std::move(handler), owner);
  std::vector<Handle> disabled = disable_for(owner, live->state.handle);
  open(*live);
  live->window.center();
  return modal_loop(*live, disabled);
}

// What front ends call.

std::vector<WindowView> visible_windows() {
  Registry& r = registry();
  std::vector<WindowView> out;
  {
    std::lock_guard guard(r.lock);
    for (auto& [h, live] : r.windows)
      if (live->state.visible) out.push_back(live->state);
  }
  std::sort(out.begin(), out.end(), [](const WindowView& a, const WindowView& b) { return a.z < b.z; });
  return out;
}

std::vector<WindowView> visible_windows_of_this_thread() {
  Registry& r = registry();
  std::shared_ptr<Queue> q = this_thread_queue();
  std::vector<WindowView> out;
  {
    std::lock_guard guard(r.lock);
    for (auto& [h, live] : r.windows)
      if (live->state.visible && live->queue == q) out.push_back(live->state);
  }
  std::sort(out.begin(), out.end(), [](const WindowView& a, const WindowView& b) { return a.z < b.z; });
  return out;
}

bool window_view(Handle handle, WindowView& out) {
  Registry& r = registry();
  std::lock_guard guard(r.lock);
  Live* live = r.find(handle);
  if (!live) return false;
  out = live->state;
  return true;
}

uint64_t generation() { return registry().generation.load(std::memory_order_relaxed); }

namespace {

// Finds a window that takes input and runs `edit` on it under the lock.
template <typename Edit>
void input(Handle window, Edit edit) {
  Registry& r = registry();
  std::lock_guard guard(r.lock);
  Live* live = r.find(window);
  if (!live || live->disabled || !live->state.visible) return;
  if (edit(*live)) r.generation.fetch_add(1, std::memory_order_relaxed);
}

}  // namespace

void post_command(Handle window, int id) {
  std::shared_ptr<Queue> q;
  input(window, [&](Live& live) {
    q = live.queue;
    return false;
  });
  if (!q) return;
  {
    std::lock_guard guard(q->lock);
    q->commands.push_back(Command{window, id});
  }
  q->ready.notify_all();
}

void input_text(Handle window, int control, std::string_view text) {
  input(window, [&](Live& live) {
    for (ControlView& c : live.state.controls) {
      if (c.id != control || !c.editable()) continue;
      c.text = text.substr(0, static_cast<size_t>(std::max(c.limit, 0)));
      return true;
    }
    return false;
  });
}

void input_select(Handle window, int control, int index) {
  input(window, [&](Live& live) {
    for (ControlView& c : live.state.controls) {
      if (c.id != control || c.kind != ControlKind::DropDown) continue;
      if (index < 0 || index >= static_cast<int>(c.items.size())) return false;
      c.selection = index;
      return true;
    }
    return false;
  });
}

void input_focus(Handle window, int control) {
  input(window, [&](Live& live) {
    for (ControlView& c : live.state.controls) {
      if (c.id != control || !c.has(style::tab_stop)) continue;
      live.state.focus = control;
      return true;
    }
    return false;
  });
}

void raise(Handle window) {
  input(window, [&](Live& live) {
    live.state.z = registry().next_z++;
    return true;
  });
}

}  // namespace dialog
