// The one file that talks to ncurses.
#include "platform/terminal/terminal.h"

#include <curses.h>
#include <fcntl.h>
#include <langinfo.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <clocale>
#include <csignal>
#include <cstring>
#include <map>
#include <mutex>
#include <thread>

#include "platform/dialog/front_end.h"
#include "platform/host.h"
#include "platform/terminal/keyboard.h"
#include "platform/terminal/keys.h"
#include "platform/terminal/render.h"

namespace terminal {
namespace {

constexpr auto frame_interval = std::chrono::milliseconds(33);
// How long an Escape waits for the rest of a key's sequence.
constexpr int escape_wait_ms = 40;

std::mutex curses_lock;             // held while drawing and while restoring
std::atomic<bool> restored{false};  // once restored, nobody touches the terminal
int wake_pipe[2] = {-1, -1};
std::atomic<bool> wake_pending{false};
std::atomic<bool> resized{false};

void wake() {
  if (!wake_pending.exchange(true)) {
    char b = 1;
    [[maybe_unused]] ssize_t n = write(wake_pipe[1], &b, 1);
  }
}

class CursesFrontEnd : public dialog::FrontEnd {
 public:
  void changed(const dialog::Change&) override { wake(); }
};
CursesFrontEnd front_end;

void restore() {
  // Called from end_process on any thread, or from a signal handler: wait a
  // little for a frame being drawn, never forever. The wait polls try_lock
  // rather than using a timed lock, whose taking (pthread_mutex_clocklock)
  // ThreadSanitizer does not see: it would report the endwin as a race with
  // the last frame even though the lock was held.
  if (restored.exchange(true)) return;
  bool locked = curses_lock.try_lock();
  for (int waited_ms = 0; !locked && waited_ms < 200; ++waited_ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
    locked = curses_lock.try_lock();
  }
  endwin();
  if (locked) curses_lock.unlock();
}

void on_fatal_signal(int sig) {
  restore();
  std::signal(sig, SIG_DFL);
  std::raise(sig);
}

void on_resize(int) {
  resized.store(true);
  char b = 2;
  [[maybe_unused]] ssize_t n = write(wake_pipe[1], &b, 1);
}

// Colour pairs, made as they are first needed.
class Colours {
 public:
  bool on = false;
  int colours = 8;
  attr_t pair(short fg, short bg) {
    if (!on) return A_NORMAL;
    auto key = std::make_pair(fg, bg);
    auto it = pairs_.find(key);
    if (it != pairs_.end()) return COLOR_PAIR(it->second);
    if (next_ >= COLOR_PAIRS || next_ > 255) return A_NORMAL;
    init_pair(static_cast<short>(next_), fg, bg);
    pairs_[key] = next_;
    return COLOR_PAIR(next_++);
  }

