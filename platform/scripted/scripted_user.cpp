#include "platform/scripted/scripted_user.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "platform/dialog/dialog.h"

namespace scripted {

std::string quoted(std::string_view text) {
  std::string out = "\"";
  for (char c : text) {
    if (c == '\r')
      out += "\\r";
    else if (c == '\n')
      out += "\\n";
    else if (c == '"')
      out += "\\\"";
    else
      out += c;
  }
  return out + "\"";
}

namespace {

int64_t now_ms() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}


// The text a message box shows: its one static control.
std::string box_text(const dialog::WindowView& v) {
  for (const dialog::ControlView& c : v.controls)
    if (c.kind == dialog::ControlKind::Static) return c.text;
  return {};
}

}  // namespace

Script& Script::type(int control, std::string text) {
  steps_.push_back({Step::Type, control, 0, std::move(text), {}});
  return *this;
}
Script& Script::pick(int control, int index) {
  steps_.push_back({Step::Pick, control, index, {}, {}});
  return *this;
}
Script& Script::focus(int control) {
  steps_.push_back({Step::Focus, control, 0, {}, {}});
  return *this;
}
Script& Script::press(int id) {
  steps_.push_back({Step::Press, 0, id, {}, {}});
  return *this;
}
Script& Script::wait_until(std::function<bool(const dialog::WindowView&)> ready, std::string what, int bound_ms) {
  steps_.push_back({Step::Wait, 0, bound_ms, std::move(what), std::move(ready)});
  return *this;
}
Script& Script::wait_progress(int control, int at_least, int bound_ms) {
  return wait_until(
      [control, at_least](const dialog::WindowView& v) {
        const dialog::ControlView* c = v.control(control);
        return c && c->pos >= at_least;
      },
      "progress " + std::to_string(control) + " at " + std::to_string(at_least), bound_ms);
}

// A screen the user is answering.
struct User::Active {
  dialog::Handle handle;
  int screen;
  std::shared_ptr<Script> script;
  size_t step = 0;
  int64_t since = 0;  // last action, or the opening
  bool reported = false;
};

User::User() { dialog::set_front_end(this); }
User::~User() { dialog::set_front_end(nullptr); }

Script& User::on(int screen) {
  std::lock_guard guard(lock_);
  once_.emplace_back(screen, std::make_shared<Script>());
  return *once_.back().second;
}

Script& User::every(int screen) {
  std::lock_guard guard(lock_);
  every_.emplace_back(screen, std::make_shared<Script>());
  return *every_.back().second;
}

void User::set_patience(int ms) {
  std::lock_guard guard(lock_);
  patience_ms_ = ms;
}

void User::echo(bool on) {
  std::lock_guard guard(lock_);
  echo_ = on;
}

User::Active* User::activate(const dialog::WindowView& view) {
  for (auto& a : active_)
    if (a->handle == view.handle) return a.get();
  auto a = std::make_unique<Active>();
  a->handle = view.handle;
  a->screen = view.template_id;
  a->since = now_ms();
  for (auto it = once_.begin(); it != once_.end(); ++it) {
    if (it->first == view.template_id) {
      a->script = it->second;
      once_.erase(it);
      break;
    }
  }
  if (!a->script) {
    for (auto& [screen, script] : every_)
      if (screen == view.template_id) a->script = script;
  }
  if (!a->script && view.template_id == dialog::message_box_id) {
    a->script = std::make_shared<Script>();
    a->script->press(dialog::id_ok);
  }
  active_.push_back(std::move(a));
  return active_.back().get();
}

void User::log(Entry entry) {
  if (echo_) std::fprintf(stderr, "scripted: %s\n", format(entry).c_str());
  entries_.push_back(std::move(entry));
}

void User::changed(const dialog::Change& c) {
  using dialog::Change;
  if (!c.visible && c.kind != Change::Shown) return;
  Entry e;
  e.screen = c.template_id;
  e.control = c.control;
  switch (c.kind) {
    case Change::Shown: {
      if (!dialog::window_view(c.handle, e.view)) return;
      std::lock_guard guard(lock_);
      activate(e.view);
      if (c.template_id == dialog::message_box_id) {
        e.kind = Entry::Message;
        e.text = box_text(e.view);
        e.value = e.view.owner_template_id;
      } else {
        e.kind = Entry::Opened;
      }
      log(std::move(e));
      return;
    }
    case Change::Closed: {
      std::lock_guard guard(lock_);
      std::erase_if(active_, [&](const auto& a) { return a->handle == c.handle; });
      if (c.template_id == dialog::message_box_id) return;
      e.kind = Entry::Closed;
      e.value = c.a;
      log(std::move(e));
      return;
    }
    case Change::Caption:
      e.kind = Entry::Caption;
      e.text = c.text;
      break;
    case Change::Text:
      e.kind = Entry::Text;
      e.text = c.text;
      break;
    case Change::ProgressRange:
      e.kind = Entry::ProgressRange;
      e.value = c.a;
      e.value2 = c.b;
      break;
    case Change::ProgressPos:
      e.kind = Entry::ProgressPos;
      e.value = c.a;
      break;
    default:
      return;
  }
  std::lock_guard guard(lock_);
  log(std::move(e));
}

