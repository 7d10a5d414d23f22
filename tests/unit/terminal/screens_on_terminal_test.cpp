// The real screens drawn on an 80x24 terminal grid, and driven by keys.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <functional>
#include <memory>
#include <thread>

#include "app/session.h"
#include "platform/dialog/dialog.h"
#include "platform/dialog/front_end.h"
#include "platform/terminal/keyboard.h"
#include "platform/terminal/render.h"
#include "resources/screens/screen_ids.h"
#include "ui/screens.h"
#include "ui/ui.h"

namespace {

using namespace std::chrono_literals;
using terminal::Key;
using terminal::KeyCode;

constexpr int cols = 80, rows = 24;

// A modal screen run on its own thread, as the terminal sees it.
class OnScreen {
 public:
  explicit OnScreen(std::function<int()> run) {
    thread_ = std::thread([this, run] {
      result_ = run();
      done_ = true;
    });
  }
  ~OnScreen() {
    // Never hang a test: cancel whatever is still up.
    for (int i = 0; i < 200 && !done_; ++i) {
      for (const auto& w : dialog::visible_windows()) dialog::post_command(w.handle, dialog::id_cancel);
      std::this_thread::sleep_for(10ms);
    }
    if (thread_.joinable()) done_ ? thread_.join() : thread_.detach();
  }
  // Waits until the topmost window is `screen`.
  bool shows(int screen) {
    for (int i = 0; i < 200; ++i) {
      auto ws = dialog::visible_windows();
      if (!ws.empty() && ws.back().template_id == screen) return true;
      std::this_thread::sleep_for(10ms);
    }
    return false;
  }
  void keys(std::initializer_list<Key> keys) {
    for (const Key& k : keys) terminal::handle_key(k, dialog::visible_windows(), state, cols, rows);
  }
  void type(const std::string& text) {
    for (char c : text) keys({{KeyCode::Char, c}});
  }
  std::vector<std::string> frame(int w = cols, int h = rows) {
    grid = terminal::Grid(w, h);
    terminal::Frame f;
    terminal::render(dialog::visible_windows(), state, grid, f);
    cursor_x = f.cursor_x;
    cursor_y = f.cursor_y;
    return grid.lines();
  }
  terminal::Grid grid{cols, rows};
  // The screen's result, once it has closed (-2 when it does not close).
  int result() {
    for (int i = 0; i < 200 && !done_; ++i) std::this_thread::sleep_for(10ms);
    return done_ ? result_.load() : -2;
  }
  terminal::TerminalState state;
  int cursor_x = -1, cursor_y = -1;

