#include "platform/input/axis_scale.h"

#include <algorithm>
#include <cmath>

namespace zv::platform {
namespace {

constexpr double kFullTravel = 10000.0;

// The travel beyond the dead zone, spread again over -1..1, so the stick
// reaches the ends of its range however wide the dead zone.
double OutsideDeadZone(double position, uint32_t dead_zone) {
  if (!std::isfinite(position)) return 0.0;
  position = std::clamp(position, -1.0, 1.0);
  const double zone = std::min<double>(dead_zone, kFullTravel) / kFullTravel;
  const double distance = std::fabs(position);
  if (distance <= zone || zone >= 1.0) return 0.0;
  return std::copysign((distance - zone) / (1.0 - zone), position);
}

}  // namespace

int32_t AxisScale::Value(Axis axis, double position) const {
  const Range& r = ranges_[static_cast<int>(axis)];
  const double travel = (OutsideDeadZone(position, dead_zone_) + 1.0) / 2.0;
  const double value = r.min + travel * (static_cast<double>(r.max) - r.min);
  return static_cast<int32_t>(std::lround(value));
}

JoystickState AxisScale::Apply(const ControlPositions& positions) const {
  std::array<int32_t, kAxisCount> values{};
  for (int a = 0; a < kAxisCount; ++a)
    if (positions.has_axis[a]) values[a] = Value(static_cast<Axis>(a), positions.axes[a]);
  JoystickState state;
  state.x = values[static_cast<int>(Axis::kX)];
  state.y = values[static_cast<int>(Axis::kY)];
  state.z = values[static_cast<int>(Axis::kZ)];
  state.rx = values[static_cast<int>(Axis::kRx)];
  state.ry = values[static_cast<int>(Axis::kRy)];
  state.rz = values[static_cast<int>(Axis::kRz)];
  state.sliders = {values[static_cast<int>(Axis::kSlider0)], values[static_cast<int>(Axis::kSlider1)]};
  state.pov = positions.pov;
  state.buttons = positions.buttons;
  return state;
}

}  // namespace zv::platform
