#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace zv::compiler {

// The lines of a source text. CR LF, LF and a lone CR all end a line, so a
// file compiles the same whatever editor wrote it; a last line without a
// line end is still a line.
std::vector<std::string> SplitSourceLines(std::string_view text);

// Stands in a line's text for a character that Windows-1252 lacks. The
// page leaves this byte unassigned, so no converted character gives it.
constexpr char kForeignByte = '\x81';

// A character of a UTF-8 source that the program's character set lacks.
struct ForeignCharacter {
  int column = 0;  // from 1, in characters
  char32_t character = 0;
};

// A line of a source file: its text in the program's character set, each
// foreign character standing as kForeignByte, and the line as written, in
// the same character set with each foreign character marked (see
// platform::AppendMarkedCharacter), so that it shows as written.
struct FileLine {
  std::string text;
  std::string original;
  std::vector<ForeignCharacter> foreign;
};

// The lines of a source file. A file in UTF-8 (with the byte-order mark or
// without, see platform::DetectTextEncoding) is converted to Windows-1252,
// the character set of programs; any other file is read as Windows-1252.
// The mark is no part of the first line.
std::vector<FileLine> ReadSourceLines(std::string_view bytes);

// A line as the compiler reads it: letters lower-cased and control
// characters turned into blanks, both outside double quotes; leading blanks
// removed.
std::string NormalizeLine(std::string_view line);

// Where a comment begins in a line as the compiler reads it: at a
// statement that starts with the word rem or with a backquote; npos when
// none does.
size_t CommentStart(std::string_view text);

// True for the characters of a name: a-z, 0-9, "_", "$" and "#".
inline bool IsNameChar(char c) {
  return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' || c == '$' || c == '#';
}
// True when a "(" after this character opens a call or an array access.
inline bool OpensCall(char c) {
  return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '$' || c == '#';
}

std::string Trim(std::string_view text);

// Splits at commas outside quotes and parentheses; each piece trimmed. An
// empty text gives no pieces.
std::vector<std::string> SplitTopLevel(std::string_view text, char separator = ',');

// The position of the first character outside quotes for which
// `found(position, character, depth)` is true, depth being the parenthesis
// depth after the character; npos when there is none.
template <class Found>
size_t FindAtTopLevel(std::string_view text, Found found) {
  bool quoted = false;
  int depth = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '"') quoted = !quoted;
    if (quoted) continue;
    if (c == '(') ++depth;
    if (c == ')') --depth;
    if (found(i, c, depth)) return i;
  }
  return std::string_view::npos;
}

}  // namespace zv::compiler
