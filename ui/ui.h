#pragma once
// The screens' share of the platform: registration, the failure box, centring.
#include "platform/dialog/dialog.h"

namespace ui {

// Registers the screen templates and icons and installs show_failure as the
// platform's failure presenter. Call once at start, before any screen.
void install();

// The failure message box: task-modal, one OK button, captioned
// "QAB Firwmare Upgrade Error". Returns once dismissed; never ends the process.
void show_failure(const char* message);

// Centres the window on the display and raises it; every screen does this
// when it opens.
void center_on_screen(dialog::Window& window);

}  // namespace ui
