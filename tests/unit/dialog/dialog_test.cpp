// The dialog layer: windows belong to their thread, modal loops, message
// boxes, the scripted user's bounds, and the icons.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "platform/dialog/dialog.h"
#include "platform/dialog/front_end.h"
#include "platform/dialog/icon.h"
#include "platform/scripted/scripted_user.h"
#include "resources/screens/screens.h"

namespace {

using namespace std::chrono_literals;

constexpr int test_screen = 9001;
const dialog::ControlTemplate test_controls[] = {
    {1, dialog::ControlKind::Button, "OK", 10, 40, 50, 14, dialog::style::tab_stop | dialog::style::default_button},
    {2, dialog::ControlKind::Button, "Cancel", 70, 40, 50, 14, dialog::style::tab_stop},
    {1010, dialog::ControlKind::Progress, nullptr, 10, 10, 100, 14, dialog::style::border},
    {1003, dialog::ControlKind::Edit, nullptr, 10, 25, 100, 14, dialog::style::border | dialog::style::tab_stop},
};
const dialog::DialogTemplate test_templates[] = {{test_screen, "Test", 130, 60, test_controls}};

class Dialog : public ::testing::Test {
 protected:
  void SetUp() override { dialog::register_templates(test_templates); }
};

// Waits until `done` holds, at most two seconds.
template <typename F>
bool eventually(F done) {
  for (int i = 0; i < 200; ++i) {
    if (done()) return true;
    std::this_thread::sleep_for(10ms);
  }
  return done();
}

TEST_F(Dialog, CommandsRunOnTheOwningThreadOnlyWhenItPumps) {
  std::atomic<dialog::Handle> handle{0};
  std::atomic<bool> pump{false}, stop{false};
  std::atomic<int> commands{0};
  std::thread::id handled_on, owner_id;
  std::thread owner([&] {
    owner_id = std::this_thread::get_id();
    dialog::Handler h;
    h.command = [&](dialog::Window&, int id) {
      handled_on = std::this_thread::get_id();
      if (id == 2) ++commands;
    };
    dialog::Window* w = dialog::create_modeless(test_screen, std::move(h));
    dialog::show(w);
    handle = w->handle();
    while (!stop) {
      if (pump) dialog::pump_all();
      std::this_thread::sleep_for(1ms);
    }
    dialog::destroy(w);
  });
  ASSERT_TRUE(eventually([&] { return handle != 0; }));

  dialog::post_command(handle, 2);  // from another thread, as a front end does
  std::this_thread::sleep_for(50ms);
  EXPECT_EQ(commands, 0);  // the owner has not pumped
  pump = true;
  EXPECT_TRUE(eventually([&] { return commands == 1; }));
  stop = true;
  owner.join();
  EXPECT_EQ(handled_on, owner_id);
  dialog::post_command(handle, 2);  // a window that is gone ignores commands
  EXPECT_EQ(commands, 1);
}

TEST_F(Dialog, ModalLoopsOnTwoThreadsAtOnceAnswerEachOther) {
  // The main thread and a listener thread each run a modal screen; each loop
  // handles its own window's commands only.
  std::atomic<dialog::Handle> main_handle{0}, other_handle{0};
  auto handler = [](std::atomic<dialog::Handle>& mine) {
    dialog::Handler h;
    h.open = [&mine](dialog::Window& w) {
      mine = w.handle();
      return dialog::OpenFocus::Default;
    };
    h.command = [](dialog::Window& w, int id) { dialog::end_dialog(w, id == 1 ? 11 : 22); };
    return h;
  };
  std::atomic<int> other_result{-1};
  std::thread other([&] { other_result = dialog::run_modal(test_screen, handler(other_handle)); });
  std::thread answer([&] {
    ASSERT_TRUE(eventually([&] { return main_handle != 0 && other_handle != 0; }));
    dialog::post_command(other_handle, 1);
    ASSERT_TRUE(eventually([&] { return other_result != -1; }));
    dialog::post_command(main_handle, 2);
  });
  EXPECT_EQ(dialog::run_modal(test_screen, handler(main_handle)), 22);
  answer.join();
  other.join();
  EXPECT_EQ(other_result, 11);
}

TEST_F(Dialog, FocusGoesToTheFirstTabStopUnlessTheHandlerSetsIt) {
  scripted::User user;
  user.on(test_screen).press(2);
  user.on(test_screen).press(2);
  dialog::Handler standing;
  standing.open = [](dialog::Window& w) {
    w.set_focus(1003);
    return dialog::OpenFocus::Set;
  };
  standing.command = [](dialog::Window& w, int) { dialog::end_dialog(w, 0); };
  dialog::Handler overruled = standing;
  overruled.open = [](dialog::Window& w) {
    w.set_focus(1003);
    return dialog::OpenFocus::Default;
  };
  dialog::run_modal(test_screen, standing);
  dialog::run_modal(test_screen, overruled);
  auto opened = user.openings(test_screen);
  ASSERT_EQ(opened.size(), 2u);
  EXPECT_EQ(opened[0].focus, 1003);
  EXPECT_EQ(opened[1].focus, 1);
}

TEST_F(Dialog, AMessageBoxKeepsItsOwnerFromTakingInput) {
  scripted::User user;
  std::atomic<int> owner_commands{0};
  dialog::Window* owner = dialog::create_modeless(test_screen, {nullptr, [&](dialog::Window&, int) { ++owner_commands; }});
  dialog::show(owner);
  // While the box is up, a command for its owner is dropped and the owner shows disabled.
  user.on(dialog::message_box_id)
      .wait_until(
          [&](const dialog::WindowView&) {
            dialog::post_command(owner->handle(), 1);
            return !owner->view().enabled;
          },
          "owner disabled")
      .press(1);
  EXPECT_EQ(dialog::message_box(owner, "Line one\r\nline two", "Title"), 1);
  dialog::pump_all();
  EXPECT_EQ(owner_commands, 0);
  EXPECT_TRUE(owner->view().enabled);
  dialog::post_command(owner->handle(), 1);
  dialog::pump_all();
  EXPECT_EQ(owner_commands, 1);
  dialog::destroy(owner);
  auto boxes = user.message_boxes();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].owner_screen, test_screen);
  EXPECT_EQ(boxes[0].caption, "Title");
  EXPECT_EQ(boxes[0].text, "Line one\r\nline two");
}

