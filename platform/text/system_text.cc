#include "platform/text/system_text.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <vector>

#include "platform/text/code_page.h"
#include "platform/text/text_encoding.h"

namespace zv::platform {
namespace {

constexpr char32_t kPageLeavesUnassigned = 0xFFFD;
constexpr size_t kFewestCharacterDigits = 4;
constexpr size_t kMostCharacterDigits = 6;
constexpr size_t kByteDigits = 2;

// Marks are written in upper case and read in either, as names are matched:
// a listed name put through lower$() still names its entry.
int HexValue(char digit) {
  if (digit >= '0' && digit <= '9') return digit - '0';
  if (digit >= 'A' && digit <= 'F') return digit - 'A' + 10;
  if (digit >= 'a' && digit <= 'f') return digit - 'a' + 10;
  return -1;
}

bool IsEditorPrefix(std::string_view text, size_t pos) {
  return pos + 2 < text.size() && (text[pos] == 'U' || text[pos] == 'u') && text[pos + 1] == '+';
}

// The character of a byte of program text; the unassigned bytes keep their
// number, so that the way back gives the same byte.
char32_t CharacterOfByte(uint8_t byte) {
  const char32_t c = Cp1252ToUnicode(byte);
  return c == kPageLeavesUnassigned ? char32_t{byte} : c;
}

bool IsSurrogateOrBeyond(char32_t c) { return c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF); }

// A mark of a name, or the editor's mark of a character.
struct NameMark {
  bool byte = false;  // a byte of a name that is not UTF-8
  char32_t value = 0;
  size_t end = 0;  // just past the second mark
};

// The mark that starts at `pos`, if the text there is one: hexadecimal
// digits between two marks, two for a byte, four to six for a character
// (the editor's "U+" before them).
std::optional<NameMark> ReadNameMark(std::string_view text, size_t pos) {
  if (text[pos] != kCharacterMark) return std::nullopt;
  const bool editor = IsEditorPrefix(text, pos + 1);
  const size_t first = pos + (editor ? 3 : 1);
  const size_t close = text.find(kCharacterMark, first);
  if (close == std::string_view::npos) return std::nullopt;
  const size_t digits = close - first;
  const bool byte = !editor && digits == kByteDigits;
  if (!byte && (digits < kFewestCharacterDigits || digits > kMostCharacterDigits)) return std::nullopt;
  char32_t value = 0;
  for (const char digit : text.substr(first, digits)) {
    const int v = HexValue(digit);
    if (v < 0) return std::nullopt;
    value = value * 16 + static_cast<char32_t>(v);
  }
  if (!byte && IsSurrogateOrBeyond(value)) return std::nullopt;
  return NameMark{byte, value, close + 1};
}

// The bytes of a name on disk that the program's path syntax reads as more
// than a byte of the name: a "\" anywhere, a ":" after a drive's letter.
bool IsPathSyntax(char32_t value) { return value == '\\' || value == ':'; }

bool IsAsciiLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

// What a mark for `value` would give that no mark may; empty when it may
// give it. A byte above 127 is judged with the bytes beside it.
std::string_view Forbidden(char32_t value, bool byte, MarkReach reach = MarkReach::kMakes) {
  if (value == 0) return "NUL";
  if (value == '/') return "a separator";
  if (value == '.') return "\".\"";
  if (!byte && IsPathSyntax(value)) return {};
  if (value < 0x20 || value == 0x7F) return "a control character";
  if (!byte && value >= 0x80 && value <= 0x9F) return reach == MarkReach::kReaches ? "" : "a control character";
  if (byte ? value < 0x80 : UnicodeToCp1252(value).has_value()) return "a character the program's text holds itself";
  return {};
}

std::string MarkRefusal(const NameMark& mark, std::string_view gives) {
  char digits[8];
  std::snprintf(digits, sizeof digits, "%02X", static_cast<unsigned>(mark.value));
  const std::string what = mark.byte ? "the byte " + std::string(digits) : CharacterName(mark.value);
  return "its mark for " + what + " would give " + std::string(gives);
}

void AppendMark(std::string& text, char32_t value, bool byte) {
  char digits[8];
  std::snprintf(digits, sizeof digits, byte ? "%02X" : "%04X", static_cast<unsigned>(value));
  text += kCharacterMark;
  text += digits;
  text += kCharacterMark;
}

// The system's bytes for program text. For a name (`shown` false) a mark
// that may not stand where it is stops the conversion (false, `refusal`
// set); text that is only shown keeps such a mark as its own bytes and
// shows a marked byte as its character.
bool ConvertProgramText(std::string_view text, bool shown, MarkReach reach, std::string& out, std::string* refusal) {
  out.reserve(text.size() + text.size() / 2);
  std::vector<bool> marked_byte;  // by position in `out`; empty while none is
  for (size_t pos = 0; pos < text.size();) {
    const std::optional<NameMark> mark = ReadNameMark(text, pos);
    const std::string_view forbidden = mark ? Forbidden(mark->value, mark->byte, reach) : std::string_view();
    if (mark && !forbidden.empty() && !shown) {
      if (refusal) *refusal = MarkRefusal(*mark, forbidden);
      return false;
    }
    if (!mark || !forbidden.empty()) {
      // Shown, such a mark is its own characters, all of them.
      for (const size_t end = mark ? mark->end : pos + 1; pos < end;)
        AppendUtf8(out, CharacterOfByte(static_cast<uint8_t>(text[pos++])));
      continue;
    }
    if (mark->byte && shown) {
      AppendUtf8(out, CharacterOfByte(static_cast<uint8_t>(mark->value)));
    } else if (mark->byte) {
      marked_byte.resize(out.size() + 1);
      marked_byte.back() = true;
      out += static_cast<char>(mark->value);
    } else {
      AppendUtf8(out, mark->value);
    }
    pos = mark->end;
  }
  if (marked_byte.empty()) return true;
  // A marked byte stands only for a byte of a name that is not UTF-8: with
  // the bytes beside it, it must not read as a character.
  marked_byte.resize(out.size());
  for (size_t pos = 0; pos < out.size();) {
    const size_t length = std::max<size_t>(Utf8SequenceLength(out, pos), 1);
    for (size_t k = pos; length > 1 && k < pos + length; ++k) {
      if (!marked_byte[k]) continue;
      if (refusal)
        *refusal = MarkRefusal(NameMark{true, static_cast<uint8_t>(out[k]), 0}, "part of a UTF-8 character");
      return false;
    }
    pos += length;
  }
  return true;
}

// How the system's bytes are spelled in program text.
struct Spelling {
  bool path_syntax = false;  // a name: a byte the path syntax would read otherwise comes marked
  bool reaching = false;     // a name that is there: a control character's mark will do, U+0081 is marked too
};

// The program's spelling of the system's bytes; `nameable` false when a
// character in them has no mark a name may hold.
std::string ProgramSpelling(std::string_view system_text, Spelling how, bool& nameable) {
  std::string out;
  out.reserve(system_text.size());
  nameable = true;
  const MarkReach reach = how.reaching ? MarkReach::kReaches : MarkReach::kMakes;
  for (size_t pos = 0; pos < system_text.size();) {
    const size_t length = Utf8SequenceLength(system_text, pos);
    if (length == 0) {
      AppendMark(out, static_cast<uint8_t>(system_text[pos++]), true);
      continue;
    }
    const size_t at = pos;
    const char32_t c = NextUtf8(system_text, pos);
    const bool drive = c == ':' && at == 1 && IsAsciiLetter(system_text[0]);
    if ((how.path_syntax && (c == '\\' || drive)) || (how.reaching && c == 0x81)) {
      AppendMark(out, c, false);
    } else if (const std::optional<char> byte = UnicodeToCp1252(c)) {
      out += *byte;
    } else if (c < 0x100 && CharacterOfByte(static_cast<uint8_t>(c)) == c) {
      out += static_cast<char>(c);
    } else {
      nameable = nameable && Forbidden(c, false, reach).empty();
      AppendMark(out, c, false);
    }
  }
  return out;
}

// The spelling when SystemNameOf takes it back to the same bytes. A control
// character the page keeps for itself (U+0081) before text that reads as a
// mark would come back as another name.
std::optional<std::string> ExactSpelling(std::string_view system_text, Spelling how) {
  bool nameable = true;
  std::string name = ProgramSpelling(system_text, how, nameable);
  if (!nameable || CheckedSystemNameOf(name) != system_text) return std::nullopt;
  return name;
}

}  // namespace

