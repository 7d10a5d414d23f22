#include "http/text_writer.h"

#include <cstdarg>
#include <cstdio>

TextWriter::TextWriter(char* buffer, size_t capacity) : buffer_(buffer), capacity_(capacity), fits_(capacity > 0) {
  if (fits_) buffer_[0] = '\0';
}

void TextWriter::append(const char* format, ...) {
  if (!fits_) return;
  size_t room = capacity_ - length_;
  va_list args;
  va_start(args, format);
  int n = std::vsnprintf(buffer_ + length_, room, format, args);
  va_end(args);
  if (n < 0 || static_cast<size_t>(n) >= room) {
    // Undo the cut piece so the buffer ends after the last whole piece.
    buffer_[length_] = '\0';
    fits_ = false;
    return;
  }
  length_ += static_cast<size_t>(n);
}
