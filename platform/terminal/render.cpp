#include "platform/terminal/render.h"

#include <algorithm>
#include <array>

#include "platform/dialog/icon.h"

namespace terminal {

using dialog::ControlKind;
using dialog::ControlView;
using dialog::WindowView;
namespace st = dialog::style;

void Grid::put(int x, int y, const std::string& text, Role role, int width) {
  for (size_t i = 0; i < text.size() && static_cast<int>(i) < width; ++i) {
    int cx = x + static_cast<int>(i);
    if (!inside(cx, y)) continue;
    Cell& c = at(cx, y);
    unsigned char ch = static_cast<unsigned char>(text[i]);
    c.glyph.assign(1, ch >= 0x20 && ch < 0x7f ? text[i] : '?');
    c.role = role;
  }
}

void Grid::put_glyph(int x, int y, const char* glyph, Role role) {
  if (!inside(x, y)) return;
  at(x, y).glyph = glyph;
  at(x, y).role = role;
}

void Grid::fill(const Rect& r, Role role) {
  for (int y = r.y; y < r.y + r.h; ++y)
    for (int x = r.x; x < r.x + r.w; ++x) put_glyph(x, y, " ", role);
}

std::vector<std::string> Grid::lines() const {
  std::vector<std::string> out;
  for (int y = 0; y < height_; ++y) {
    std::string line;
    for (int x = 0; x < width_; ++x) line += at(x, y).glyph;
    out.push_back(line);
  }
  return out;
}

const WindowView* key_window(const std::vector<WindowView>& windows) {
  for (auto it = windows.rbegin(); it != windows.rend(); ++it)
    if (it->enabled) return &*it;
  return nullptr;
}

namespace {

struct Glyphs {
  const char *h, *v, *tl, *tr, *bl, *br, *full, *empty, *drop, *up, *down, *half;
};
constexpr Glyphs unicode_glyphs{"─", "│", "┌", "┐", "└", "┘", "█", "░", "▼", "▲", "▼", "▀"};
constexpr Glyphs ascii_glyphs{"-", "|", "+", "+", "+", "+", "#", ".", "v", "^", "v", "#"};

// The rows of a multi-line text as drawn in a control `width` wide and `rows`
// high: with a scroll mark column when it does not fit.
std::vector<std::string> text_lines(const ControlView& c, int width, int rows, bool& overflow) {
  std::vector<std::string> lines = wrap_text(c.text, width);
  overflow = static_cast<int>(lines.size()) > rows;
  if (overflow && width > 1) lines = wrap_text(c.text, width - 1);
  return lines;
}

int clamp_scroll(int scroll, int lines, int rows) { return std::clamp(scroll, 0, std::max(0, lines - rows)); }

// The 16 colours of the icons, in the terminal's colour order.
constexpr std::array<int32_t, 16> palette{0x000000, 0x800000, 0x008000, 0x808000, 0x000080, 0x800080,
                                          0x008080, 0xC0C0C0, 0x808080, 0xFF0000, 0x00FF00, 0xFFFF00,
                                          0x0000FF, 0xFF00FF, 0x00FFFF, 0xFFFFFF};

uint8_t nearest_colour(int32_t rgb) {
  int best = 0;
  long best_d = -1;
  for (size_t i = 0; i < palette.size(); ++i) {
    long dr = ((rgb >> 16) & 0xff) - ((palette[i] >> 16) & 0xff);
    long dg = ((rgb >> 8) & 0xff) - ((palette[i] >> 8) & 0xff);
    long db = (rgb & 0xff) - (palette[i] & 0xff);
    long d = dr * dr + dg * dg + db * db;
    if (best_d < 0 || d < best_d) {
      best_d = d;
      best = static_cast<int>(i);
    }
  }
  return static_cast<uint8_t>(best);
}

// The colour a block of the picture shows: its most frequent one, coloured
// pixels counting triple so that small lights survive the shrinking. The
// window's background (light grey) stands in for transparency.
uint8_t block_colour(const dialog::Icon& icon, int x0, int y0, int x1, int y1) {
  std::array<int, 16> votes{};
  for (int y = y0; y < std::max(y1, y0 + 1); ++y)
    for (int x = x0; x < std::max(x1, x0 + 1); ++x) {
      int32_t p = icon.at(std::min(x, icon.width - 1), std::min(y, icon.height - 1));
      uint8_t c = p == dialog::transparent ? 7 : nearest_colour(p);
      bool grey = c == 0 || c == 7 || c == 8 || c == 15;
      votes[c] += grey ? 1 : 3;
    }
  return static_cast<uint8_t>(std::max_element(votes.begin(), votes.end()) - votes.begin());
}

void draw_icon(Grid& g, const ControlView& c, const Rect& r, const TerminalState& state, const Glyphs& gl) {
  const dialog::Icon* icon = dialog::find_icon(c.icon);
  if (!icon || !state.colour || !state.unicode) {
    // A marked box with the icon's number.
    std::string mark = std::to_string(c.icon);
    for (int y = 0; y < r.h; ++y)
      for (int x = 0; x < r.w; ++x) {
        bool edge_y = y == 0 || y == r.h - 1, edge_x = x == 0 || x == r.w - 1;
        g.put_glyph(r.x + x, r.y + y, edge_y ? (edge_x ? "+" : "-") : (edge_x ? "|" : " "), Role::Text);
      }
    g.put(r.x + std::max(1, (r.w - static_cast<int>(mark.size())) / 2), r.y + r.h / 2, mark, Role::Text,
          std::max(0, r.w - 2));
    return;
  }
  int pixel_rows = r.h * 2;
  for (int y = 0; y < r.h; ++y)
    for (int x = 0; x < r.w; ++x) {
      int x0 = x * icon->width / r.w, x1 = (x + 1) * icon->width / r.w;
      int top0 = (2 * y) * icon->height / pixel_rows, top1 = (2 * y + 1) * icon->height / pixel_rows;
      int bottom1 = (2 * y + 2) * icon->height / pixel_rows;
      if (!g.inside(r.x + x, r.y + y)) continue;
      g.put_glyph(r.x + x, r.y + y, gl.half, Role::Pixel);
      Cell& cell = g.at(r.x + x, r.y + y);
      cell.fg = block_colour(*icon, x0, top0, x1, top1);
      cell.bg = block_colour(*icon, x0, top1, x1, bottom1);
    }
}

std::string label_of(const ControlView& c) {
  std::string s;
  for (char ch : c.text)
    if (ch != '&') s += ch;
  return s;
}

void draw_control(Grid& g, const WindowView& w, size_t index, const Rect& r, bool keys, const TerminalState& state,
                  const Glyphs& gl, Frame& frame) {
  const ControlView& c = w.controls[index];
  bool focused = keys && w.focus != 0 && w.focus == c.id;
  switch (c.kind) {
    case ControlKind::Button: {
      std::string text = label_of(c);
      if (c.has(st::default_button)) text = "<" + text + ">";
      int inner = std::max(0, r.w - 2);
      int pad = std::max(0, (inner - static_cast<int>(text.size())) / 2);
      std::string body = "[" + std::string(static_cast<size_t>(pad), ' ') + text;
      body.resize(static_cast<size_t>(std::max(r.w - 1, 0)), ' ');
      body += "]";
      g.put(r.x, r.y, body, focused ? Role::ButtonFocused : Role::Button, r.w);
      return;
    }
    case ControlKind::Edit:
    case ControlKind::Static: {
      if (c.kind == ControlKind::Edit && !c.has(st::read_only)) break;  // editable: below
      Role role = focused ? Role::TextFocused : (c.has(st::border) ? Role::Input : Role::Text);
      if (single_row(c)) {
        std::vector<std::string> lines = wrap_text(c.text, 1 << 20);
        std::string text = lines.empty() ? "" : lines[0];
        int pad = 0;
        if (c.has(st::align_center)) pad = std::max(0, (r.w - static_cast<int>(text.size())) / 2);
        if (c.has(st::align_right)) pad = std::max(0, r.w - static_cast<int>(text.size()));
        if (c.has(st::border)) g.fill(r, role);
        g.put(r.x + pad, r.y, text, role, r.w - pad);
        return;
      }
      bool overflow = false;
      std::vector<std::string> lines = text_lines(c, r.w, r.h, overflow);
      auto it = state.scroll.find({w.handle, static_cast<int>(index)});
      int first = clamp_scroll(it == state.scroll.end() ? 0 : it->second, static_cast<int>(lines.size()), r.h);
      int width = overflow ? r.w - 1 : r.w;
      for (int row = 0; row < r.h && first + row < static_cast<int>(lines.size()); ++row) {
        const std::string& line = lines[static_cast<size_t>(first + row)];
        int pad = 0;
        if (c.has(st::align_center)) pad = std::max(0, (width - static_cast<int>(line.size())) / 2);
        if (c.has(st::align_right)) pad = std::max(0, width - static_cast<int>(line.size()));
        g.put(r.x + pad, r.y + row, line, role, width - pad);
      }
      if (overflow) {
        int x = r.x + r.w - 1;
        for (int row = 0; row < r.h; ++row) g.put_glyph(x, r.y + row, gl.v, Role::Frame);
        if (first > 0) g.put_glyph(x, r.y, gl.up, Role::Frame);
        if (first + r.h < static_cast<int>(lines.size())) g.put_glyph(x, r.y + r.h - 1, gl.down, Role::Frame);
      }
      return;
    }
    case ControlKind::Address:
      break;
    case ControlKind::DropDown: {
      Role role = focused ? Role::InputFocused : Role::Input;
      std::string text = c.selection >= 0 && c.selection < static_cast<int>(c.items.size())
                             ? c.items[static_cast<size_t>(c.selection)]
                             : "";
      g.fill({r.x, r.y, r.w, 1}, role);
      g.put(r.x, r.y, text, role, r.w - 1);
      g.put_glyph(r.x + r.w - 1, r.y, gl.drop, role);
      return;
    }
    case ControlKind::Progress: {
      int inner = std::max(0, r.w - 2);
      long span = static_cast<long>(c.range_hi) - c.range_lo;
      long done = span > 0 ? std::clamp<long>(static_cast<long>(c.pos) - c.range_lo, 0, span) * inner / span : 0;
      g.put(r.x, r.y, "[", Role::Progress);
      for (int i = 0; i < inner; ++i) g.put_glyph(r.x + 1 + i, r.y, i < done ? gl.full : gl.empty, Role::Progress);
      g.put(r.x + r.w - 1, r.y, "]", Role::Progress);
      return;
    }
    case ControlKind::Icon:
      draw_icon(g, c, r, state, gl);
      return;
  }
  // Editable fields: the end of the text shows, with the caret after it.
  Role role = focused ? Role::InputFocused : Role::Input;
  std::string text = c.has(st::password) ? std::string(c.text.size(), '*') : c.text;
  int room = std::max(1, r.w - 1);
  if (static_cast<int>(text.size()) > room) text.erase(0, text.size() - static_cast<size_t>(room));
  std::string shown = text;
  shown.resize(static_cast<size_t>(r.w), '_');
  g.put(r.x, r.y, shown, role, r.w);
  if (focused) {
    frame.cursor_x = r.x + static_cast<int>(text.size());
    frame.cursor_y = r.y;
  }
}

void draw_window(Grid& g, const WindowView& w, bool keys, const TerminalState& state, const Glyphs& gl,
                 Frame& frame) {
  WindowLayout l = layout_window(w, g.width(), g.height() - 1);
  const Rect& f = l.frame;
  Role edge = keys ? Role::FrameActive : Role::Frame;
  g.fill(f, Role::Body);
  for (int x = f.x + 1; x < f.x + f.w - 1; ++x) {
    g.put_glyph(x, f.y, gl.h, edge);
    g.put_glyph(x, f.y + f.h - 1, gl.h, edge);
  }
  for (int y = f.y + 1; y < f.y + f.h - 1; ++y) {
    g.put_glyph(f.x, y, gl.v, edge);
    g.put_glyph(f.x + f.w - 1, y, gl.v, edge);
  }
  g.put_glyph(f.x, f.y, gl.tl, edge);
  g.put_glyph(f.x + f.w - 1, f.y, gl.tr, edge);
  g.put_glyph(f.x, f.y + f.h - 1, gl.bl, edge);
  g.put_glyph(f.x + f.w - 1, f.y + f.h - 1, gl.br, edge);
  if (f.w > 4) g.put(f.x + 2, f.y, " " + w.caption + " ", keys ? Role::CaptionActive : Role::Caption, f.w - 4);
  for (size_t i = 0; i < w.controls.size(); ++i) {
    // Controls stay inside their window.
    Rect r = l.controls[i];
    int right = std::min(r.x + r.w, l.client.x + l.client.w), bottom = std::min(r.y + r.h, l.client.y + l.client.h);
    r.w = right - r.x;
    r.h = bottom - r.y;
    if (r.w > 0 && r.h > 0) draw_control(g, w, i, r, keys, state, gl, frame);
  }
}

// The button Enter presses: the focused one, or else the default one.
const ControlView* enter_button(const WindowView& w) {
  if (const ControlView* f = w.focused(); f && f->kind == ControlKind::Button) return f;
  for (const ControlView& c : w.controls)
    if (c.kind == ControlKind::Button && c.has(st::default_button)) return &c;
  return nullptr;
}

void draw_legend(Grid& g, const std::vector<WindowView>& windows, const WindowView* keys) {
  int y = g.height() - 1;
  g.fill({0, y, g.width(), 1}, Role::Legend);
  if (!keys) return;
  std::string legend = " Tab/Shift-Tab Move";
  if (const ControlView* b = enter_button(*keys)) legend += "  Enter " + label_of(*b);
  legend += "  Esc Cancel";
  if (const ControlView* f = keys->focused(); f && f->kind == ControlKind::DropDown) legend += "  Up/Down Choose";
  if (scroll_target(*keys, g.width(), g.height()) >= 0) legend += "  PgUp/PgDn Scroll";
  if (std::count_if(windows.begin(), windows.end(), [](const WindowView& w) { return w.enabled; }) > 1)
    legend += "  F6 Next window";
  g.put(0, y, legend, Role::Legend, g.width());
}

}  // namespace

void render(const std::vector<WindowView>& windows, const TerminalState& state, Grid& grid, Frame& frame) {
  const Glyphs& gl = state.unicode ? unicode_glyphs : ascii_glyphs;
  grid.fill({0, 0, grid.width(), grid.height()}, Role::Desktop);
  frame = Frame{};
  const WindowView* keys = key_window(windows);
  for (const WindowView& w : windows) draw_window(grid, w, &w == keys, state, gl, frame);
  draw_legend(grid, windows, keys);
}

TextExtent text_extent(const WindowView& w, size_t index, int grid_w, int grid_h) {
  const ControlView& c = w.controls[index];
  if (single_row(c) || c.kind == ControlKind::Icon || c.kind == ControlKind::Progress) return {};
  WindowLayout l = layout_window(w, grid_w, grid_h - 1);
  const Rect& r = l.controls[index];
  bool overflow = false;
  return {static_cast<int>(text_lines(c, r.w, r.h, overflow).size()), r.h};
}

int scroll_target(const WindowView& w, int grid_w, int grid_h) {
  for (size_t i = 0; i < w.controls.size(); ++i) {
    if (w.controls[i].id != w.focus || w.focus == 0) continue;
    TextExtent e = text_extent(w, i, grid_w, grid_h);
    if (e.lines > e.rows) return static_cast<int>(i);
  }
  for (size_t i = 0; i < w.controls.size(); ++i) {
    TextExtent e = text_extent(w, i, grid_w, grid_h);
    if (e.lines > e.rows) return static_cast<int>(i);
  }
  return -1;
}

}  // namespace terminal
