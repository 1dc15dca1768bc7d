#include "platform/input/axis_scale.h"

#include <gtest/gtest.h>

#include <cmath>

namespace zv::platform {
namespace {

TEST(AxisScale, AxesSpanTheirWholeRangeUntilToldOtherwise) {
  AxisScale scale;
  EXPECT_EQ(scale.Value(Axis::kX, -1.0), 0);
  EXPECT_EQ(scale.Value(Axis::kX, 1.0), 65535);
  EXPECT_EQ(scale.Value(Axis::kSlider1, 0.0), 32768);
}

TEST(AxisScale, ARangeMapsTheEndsAndTheCentre) {
  AxisScale scale;
  scale.SetRange(Axis::kY, -1000, 1000);
  EXPECT_EQ(scale.Value(Axis::kY, -1.0), -1000);
  EXPECT_EQ(scale.Value(Axis::kY, 0.0), 0);
  EXPECT_EQ(scale.Value(Axis::kY, 0.25), 250);
  EXPECT_EQ(scale.Value(Axis::kY, 7.0), 1000) << "past the end stays at the end";
  EXPECT_EQ(scale.Value(Axis::kY, std::nan("")), 0) << "no position reads as the centre";
  EXPECT_EQ(scale.Value(Axis::kX, 1.0), 65535) << "ranges are per axis";
}

TEST(AxisScale, TheDeadZoneReadsAsTheCentreAndTheRestSpreadsOverTheRange) {
  AxisScale scale;
  scale.SetRange(Axis::kX, -1000, 1000);
  scale.SetDeadZone(1000);
  EXPECT_EQ(scale.Value(Axis::kX, 0.1), 0);
  EXPECT_EQ(scale.Value(Axis::kX, -0.1), 0);
  EXPECT_EQ(scale.Value(Axis::kX, -0.55), -500);
  EXPECT_EQ(scale.Value(Axis::kX, 1.0), 1000);
  scale.SetDeadZone(20000);
  EXPECT_EQ(scale.Value(Axis::kX, 1.0), 0) << "a dead zone over the whole travel";
}

TEST(AxisScale, AxesADeviceLacksReadZero) {
  AxisScale scale;
  ControlPositions p;
  p.has_axis[static_cast<int>(Axis::kX)] = true;
  p.axes[static_cast<int>(Axis::kX)] = 1.0;
  p.axes[static_cast<int>(Axis::kY)] = 1.0;  // not there
  p.buttons[2] = kKeyHeld;
  JoystickState s = scale.Apply(p);
  EXPECT_EQ(s.x, 65535);
  EXPECT_EQ(s.y, 0);
  EXPECT_EQ(s.pov[3], kPovCentred);
  EXPECT_EQ(s.buttons[2], kKeyHeld);
}

}  // namespace
}  // namespace zv::platform
