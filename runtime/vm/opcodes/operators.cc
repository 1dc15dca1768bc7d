// Arithmetic, comparison, logic, assignment and conversion operators. The
// compiler picks one opcode per combination of operand types, so no handler
// tests a type: every operand is read as the opcode says (i int, f float,
// s string), the result operand first.
#include <cmath>
#include <string>

#include "runtime/vm/numeric/float_to_int.h"
#include "runtime/vm/opcodes/core_handlers.h"
#include "runtime/vm/opcodes/opcode_support.h"

namespace zv {
namespace {

constexpr int32_t kDivisionByZero = 111;
constexpr int32_t kStringTooLong = 107;
constexpr size_t kMaxConcatenation = 255;

using I = int32_t;
using F = float;

template <typename T>
T Read(Vm& vm);
template <>
int32_t Read<int32_t>(Vm& vm) { return vm.NextInt(); }
template <>
float Read<float>(Vm& vm) { return vm.NextFloat(); }

// ---- Integer arithmetic: wraps in 32 bits, never faults -------------------

template <int32_t (*Op)(int32_t, int32_t)>
void IntArith(Vm& vm) {
  Slot result = vm.NextSlot();
  int32_t left = vm.NextInt();
  int32_t right = vm.NextInt();
  vm.SetInt(result, Op(left, right));
}

int32_t And(int32_t a, int32_t b) { return a & b; }
int32_t Or(int32_t a, int32_t b) { return a | b; }

// Truncates toward zero; the one quotient that does not fit, INT_MIN / -1,
// wraps to INT_MIN.
void IntDivide(Vm& vm) {
  Slot result = vm.NextSlot();
  int32_t left = vm.NextInt();
  int32_t right = vm.NextInt();
  if (right == 0) {
    vm.SetInt(result, 0);
    vm.RunWarning(kDivisionByZero);
    return;
  }
  vm.SetInt(result, right == -1 ? core::WrapSub(0, left) : left / right);
}

void IntPower(Vm& vm) {
  Slot result = vm.NextSlot();
  double base = vm.NextInt();
  double exponent = vm.NextInt();
  vm.SetInt(result, FloatToInt(std::pow(base, exponent)));
}

// ---- Float and mixed arithmetic: in double, rounded to float when stored ----

double Add(double a, double b) { return a + b; }
double Sub(double a, double b) { return a - b; }
double Mul(double a, double b) { return a * b; }
double Pow(double a, double b) { return std::pow(a, b); }

template <typename L, typename R, double (*Op)(double, double)>
void FloatArith(Vm& vm) {
  Slot result = vm.NextSlot();
  double left = Read<L>(vm);
  double right = Read<R>(vm);
  vm.SetFloat(result, static_cast<float>(Op(left, right)));
}

// A divisor that is 0 or not a number gives 0.0 and the warning, never an
// infinity. `DivisorAsFloat` rounds an int divisor to a float first.
template <typename L, typename R, bool DivisorAsFloat = false>
void FloatDivide(Vm& vm) {
  Slot result = vm.NextSlot();
  double left = Read<L>(vm);
  double right = Read<R>(vm);
  if constexpr (DivisorAsFloat) right = static_cast<float>(right);
  if (!(right < 0 || right > 0)) {
    vm.SetFloat(result, 0.0f);
    vm.RunWarning(kDivisionByZero);
    return;
  }
  vm.SetFloat(result, static_cast<float>(left / right));
}

// ---- Comparisons: 1 or 0 ------------------------------------------------------
// Numbers compare in double, which holds every int exactly; a NaN makes every
// relation false except "not equal".

bool Equal(double a, double b) { return a == b; }
bool Greater(double a, double b) { return a > b; }
bool GreaterEqual(double a, double b) { return a >= b; }
bool Less(double a, double b) { return a < b; }
bool LessEqual(double a, double b) { return a <= b; }
bool NotEqual(double a, double b) { return a != b; }

template <typename L, typename R, bool (*Relation)(double, double)>
void Compare(Vm& vm) {
  Slot result = vm.NextSlot();
  double left = Read<L>(vm);
  double right = Read<R>(vm);
  vm.SetInt(result, Relation(left, right) ? 1 : 0);
}

// Byte by byte as unsigned bytes; a prefix is smaller.
template <bool (*Relation)(double, double)>
void CompareStrings(Vm& vm) {
  Slot result = vm.NextSlot();
  std::string_view left = vm.NextString();
  std::string_view right = vm.NextString();
  int order = left.compare(right);
  vm.SetInt(result, Relation(order, 0) ? 1 : 0);
}

// ---- Strings ----------------------------------------------------------------

void Concatenate(Vm& vm) {
  Slot result = core::NextStringResult(vm);
  std::string_view left = vm.NextString();
  std::string_view right = vm.NextString();
  if (left.size() + right.size() > kMaxConcatenation) {
    vm.RunError(kStringTooLong);
    return;
  }
  std::string text;
  text.reserve(left.size() + right.size());
  text.append(left).append(right);
  vm.SetString(result, text);
}

// The left text without the first occurrence of the right text; an empty
// right text removes nothing.
void RemoveText(Vm& vm) {
  Slot result = core::NextStringResult(vm);
  std::string_view left = vm.NextString();
  std::string_view right = vm.NextString();
  size_t at = right.empty() ? std::string_view::npos : left.find(right);
  if (at == std::string_view::npos) {
    vm.SetString(result, left);
    return;
  }
  std::string text(left.substr(0, at));
  text.append(left.substr(at + right.size()));
  vm.SetString(result, text);
}

// ---- Assignment and conversion -------------------------------------------------

void CopyWord(Vm& vm) {
  Slot result = vm.NextSlot();
  uint32_t word = vm.WordAt(vm.NextSlot());
  vm.SetWord(result, word);
}

void AssignString(Vm& vm) {
  Slot result = core::NextStringResult(vm);
  vm.SetString(result, vm.NextString());
}

void FloatToIntOp(Vm& vm) {
  Slot result = vm.NextSlot();
  float value = vm.NextFloat();
  vm.SetInt(result, FloatToInt(value));
}

void IntToFloat(Vm& vm) {
  Slot result = vm.NextSlot();
  int32_t value = vm.NextInt();
  vm.SetFloat(result, static_cast<float>(value));
}

}  // namespace

void RegisterOperatorHandlers(HandlerTable& t) {
  // Power: result, left, right.
  t.Set(51, IntPower);
  t.Set(52, FloatArith<F, F, Pow>);
  t.Set(53, FloatArith<I, F, Pow>);
  t.Set(54, FloatArith<F, I, Pow>);
  // Division.
  t.Set(61, IntDivide);
  t.Set(64, FloatDivide<I, F>);
  t.Set(65, FloatDivide<F, I, true>);
  t.Set(66, FloatDivide<F, F>);
  // Product.
  t.Set(71, IntArith<core::WrapMul>);
  t.Set(74, FloatArith<I, F, Mul>);
  t.Set(75, FloatArith<F, I, Mul>);
  t.Set(76, FloatArith<F, F, Mul>);
  // Sum and concatenation.
  t.Set(81, IntArith<core::WrapAdd>);
  t.Set(84, FloatArith<I, F, Add>);
  t.Set(85, FloatArith<F, I, Add>);
  t.Set(86, FloatArith<F, F, Add>);
  t.Set(87, Concatenate);
  // Difference and removal.
  t.Set(91, IntArith<core::WrapSub>);
  t.Set(94, FloatArith<I, F, Sub>);
  t.Set(95, FloatArith<F, I, Sub>);
  t.Set(96, FloatArith<F, F, Sub>);
  t.Set(97, RemoveText);
  // Bitwise.
  t.Set(123, IntArith<And>);
  t.Set(124, IntArith<Or>);
  // Comparisons: int-int, float-float, int-float, float-int, string-string.
  t.Set(101, Compare<I, I, Equal>);
  t.Set(102, Compare<F, F, Equal>);
  t.Set(131, Compare<I, F, Equal>);
  t.Set(132, Compare<F, I, Equal>);
  t.Set(103, CompareStrings<Equal>);
  t.Set(111, Compare<I, I, Greater>);
  t.Set(112, Compare<F, F, Greater>);
  t.Set(133, Compare<I, F, Greater>);
  t.Set(134, Compare<F, I, Greater>);
  t.Set(143, CompareStrings<Greater>);
  t.Set(113, Compare<I, I, GreaterEqual>);
  t.Set(114, Compare<F, F, GreaterEqual>);
  t.Set(135, Compare<I, F, GreaterEqual>);
  t.Set(136, Compare<F, I, GreaterEqual>);
  t.Set(115, Compare<I, I, Less>);
  t.Set(116, Compare<F, F, Less>);
  t.Set(137, Compare<I, F, Less>);
  t.Set(138, Compare<F, I, Less>);
  t.Set(144, CompareStrings<Less>);
  t.Set(117, Compare<I, I, LessEqual>);
  t.Set(118, Compare<F, F, LessEqual>);
  t.Set(139, Compare<I, F, LessEqual>);
  t.Set(140, Compare<F, I, LessEqual>);
  t.Set(119, Compare<I, I, NotEqual>);
  t.Set(120, Compare<F, F, NotEqual>);
  t.Set(141, Compare<I, F, NotEqual>);
  t.Set(142, Compare<F, I, NotEqual>);
  t.Set(121, CompareStrings<NotEqual>);
  // Assignment (result, source) and conversion.
  t.Set(151, CopyWord);
  t.Set(152, CopyWord);
  t.Set(153, AssignString);
  t.Set(154, FloatToIntOp);
  t.Set(232, FloatToIntOp);  // the built-in conversion function shares it
  t.Set(155, IntToFloat);
}

}  // namespace zv
