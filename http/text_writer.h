#pragma once
// Formatted text appended to a fixed buffer, never past its end: requests and
// header lines are composed in place in the response buffer.
#include <cstddef>

class TextWriter {
 public:
  // `capacity` counts the terminating zero byte.
  TextWriter(char* buffer, size_t capacity);

  // Appends the formatted text whole, or nothing once the text would not fit
  // (the writer then stays in the failed state).
  void append(const char* format, ...) __attribute__((format(printf, 2, 3)));

  bool fits() const { return fits_; }
  size_t length() const { return length_; }

 private:
  char* buffer_;
  size_t capacity_;
  size_t length_ = 0;
  bool fits_;
};
