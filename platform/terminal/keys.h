#pragma once
// Turns the bytes a terminal sends into keys. Kept apart from the terminal
// library so it can be tested on its own.
#include <string>
#include <string_view>
#include <vector>

namespace terminal {

enum class KeyCode {
  Char,  // a printable ASCII character, in Key::ch
  Tab, BackTab, Enter, Escape, CtrlC, Backspace, Delete,
  Up, Down, Left, Right, Home, End, PageUp, PageDown, F6,
};

struct Key {
  KeyCode code;
  char ch = 0;
  bool operator==(const Key&) const = default;
};

class KeyDecoder {
 public:
  // Decodes what can be decoded; an unfinished escape sequence waits for more.
  void feed(std::string_view bytes, std::vector<Key>& out);
  // No byte followed for a while: a lone Escape is the Escape key, and an
  // unfinished sequence is dropped.
  void flush(std::vector<Key>& out);
  bool pending() const { return !buf_.empty(); }

 private:
  void decode(std::vector<Key>& out);
  std::string buf_;
};

}  // namespace terminal
