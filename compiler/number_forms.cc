// Number forms of other languages that this one does not take. Names may
// begin with digits, so each would quietly be something else: 1e3 and 0x1f
// variables (0), 1e-3 a variable less 3. They are refused with the number to
// write instead.
#include <charconv>
#include <cstdint>
#include <cstdlib>
#include <system_error>

#include "compiler/compiler_context.h"
#include "compiler/source_text.h"

namespace zv::compiler {
namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsHexDigit(char c) { return IsDigit(c) || (c >= 'a' && c <= 'f'); }

// The end of a number in exponent form ("1e3", "2.5e-4") at `i`, 0 when
// none starts there.
size_t ExponentNumberEnd(std::string_view text, size_t i) {
  size_t j = i, digits = 0;
  for (; j < text.size() && IsDigit(text[j]); ++j) ++digits;
  if (j < text.size() && text[j] == '.')
    for (++j; j < text.size() && IsDigit(text[j]); ++j) ++digits;
  if (digits == 0 || j >= text.size() || text[j] != 'e') return 0;
  size_t k = j + 1;
  if (k < text.size() && (text[k] == '+' || text[k] == '-')) ++k;
  const size_t exponent = k;
  while (k < text.size() && IsDigit(text[k])) ++k;
  return k == exponent ? 0 : k;
}

// The end of a hexadecimal number ("0x1f") at `i`, 0 when none starts there.
size_t HexadecimalNumberEnd(std::string_view text, size_t i) {
  if (text.compare(i, 2, "0x") != 0) return 0;
  size_t k = i + 2;
  while (k < text.size() && IsHexDigit(text[k])) ++k;
  return k == i + 2 ? 0 : k;
}

bool IsHexadecimal(std::string_view number) { return number.starts_with("0x"); }

}  // namespace

std::string_view Compiler::FindUnsupportedNumber(std::string_view text) {
  bool quoted = false;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '"') quoted = !quoted;
    if (quoted || (i > 0 && (IsNameChar(text[i - 1]) || text[i - 1] == '.' || text[i - 1] == '?'))) continue;
    size_t end = HexadecimalNumberEnd(text, i);
    if (end == 0) end = ExponentNumberEnd(text, i);
    // A name goes on after it, such as 1e3x.
    if (end == 0 || (end < text.size() && IsNameChar(text[end]))) continue;
    return text.substr(i, end - i);
  }
  return {};
}

std::string Compiler::UnsupportedNumberMessage(std::string_view number) {
  const bool hexadecimal = IsHexadecimal(number);
  std::string message =
      std::string(MessageText(hexadecimal ? CompileMessage::kHexadecimalNumber : CompileMessage::kExponentNumber)) +
      ": \"" + std::string(number) + "\"";
  char digits[32];
  std::to_chars_result written{};
  if (hexadecimal) {
    // As the 32-bit word it stands for: 0xffffffff is -1.
    uint64_t value = 0;
    const auto read = std::from_chars(number.data() + 2, number.data() + number.size(), value, 16);
    if (read.ec != std::errc() || value > UINT32_MAX) return message;
    written = std::to_chars(digits, digits + sizeof digits, static_cast<int32_t>(static_cast<uint32_t>(value)));
  } else {
    const double value = std::strtod(std::string(number).c_str(), nullptr);
    written = std::to_chars(digits, digits + sizeof digits, value, std::chars_format::fixed);
  }
  if (written.ec == std::errc() && written.ptr - digits <= 20)
    message += " (write " + std::string(digits, written.ptr) + ")";
  return message;
}

}  // namespace zv::compiler
