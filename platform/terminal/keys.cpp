#include "platform/terminal/keys.h"

namespace terminal {
namespace {

// A CSI sequence longer than this is junk: drop it rather than wait forever.
constexpr size_t max_sequence = 16;

bool csi_key(std::string_view params, char final, Key& key) {
  switch (final) {
    case 'A': key = {KeyCode::Up}; return true;
    case 'B': key = {KeyCode::Down}; return true;
    case 'C': key = {KeyCode::Right}; return true;
    case 'D': key = {KeyCode::Left}; return true;
    case 'H': key = {KeyCode::Home}; return true;
    case 'F': key = {KeyCode::End}; return true;
    case 'Z': key = {KeyCode::BackTab}; return true;
    case '~': break;
    default: return false;
  }
  // "n~" or "n;modifiers~": only the first number names the key.
  int n = 0;
  for (char c : params) {
    if (c == ';') break;
    if (c < '0' || c > '9') return false;
    n = n * 10 + (c - '0');
    if (n > 1000) return false;
  }
  switch (n) {
    case 1: case 7: key = {KeyCode::Home}; return true;
    case 4: case 8: key = {KeyCode::End}; return true;
    case 3: key = {KeyCode::Delete}; return true;
    case 5: key = {KeyCode::PageUp}; return true;
    case 6: key = {KeyCode::PageDown}; return true;
    case 17: key = {KeyCode::F6}; return true;
    default: return false;
  }
}

}  // namespace

void KeyDecoder::feed(std::string_view bytes, std::vector<Key>& out) {
  buf_.append(bytes);
  decode(out);
}

void KeyDecoder::flush(std::vector<Key>& out) {
  if (buf_ == "\x1b") out.push_back({KeyCode::Escape});
  buf_.clear();
}

void KeyDecoder::decode(std::vector<Key>& out) {
  size_t i = 0;
  while (i < buf_.size()) {
    unsigned char c = static_cast<unsigned char>(buf_[i]);
    if (c != 0x1b) {
      ++i;
      if (c == '\t') out.push_back({KeyCode::Tab});
      else if (c == '\r' || c == '\n') out.push_back({KeyCode::Enter});
      else if (c == 0x7f || c == 0x08) out.push_back({KeyCode::Backspace});
      else if (c == 0x03) out.push_back({KeyCode::CtrlC});
      else if (c >= 0x20 && c < 0x7f) out.push_back({KeyCode::Char, static_cast<char>(c)});
      // Other control bytes and non-ASCII bytes are not keys the screens take.
      continue;
    }
    if (i + 1 >= buf_.size()) break;  // a lone Escape, or the start of a sequence
    char kind = buf_[i + 1];
    if (kind == '[') {
      size_t j = i + 2;
      while (j < buf_.size() && (static_cast<unsigned char>(buf_[j]) < 0x40 || buf_[j] > 0x7e)) ++j;
      if (j >= buf_.size()) {
        if (j - i > max_sequence) i = j;  // junk: drop it
        break;
      }
      Key key{KeyCode::Escape};
      if (csi_key(std::string_view(buf_).substr(i + 2, j - i - 2), buf_[j], key)) out.push_back(key);
      i = j + 1;
    } else if (kind == 'O') {
      if (i + 2 >= buf_.size()) break;
      Key key{KeyCode::Escape};
      if (csi_key({}, buf_[i + 2], key)) out.push_back(key);
      i += 3;
    } else {
      // Escape followed by another key (or Alt and a key): Escape, then that key.
      out.push_back({KeyCode::Escape});
      ++i;
    }
  }
  buf_.erase(0, i);
}

}  // namespace terminal
