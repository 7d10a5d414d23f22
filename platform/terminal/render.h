#pragma once
// Draws the visible windows into an in-memory grid of cells; the terminal
// copies the grid to the screen, and tests compare it with whole frames.
#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "platform/dialog/view.h"
#include "platform/terminal/layout.h"

namespace terminal {

// What a cell shows, for the terminal to pick colours and attributes.
enum class Role : uint8_t {
  Desktop, Frame, FrameActive, Caption, CaptionActive, Body, Text, TextFocused,
  Input, InputFocused, Button, ButtonFocused, Progress, Legend, Pixel,
};

struct Cell {
  std::string glyph = " ";  // one column wide, UTF-8
  Role role = Role::Desktop;
  uint8_t fg = 0, bg = 0;   // for Role::Pixel: colours 0..15, top and bottom half
};

class Grid {
 public:
  Grid(int width, int height) : width_(width), height_(height), cells_(static_cast<size_t>(width * height)) {}
  int width() const { return width_; }
  int height() const { return height_; }
  Cell& at(int x, int y) { return cells_[static_cast<size_t>(y * width_ + x)]; }
  const Cell& at(int x, int y) const { return cells_[static_cast<size_t>(y * width_ + x)]; }
  bool inside(int x, int y) const { return x >= 0 && y >= 0 && x < width_ && y < height_; }
  // Writes ASCII text from (x, y), clipped to `width` cells and the grid.
  void put(int x, int y, const std::string& text, Role role, int width = 1 << 30);
  void put_glyph(int x, int y, const char* glyph, Role role);
  void fill(const Rect& r, Role role);
  // The glyphs, one string per row.
  std::vector<std::string> lines() const;

 private:
  int width_, height_;
  std::vector<Cell> cells_;
};

// What the terminal keeps between frames.
struct TerminalState {
  std::map<std::pair<dialog::Handle, int>, int> scroll;  // first shown line, by window and control index
  bool unicode = true;  // box drawing and block characters
  bool colour = true;   // icons in colour; otherwise a marked box
};

struct Frame {
  int cursor_x = -1, cursor_y = -1;  // where the caret goes; -1 when hidden
};

// The window that gets the keys: the topmost one that takes input.
const dialog::WindowView* key_window(const std::vector<dialog::WindowView>& windows);

// Draws `windows` (bottom first) and the key legend into `grid`.
void render(const std::vector<dialog::WindowView>& windows, const TerminalState& state, Grid& grid, Frame& frame);

// Lines and shown rows of a multi-line text control, laid out for `grid_w` x
// `grid_h` cells; used to scroll it.
struct TextExtent {
  int lines = 0;
  int rows = 0;
};
TextExtent text_extent(const dialog::WindowView& window, size_t control, int grid_w, int grid_h);

// The text control PgUp and PgDn scroll: the focused one, or else the first
// that does not fit. -1 for none.
int scroll_target(const dialog::WindowView& window, int grid_w, int grid_h);

}  // namespace terminal
