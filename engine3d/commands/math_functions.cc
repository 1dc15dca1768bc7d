#include "engine3d/commands/math_functions.h"


#include "engine3d/objects/matrix_math.h"
#include "runtime/vm/numeric/degrees.h"

namespace zv {
namespace {

// current + (destination - current) / speed.
float CurveValue(float destination, float current, float speed) {
  return current + (destination - current) / speed;
}

// Steps along a heading in degrees, as sin() and cos() give it: a heading
// of 90 moves along x alone.
float NewXValue(float base, float angle, float distance) {
  return static_cast<float>(base + SinDegrees(angle) * distance);
}
float NewZValue(float base, float angle, float distance) {
  return static_cast<float>(base + CosDegrees(angle) * distance);
}
float NewYValue(float base, float angle, float distance) {
  return static_cast<float>(base - SinDegrees(angle) * distance);
}

// The angle `speed` times nearer to `destination` from `current`, the short
// way round; both wrapped into [0, 360) first, and so the result.
float CurveAngle(float destination, float current, float speed) {
  const float d = WrapAngle(destination);
  const float c = WrapAngle(current);
  float difference = d - c;
  if (difference < -180.0f) difference = d + 360.0f - c;
  if (difference > 180.0f) difference = d - (c + 360.0f);
  return WrapAngle(c + difference / speed);
}

// The functions of three floats.
template <float (*Compute)(float, float, float)>
void FnOfThree(Vm& vm) {
  const Slot result = vm.NextSlot();
  const float a = vm.NextFloat();
  const float b = vm.NextFloat();
  const float c = vm.NextFloat();
  vm.SetFloat(result, Compute(a, b, c));
}

void FnWrapValue(Vm& vm) {
  const Slot result = vm.NextSlot();
  const float angle = vm.NextFloat();
  vm.SetFloat(result, WrapAngle(angle));
}

}  // namespace

void RegisterMathFunctionHandlers(HandlerTable& table) {
  table.Set(7951, FnOfThree<CurveValue>);  // curve value
  table.Set(7952, FnWrapValue);
  table.Set(7953, FnOfThree<NewXValue>);  // new x value
  table.Set(7954, FnOfThree<NewZValue>);  // new z value
  table.Set(7955, FnOfThree<NewYValue>);  // new y value
  table.Set(7956, FnOfThree<CurveAngle>);  // curve angle
}

}  // namespace zv
