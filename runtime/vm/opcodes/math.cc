// Built-in numeric functions: angles in degrees, hyperbolic functions,
// square root, exponential, random numbers, increment and decrement.
// Functions are evaluated in double; a float result is rounded when stored
// and an int result truncated as the float-to-int operator does.
#include <cmath>
#include <type_traits>

#include "runtime/vm/numeric/degrees.h"
#include "runtime/vm/numeric/float_to_int.h"
#include "runtime/vm/numeric/random.h"
#include "runtime/vm/opcodes/core_handlers.h"
#include "runtime/vm/opcodes/opcode_support.h"

namespace zv {
namespace {

constexpr int32_t kBadRandomRange = 113;
constexpr int32_t kNotIncrementable = 114;
constexpr int32_t kNotDecrementable = 115;

using I = int32_t;
using F = float;

template <typename T>
double ReadNumber(Vm& vm) {
  if constexpr (std::is_same_v<T, int32_t>)
    return vm.NextInt();
  else
    return vm.NextFloat();
}

// Angles in degrees, exact where the angle is (sin(30) is 0.5); the
// hyperbolic functions read their value as degrees too.
double Cosh(double x) { return std::cosh(RadiansOf(x)); }
double Sinh(double x) { return std::sinh(RadiansOf(x)); }
double Tanh(double x) { return std::tanh(RadiansOf(x)); }
double Acos(double x) { return DegreesOf(std::acos(x)); }
double Asin(double x) { return DegreesOf(std::asin(x)); }
double Atan(double x) { return DegreesOf(std::atan(x)); }
double Sqrt(double x) { return std::sqrt(x); }

// result (f), x
template <typename X, double (*Function)(double)>
void FloatFunction(Vm& vm) {
  Slot result = vm.NextSlot();
  double x = ReadNumber<X>(vm);
  vm.SetFloat(result, static_cast<float>(Function(x)));
}

// result (f), y, x: the angle of the point (x, y) in its quadrant.
template <typename Y, typename X>
void Atan2(Vm& vm) {
  Slot result = vm.NextSlot();
  double y = ReadNumber<Y>(vm);
  double x = ReadNumber<X>(vm);
  vm.SetFloat(result, static_cast<float>(DegreesOf(std::atan2(y, x))));
}

// result (i), x (i): e to the x, truncated; past the 64-bit range it is 0.
void ExpInt(Vm& vm) {
  Slot result = vm.NextSlot();
  double x = vm.NextInt();
  vm.SetInt(result, FloatToInt(std::exp(x)));
}

// ---- Random numbers -----------------------------------------------------------

// seed (i)
void Randomize(Vm& vm) { SeedRandom(vm.WordAt(vm.NextSlot())); }

// One draw reduced to 0..n; false (error raised) when n + 1 wraps below 1.
bool DrawUpTo(Vm& vm, int32_t n, int32_t& value) {
  int32_t range = core::WrapAdd(n, 1);
  if (range < 1) {
    vm.RunError(kBadRandomRange);
    return false;
  }
  value = static_cast<int32_t>(RandomDraw() % static_cast<uint32_t>(range));
  return true;
}

// result (i), n (i)
void RandomInt(Vm& vm) {
  Slot result = vm.NextSlot();
  int32_t n = vm.NextInt();
  int32_t value;
  if (DrawUpTo(vm, n, value)) vm.SetInt(result, value);
}

// result (f), n (i)
void RandomFloat(Vm& vm) {
  Slot result = vm.NextSlot();
  int32_t n = vm.NextInt();
  int32_t value;
  if (DrawUpTo(vm, n, value)) vm.SetFloat(result, static_cast<float>(value));
}

// ---- Increment and decrement --------------------------------------------------
// The first operand must be a variable of the opcode's type (no temporary,
// constant or array element); the amount is always a float.

enum class Step { kOne, kAmount };

template <int Sign, Step How>
void StepFloatVariable(Vm& vm) {
  Slot variable = vm.NextSlot();
  double amount = How == Step::kAmount ? vm.NextFloat() : 1.0;
  if (!core::IsFloatVariable(variable)) {
    vm.RunError(Sign > 0 ? kNotIncrementable : kNotDecrementable);
    return;
  }
  vm.SetFloat(variable, static_cast<float>(vm.FloatAt(variable) + Sign * amount));
}

template <int Sign, Step How>
void StepIntVariable(Vm& vm) {
  Slot variable = vm.NextSlot();
  int32_t amount = How == Step::kAmount ? FloatToInt(vm.NextFloat()) : 1;
  if (!core::IsIntVariable(variable)) {
    vm.RunError(Sign > 0 ? kNotIncrementable : kNotDecrementable);
    return;
  }
  int32_t value = vm.IntAt(variable);
  vm.SetInt(variable, Sign > 0 ? core::WrapAdd(value, amount) : core::WrapSub(value, amount));
}

}  // namespace

void RegisterMathHandlers(HandlerTable& t) {
  // result (f), x: float argument / int argument.
  t.Set(202, FloatFunction<F, Acos>);
  t.Set(361, FloatFunction<I, Acos>);
  t.Set(204, FloatFunction<F, Asin>);
  t.Set(362, FloatFunction<I, Asin>);
  t.Set(205, FloatFunction<F, Atan>);
  t.Set(363, FloatFunction<I, Atan>);
  t.Set(331, FloatFunction<F, CosDegrees>);
  t.Set(332, FloatFunction<I, CosDegrees>);
  t.Set(341, FloatFunction<F, SinDegrees>);
  t.Set(342, FloatFunction<I, SinDegrees>);
  t.Set(381, FloatFunction<F, TanDegrees>);
  t.Set(382, FloatFunction<I, TanDegrees>);
  t.Set(222, FloatFunction<F, Cosh>);
  t.Set(371, FloatFunction<I, Cosh>);
  t.Set(225, FloatFunction<F, Sinh>);
  t.Set(372, FloatFunction<I, Sinh>);
  t.Set(226, FloatFunction<F, Tanh>);
  t.Set(373, FloatFunction<I, Tanh>);
  t.Set(257, FloatFunction<F, Sqrt>);
  t.Set(258, FloatFunction<I, Sqrt>);
  t.Set(218, ExpInt);
  // result (f), y, x.
  t.Set(364, Atan2<F, F>);
  t.Set(365, Atan2<I, F>);
  t.Set(366, Atan2<F, I>);
  t.Set(367, Atan2<I, I>);
  // Random numbers.
  t.Set(245, Randomize);
  t.Set(390, RandomInt);
  t.Set(249, RandomFloat);
  // variable [, amount (f)].
  t.Set(411, StepFloatVariable<+1, Step::kOne>);
  t.Set(412, StepIntVariable<+1, Step::kOne>);
  t.Set(413, StepFloatVariable<+1, Step::kAmount>);
  t.Set(414, StepIntVariable<+1, Step::kAmount>);
  t.Set(421, StepFloatVariable<-1, Step::kOne>);
  t.Set(422, StepIntVariable<-1, Step::kOne>);
  t.Set(423, StepFloatVariable<-1, Step::kAmount>);
  t.Set(424, StepIntVariable<-1, Step::kAmount>);
}

}  // namespace zv
