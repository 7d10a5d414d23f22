#include "platform/terminal/keyboard.h"

#include <algorithm>

#include "platform/dialog/dialog.h"
#include "platform/dialog/front_end.h"

namespace terminal {

using dialog::ControlKind;
using dialog::ControlView;
using dialog::WindowView;

namespace {

void move_focus(const WindowView& w, int step) {
  std::vector<int> stops;
  for (const ControlView& c : w.controls)
    if (c.has(dialog::style::tab_stop)) stops.push_back(c.id);
  if (stops.empty()) return;
  auto it = std::find(stops.begin(), stops.end(), w.focus);
  int n = static_cast<int>(stops.size());
  int at = it == stops.end() ? (step > 0 ? -1 : 0) : static_cast<int>(it - stops.begin());
  dialog::input_focus(w.handle, stops[static_cast<size_t>(((at + step) % n + n) % n)]);
}

void press_enter(const WindowView& w) {
  if (const ControlView* f = w.focused(); f && f->kind == ControlKind::Button) {
    dialog::post_command(w.handle, f->id);
    return;
  }
  for (const ControlView& c : w.controls) {
    if (c.kind == ControlKind::Button && c.has(dialog::style::default_button)) {
      dialog::post_command(w.handle, c.id);
      return;
    }
  }
}

void scroll(const WindowView& w, int index, int by, TerminalState& state, int cols, int rows) {
  if (index < 0) return;
  TextExtent e = text_extent(w, static_cast<size_t>(index), cols, rows);
  int& first = state.scroll[{w.handle, index}];
  first = std::clamp(first + by, 0, std::max(0, e.lines - e.rows));
}

int focused_index(const WindowView& w) {
  for (size_t i = 0; i < w.controls.size(); ++i)
    if (w.focus != 0 && w.controls[i].id == w.focus) return static_cast<int>(i);
  return -1;
}

// The address control takes the digits and points of "255.255.255.255".
constexpr int address_length = 15;

bool accepts(const ControlView& c, char ch) {
  if (c.kind != ControlKind::Address) return static_cast<int>(c.text.size()) < c.limit;
  return static_cast<int>(c.text.size()) < address_length && ((ch >= '0' && ch <= '9') || ch == '.');
}

}  // namespace

void handle_key(const Key& key, const std::vector<WindowView>& windows, TerminalState& state, int cols, int rows) {
  const WindowView* w = key_window(windows);
  if (!w) return;
  const ControlView* f = w->focused();
  int fi = focused_index(*w);
  switch (key.code) {
    case KeyCode::Tab:
      return move_focus(*w, 1);
    case KeyCode::BackTab:
      return move_focus(*w, -1);
    case KeyCode::Enter:
      return press_enter(*w);
    case KeyCode::Escape:
    case KeyCode::CtrlC:
      return dialog::post_command(w->handle, dialog::id_cancel);
    case KeyCode::F6: {
      // The lowest window that takes input comes to the top and gets the keys.
      for (const WindowView& other : windows) {
        if (other.enabled && other.handle != w->handle) {
          dialog::raise(other.handle);
          return;
        }
      }
      return;
    }
    case KeyCode::Up:
    case KeyCode::Down:
    case KeyCode::Left:
    case KeyCode::Right: {
      int step = key.code == KeyCode::Up || key.code == KeyCode::Left ? -1 : 1;
      if (f && f->kind == ControlKind::DropDown) {
        int count = static_cast<int>(f->items.size());
        if (count > 0) dialog::input_select(w->handle, f->id, std::clamp(f->selection + step, 0, count - 1));
      } else if (fi >= 0 && (key.code == KeyCode::Up || key.code == KeyCode::Down)) {
        scroll(*w, fi, step, state, cols, rows);
      }
      return;
    }
    case KeyCode::PageUp:
    case KeyCode::PageDown: {
      int target = scroll_target(*w, cols, rows);
      if (target < 0) return;
      int page = std::max(1, text_extent(*w, static_cast<size_t>(target), cols, rows).rows - 1);
      return scroll(*w, target, key.code == KeyCode::PageUp ? -page : page, state, cols, rows);
    }
    case KeyCode::Home:
    case KeyCode::End:
      if (fi >= 0) scroll(*w, fi, key.code == KeyCode::Home ? -(1 << 20) : 1 << 20, state, cols, rows);
      return;
    case KeyCode::Backspace:
    case KeyCode::Delete:
      if (f && f->editable() && !f->text.empty())
        dialog::input_text(w->handle, f->id, std::string_view(f->text).substr(0, f->text.size() - 1));
      return;
    case KeyCode::Char:
      if (f && f->kind == ControlKind::Button && key.ch == ' ') return dialog::post_command(w->handle, f->id);
      if (f && f->editable() && accepts(*f, key.ch))
        dialog::input_text(w->handle, f->id, f->text + key.ch);
      return;
  }
}

}  // namespace terminal
