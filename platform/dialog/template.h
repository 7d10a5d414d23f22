#pragma once
// Dialog templates: the data a screen is built from. Positions and sizes are
// in dialog units (a quarter of a character wide, an eighth of one high).
#include <cstdint>
#include <span>

namespace dialog {

enum class ControlKind : uint8_t {
  Button,    // push button; style::default_button marks the one Enter presses
  Edit,      // text; styles say multi-line, read-only, border, password
  Address,   // four-part IPv4 address entry
  DropDown,  // pick-only list; the template height is the drop height
  Progress,  // progress bar
  Static,    // plain text; style::align_* chooses the alignment
  Icon,      // a picture from the icon table
};

namespace style {
inline constexpr uint32_t tab_stop = 1u << 0;
inline constexpr uint32_t default_button = 1u << 1;
inline constexpr uint32_t multi_line = 1u << 2;
inline constexpr uint32_t read_only = 1u << 3;
inline constexpr uint32_t border = 1u << 4;
inline constexpr uint32_t password = 1u << 5;  // shows stars instead of the characters
inline constexpr uint32_t align_center = 1u << 6;
inline constexpr uint32_t align_right = 1u << 7;
inline constexpr uint32_t vscroll = 1u << 8;
}  // namespace style

// Id of controls that no code addresses (labels, icons).
inline constexpr int no_id = -1;
// Text limit of an edit control nobody limited, in characters.
inline constexpr int default_text_limit = 32767;

struct ControlTemplate {
  int id;
  ControlKind kind;
  const char* text;  // initial text; nullptr for none
  int x, y, w, h;
  uint32_t style;
  int icon = 0;  // icon id, for ControlKind::Icon
};

struct DialogTemplate {
  int id;
  const char* caption;
  int w, h;
  std::span<const ControlTemplate> controls;
};

// The program's templates; the screens register theirs at start. Registering
// an id again replaces the earlier template.
void register_templates(std::span<const DialogTemplate> templates);
const DialogTemplate* find_template(int id);

}  // namespace dialog
