#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <functional>
#include <initializer_list>
#include <memory>
#include <string>
#include <string_view>

namespace zv::models {

// Writes "%5.6f" of `value` into `out` (room for 64 characters) and returns
// its length: the float's exact value rounded to six decimals, ties to
// even, as the C library prints it. Values that are not finite take the
// spellings of the C library the X text format was made with ("-1.#IND00",
// "1.#QNAN0", "1.#INF00", "-1.#INF00").
size_t FormatFixed6(float value, char* out);

// The X text being written: whole lines, each ended by a bare line feed.
// Lines of material values, matrices, vertices, normals and texture
// coordinates are written by FloatLine, which turns a number spelled with
// '#' into zeros: each '#' and the characters 3 and 2 before it and 1 to 4
// after it become '0' (the decimal point before it stays).
class XTextBuffer {
 public:
  // Where whole lines go once a piece of text is complete.
  using Sink = std::function<void(std::string_view)>;

  // Without a sink the text stays in the buffer, `expected` bytes set aside
  // at once so that a large text seldom moves while it grows. With one, the
  // text is handed on in pieces of about `expected` bytes, each ending with
  // a line, so that a large text never has to be held whole.
  explicit XTextBuffer(size_t expected = 0, Sink sink = {});

  XTextBuffer& operator<<(std::string_view text) {
    std::memcpy(Room(text.size()), text.data(), text.size());
    used_ += text.size();
    return *this;
  }
  XTextBuffer& operator<<(char c) {
    *Room(1) = c;
    ++used_;
    return *this;
  }
  XTextBuffer& Int(int64_t value);
  // "%5.6f", as it comes: a number spelled with '#' stays.
  XTextBuffer& Fixed(float value);

  void EndLine() {
    *this << '\n';
    HandOnIfFull();
  }
  // A whole line of plain text.
  void Line(std::string_view text) { (*this << text).EndLine(); }
  // A line of numbers "%5.6f" between the separators, then `end`, repaired.
  void FloatLine(std::initializer_list<float> values, std::string_view separator, std::string_view end);
  // A face: "3;" and the three indices between commas, then `end`.
  void FaceLine(uint32_t a, uint32_t b, uint32_t c, std::string_view end);

  // The text not yet handed on.
  std::string_view View() const { return {text_.get(), used_}; }
  // Hands the rest of the text to the sink.
  void HandOn();

 private:
  // Where `count` more characters go.
  char* Room(size_t count) {
    if (used_ + count > capacity_) Grow(count);
    return text_.get() + used_;
  }
  void Grow(size_t count);
  void HandOnIfFull() {
    if (sink_ && used_ >= piece_) HandOn();
  }

  std::unique_ptr<char[]> text_;  // its first used_ characters are the text
  size_t capacity_ = 0;
  size_t used_ = 0;
  size_t piece_ = 0;
  Sink sink_;
};

}  // namespace zv::models
