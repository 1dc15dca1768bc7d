#pragma once

#include <cfloat>
#include <cmath>

namespace zv::platform {

// Narrows to a 32-bit float; magnitudes beyond its range become infinities
// (a plain conversion of those is undefined).
inline float ToSingle(double value) {
  if (value > FLT_MAX) return HUGE_VALF;
  if (value < -FLT_MAX) return -HUGE_VALF;
  return static_cast<float>(value);
}

}  // namespace zv::platform
