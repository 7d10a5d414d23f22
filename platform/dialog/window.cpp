// The setters and getters of live windows.
#include <algorithm>
#include <cstring>

#include "platform/dialog/registry.h"

namespace dialog {
namespace {

ControlView* find_control(Live& live, int id) {
  for (ControlView& c : live.state.controls)
    if (c.id == id) return &c;
  return nullptr;
}

// Runs `edit` on the window under the lock; tells the front end when it
// reports a change.
template <typename Edit>
void change(Handle h, Change::Kind kind, int control, Edit edit) {
  Registry& r = registry();
  Change c{kind, h, 0, false, control, 0, 0, {}};
  std::string text;
  {
    std::lock_guard guard(r.lock);
    Live* live = r.find(h);
    if (!live || !edit(*live, c, text)) return;
    c.template_id = live->state.template_id;
    c.visible = live->state.visible;
    r.generation.fetch_add(1, std::memory_order_relaxed);
  }
  c.text = text;
  notify(c);
}

}  // namespace

void Window::set_caption(std::string_view caption) {
  change(handle_, Change::Caption, 0, [&](Live& l, Change&, std::string& text) {
    if (l.state.caption == caption) return false;
    l.state.caption = caption;
    text = caption;
    return true;
  });
}

void Window::set_item_text(int id, std::string_view value) {
  change(handle_, Change::Text, id, [&](Live& l, Change&, std::string& text) {
    ControlView* c = find_control(l, id);
    if (!c || c->text == value) return false;
    c->text = value;
    text = value;
    return true;
  });
}

size_t Window::get_item_text(int id, char* out, size_t limit) const {
  if (limit == 0) return 0;
  Registry& r = registry();
  std::lock_guard guard(r.lock);
  Live* live = r.find(handle_);
  const ControlView* c = live ? find_control(*live, id) : nullptr;
  size_t n = c ? std::min(c->text.size(), limit - 1) : 0;
  if (n) std::memcpy(out, c->text.data(), n);
  out[n] = '\0';
  return n;
}

std::string Window::item_text(int id) const {
  Registry& r = registry();
  std::lock_guard guard(r.lock);
  Live* live = r.find(handle_);
  const ControlView* c = live ? find_control(*live, id) : nullptr;
  return c ? c->text : std::string();
}

void Window::set_focus(int id) {
  change(handle_, Change::Focus, id, [&](Live& l, Change& c, std::string&) {
    if (!find_control(l, id) || l.state.focus == id) return false;
    l.state.focus = id;
    c.a = id;
    return true;
  });
}

int Window::focus() const {
  Registry& r = registry();
  std::lock_guard guard(r.lock);
  Live* live = r.find(handle_);
  return live ? live->state.focus : 0;
}

void Window::add_list_item(int id, std::string_view item) {
  change(handle_, Change::Items, id, [&](Live& l, Change& c, std::string& text) {
    ControlView* control = find_control(l, id);
    if (!control || control->kind != ControlKind::DropDown) return false;
    control->items.emplace_back(item);
    c.a = static_cast<int>(control->items.size());
    text = item;
    return true;
  });
}

void Window::set_list_selection(int id, int index) {
  change(handle_, Change::Selection, id, [&](Live& l, Change& c, std::string&) {
    ControlView* control = find_control(l, id);
    if (!control || control->kind != ControlKind::DropDown) return false;
    // Like the platform's list: an index outside the entries clears the selection.
    int value = index >= 0 && index < static_cast<int>(control->items.size()) ? index : -1;
    if (control->selection == value) return false;
    control->selection = value;
    c.a = value;
    return true;
  });
}

int Window::list_selection(int id) const {
  Registry& r = registry();
  std::lock_guard guard(r.lock);
  Live* live = r.find(handle_);
  const ControlView* c = live ? find_control(*live, id) : nullptr;
  return c ? c->selection : -1;
}

void Window::set_progress_range(int id, int lo, int hi) {
  change(handle_, Change::ProgressRange, id, [&](Live& l, Change& c, std::string&) {
    ControlView* control = find_control(l, id);
    if (!control || control->kind != ControlKind::Progress) return false;
    if (control->range_lo == lo && control->range_hi == hi) return false;
    control->range_lo = lo;
    control->range_hi = hi;
    c.a = lo;
    c.b = hi;
    return true;
  });
}

void Window::set_progress_pos(int id, int pos) {
  change(handle_, Change::ProgressPos, id, [&](Live& l, Change& c, std::string&) {
    ControlView* control = find_control(l, id);
    if (!control || control->kind != ControlKind::Progress || control->pos == pos) return false;
    control->pos = pos;
    c.a = pos;
    return true;
  });
}

void Window::center() {
  change(handle_, Change::Raised, 0, [&](Live& l, Change&, std::string&) {
    l.state.centred = true;
    l.state.z = registry().next_z++;
    return true;
  });
}

WindowView Window::view() const {
  Registry& r = registry();
  std::lock_guard guard(r.lock);
  Live* live = r.find(handle_);
  return live ? live->state : WindowView{};
}

}  // namespace dialog
