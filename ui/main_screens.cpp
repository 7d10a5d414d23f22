// The screens of the main sequence: warning, device address, confirmation.
#include <cstdio>
#include <string>

#include "app/address.h"
#include "resources/screens/screen_ids.h"
#include "ui/screens.h"
#include "ui/texts.h"
#include "ui/ui.h"

namespace ui {
namespace {

std::string upgrade_caption(const UpgradeSession& s) { return std::string(s.display_name) + " Firmware Upgrade"; }

std::string version_of(const FirmwareImage& image) { return std::string(image.header.version_text()); }

// Continue closes with 1, Cancel with 0.
void ok_or_cancel(dialog::Window& w, int id) {
  if (id == dialog::id_ok) dialog::end_dialog(w, 1);
  if (id == dialog::id_cancel) dialog::end_dialog(w, 0);
}

std::string dotted(uint32_t a) {
  char text[16];
  std::snprintf(text, sizeof text, "%u.%u.%u.%u", a >> 24, (a >> 16) & 0xff, (a >> 8) & 0xff, a & 0xff);
  return text;
}

}  // namespace

int run_warning_screen(const UpgradeSession& s) {
  dialog::Handler h;
  h.open = [&s](dialog::Window& w) {
    w.set_caption(upgrade_caption(s));
    w.set_item_text(1021, texts::warning);
    w.set_focus(dialog::id_cancel);
    center_on_screen(w);
    return dialog::OpenFocus::Set;
  };
  h.command = ok_or_cancel;
  return dialog::run_modal(warning_screen, std::move(h));
}

int run_address_screen(UpgradeSession& s) {
  dialog::Handler h;
  h.open = [&s](dialog::Window& w) {
    for (uint32_t a : s.local_addresses) {
      if (a == 0) break;
      w.add_list_item(local_address_list, dotted(a));
    }
    w.set_list_selection(local_address_list, 0);
    w.set_caption(upgrade_caption(s));
    w.set_item_text(1007, texts::address_intro);
    w.set_item_text(1008, s.device_kind == DeviceKind::Phone ? texts::address_help_phone : texts::address_help_adapter);
    w.set_item_text(1015, "Version " + version_of(s.target_image));
    w.set_focus(address_control);
    center_on_screen(w);
    return dialog::OpenFocus::Set;
  };
  h.command = [&s](dialog::Window& w, int id) {
    if (id == dialog::id_ok && accept_device_address(s, w)) dialog::end_dialog(w, 1);
    if (id == dialog::id_cancel) dialog::end_dialog(w, 0);
  };
  return dialog::run_modal(s.device_kind == DeviceKind::Phone ? phone_address_screen : adapter_address_screen,
                           std::move(h));
}

int run_confirm_screen(const UpgradeSession& s) {
  bool transition = s.stage.load() == UpgradeStage::Transition;
  dialog::Handler h;
  h.open = [&s, transition](dialog::Window& w) {
    w.set_caption("Confirm Upgrade to Ver. " + version_of(s.target_image));
    if (transition) {
      std::string transition_version = version_of(s.transition_image);
      char note[1024];
      std::snprintf(note, sizeof note, texts::transition_note_format, texts::confirm_intro,
                    transition_version.c_str());
      w.set_item_text(1007, note);
    } else {
      w.set_item_text(1007, texts::confirm_intro);
    }
    const DeviceInfo& d = s.device_info;
    w.set_item_text(1002, d.serial_number);
    w.set_item_text(1003, d.mac_address);
    w.set_item_text(1004, d.software_version);
    w.set_item_text(1005, d.hardware_version);
    w.set_item_text(1006, d.product_name);
    center_on_screen(w);
    return dialog::OpenFocus::Default;
  };
  h.command = ok_or_cancel;
  return dialog::run_modal(transition ? transition_confirm_screen : confirm_screen, std::move(h));
}

}  // namespace ui
