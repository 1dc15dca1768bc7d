// Built-in string and conversion functions: slicing, case, character codes,
// numbers to text and back, colour values, date, time and the command line.
// Texts of any length a string holds are handled whole.
#include <cmath>
#include <ctime>
#include <string>

#include "runtime/vm/numeric/float_to_int.h"
#include "runtime/vm/numeric/number_format.h"
#include "runtime/vm/numeric/number_parse.h"
#include "runtime/vm/opcodes/core_handlers.h"
#include "runtime/vm/opcodes/opcode_support.h"

namespace zv {
namespace {

int32_t ClampedLength(std::string_view s) {
  return s.size() > INT32_MAX ? INT32_MAX : static_cast<int32_t>(s.size());
}

// ---- Numbers from numbers ---------------------------------------------------

// result (i), x (f): |x| truncated; -2147483648 stays as it is.
void AbsToInt(Vm& vm) {
  Slot result = vm.NextSlot();
  float x = vm.NextFloat();
  vm.SetInt(result, FloatToInt(std::fabs(static_cast<double>(x))));
}

// result (f), x (f)
void AbsFloat(Vm& vm) {
  Slot result = vm.NextSlot();
  float x = vm.NextFloat();
  vm.SetFloat(result, std::fabs(x));
}

// ---- Characters -----------------------------------------------------------

// result (i), s: the first byte, unsigned; 0 for the empty string.
void CharCode(Vm& vm) {
  Slot result = vm.NextSlot();
  std::string_view s = vm.NextString();
  vm.SetInt(result, s.empty() ? 0 : static_cast<unsigned char>(s[0]));
}

// result (s), n: the character of n's low byte; a zero byte gives "".
void CharOfCode(Vm& vm) {
  Slot result = core::NextStringResult(vm);
  char c = static_cast<char>(vm.NextInt() & 0xFF);
  vm.SetString(result, c == 0 ? std::string_view() : std::string_view(&c, 1));
}

// result (i), s
void Length(Vm& vm) {
  Slot result = vm.NextSlot();
  vm.SetInt(result, ClampedLength(vm.NextString()));
}

// ---- Slicing --------------------------------------------------------------

// result (s), s, n: the first n characters; below 1 none, past the end all.
void LeftText(Vm& vm) {
  Slot result = core::NextStringResult(vm);
  std::string_view s = vm.NextString();
  int32_t n = vm.NextInt();
  vm.SetString(result, n < 1 ? std::string_view() : s.substr(0, static_cast<size_t>(n)));
}

// result (s), s, n: the last n characters; a negative n gives none, one
// past the length all of s.
void RightText(Vm& vm) {
  Slot result = core::NextStringResult(vm);
  std::string_view s = vm.NextString();
  int64_t n = vm.NextInt();
  int64_t length = static_cast<int64_t>(s.size());
  int64_t start = length - n;
  if (start > length)
    vm.SetString(result, "");
  else if (start < 0)
    vm.SetString(result, s);
  else
    vm.SetString(result, s.substr(static_cast<size_t>(start)));
}

// result (s), s, n: character n counted from 1; 0, negative or past the end
// gives "".
void CharAt(Vm& vm) {
  Slot result = core::NextStringResult(vm);
  std::string_view s = vm.NextString();
  uint32_t n = static_cast<uint32_t>(vm.NextInt());
  vm.SetString(result, n == 0 || n > s.size() ? std::string_view() : s.substr(n - 1, 1));
}

// result (s), n: n blanks; more than a string holds is error 107.
void Blanks(Vm& vm) {
  Slot result = core::NextStringResult(vm);
  int32_t n = vm.NextInt();
  if (n > 0 && static_cast<size_t>(n) > StringHeap::kMaxLength) throw TextTooLong();
  vm.SetString(result, std::string(n > 0 ? static_cast<size_t>(n) : 0, ' '));
}

// ---- Case: only A-Z and a-z change ------------------------------------------

template <char From, char To>
void ChangeCase(Vm& vm) {
  Slot result = core::NextStringResult(vm);
  std::string text(vm.NextString());
  for (char& c : text)
    if (c >= From && c <= From + 25) c = static_cast<char>(c - From + To);
  vm.SetString(result, text);
}

// ---- Numbers to text and back -----------------------------------------------

// result (s), n: "%" and the 32 bits, most significant first.
void BinaryText(Vm& vm) {
  Slot result = core::NextStringResult(vm);
  uint32_t bits = static_cast<uint32_t>(vm.NextInt());
  std::string text = "%";
  for (int bit = 31; bit >= 0; --bit) text += ((bits >> bit) & 1) ? '1' : '0';
  vm.SetString(result, text);
}

void HexText(Vm& vm) {
  Slot result = core::NextStringResult(vm);
  vm.SetString(result, FormatHex(static_cast<uint32_t>(vm.NextInt())));
}

void FloatText(Vm& vm) {
  Slot result = core::NextStringResult(vm);
  vm.SetString(result, FormatFloat(vm.NextFloat()));
}

void IntText(Vm& vm) {
  Slot result = core::NextStringResult(vm);
  vm.SetString(result, FormatInt(vm.NextInt()));
}

// result (f), s
void TextToFloat(Vm& vm) {
  Slot result = vm.NextSlot();
  vm.SetFloat(result, static_cast<float>(ParseLeadingFloat(vm.NextString())));
}

// result (i), s
void TextToInt(Vm& vm) {
  Slot result = vm.NextSlot();
  vm.SetInt(result, ParseLeadingInt(vm.NextString()));
}

// ---- Colour values: red in bits 16-23, green 8-15, blue 0-7 ------------------

// result, red, green, blue: not masked, so a component past 255 carries.
void ComposeColour(Vm& vm) {
  Slot result = vm.NextSlot();
  uint32_t red = static_cast<uint32_t>(vm.NextInt());
  uint32_t green = static_cast<uint32_t>(vm.NextInt());
  uint32_t blue = static_cast<uint32_t>(vm.NextInt());
  vm.SetWord(result, blue + (red << 16) + (green << 8));
}

template <uint32_t Mask, int Shift>
void ColourPart(Vm& vm) {
  Slot result = vm.NextSlot();
  uint32_t colour = static_cast<uint32_t>(vm.NextInt());
  vm.SetWord(result, (colour & Mask) >> Shift);
}

// ---- Date, time, command line --------------------------------------------------

std::tm LocalNow() {
  std::time_t now = std::time(nullptr);
  std::tm when{};
  localtime_r(&now, &when);
  return when;
}

void DateText(Vm& vm) { vm.SetString(core::NextStringResult(vm), FormatDate(LocalNow())); }
void TimeText(Vm& vm) { vm.SetString(core::NextStringResult(vm), FormatTime(LocalNow())); }
void CommandLine(Vm& vm) { vm.SetString(core::NextStringResult(vm), vm.command_line); }

}  // namespace

void RegisterStringHandlers(HandlerTable& t) {
  t.Set(201, AbsToInt);
  t.Set(368, AbsFloat);
  t.Set(203, CharCode);
  t.Set(210, CharOfCode);
  t.Set(234, Length);
  t.Set(233, LeftText);
  t.Set(248, RightText);
  t.Set(237, CharAt);
  t.Set(256, Blanks);
  t.Set(236, ChangeCase<'A', 'a'>);
  t.Set(261, ChangeCase<'a', 'A'>);
  t.Set(206, BinaryText);
  t.Set(223, HexText);
  t.Set(311, FloatText);
  t.Set(312, IntText);
  t.Set(321, TextToFloat);
  t.Set(322, TextToInt);
  t.Set(391, ComposeColour);
  t.Set(392, ColourPart<0xFF0000u, 16>);
  t.Set(393, ColourPart<0xFF00u, 8>);
  t.Set(394, ColourPart<0xFFu, 0>);
  t.Set(408, DateText);
  t.Set(409, TimeText);
  t.Set(211, CommandLine);
}

}  // namespace zv
