#include "runtime/vm/numeric/degrees.h"

#include <cmath>
#include <limits>
#include <numbers>
#include <optional>

namespace zv {
namespace {

constexpr double kRadiansPerDegree = std::numbers::pi / 180.0;
constexpr double kDegreesPerRadian = 180.0 / std::numbers::pi;

// The angle as a number of quarter turns and the rest, within 45 degrees
// either way; remainder() is exact, and so is taking the quarters off an
// angle within half a turn. Nothing for an angle that is not finite.
struct Quarters {
  int quarters;
  double rest;
};
std::optional<Quarters> SplitQuarters(double degrees) {
  if (!std::isfinite(degrees)) return std::nullopt;
  const double within_half_turn = std::remainder(degrees, 360.0);
  const double quarters = std::nearbyint(within_half_turn / 90.0);
  return Quarters{static_cast<int>(quarters), within_half_turn - quarters * 90.0};
}

// The sine of the angle; adding 0 turns -0 into 0, which a program would
// print as "-0".
double Sine(std::optional<Quarters> angle) {
  if (!angle) return std::numeric_limits<double>::quiet_NaN();
  const double x = angle->rest * kRadiansPerDegree;
  switch (angle->quarters & 3) {
    case 0: return std::sin(x) + 0.0;
    case 1: return std::cos(x) + 0.0;
    case 2: return -std::sin(x) + 0.0;
    default: return -std::cos(x) + 0.0;
  }
}

}  // namespace

double SinDegrees(double degrees) { return Sine(SplitQuarters(degrees)); }

// The cosine is the sine a quarter turn on.
double CosDegrees(double degrees) {
  std::optional<Quarters> angle = SplitQuarters(degrees);
  if (angle) ++angle->quarters;
  return Sine(angle);
}

double TanDegrees(double degrees) {
  // The tangent repeats every half turn; remainder() keeps the angle exact.
  return std::tan(std::remainder(degrees, 180.0) * kRadiansPerDegree) + 0.0;
}

double RadiansOf(double degrees) { return degrees * kRadiansPerDegree; }
double DegreesOf(double radians) { return radians * kDegreesPerRadian; }

}  // namespace zv
