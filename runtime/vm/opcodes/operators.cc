// Arithmetic, comparison, logic, assignment and conversion operators. The
// compiler picks one opcode per combination of operand types, so no handler
// tests a type: every operand is read as the opcode says (i int, f float,
// s string), the result operand first. The operators that loops run most
// are in hot_handlers.h, inlined into the dispatch loop.
#include <cmath>
#include <string>

#include "runtime/vm/numeric/float_to_int.h"
#include "runtime/vm/opcodes/core_handlers.h"
#include "runtime/vm/opcodes/hot_handlers.h"
#include "runtime/vm/opcodes/opcode_support.h"

namespace zv {
namespace {

using hot::F;
using hot::I;
using hot::Read;

double Pow(double a, double b) { return std::pow(a, b); }

void IntPower(Vm& vm) {
  Slot result = vm.NextSlot();
  double base = vm.NextInt();
  double exponent = vm.NextInt();
  vm.SetInt(result, FloatToInt(std::pow(base, exponent)));
}

// Byte by byte as unsigned bytes; a prefix is smaller.
template <class Relation>
void CompareStrings(Vm& vm) {
  Slot result = vm.NextSlot();
  std::string_view left = vm.NextString();
  std::string_view right = vm.NextString();
  int order = left.compare(right);
  vm.SetInt(result, Relation{}(order, 0) ? 1 : 0);
}

// ---- Strings ----------------------------------------------------------------

// A join longer than a string holds ends the run with error 107; the
// result keeps its old text.
void Concatenate(Vm& vm) {
  Slot result = core::NextStringResult(vm);
  std::string_view left = vm.NextString();
  std::string_view right = vm.NextString();
  if (left.size() + right.size() > StringHeap::kMaxLength) throw TextTooLong();
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

void AssignString(Vm& vm) {
  Slot result = core::NextStringResult(vm);
  vm.SetString(result, vm.NextString());
}

}  // namespace

void RegisterOperatorHandlers(HandlerTable& t) {
  // Sums, differences, products, quotients, bitwise operators, numeric
  // comparisons, assignment and the int/float conversions are hot handlers,
  // set by RegisterHotHandlers.
  // Power: result, left, right.
  t.Set(51, IntPower);
  t.Set(52, hot::DoubleArith<F, F, Pow, Vm>);
  t.Set(53, hot::DoubleArith<I, F, Pow, Vm>);
  t.Set(54, hot::DoubleArith<F, I, Pow, Vm>);
  // Concatenation and removal.
  t.Set(87, Concatenate);
  t.Set(97, RemoveText);
  // String comparisons.
  t.Set(103, CompareStrings<hot::Equal>);
  t.Set(143, CompareStrings<hot::Greater>);
  t.Set(144, CompareStrings<hot::Less>);
  t.Set(121, CompareStrings<hot::NotEqual>);
  // String assignment (result, source).
  t.Set(153, AssignString);
}

}  // namespace zv
