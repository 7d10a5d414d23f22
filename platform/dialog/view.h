#pragma once
// Copies of a live window's state, for front ends that draw it or log it.
#include <cstdint>
#include <string>
#include <vector>

#include "platform/dialog/template.h"

namespace dialog {

using Handle = uint32_t;  // names a live window; 0 names none

// Template id of the windows that message_box makes.
inline constexpr int message_box_id = 0;

struct ControlView {
  int id = no_id;
  ControlKind kind = ControlKind::Static;
  uint32_t style = 0;
  int x = 0, y = 0, w = 0, h = 0;
  int icon = 0;
  int limit = default_text_limit;
  std::string text;
  std::vector<std::string> items;  // drop-down entries
  int selection = -1;              // drop-down entry, -1 for none
  int range_lo = 0, range_hi = 100, pos = 0;

  bool has(uint32_t s) const { return (style & s) != 0; }
  // Takes typed characters: editable edit and address controls.
  bool editable() const { return (kind == ControlKind::Edit && !has(style::read_only)) || kind == ControlKind::Address; }
  bool multi_line_text() const {
    return (kind == ControlKind::Edit && has(style::multi_line)) || (kind == ControlKind::Static && h > 8);
  }
};

struct WindowView {
  Handle handle = 0;
  int template_id = 0;
  Handle owner = 0;          // the window that owns it (message boxes, owned screens)
  int owner_template_id = -1;
  std::string caption;
  int w = 0, h = 0;          // client size in dialog units
  bool visible = false;
  bool enabled = true;       // false while a modal child or message box it owns is up
  bool centred = false;      // kept centred on the display
  uint64_t z = 0;            // stacking order: larger is nearer the top
  int focus = 0;             // control id with the focus, 0 for none
  std::vector<ControlView> controls;

  const ControlView* control(int id) const {
    for (const ControlView& c : controls)
      if (c.id == id) return &c;
    return nullptr;
  }
  const ControlView* focused() const { return focus ? control(focus) : nullptr; }
};

}  // namespace dialog
