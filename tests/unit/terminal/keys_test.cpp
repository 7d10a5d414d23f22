// Bytes from the terminal into keys.
#include <gtest/gtest.h>

#include "platform/terminal/keys.h"

namespace {

using terminal::Key;
using terminal::KeyCode;
using terminal::KeyDecoder;

struct Case {
  const char* name;
  std::vector<std::string> reads;  // what each read returned
  bool flush;                      // then nothing came for a while
  std::vector<Key> keys;
};

TEST(KeyDecoder, Table) {
  const Case cases[] = {
      {"printable and controls", {"a1.\t\r\x7f\x03"}, false,
       {{KeyCode::Char, 'a'}, {KeyCode::Char, '1'}, {KeyCode::Char, '.'}, {KeyCode::Tab}, {KeyCode::Enter},
        {KeyCode::Backspace}, {KeyCode::CtrlC}}},
      {"shift-tab and arrows", {"\x1b[Z\x1b[A\x1b[B\x1bOC\x1bOD"}, false,
       {{KeyCode::BackTab}, {KeyCode::Up}, {KeyCode::Down}, {KeyCode::Right}, {KeyCode::Left}}},
      {"page keys, delete, F6, modifiers", {"\x1b[5~\x1b[6~\x1b[3~\x1b[17~\x1b[1;5A"}, false,
       {{KeyCode::PageUp}, {KeyCode::PageDown}, {KeyCode::Delete}, {KeyCode::F6}, {KeyCode::Up}}},
      {"a sequence split over reads", {"\x1b", "[", "Z"}, false, {{KeyCode::BackTab}}},
      {"a lone escape once nothing follows", {"\x1b"}, true, {{KeyCode::Escape}}},
      {"escape then a key", {"\x1bx"}, false, {{KeyCode::Escape}, {KeyCode::Char, 'x'}}},
      {"two escapes", {"\x1b\x1b"}, true, {{KeyCode::Escape}, {KeyCode::Escape}}},
      {"unknown sequences are dropped", {"\x1b[99~\x1b[5Xq"}, false, {{KeyCode::Char, 'q'}}},
      {"non-ASCII bytes are no keys", {"\xc3\xa9z"}, false, {{KeyCode::Char, 'z'}}},
      {"junk that never ends is dropped", {"\x1b[" + std::string(40, '1'), "A"}, false, {{KeyCode::Char, 'A'}}},
      {"an unfinished sequence is dropped on flush", {"\x1b[1"}, true, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    KeyDecoder d;
    std::vector<Key> keys;
    for (const std::string& r : c.reads) d.feed(r, keys);
    if (c.flush) d.flush(keys);
    EXPECT_EQ(keys, c.keys);
    EXPECT_FALSE(d.pending() && c.flush);
  }
}

}  // namespace