 private:
  std::map<std::pair<short, short>, int> pairs_;
  int next_ = 1;
};
Colours colours;

// Terminal colour of icon colour i (0..15 in the terminal's order).
short icon_colour(int i) {
  if (colours.colours >= 16) return static_cast<short>(i);
  return static_cast<short>(i & 7);
}

attr_t attributes(const Cell& c) {
  bool colour = colours.on;
  switch (c.role) {
    case Role::Desktop: return colour ? colours.pair(COLOR_WHITE, COLOR_BLUE) : A_NORMAL;
    case Role::Frame:
    case Role::Body:
    case Role::Text: return colour ? colours.pair(COLOR_BLACK, COLOR_WHITE) : A_NORMAL;
    case Role::FrameActive: return colour ? colours.pair(COLOR_BLACK, COLOR_WHITE) | A_BOLD : A_BOLD;
    case Role::Caption: return colour ? colours.pair(COLOR_BLACK, COLOR_WHITE) : A_NORMAL;
    case Role::CaptionActive: return colour ? colours.pair(COLOR_WHITE, COLOR_BLUE) | A_BOLD : A_REVERSE | A_BOLD;
    case Role::TextFocused: return colour ? colours.pair(COLOR_BLUE, COLOR_WHITE) | A_BOLD : A_BOLD;
    case Role::Input: return colour ? colours.pair(COLOR_BLACK, COLOR_CYAN) : A_UNDERLINE;
    case Role::InputFocused: return colour ? colours.pair(COLOR_WHITE, COLOR_BLACK) | A_BOLD : A_REVERSE;
    case Role::Button: return colour ? colours.pair(COLOR_BLACK, COLOR_CYAN) : A_NORMAL;
    case Role::ButtonFocused: return colour ? colours.pair(COLOR_WHITE, COLOR_BLUE) | A_BOLD : A_REVERSE | A_BOLD;
    case Role::Progress: return colour ? colours.pair(COLOR_BLUE, COLOR_WHITE) : A_NORMAL;
    case Role::Legend: return colour ? colours.pair(COLOR_BLACK, COLOR_CYAN) : A_REVERSE;
    case Role::Pixel: {
      attr_t a = colours.pair(icon_colour(c.fg), icon_colour(c.bg));
      return colours.colours < 16 && c.fg >= 8 ? a | A_BOLD : a;
    }
  }
  return A_NORMAL;
}

void draw(TerminalState& state) {
  std::unique_lock guard(curses_lock, std::try_to_lock);
  if (!guard.owns_lock() || restored.load()) return;
  int rows = 0, cols = 0;
  getmaxyx(stdscr, rows, cols);
  if (rows <= 0 || cols <= 0) return;
  Grid grid(cols, rows);
  Frame frame;
  render(dialog::visible_windows(), state, grid, frame);
  for (int y = 0; y < rows; ++y) {
    for (int x = 0; x < cols; ++x) {
      // The bottom right cell would scroll some terminals: leave it.
      if (y == rows - 1 && x == cols - 1) continue;
      const Cell& c = grid.at(x, y);
      attrset(attributes(c));
      mvaddstr(y, x, c.glyph.c_str());
    }
  }
  attrset(A_NORMAL);
  if (frame.cursor_x >= 0) {
    curs_set(1);
    move(frame.cursor_y, frame.cursor_x);
  } else {
    curs_set(0);
  }
  refresh();
}

void follow_resize() {
  winsize ws{};
  if (ioctl(STDOUT_FILENO, TIOCGWINSZ, &ws) != 0 || ws.ws_row == 0 || ws.ws_col == 0) return;
  std::lock_guard guard(curses_lock);
  if (restored.load()) return;
  resize_term(ws.ws_row, ws.ws_col);
  clear();
}

void run(TerminalState state) {
  KeyDecoder decoder;
  auto last_frame = std::chrono::steady_clock::now() - frame_interval;
  uint64_t drawn = ~0ull;
  bool dirty = true;
  for (;;) {
    if (restored.load()) return;
    auto now = std::chrono::steady_clock::now();
    bool due = now - last_frame >= frame_interval;
    int timeout = decoder.pending() ? escape_wait_ms : 100;
    if ((dirty || dialog::generation() != drawn) && !due)
      timeout = static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(frame_interval - (now - last_frame)).count()) + 1;
    else if (dirty || dialog::generation() != drawn)
      timeout = 0;

    pollfd fds[2] = {{STDIN_FILENO, POLLIN, 0}, {wake_pipe[0], POLLIN, 0}};
    int ready = poll(fds, 2, timeout);
    std::vector<Key> keys;
    if (ready > 0 && (fds[0].revents & POLLIN)) {
      char bytes[256];
      ssize_t n = read(STDIN_FILENO, bytes, sizeof bytes);
      if (n > 0) decoder.feed(std::string_view(bytes, static_cast<size_t>(n)), keys);
    } else if (ready == 0 && decoder.pending()) {
      decoder.flush(keys);
    }
    if (ready > 0 && (fds[0].revents & (POLLHUP | POLLERR))) {
      // The terminal went away: nobody can answer the screens any more.
      platform::end_process();
    }
    if (ready > 0 && (fds[1].revents & POLLIN)) {
      char drain[64];
      [[maybe_unused]] ssize_t n = read(wake_pipe[0], drain, sizeof drain);
      wake_pending.store(false);
    }
    if (resized.exchange(false)) {
      follow_resize();
      dirty = true;
    }
    int rows = 0, cols = 0;
    getmaxyx(stdscr, rows, cols);
    for (const Key& key : keys) {
      // Each key sees what the one before it did.
      handle_key(key, dialog::visible_windows(), state, cols, rows);
      dirty = true;
    }
    now = std::chrono::steady_clock::now();
    if ((dirty || dialog::generation() != drawn) && now - last_frame >= frame_interval) {
      drawn = dialog::generation();
      draw(state);
      last_frame = now;
      dirty = false;
    }
  }
}

bool utf8_locale() {
  std::setlocale(LC_ALL, "");
  const char* codeset = nl_langinfo(CODESET);
  return codeset && (std::strcmp(codeset, "UTF-8") == 0 || std::strcmp(codeset, "utf8") == 0);
}

}  // namespace

bool start() {
  if (!isatty(STDIN_FILENO) || !isatty(STDOUT_FILENO)) return false;
  if (pipe(wake_pipe) != 0) return false;
  fcntl(wake_pipe[0], F_SETFL, O_NONBLOCK);
  fcntl(wake_pipe[1], F_SETFL, O_NONBLOCK);

  TerminalState state;
  state.unicode = utf8_locale();
  // Our own resize handler first, so ncurses does not install its own.
  struct sigaction sa{};
  sa.sa_handler = on_resize;
  sigemptyset(&sa.sa_mask);
  sa.sa_flags = SA_RESTART;
  sigaction(SIGWINCH, &sa, nullptr);

  if (!initscr()) return false;
  raw();  // Ctrl-C arrives as a key: the Cancel of the window that has the keys
  noecho();
  nonl();
  curs_set(0);
  if (has_colors()) {
    start_color();
    colours.on = true;
    colours.colours = COLORS;
  }
  state.colour = colours.on;
  platform::set_terminal_restorer(restore);
  for (int sig : {SIGTERM, SIGHUP, SIGINT, SIGQUIT, SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT}) std::signal(sig, on_fatal_signal);
  std::signal(SIGPIPE, SIG_IGN);

  dialog::set_front_end(&front_end);
  std::thread(run, state).detach();
  return true;
}

}  // namespace terminal
