#pragma once

#include <array>
#include <cstdint>

#include "platform/input/input.h"

namespace zv::platform {

// Where a controller's controls stand, as a backend finds them: each axis it
// has from -1 (one end) to 1 (the other), its hats and its buttons.
struct ControlPositions {
  std::array<double, kAxisCount> axes{};
  std::array<bool, kAxisCount> has_axis{};
  std::array<uint32_t, 4> pov{kPovCentred, kPovCentred, kPovCentred, kPovCentred};
  std::array<uint8_t, 32> buttons{};
};

// The ranges and the dead zone that one opened joystick was given, and how
// they turn control positions into the values a program reads.
class AxisScale {
 public:
  AxisScale() { ranges_.fill(Range{}); }

  void SetRange(Axis axis, int32_t min, int32_t max) { ranges_[static_cast<int>(axis)] = {min, max}; }
  void SetDeadZone(uint32_t ten_thousandths) { dead_zone_ = ten_thousandths; }

  // The value of one axis at `position` (-1..1).
  int32_t Value(Axis axis, double position) const;
  JoystickState Apply(const ControlPositions& positions) const;

 private:
  struct Range {
    int32_t min = kDefaultAxisMin;
    int32_t max = kDefaultAxisMax;
  };
  std::array<Range, kAxisCount> ranges_;
  uint32_t dead_zone_ = 0;
};

}  // namespace zv::platform
