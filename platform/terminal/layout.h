#pragma once
// Where windows and their controls go on the terminal. A dialog unit is a
// quarter of a character wide and an eighth of one high. A window taller than
// the terminal gives up rows of its tallest text areas (which then scroll).
#include <string>
#include <vector>

#include "platform/dialog/view.h"

namespace terminal {

struct Rect {
  int x = 0, y = 0, w = 0, h = 0;
};

struct WindowLayout {
  Rect frame;                  // on the terminal, border and caption row included
  Rect client;                 // on the terminal
  std::vector<Rect> controls;  // on the terminal, one per control of the view
};

// Lays out `window` on a terminal area of cols x rows cells.
WindowLayout layout_window(const dialog::WindowView& window, int cols, int rows);

// True for controls drawn on one row whatever their height.
bool single_row(const dialog::ControlView& c);

// Splits text at its line breaks (CR LF or LF) and wraps each line to `width`
// at blanks where it can. Characters that cannot be shown become '?'.
std::vector<std::string> wrap_text(const std::string& text, int width);

}  // namespace terminal
