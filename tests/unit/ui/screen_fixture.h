#pragma once
// A session of our own and a scripted user for the screen tests.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>

#include "app/session.h"
#include "platform/scripted/scripted_user.h"
#include "ui/ui.h"

class ScreenTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ui::install();
    std::strcpy(s->display_name, "ODM-Product");
    std::strcpy(s->target_image.header.version, "3.3.6");
    std::strcpy(s->transition_image.header.version, "3.3.1");
    s->local_addresses[0] = 0xC0A80114;  // 192.168.1.20
    s->local_addresses[1] = 0x0A000001;  // 10.0.0.1
    s->local_addresses[2] = 0x7F000002;  // 127.0.0.2
  }

  std::unique_ptr<UpgradeSession> s = std::make_unique<UpgradeSession>();
  scripted::User user;
};
