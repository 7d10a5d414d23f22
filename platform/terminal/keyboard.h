#pragma once
// What a key does to the windows on screen: dialog habits. Tab and Shift-Tab
// move the focus over tab stops, Enter presses the focused button or else the
// default one, Escape and Ctrl-C are Cancel, arrows move in a drop-down list
// or scroll a text, PgUp and PgDn scroll the text that does not fit, typing
// goes to the focused field within its limit, F6 passes the keys to the next
// window.
#include <vector>

#include "platform/dialog/view.h"
#include "platform/terminal/keys.h"
#include "platform/terminal/render.h"

namespace terminal {

// Applies `key` to the key window of `windows` (bottom first), laid out on a
// grid of cols x rows cells.
void handle_key(const Key& key, const std::vector<dialog::WindowView>& windows, TerminalState& state, int cols,
                int rows);

}  // namespace terminal