TEST_F(Dialog, TextsAreReadWithinTheirLimitAndSettersOnlyMarkChanges) {
  dialog::Window* w = dialog::create_modeless(test_screen, {});
  w->set_item_text(1003, "abcdef");
  char out[4] = {'x', 'x', 'x', 'x'};
  EXPECT_EQ(w->get_item_text(1003, out, sizeof out), 3u);
  EXPECT_STREQ(out, "abc");
  EXPECT_EQ(w->get_item_text(4242, out, sizeof out), 0u);  // no such control
  EXPECT_STREQ(out, "");

  uint64_t before = dialog::generation();
  w->set_progress_pos(1010, 5);
  EXPECT_EQ(dialog::generation(), before + 1);
  w->set_progress_pos(1010, 5);  // unchanged: nothing to redraw
  EXPECT_EQ(dialog::generation(), before + 1);
  dialog::destroy(w);
}

TEST_F(Dialog, ScriptedUserWaitsOnProgressFromAnotherThreadAndLogsIt) {
  scripted::User user;
  user.on(test_screen).wait_progress(1010, 3).press(2);
  std::atomic<bool> cancelled{false};
  dialog::Window* w = dialog::create_modeless(test_screen, {nullptr, [&](dialog::Window&, int id) { cancelled = id == 2; }});
  w->set_progress_range(1010, 0, 4);
  dialog::show(w);
  for (int pos = 1; pos <= 4 && !cancelled; ++pos) {
    w->set_progress_pos(1010, pos);
    dialog::pump_all();  // the rule acts
    dialog::pump_all();  // the command is handled
  }
  EXPECT_TRUE(cancelled);
  EXPECT_EQ(w->view().control(1010)->pos, 3);
  dialog::destroy(w);
  EXPECT_EQ(user.progress(test_screen), (std::vector<int>{1, 2, 3}));
  EXPECT_EQ(user.openings(test_screen).at(0).control(1010)->range_hi, 4);
}

TEST_F(Dialog, ScriptedUserGivesUpOnAModalScreenNoRuleAnswers) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        scripted::User user;
        user.set_patience(100);
        dialog::run_modal(test_screen, {});
      },
      ::testing::ExitedWithCode(3), "screen 9001 \"Test\" is waiting for an answer and no rule gives one");
}

TEST(Icons, BothIconsAre32By32In16ColoursAtMost) {
  register_screen_resources();
  for (int id : {adapter_icon, phone_icon}) {
    SCOPED_TRACE(id);
    const dialog::Icon* icon = dialog::find_icon(id);
    ASSERT_NE(icon, nullptr);
    EXPECT_EQ(icon->width, 32);
    EXPECT_EQ(icon->height, 32);
    std::vector<int32_t> colours(icon->pixels.begin(), icon->pixels.end());
    std::sort(colours.begin(), colours.end());
    colours.erase(std::unique(colours.begin(), colours.end()), colours.end());
    EXPECT_LE(colours.size(), 16u);
    EXPECT_NE(std::find(colours.begin(), colours.end(), 0x00FF00), colours.end());  // the green light or display
  }
}

TEST(Icons, MalformedPicturesAreRefused) {
  const char* good[] = {"2 2 2 1", ". c None", "g c #00FF00", ".g", "g."};
  auto icon = dialog::parse_xpm(good);
  ASSERT_TRUE(icon);
  EXPECT_EQ(icon->at(1, 0), 0x00FF00);
  EXPECT_EQ(icon->at(0, 0), dialog::transparent);

  const char* short_row[] = {"2 2 2 1", ". c None", "g c #00FF00", ".g", "g"};
  const char* unknown_key[] = {"2 2 2 1", ". c None", "g c #00FF00", ".x", "g."};
  const char* bad_colour[] = {"2 2 2 1", ". c None", "g c #00FF0", ".g", "g."};
  const char* missing_rows[] = {"2 2 2 1", ". c None", "g c #00FF00", ".g"};
  const char* huge[] = {"100000 1 1 1", ". c None", "."};
  for (auto lines : {std::span<const char* const>(short_row), std::span<const char* const>(unknown_key),
                     std::span<const char* const>(bad_colour), std::span<const char* const>(missing_rows),
                     std::span<const char* const>(huge)})
    EXPECT_FALSE(dialog::parse_xpm(lines));
}

}  // namespace