void User::idle(dialog::Handle modal) {
  std::vector<dialog::WindowView> views = dialog::visible_windows_of_this_thread();
  std::string report;
  {
    std::lock_guard guard(lock_);
    // The topmost window that takes input acts first (a message box over its owner).
    for (auto v = views.rbegin(); v != views.rend(); ++v) {
      if (!v->enabled) continue;
      Active* a = activate(*v);
      while (a->script && a->step < a->script->steps_.size()) {
        const Script::Step& s = a->script->steps_[a->step];
        if (s.kind == Script::Step::Wait) {
          if (!s.ready(*v)) {
            if (now_ms() - a->since > s.value && !a->reported) {
              a->reported = true;
              report = "screen " + std::to_string(a->screen) + " never reached: " + s.text;
            }
            break;
          }
        } else if (s.kind == Script::Step::Type) {
          dialog::input_text(v->handle, s.control, s.text);
        } else if (s.kind == Script::Step::Pick) {
          dialog::input_select(v->handle, s.control, s.value);
        } else if (s.kind == Script::Step::Focus) {
          dialog::input_focus(v->handle, s.control);
        }
        ++a->step;
        a->since = now_ms();
        if (s.kind == Script::Step::Press) {
          Entry e;
          e.kind = Entry::Pressed;
          e.screen = a->screen;
          e.value = s.value;
          dialog::window_view(v->handle, e.view);
          log(std::move(e));
          dialog::post_command(v->handle, s.value);
          return;  // the owner handles the command before anything else happens
        }
        dialog::window_view(v->handle, *v);  // the screen as the step left it
      }
      if (!report.empty()) break;
      // A modal loop waits on the user alone: give up once no rule can act.
      bool done = !a->script || a->step >= a->script->steps_.size();
      if (modal && done && now_ms() - a->since > patience_ms_ && !a->reported) {
        a->reported = true;
        report = "screen " + std::to_string(a->screen) + " " + quoted(v->caption) +
                 " is waiting for an answer and no rule gives one";
      }
      break;
    }
  }
  if (!report.empty()) stuck(report);
}

void User::stuck(const std::string& report) {
  {
    std::lock_guard guard(lock_);
    Entry e;
    e.kind = Entry::Stuck;
    e.text = report;
    entries_.push_back(e);
  }
  std::fprintf(stderr, "scripted user stuck: %s\n%s", report.c_str(), transcript().c_str());
  std::fflush(stderr);
  std::_Exit(3);
}

std::string User::format(const Entry& e) const {
  std::string s;
  auto n = [](int v) { return std::to_string(v); };
  switch (e.kind) {
    case Entry::Opened:
      s = "open " + n(e.screen) + " " + quoted(e.view.caption) + " focus " + n(e.view.focus);
      for (const dialog::ControlView& c : e.view.controls) {
        if (c.id == dialog::no_id) continue;
        s += "\n  " + n(c.id) + " " + quoted(c.text);
        if (c.kind == dialog::ControlKind::DropDown) {
          s += " items";
          for (const std::string& item : c.items) s += " " + quoted(item);
          s += " selected " + n(c.selection);
        }
        if (c.kind == dialog::ControlKind::Progress)
          s += " range " + n(c.range_lo) + ".." + n(c.range_hi) + " pos " + n(c.pos);
      }
      return s;
    case Entry::Pressed:
      return "press " + n(e.screen) + " " + n(e.value) + " (focus " + n(e.view.focus) + ")";
    case Entry::Closed:
      return "close " + n(e.screen) + " -> " + n(e.value);
    case Entry::Message:
      return "message " + (e.value < 0 ? std::string("task-modal") : "owner " + n(e.value)) + " " +
             quoted(e.view.caption) + ": " + quoted(e.text);
    case Entry::Caption:
      return "caption " + n(e.screen) + " " + quoted(e.text);
    case Entry::Text:
      return "text " + n(e.screen) + " " + n(e.control) + " " + quoted(e.text);
    case Entry::ProgressRange:
      return "range " + n(e.screen) + " " + n(e.control) + " " + n(e.value) + ".." + n(e.value2);
    case Entry::ProgressPos:
      return "pos " + n(e.screen) + " " + n(e.control) + " " + n(e.value);
    case Entry::Stuck:
      return "stuck: " + e.text;
  }
  return s;
}

std::vector<Entry> User::entries() const {
  std::lock_guard guard(lock_);
  return entries_;
}

std::vector<std::string> User::lines() const {
  std::lock_guard guard(lock_);
  std::vector<std::string> out;
  for (const Entry& e : entries_) out.push_back(format(e));
  return out;
}

std::string User::transcript() const {
  std::string out;
  for (const std::string& line : lines()) out += line + "\n";
  return out;
}

std::vector<dialog::WindowView> User::openings(int screen) const {
  std::lock_guard guard(lock_);
  std::vector<dialog::WindowView> out;
  for (const Entry& e : entries_)
    if (e.kind == Entry::Opened && e.screen == screen) out.push_back(e.view);
  return out;
}

std::vector<MessageRecord> User::message_boxes() const {
  std::lock_guard guard(lock_);
  std::vector<MessageRecord> out;
  for (const Entry& e : entries_)
    if (e.kind == Entry::Message) out.push_back({e.value, e.view.caption, e.text});
  return out;
}

std::vector<int> User::results(int screen) const {
  std::lock_guard guard(lock_);
  std::vector<int> out;
  for (const Entry& e : entries_)
    if (e.kind == Entry::Closed && e.screen == screen) out.push_back(e.value);
  return out;
}

std::vector<int> User::progress(int screen) const {
  std::lock_guard guard(lock_);
  std::vector<int> out;
  for (const Entry& e : entries_)
    if (e.kind == Entry::ProgressPos && e.screen == screen) out.push_back(e.value);
  return out;
}

}  // namespace scripted
