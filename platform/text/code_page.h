#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zv::platform {

class CodePageConverter;

// The character a byte of program text stands for: programs write their
// text in the Windows-1252 code page unless a font's character set says
// otherwise. The five bytes that page leaves unassigned give U+FFFD.
char32_t Cp1252ToUnicode(uint8_t byte);

// Program text as the desktop takes it (window titles, the clipboard): UTF-8
// from Windows-1252, and back, where a character that page cannot hold, or
// a broken UTF-8 sequence, becomes '?'.
std::string Cp1252ToUtf8(std::string_view text);
std::string Utf8ToCp1252(std::string_view text);
// The characters typed UTF-8 text gives a program, one Windows-1252 byte
// each: a character that page cannot hold types nothing.
std::string TypedCp1252(std::string_view utf8);
// The next character of UTF-8 text at `pos` (< text.size()), moving past it;
// U+FFFD for a broken sequence, of which one byte is taken.
char32_t NextUtf8(std::string_view text, size_t& pos);
// The Windows-1252 byte of a character; none when that page does not hold it.
std::optional<char> UnicodeToCp1252(char32_t c);
// Appends the character (at most U+10FFFF) in UTF-8.
void AppendUtf8(std::string& out, char32_t c);

// One character read from a text, and how many of its bytes it took.
struct DecodedCharacter {
  char32_t character = 0;
  uint32_t length = 1;
};

// How bytes of text in one Windows code page read as characters. The tables
// are made once, when the page is opened, so reading never converts.
// Single-byte pages read every byte alone; the double-byte pages (932, 936,
// 949, 950, 1361) read a lead byte and the byte after it as one character.
// Bytes a page leaves unassigned read as U+FFFD; a lead byte that does not
// begin a character with the byte after it (or that ends the text) reads
// as '?', and reading goes on at the next byte.
class CodePage {
 public:
  // An unknown page, or one the C library cannot convert, reads as 1252.
  explicit CodePage(int32_t number);

  bool IsDoubleByte() const { return !pairs_.empty(); }
  // A byte alone (a lead byte alone is '?').
  char32_t Single(uint8_t byte) const { return single_[byte]; }
  // The character at `pos` (< text.size()); never reads past the text.
  DecodedCharacter Decode(std::string_view text, size_t pos) const;

 private:
  void ReadThrough(CodePageConverter& converter);
  void ReadAsWestern();

  std::array<char32_t, 256> single_{};
  std::array<bool, 256> lead_{};
  // Lead byte x 256 + trail byte -> character, 0 where the pair is none.
  std::vector<char32_t> pairs_;
};

}  // namespace zv::platform
