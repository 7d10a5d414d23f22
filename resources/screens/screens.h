#pragma once
// The ten screen templates and the two icons, as data for the dialog layer.
#include <span>

#include "platform/dialog/template.h"
#include "resources/screens/screen_ids.h"

std::span<const dialog::DialogTemplate> screen_templates();
// Registers the templates and icons with the dialog layer.
void register_screen_resources();
