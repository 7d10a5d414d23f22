#include "platform/failure.h"
#include "resources/screens/screens.h"
#include "ui/texts.h"
#include "ui/ui.h"

namespace ui {

void install() {
  register_screen_resources();
  platform::set_failure_presenter(show_failure);
}

void show_failure(const char* message) { dialog::message_box(nullptr, message, texts::failure_caption); }

void center_on_screen(dialog::Window& window) { window.center(); }

}  // namespace ui