void AppendMarkedCharacter(std::string& text, char32_t character) {
  text += kCharacterMark;
  text += CharacterName(character);
  text += kCharacterMark;
}

std::optional<char32_t> ReadMarkedCharacter(std::string_view text, size_t& pos) {
  if (pos >= text.size() || text.compare(pos + 1, 2, "U+") != 0) return std::nullopt;
  const std::optional<NameMark> mark = ReadNameMark(text, pos);
  if (!mark) return std::nullopt;
  pos = mark->end;
  return mark->value;
}

std::optional<std::string> CheckedSystemNameOf(std::string_view program_name, std::string* refusal,
                                               MarkReach reach) {
  std::string out;
  if (!ConvertProgramText(program_name, false, reach, out, refusal)) return std::nullopt;
  return out;
}

std::string SystemNameOf(std::string_view program_name) {
  std::string refusal;
  std::optional<std::string> name = CheckedSystemNameOf(program_name, &refusal);
  if (!name) throw RefusedName(program_name, refusal);
  return std::move(*name);
}

std::optional<std::string> ProgramNameOf(std::string_view system_name) {
  return ExactSpelling(system_name, Spelling{.path_syntax = true});
}

std::optional<std::string> ExactProgramTextOf(std::string_view system_text) {
  return ExactSpelling(system_text, Spelling{});
}

std::string ProgramPathOf(std::string_view system_path) {
  if (std::optional<std::string> path = ProgramNameOf(system_path)) return std::move(*path);
  // With U+0081 marked too, no text reads as a mark that is none.
  bool nameable = true;
  return ProgramSpelling(system_path, Spelling{.path_syntax = true, .reaching = true}, nameable);
}

std::string ProgramTextOf(std::string_view system_text) {
  bool nameable = true;
  return ProgramSpelling(system_text, Spelling{}, nameable);
}

std::string ProgramTextBeginning(std::string_view system_text, size_t characters) {
  size_t end = 0;
  for (size_t n = 0; n < characters && end < system_text.size(); ++n)
    end += std::max<size_t>(Utf8SequenceLength(system_text, end), 1);
  return ProgramTextOf(system_text.substr(0, end)) + (end < system_text.size() ? "..." : "");
}

std::string SystemTextOf(std::string_view program_text) {
  std::string out;
  ConvertProgramText(program_text, true, MarkReach::kMakes, out, nullptr);
  return out;
}

void WriteSystemText(std::FILE* stream, std::string_view program_text) {
  const std::string text = SystemTextOf(program_text);
  std::fwrite(text.data(), 1, text.size(), stream);
  std::fflush(stream);
}

}  // namespace zv::platform
