#include "platform/text/text_encoding.h"

#include <cstdint>
#include <cstdio>

#include "platform/text/code_page.h"

namespace zv::platform {
namespace {

constexpr std::string_view kMark = "\xEF\xBB\xBF";

}  // namespace

size_t Utf8SequenceLength(std::string_view bytes, size_t pos) {
  const auto lead = static_cast<uint8_t>(bytes[pos]);
  if (lead < 0x80) return 1;
  // The lead byte fixes the length and the range of the first continuation
  // byte, which rules out overlong forms, surrogates and values past U+10FFFF.
  size_t length = 0;
  uint8_t low = 0x80, high = 0xBF;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED) high = 0x9F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;
  } else {
    return 0;
  }
  if (pos + length > bytes.size()) return 0;
  for (size_t k = 1; k < length; ++k) {
    const auto next = static_cast<uint8_t>(bytes[pos + k]);
    if (next < (k == 1 ? low : 0x80) || next > (k == 1 ? high : 0xBF)) return 0;
  }
  return length;
}

bool IsValidUtf8(std::string_view bytes) {
  for (size_t pos = 0; pos < bytes.size();) {
    const size_t length = Utf8SequenceLength(bytes, pos);
    if (length == 0) return false;
    pos += length;
  }
  return true;
}

TextEncoding DetectTextEncoding(std::string_view bytes) {
  TextEncoding encoding;
  encoding.mark = bytes.starts_with(kMark);
  if (encoding.mark) bytes.remove_prefix(kMark.size());
  bool above_127 = false;
  for (const char c : bytes) above_127 = above_127 || static_cast<uint8_t>(c) > 127;
  encoding.utf8 = (encoding.mark || above_127) && IsValidUtf8(bytes);
  return encoding;
}

std::string TextOfFile(std::string_view bytes, TextEncoding encoding, const ForeignCharacter& foreign) {
  if (encoding.mark && bytes.starts_with(kMark)) bytes.remove_prefix(kMark.size());
  if (!encoding.utf8) return std::string(bytes);
  std::string text;
  text.reserve(bytes.size());
  for (size_t pos = 0; pos < bytes.size();) {
    const char32_t c = NextUtf8(bytes, pos);
    if (const std::optional<char> byte = UnicodeToCp1252(c))
      text += *byte;
    else
      foreign(text, c);
  }
  return text;
}

std::string FileOfText(std::string_view text, TextEncoding encoding) {
  std::string bytes(encoding.mark ? kMark : std::string_view());
  if (!encoding.utf8) return bytes.append(text);
  bytes.reserve(text.size() + kMark.size());
  for (const char c : text) AppendUtf8(bytes, Cp1252ToUnicode(static_cast<uint8_t>(c)));
  return bytes;
}

std::string CharacterName(char32_t character) {
  char name[16];
  std::snprintf(name, sizeof name, "U+%04X", static_cast<unsigned>(character));
  return name;
}

}  // namespace zv::platform
