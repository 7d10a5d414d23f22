#include "platform/terminal/layout.h"

#include <algorithm>

namespace terminal {

using dialog::ControlKind;
using dialog::ControlView;

bool single_row(const ControlView& c) {
  switch (c.kind) {
    case ControlKind::Button:
    case ControlKind::Address:
    case ControlKind::DropDown:
    case ControlKind::Progress:
      return true;
    case ControlKind::Edit:
      return !c.has(dialog::style::multi_line);
    case ControlKind::Static:
      return c.h <= 12;
    case ControlKind::Icon:
      return false;
  }
  return true;
}

namespace {

// Rows of the closed drop-down: the template height is the drop height.
constexpr int closed_drop_height = 14;

Rect place(const ControlView& c) {
  Rect r;
  r.x = c.x / 4;
  r.w = std::max(1, (c.x + c.w) / 4 - r.x);
  if (single_row(c)) {
    int h = c.kind == ControlKind::DropDown ? closed_drop_height : c.h;
    r.y = (c.y + h / 2) / 8;
    r.h = 1;
  } else {
    r.y = c.y / 8;
    r.h = std::max(1, (c.y + c.h + 4) / 8 - r.y);
  }
  return r;
}

bool shows_text_on_one_row(const ControlView& c) {
  return single_row(c) && (c.kind == ControlKind::Static || (c.kind == ControlKind::Edit && c.has(dialog::style::read_only)));
}

}  // namespace

WindowLayout layout_window(const dialog::WindowView& v, int cols, int rows) {
  WindowLayout out;
  std::vector<Rect>& rs = out.controls;
  int client_w = (v.w + 3) / 4;
  int client_h = (v.h + 7) / 8;
  int needed = 0;
  for (const ControlView& c : v.controls) {
    rs.push_back(place(c));
    needed = std::max(needed, rs.back().y + rs.back().h);
  }

  // Fit the height: drop empty rows at the bottom, then rows of the tallest
  // text areas, moving what lies below them up.
  int room = std::max(1, rows - 2);
  if (client_h > room) client_h = std::max(needed, room);
  while (client_h > room) {
    int tallest = -1;
    for (size_t i = 0; i < v.controls.size(); ++i) {
      if (single_row(v.controls[i]) || v.controls[i].kind == ControlKind::Icon || rs[i].h < 2) continue;
      if (tallest < 0 || rs[i].h > rs[static_cast<size_t>(tallest)].h) tallest = static_cast<int>(i);
    }
    if (tallest < 0) break;
    Rect& t = rs[static_cast<size_t>(tallest)];
    int cut = std::min(client_h - room, t.h - 1);
    int old_bottom = t.y + t.h;
    t.h -= cut;
    for (Rect& r : rs)
      if (&r != &t && r.y >= old_bottom) r.y -= cut;
    client_h -= cut;
  }
  client_h = std::max(client_h, 1);

  // A one-line text longer than its control runs on over empty cells to its right.
  for (size_t i = 0; i < v.controls.size(); ++i) {
    const ControlView& c = v.controls[i];
    if (!shows_text_on_one_row(c) || static_cast<int>(c.text.size()) <= rs[i].w || c.has(dialog::style::align_center) ||
        c.has(dialog::style::align_right))
      continue;
    int limit = client_w;
    for (size_t j = 0; j < rs.size(); ++j) {
      if (j == i || rs[j].y > rs[i].y || rs[j].y + rs[j].h <= rs[i].y || rs[j].x < rs[i].x + rs[i].w) continue;
      limit = std::min(limit, rs[j].x - 1);
    }
    int need = static_cast<int>(c.text.size());
    rs[i].w = std::max(rs[i].w, std::min(need, limit - rs[i].x));
    if (rs[i].w >= need) continue;
    // Then over empty cells to its left.
    int left = 0;
    for (size_t j = 0; j < rs.size(); ++j) {
      if (j == i || rs[j].y > rs[i].y || rs[j].y + rs[j].h <= rs[i].y || rs[j].x + rs[j].w > rs[i].x) continue;
      left = std::max(left, rs[j].x + rs[j].w + 1);
    }
    int x = std::max(left, rs[i].x - (need - rs[i].w));
    rs[i].w += rs[i].x - x;
    rs[i].x = x;
  }

  out.frame.w = client_w + 2;
  out.frame.h = client_h + 2;
  if (v.centred) {
    // Centred, halved rounding down; a window larger than the terminal keeps its top left corner in view.
    out.frame.x = std::max(0, (cols - out.frame.w) >> 1);
    out.frame.y = std::max(0, (rows - out.frame.h) >> 1);
  }
  out.client = {out.frame.x + 1, out.frame.y + 1, client_w, client_h};
  for (Rect& r : rs) {
    r.x += out.client.x;
    r.y += out.client.y;
  }
  return out;
}

namespace {

// The text's lines as it breaks them, with unshowable characters as '?'.
std::vector<std::string> hard_lines(const std::string& text) {
  std::vector<std::string> lines(1);
  for (char ch : text) {
    unsigned char c = static_cast<unsigned char>(ch);
    if (c == '\r') continue;
    if (c == '\n') {
      lines.emplace_back();
      continue;
    }
    lines.back() += c == '\t' ? ' ' : (c >= 0x20 && c < 0x7f ? ch : '?');
  }
  if (lines.size() > 1 && lines.back().empty()) lines.pop_back();  // a closing line break
  return lines;
}

void wrap_into(std::string line, int width, std::vector<std::string>& out) {
  while (static_cast<int>(line.size()) > width) {
    size_t cut = line.rfind(' ', static_cast<size_t>(width));
    if (cut == std::string::npos || cut == 0) cut = static_cast<size_t>(width);
    out.push_back(line.substr(0, cut));
    size_t next = cut;
    while (next < line.size() && line[next] == ' ') ++next;
    line.erase(0, next);
  }
  out.push_back(line);
}

}  // namespace

std::vector<std::string> wrap_text(const std::string& text, int width) {
  width = std::max(width, 1);
  std::vector<std::string> lines = hard_lines(text);
  bool fits = std::all_of(lines.begin(), lines.end(), [&](const std::string& l) { return static_cast<int>(l.size()) <= width; });
  if (fits) return lines;
  // The text was broken for a wider, proportional font: keep its paragraphs
  // (blank lines) and fill each one anew, so it does not read in ragged halves.
  std::vector<std::string> out;
  std::string paragraph;
  for (const std::string& l : lines) {
    if (l.find_first_not_of(' ') == std::string::npos) {
      if (!paragraph.empty()) wrap_into(paragraph, width, out);
      paragraph.clear();
      out.emplace_back();
      continue;
    }
    if (!paragraph.empty()) paragraph += ' ';
    paragraph += l;
  }
  if (!paragraph.empty()) wrap_into(paragraph, width, out);
  return out;
}

}  // namespace terminal