 private:
  std::atomic<bool> done_{false};
  std::atomic<int> result_{-1};
  std::thread thread_;
};

void expect_frame(const std::vector<std::string>& actual, const std::vector<std::string>& expected) {
  std::string a, e;
  for (const auto& l : actual) a += l + "\n";
  for (const auto& l : expected) e += l + "\n";
  EXPECT_EQ(a, e);
}

class TerminalScreens : public ::testing::Test {
 protected:
  void SetUp() override {
    ui::install();
    std::strcpy(s->display_name, "QAB-X900");
    std::strcpy(s->target_image.header.version, "3.3.6");
    s->local_addresses[0] = 0xC0A80114;
    s->local_addresses[1] = 0x7F000002;
  }
  std::unique_ptr<UpgradeSession> s = std::make_unique<UpgradeSession>();
};

TEST_F(TerminalScreens, WarningScreenAndEnterCancels) {
  OnScreen screen([&] { return ui::run_warning_screen(*s); });
  ASSERT_TRUE(screen.shows(warning_screen));
  expect_frame(screen.frame(), {
      "                                                                                ",
      "             ┌─ QAB-X900 Firmware Upgrade ───────────────────────┐              ",
      "             │                                                   │              ",
      "             │   WARNING: Forcing a firmware upgrade on your QAB │              ",
      "             │   without prior approval from your service        │              ",
      "             │   provider or network administrator may cause     │              ",
      "             │   interruption to your service.  If your QAB is   │              ",
      "             │   managed by a service provider who retains       │              ",
      "             │   administrative control of the device, please    │              ",
      "             │   contact the service provider for authorization  │              ",
      "             │   before proceeding.  In such cases, the most     │              ",
      "             │   current, approved for service firmware is       │              ",
      "             │   automatically provided by your service provider │              ",
      "             │   without any onus on the end user to upgrade     │              ",
      "             │   manually.                                       │              ",
      "             │                                                   │              ",
      "             │                                                   │              ",
      "             │          [ Continue ]     [ <Cancel> ]            │              ",
      "             │                                                   │              ",
      "             │                                                   │              ",
      "             └───────────────────────────────────────────────────┘              ",
      "                                                                                ",
      "                                                                                ",
      " Tab/S-Tab Move  Enter Cancel  Esc Cancel                                       ",
  });
  // Cancel has the focus: it is drawn as such, and Enter presses it.
  EXPECT_EQ(screen.grid.at(45, 17).role, terminal::Role::ButtonFocused);
  EXPECT_EQ(screen.grid.at(30, 17).role, terminal::Role::Button);

  // A smaller terminal: the text area gives up rows, the buttons stay in view.
  auto small = screen.frame(64, 16);
  EXPECT_NE(small[13].find("[ Continue ]     [ <Cancel> ]"), std::string::npos) << small[13];
  EXPECT_NE(small[15].find("PgUp/PgDn Scroll"), std::string::npos);

  screen.keys({{KeyCode::Enter}});
  EXPECT_EQ(screen.result(), 0);
}

TEST_F(TerminalScreens, TabThenEnterContinues) {
  OnScreen screen([&] { return ui::run_warning_screen(*s); });
  ASSERT_TRUE(screen.shows(warning_screen));
  screen.keys({{KeyCode::Tab}, {KeyCode::Enter}});
  EXPECT_EQ(screen.result(), 1);
}

TEST_F(TerminalScreens, AddressScreenRefusesABadAddressThenTakesAGoodOne) {
  OnScreen screen([&] { return ui::run_address_screen(*s); });
  ASSERT_TRUE(screen.shows(adapter_address_screen));
  screen.type("1x.2.3");  // the address control takes digits and points only
  expect_frame(screen.frame(), {
      "                  ┌─ QAB-X900 Firmware Upgrade ──────────────┐                  ",
      "                  │   This program will upgrade your QAB     │                  ",
      "                  │   firmware to:                           │                  ",
      "                  │                             ▀▀▀▀▀        │                  ",
      "                  │                             ▀▀▀▀▀        │                  ",
      "                  │         Version 3.3.6       ▀▀▀▀▀        │                  ",
      "                  │   To proceed, please provide the IP   │  │                  ",
      "                  │   address of your QAB. To find out the│  │                  ",
      "                  │   IP address of your QAB, using a     │  │                  ",
      "                  │   telephone handset, enter * * * *,   │  │                  ",
      "                  │   option 110#, and write down the     │  │                  ",
      "                  │   value. For example, 10.1.0.123      │  │                  ",
      "                  │                                       ▼  │                  ",
      "                  │                                          │                  ",
      "                  │      1.2.3______________________         │                  ",
      "                  │                                          │                  ",
      "                  │                                          │                  ",
      "                  │      [   <OK>    ]  [  Cancel   ]        │                  ",
      "                  │                                          │                  ",
      "                  │                                          │                  ",
      "                  │                                          │                  ",
      "                  │Your IP Address192.168.1.20       ▼       │                  ",
      "                  └──────────────────────────────────────────┘                  ",
      " Tab/S-Tab Move  Enter OK  Esc Cancel  PgUp/PgDn Scroll                         ",
  });
  EXPECT_EQ(screen.cursor_y, 14);
  EXPECT_EQ(screen.cursor_x, 30);

  screen.keys({{KeyCode::Enter}});
  ASSERT_TRUE(screen.shows(dialog::message_box_id));
  expect_frame(screen.frame(), {
      "                  ┌─ QAB-X900 Firmware Upgrade ──────────────┐                  ",
      "                  │   This program will upgrade your QAB     │                  ",
      "                  │   firmware to:                           │                  ",
      "                  │                             ▀▀▀▀▀        │                  ",
      "                  │                             ▀▀▀▀▀        │                  ",
      "                  │         Version 3.3.6       ▀▀▀▀▀        │                  ",
      "                  │   To proceed, please provide the IP   │  │                  ",
      "                  │   address of your QAB. To find out the│  │                  ",
      "                  │   IP add┌─ Error ──────────────┐a     │  │                  ",
      "                  │   teleph│                      │ *,   │  │                  ",
      "                  │   option│  Invalid IP Address  │e     │  │                  ",
      "                  │   value.│                      │      │  │                  ",
      "                  │         │    [   <OK>    ]     │      ▼  │                  ",
      "                  │         │                      │         │                  ",
      "                  │      1.2└──────────────────────┘         │                  ",
      "                  │                                          │                  ",
      "                  │                                          │                  ",
      "                  │      [   <OK>    ]  [  Cancel   ]        │                  ",
      "                  │                                          │                  ",
      "                  │                                          │                  ",
      "                  │                                          │                  ",
      "                  │Your IP Address192.168.1.20       ▼       │                  ",
      "                  └──────────────────────────────────────────┘                  ",
      " Tab/S-Tab Move  Enter OK  Esc Cancel                                           ",
  });
  screen.keys({{KeyCode::Escape}});  // the box's only button is OK; Escape dismisses it too
  ASSERT_TRUE(screen.shows(adapter_address_screen));
  EXPECT_EQ(dialog::visible_windows().back().focus, 1000);

  screen.keys({{KeyCode::Backspace}, {KeyCode::Backspace}, {KeyCode::Backspace}, {KeyCode::Backspace},
               {KeyCode::Backspace}});
  screen.type("10.1.0.13");
  screen.keys({{KeyCode::BackTab}});  // back from the address to the list
  EXPECT_EQ(dialog::visible_windows().back().focus, 1017);
  EXPECT_NE(screen.frame()[23].find("Up/Down Pick"), std::string::npos);
  screen.keys({{KeyCode::Down}, {KeyCode::Down}});  // stops at the last entry
  EXPECT_EQ(dialog::visible_windows().back().control(1017)->selection, 1);
  screen.keys({{KeyCode::Enter}});
  EXPECT_EQ(screen.result(), 1);
  EXPECT_STREQ(s->device_address_text, "10.1.0.13");
  EXPECT_EQ(s->local_address, 0x7F000002u);
}

TEST_F(TerminalScreens, PasswordScreenFitsBy24AndItsTextScrolls) {
  OnScreen screen([&] { return ui::run_password_screen(s->digest); });
  ASSERT_TRUE(screen.shows(password_screen));
  screen.type("secret");
  expect_frame(screen.frame(), {
      "               ┌─ Enter Password Information ───────────────────┐               ",
      "               │                                                │               ",
      "               │   This QAB requires a password in order to │   │               ",
      "               │   be upgraded. If you do not have          │   │               ",
      "               │   administrator's privileges for this unit,│   │               ",
      "               │   please contact your Service Provider or  │   │               ",
      "               │   network administrator, before proceeding.│   │               ",
      "               │                                            │   │               ",
      "               │   You must provide the QAB administrator's │   │               ",
      "               │   password to upgrade. If you are the      │   │               ",
      "               │   administrator and forgot the password,   │   │               ",
      "               │   you may perform a factory reset by       │   │               ",
      "               │   entering * * * *, option 26154#, and     │   │               ",
      "               │   value 1 from a telephone connected to the▼   │               ",
      "               │                                                │               ",
      "               │           User  admin________________          │               ",
      "               │                                                │               ",
      "               │                                                │               ",
      "               │       Password  ******_______________          │               ",
      "               │                                                │               ",
      "               │                                                │               ",
      "               │        [   <OK>   ]      [  Cancel  ]          │               ",
      "               └────────────────────────────────────────────────┘               ",
      " Tab/S-Tab Move  Enter OK  Esc Cancel  PgUp/PgDn Scroll                         ",
  });
  EXPECT_EQ(screen.cursor_y, 18);
  EXPECT_EQ(screen.cursor_x, 39);

  screen.keys({{KeyCode::PageDown}, {KeyCode::PageDown}});
  auto scrolled = screen.frame();
  bool warning_shown = false;
  for (const auto& line : scrolled) warning_shown |= line.find("Warning") != std::string::npos;
  EXPECT_TRUE(warning_shown);
  EXPECT_NE(scrolled[2].find("▲"), std::string::npos) << scrolled[2];

  screen.keys({{KeyCode::CtrlC}});  // Ctrl-C is the Cancel of the window with the keys
  EXPECT_EQ(screen.result(), 0);
  EXPECT_STREQ(s->digest.password, "");
}

TEST_F(TerminalScreens, TheNewestWindowGetsTheKeysAndF6PassesThem) {
  OnScreen warning([&] { return ui::run_warning_screen(*s); });
  ASSERT_TRUE(warning.shows(warning_screen));

  // A second window, owned and pumped by another thread.
  std::atomic<int> cancels{0};
  std::atomic<bool> stop{false};
  std::thread other([&] {
    dialog::Window* w = dialog::create_modeless(connecting_screen, {nullptr, [&](dialog::Window&, int id) {
                                                  if (id == dialog::id_cancel) ++cancels;
                                                }});
    ui::center_on_screen(*w);
    dialog::show(w);
    while (!stop) {
      dialog::pump_all();
      std::this_thread::sleep_for(2ms);
    }
    dialog::destroy(w);
  });
  ASSERT_TRUE(warning.shows(connecting_screen));
  EXPECT_NE(warning.frame()[23].find("F6 Window"), std::string::npos);
  warning.keys({{KeyCode::Escape}});
  for (int i = 0; i < 200 && cancels == 0; ++i) std::this_thread::sleep_for(5ms);
  EXPECT_EQ(cancels, 1);

  warning.keys({{KeyCode::F6}});
  ASSERT_TRUE(warning.shows(warning_screen));
  warning.keys({{KeyCode::Tab}, {KeyCode::Enter}});
  EXPECT_EQ(warning.result(), 1);
  stop = true;
  other.join();
  EXPECT_EQ(cancels, 1);
}

}  // namespace
