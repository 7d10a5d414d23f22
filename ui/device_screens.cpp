// The screens around talking to the device: password, progress, success.
#include <cstring>
#include <string>

#include "platform/host.h"
#include "resources/screens/screen_ids.h"
#include "ui/screens.h"
#include "ui/texts.h"
#include "ui/ui.h"

namespace ui {
namespace {

// Bounded copy of a DeviceInfo field: it may lack its terminator if a writer misbehaved.
std::string field(const char (&text)[128]) { return std::string(text, strnlen(text, sizeof text)); }

// Cancel on a progress screen: the only way the user stops the run from here.
void abort_on_cancel(dialog::Window& w, int id) {
  if (id != dialog::id_cancel) return;
  dialog::destroy(&w);
  show_failure(texts::user_abort);
  platform::end_process();
}

constexpr int user_field = 1003;
constexpr int password_field = 1005;

}  // namespace

int run_password_screen(DigestState& digest) {
  dialog::Handler h;
  h.open = [](dialog::Window& w) {
    w.set_item_text(1007, texts::password_help);
    w.set_item_text(user_field, texts::default_user);
    w.set_focus(password_field);
    center_on_screen(w);
    return dialog::OpenFocus::Set;
  };
  h.command = [&digest](dialog::Window& w, int id) {
    if (id == dialog::id_ok) {
      w.get_item_text(user_field, digest.user, 127);
      w.get_item_text(password_field, digest.password, 127);
      dialog::end_dialog(w, 1);
    }
    if (id == dialog::id_cancel) dialog::end_dialog(w, 0);
  };
  return dialog::run_modal(password_screen, std::move(h));
}

int run_success_screen(const UpgradeSession& s) {
  dialog::Handler h;
  h.open = [&s](dialog::Window& w) {
    w.set_caption("QAB@" + std::string(s.device_address_text, strnlen(s.device_address_text, 64)) +
                  " Upgrade Successful!");
    w.set_item_text(1007, texts::success);
    w.set_item_text(1004, field(s.device_info.software_version));
    center_on_screen(w);
    return dialog::OpenFocus::Default;
  };
  h.command = [](dialog::Window& w, int id) {
    if (id == dialog::id_ok) dialog::end_dialog(w, 1);
    if (id == dialog::id_cancel) dialog::end_dialog(w, 0);
  };
  return dialog::run_modal(success_screen, std::move(h));
}

dialog::Window* create_connecting_screen(const char* device_address_text) {
  std::string caption = "Connecting with QAB@" + std::string(device_address_text, strnlen(device_address_text, 64));
  dialog::Handler h;
  h.open = [caption](dialog::Window& w) {
    w.set_caption(caption);
    center_on_screen(w);
    w.set_progress_range(1010, 0, 100);
    return dialog::OpenFocus::Default;
  };
  h.command = abort_on_cancel;
  return dialog::create_modeless(connecting_screen, std::move(h));
}

dialog::Window* create_progress_screen(int template_id) {
  dialog::Handler h;
  h.open = [](dialog::Window& w) {
    center_on_screen(w);
    return dialog::OpenFocus::Default;
  };
  h.command = abort_on_cancel;
  return dialog::create_modeless(template_id, std::move(h));
}

}  // namespace ui
