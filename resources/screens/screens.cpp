// The screen templates: ids, kinds, texts, order, positions and sizes in
// dialog units, and styles, control by control.
#include "resources/screens/screens.h"

#include <iterator>

#include "platform/dialog/icon.h"

namespace {

using dialog::ControlKind;
using dialog::ControlTemplate;
using dialog::DialogTemplate;
using dialog::no_id;
namespace st = dialog::style;

constexpr uint32_t tab = st::tab_stop;

constexpr ControlTemplate button(int id, const char* text, int x, int y, int w, int h) {
  return {id, ControlKind::Button, text, x, y, w, h, tab};
}
constexpr ControlTemplate default_button(int id, const char* text, int x, int y, int w, int h) {
  return {id, ControlKind::Button, text, x, y, w, h, tab | st::default_button};
}
// Multi-line, read-only, no border.
constexpr ControlTemplate text_area(int id, int x, int y, int w, int h, uint32_t extra = tab) {
  return {id, ControlKind::Edit, nullptr, x, y, w, h, st::multi_line | st::read_only | extra};
}
// Single-line, read-only, no border.
constexpr ControlTemplate read_only_line(int id, int x, int y, int w, int h) {
  return {id, ControlKind::Edit, nullptr, x, y, w, h, st::read_only | tab};
}
// Single-line, read-only, with border.
constexpr ControlTemplate read_only_field(int id, int x, int y, int w, int h, uint32_t extra = 0) {
  return {id, ControlKind::Edit, nullptr, x, y, w, h, st::read_only | st::border | tab | extra};
}
constexpr ControlTemplate edit_field(int id, int x, int y, int w, int h, uint32_t extra = 0) {
  return {id, ControlKind::Edit, nullptr, x, y, w, h, st::border | tab | extra};
}
constexpr ControlTemplate label(const char* text, int x, int y, int w, int h, uint32_t align = 0) {
  return {no_id, ControlKind::Static, text, x, y, w, h, align};
}
constexpr ControlTemplate progress(int id, int x, int y, int w, int h) {
  return {id, ControlKind::Progress, nullptr, x, y, w, h, st::border};
}

constexpr ControlTemplate warning[] = {
    button(1, "Continue", 41, 116, 50, 14),
    default_button(2, "Cancel", 109, 116, 50, 14),
    text_area(1021, 12, 13, 189, 95, 0),  // not a tab stop
};

// The two address screens differ only in their icon.
#define ADDRESS_CONTROLS(icon_id)                                                        \
  default_button(1, "OK", 26, 126, 50, 14), button(2, "Cancel", 86, 126, 50, 14),        \
      text_area(1007, 13, 6, 139, 16), text_area(1008, 13, 42, 148, 56),                 \
      read_only_line(1015, 37, 28, 89, 14),                                              \
      ControlTemplate{1017, ControlKind::DropDown, nullptr, 63, 153, 79, 80, tab | st::vscroll}, \
      label("Your IP Address", 9, 156, 52, 8),                                           \
      ControlTemplate{no_id, ControlKind::Icon, nullptr, 119, 18, 20, 20, 0, icon_id},   \
      ControlTemplate{1000, ControlKind::Address, nullptr, 26, 103, 109, 15, tab}

constexpr ControlTemplate adapter_address[] = {ADDRESS_CONTROLS(adapter_icon)};
constexpr ControlTemplate phone_address[] = {ADDRESS_CONTROLS(phone_icon)};
#undef ADDRESS_CONTROLS

constexpr ControlTemplate confirm[] = {
    default_button(1, "Upgrade", 33, 143, 50, 14),
    button(2, "Cancel", 87, 143, 50, 14),
    read_only_field(1002, 82, 49, 67, 14),
    read_only_field(1003, 82, 66, 67, 14),
    read_only_field(1004, 82, 84, 67, 14),
    read_only_field(1005, 82, 100, 67, 14),
    read_only_field(1006, 82, 118, 67, 14),
    label("Serial Number", 4, 52, 72, 8, st::align_right),
    label("MAC Address", 4, 70, 72, 8, st::align_right),
    label("Software Version", 4, 87, 72, 8, st::align_right),
    label("Hardware Version", 4, 103, 72, 8, st::align_right),
    label("Product Name", 4, 121, 72, 8, st::align_right),
    text_area(1007, 12, 6, 142, 37),
};

constexpr ControlTemplate transition_confirm[] = {
    default_button(1, "Upgrade", 42, 179, 50, 14),
    button(2, "Cancel", 96, 179, 50, 14),
    read_only_field(1002, 92, 86, 67, 14),
    read_only_field(1003, 92, 103, 67, 14),
    read_only_field(1004, 92, 121, 67, 14),
    read_only_field(1005, 92, 137, 67, 14),
    read_only_field(1006, 92, 154, 67, 14),
    label("Serial Number", 14, 89, 72, 8, st::align_right),
    label("MAC Address", 14, 106, 72, 8, st::align_right),
    label("Software Version", 14, 124, 72, 8, st::align_right),
    label("Hardware Version", 14, 140, 72, 8, st::align_right),
    label("Product Name", 14, 158, 72, 8, st::align_right),
    text_area(1007, 23, 7, 142, 77),
};

constexpr ControlTemplate password[] = {
    default_button(1, "OK", 32, 210, 50, 14),
    button(2, "Cancel", 104, 210, 50, 14),
    edit_field(1003, 68, 168, 85, 14),
    edit_field(1005, 68, 186, 85, 14, st::password),
    label("User", 18, 170, 44, 8, st::align_right),
    label("Password", 18, 191, 44, 8, st::align_right),
    text_area(1007, 15, 9, 165, 152),
};

constexpr ControlTemplate connecting[] = {
    button(2, "Cancel", 65, 34, 50, 14),
    progress(1010, 22, 10, 141, 14),
};

constexpr ControlTemplate uploading[] = {
    button(2, "Cancel", 126, 52, 50, 14),
    progress(1010, 31, 36, 242, 8),
    label("Please do not unplug the power of your QAB until the Status Light stops blinking", 86, 12, 137, 22,
          st::align_center),
};

constexpr ControlTemplate waiting[] = {
    button(2, "Cancel", 108, 115, 50, 14),
    progress(1010, 38, 95, 191, 14),
    ControlTemplate{1022, ControlKind::Static, nullptr, 15, 9, 244, 79, 0},
};

constexpr ControlTemplate success[] = {
    default_button(1, "OK", 59, 94, 50, 14),
    read_only_field(1004, 15, 69, 136, 14, st::align_center),
    text_area(1007, 29, 9, 111, 33),
    label("qab.example", 82, 50, 53, 8),  // the vendor's web address
};

constexpr DialogTemplate templates[] = {
    {warning_screen, "QAB-X200 Firmware Upgrade", 204, 143, warning},
    {adapter_address_screen, "Enter QAB IP Address", 165, 181, adapter_address},
    {phone_address_screen, "Dialog", 164, 178, phone_address},
    {confirm_screen, "Confirm Upgrade", 172, 166, confirm},
    {transition_confirm_screen, "Confirm Upgrade", 186, 198, transition_confirm},
    {password_screen, "Enter Password Information", 191, 236, password},
    {connecting_screen, "Connecting with QAB", 186, 55, connecting},
    {uploading_screen, "Uploading Firmware To QAB", 303, 77, uploading},
    {waiting_screen, "Waiting For Firmware Download Request From QAB", 270, 141, waiting},
    {success_screen, "QAB Upgrade Successful!", 171, 126, success},
};

#include "resources/icons/adapter.xpm"
#include "resources/icons/phone.xpm"

}  // namespace

std::span<const DialogTemplate> screen_templates() { return templates; }

void register_screen_resources() {
  dialog::register_templates(templates);
  dialog::register_icon(adapter_icon, adapter_xpm);
  dialog::register_icon(phone_icon, phone_xpm);
}
