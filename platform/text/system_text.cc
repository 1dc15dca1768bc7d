#include "platform/text/system_text.h"

#include <cstdint>

#include "platform/text/code_page.h"
#include "platform/text/text_encoding.h"

namespace zv::platform {
namespace {

constexpr char32_t kPageLeavesUnassigned = 0xFFFD;
constexpr size_t kFewestMarkDigits = 4;
constexpr size_t kMostMarkDigits = 6;

int HexValue(char digit) {
  if (digit >= '0' && digit <= '9') return digit - '0';
  if (digit >= 'A' && digit <= 'F') return digit - 'A' + 10;
  return -1;
}

// The character of a byte of program text; the unassigned bytes keep their
// number, so that the way back gives the same byte.
char32_t CharacterOfByte(uint8_t byte) {
  const char32_t c = Cp1252ToUnicode(byte);
  return c == kPageLeavesUnassigned ? char32_t{byte} : c;
}

}  // namespace

void AppendMarkedCharacter(std::string& text, char32_t character) {
  text += kCharacterMark;
  text += CharacterName(character);
  text += kCharacterMark;
}

std::optional<char32_t> ReadMarkedCharacter(std::string_view text, size_t& pos) {
  if (pos >= text.size() || text[pos] != kCharacterMark || text.compare(pos + 1, 2, "U+") != 0) return std::nullopt;
  const size_t close = text.find(kCharacterMark, pos + 3);
  const size_t digits = close == std::string_view::npos ? 0 : close - pos - 3;
  if (digits < kFewestMarkDigits || digits > kMostMarkDigits) return std::nullopt;
  char32_t c = 0;
  for (const char digit : text.substr(pos + 3, digits)) {
    const int value = HexValue(digit);
    if (value < 0) return std::nullopt;
    c = c * 16 + static_cast<char32_t>(value);
  }
  if (c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return std::nullopt;
  pos = close + 1;
  return c;
}

std::string SystemTextOf(std::string_view program_text) {
  std::string out;
  out.reserve(program_text.size() + program_text.size() / 2);
  for (size_t pos = 0; pos < program_text.size();) {
    if (const std::optional<char32_t> marked = ReadMarkedCharacter(program_text, pos))
      AppendUtf8(out, *marked);
    else
      AppendUtf8(out, CharacterOfByte(static_cast<uint8_t>(program_text[pos++])));
  }
  return out;
}

std::string ProgramTextOf(std::string_view system_text) {
  if (!IsValidUtf8(system_text)) return std::string(system_text);
  std::string out;
  out.reserve(system_text.size());
  for (size_t pos = 0; pos < system_text.size();) {
    const char32_t c = NextUtf8(system_text, pos);
    if (const std::optional<char> byte = UnicodeToCp1252(c))
      out += *byte;
    else if (c < 0x100 && CharacterOfByte(static_cast<uint8_t>(c)) == c)
      out += static_cast<char>(c);
    else
      AppendMarkedCharacter(out, c);
  }
  return out;
}

void WriteSystemText(std::FILE* stream, std::string_view program_text) {
  const std::string text = SystemTextOf(program_text);
  std::fwrite(text.data(), 1, text.size(), stream);
  std::fflush(stream);
}

}  // namespace zv::platform
