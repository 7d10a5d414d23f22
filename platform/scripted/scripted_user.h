#pragma once
// A test user: answers screens by rules and logs everything shown.
//
//   scripted::User user;                       // installs itself as the front end
//   user.on(101).type(1000, "127.0.0.2").pick(1017, 1).press(1);
//   user.on(104).type(1005, "secret").press(1);
//   user.on(105).press(2);
//   ... run the code under test ...
//   EXPECT_EQ(user.message_boxes()[0].text, "Invalid IP Address");
//
// Rules act on the thread that owns the screen, whenever that thread pumps or
// waits in a modal loop. Each on(id) answers one opening of screen `id`, in the
// order given; every(id) answers the openings no on(id) is left for. Message
// boxes are answered with OK unless a rule for message_box_id says otherwise.
// Waits are bounded: a modal screen that no rule can answer within the
// patience, or a wait step that times out, is reported on standard error with
// the log, and the process exits with status 3: a test can neither hang nor
// pass by accident.
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "platform/dialog/front_end.h"

namespace scripted {

// How the log writes a text: in double quotes, with CR, LF and quotes escaped.
std::string quoted(std::string_view text);

class Script {
 public:
  // Replaces the text of control `id`, like selecting all of it and typing.
  // Does not move the focus. Only the control's own limit applies, not the
  // keyboard's (so a test can put 100 characters into the address control).
  Script& type(int control, std::string text);
  // Selects entry `index` of drop-down `control`.
  Script& pick(int control, int index);
  Script& focus(int control);
  // Sends command `id` (a button, or 2 for Cancel) and waits for it to be handled.
  Script& press(int id);
  // Waits until `ready` holds for the screen, at most `bound_ms`.
  Script& wait_until(std::function<bool(const dialog::WindowView&)> ready, std::string what, int bound_ms = 5000);
  // Waits until progress bar `control` stands at `at_least` or beyond.
  Script& wait_progress(int control, int at_least, int bound_ms = 5000);

 private:
  friend class User;
  struct Step {
    enum Kind { Type, Pick, Focus, Press, Wait } kind;
    int control = 0;
    int value = 0;
    std::string text;
    std::function<bool(const dialog::WindowView&)> ready;
  };
  std::vector<Step> steps_;
};

// One thing the user saw or did.
struct Entry {
  enum Kind { Opened, Pressed, Closed, Message, Caption, Text, ProgressRange, ProgressPos, Stuck } kind;
  int screen = 0;          // template id
  int control = 0;
  int value = 0;           // command, close result, progress position or range low
  int value2 = 0;          // progress range high
  std::string text;        // caption, control text, message text
  dialog::WindowView view; // the whole screen (Opened, Pressed, Closed, Message)
};

struct MessageRecord {
  int owner_screen;  // template id of the owner, -1 for a task-modal box
  std::string caption;
  std::string text;
};

class User : public dialog::FrontEnd {
 public:
  User();
  ~User() override;
  User(const User&) = delete;
  User& operator=(const User&) = delete;

  Script& on(int screen);
  Script& every(int screen);
  // How long a modal screen may wait for a rule that can act (default 5 s).
  void set_patience(int ms);
  // Also writes every log line to standard error (for tests whose process ends).
  void echo(bool on);

  std::vector<Entry> entries() const;
  std::vector<std::string> lines() const;  // the log as text, one line per entry
  std::string transcript() const;
  // The screen as it was when it opened, for each opening of `screen`.
  std::vector<dialog::WindowView> openings(int screen) const;
  std::vector<MessageRecord> message_boxes() const;
  std::vector<int> results(int screen) const;  // close results of each opening
  // Positions the progress bars of `screen` were set to, in order.
  std::vector<int> progress(int screen) const;

  void changed(const dialog::Change& change) override;
  void idle(dialog::Handle modal) override;

 private:
  struct Active;
  void log(Entry entry);
  std::string format(const Entry& e) const;
  Active* activate(const dialog::WindowView& view);
  void stuck(const std::string& report);

  mutable std::mutex lock_;
  std::vector<std::pair<int, std::shared_ptr<Script>>> once_;
  std::vector<std::pair<int, std::shared_ptr<Script>>> every_;
  std::vector<std::unique_ptr<Active>> active_;
  std::vector<Entry> entries_;
  int patience_ms_ = 5000;
  bool echo_ = false;
};

}  // namespace scripted
