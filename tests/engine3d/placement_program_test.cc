#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "tests/engine3d/engine_run.h"

namespace zv::test {
namespace {

namespace fs = std::filesystem;

constexpr uint32_t kBackdrop = 0x00007B;  // 128 blue on the 5-6-5 screen

class PlacementPrograms : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = fs::temp_directory_path() / ("zv_engine3d_placement_" + std::to_string(getpid()));
    fs::create_directories(folder_);
  }
  void TearDown() override { fs::remove_all(folder_); }

  // An object (by default a cube of 10) at the origin seen from 40 units in
  // front of it, and then the program's own lines.
  EngineRun Run(const std::string& body, const std::string& object = "make object cube 1, 10\n") {
    EngineRun run = RunEngineProgram(
        "sync on\nhide mouse\ndisable auto camera\n" + object + "position camera 0, 0, -40\n" + body +
            "sync\nsync\nend\n",
        folder_.string());
    EXPECT_EQ(run.errors, "");
    return run;
  }

  fs::path folder_;
};

// 15 units to the side at 40 units' distance, on the 640-wide screen.
constexpr int kFifteenUnits = 94;

TEST_F(PlacementPrograms, MovingGoesAlongTheWayTheObjectFaces) {
  EngineRun right = Run("y rotate object 1, 90\nmove object 1, 15\n");
  EXPECT_EQ(right.At(320, 240), kBackdrop);
  EXPECT_NE(right.At(320 + kFifteenUnits, 240), kBackdrop);
  EngineRun pointed = Run("point object 1, 0, 0, -10\nmove object 1, -15\n");
  EXPECT_LT(pointed.CountOtherThan(kBackdrop), Run("").CountOtherThan(kBackdrop));
}

TEST_F(PlacementPrograms, TurningUsesTheFreeMatrixAndRotatingLeavesIt) {
  EngineRun turned = Run("turn object left 1, 90\nmove object 1, 15\n");
  EXPECT_NE(turned.At(320 - kFifteenUnits, 240), kBackdrop);
  EXPECT_EQ(turned.At(320, 240), kBackdrop);
  // Rotating by angles returns to the angle mode with no turn left.
  EngineRun back = Run("turn object left 1, 90\nrotate object 1, 0, 0, 0\nmove object 1, 15\n");
  EXPECT_EQ(back.At(320 - kFifteenUnits, 240), kBackdrop);
  EXPECT_EQ(back.At(320 + kFifteenUnits, 240), kBackdrop);
}

// A bar 20 long on z seen end on: how many of 19 points across the screen
// and 19 down it the turned bar covers.
struct Cover {
  int across = 0, down = 0;
};

TEST_F(PlacementPrograms, TheRotationOrderAndAFixedPivotShapeTheTurn) {
  auto bar = [&](const std::string& body) {
    const EngineRun run = Run(body, "make object box 1, 2, 2, 20\n");
    Cover c;
    for (int d = -90; d <= 90; d += 10) {
      c.across += run.At(320 + d, 240) != kBackdrop;
      c.down += run.At(320, 240 + d) != kBackdrop;
    }
    return c;
  };
  auto lies_across = [](Cover c) { return c.across == 19 && c.down < 5; };
  auto stands_up = [](Cover c) { return c.down == 19 && c.across < 5; };
  // Turned 90 about x and about y: about z, y, x in that order the bar lies
  // across the view, about x first it stands up.
  EXPECT_TRUE(lies_across(bar("rotate object 1, 90, 90, 0\n")));
  EXPECT_TRUE(lies_across(bar("set object rotation zyx 1\nset object rotation xyz 1\nrotate object 1, 90, 90, 0\n")));
  EXPECT_TRUE(stands_up(bar("set object rotation zyx 1\nrotate object 1, 90, 90, 0\n")));
  // A fixed pivot keeps the turn in the shape, so later angles turn the
  // turned shape: stood up, then about y, it still stands.
  EXPECT_TRUE(lies_across(bar("x rotate object 1, 90\ny rotate object 1, 90\n")));
  EXPECT_TRUE(stands_up(bar("x rotate object 1, 90\nfix object pivot 1\ny rotate object 1, 90\n")));
  EXPECT_TRUE(lies_across(bar("pitch object up 1, 90\nturn object left 1, 90\n")));
  EXPECT_TRUE(stands_up(bar("pitch object up 1, 90\nfix object pivot 1\nturn object left 1, 90\n")));
}

TEST_F(PlacementPrograms, ScalingGrowsAndCollapsesTheObject) {
  const size_t normal = Run("").CountOtherThan(kBackdrop);
  EXPECT_GT(Run("scale object 1, 200, 200, 200\n").CountOtherThan(kBackdrop), 3 * normal);
  EXPECT_EQ(Run("scale object 1, 0, 0, 0\n").CountOtherThan(kBackdrop), 0u);
}

TEST_F(PlacementPrograms, ObjectsBehindTheCameraAreNotDrawn) {
  EXPECT_EQ(Run("position object 1, 0, 0, -80\n").CountOtherThan(kBackdrop), 0u);
}

TEST_F(PlacementPrograms, ALockedObjectStaysBeforeTheCamera) {
  EngineRun run = Run("position object 1, 0, 0, 30\nlock object 1\nposition camera 500, 0, 900\n");
  EXPECT_NE(run.At(320, 240), kBackdrop);
  // So does what is glued to it, 8 above it (y = 240 - 8 / 30 x 1.6653 x 240).
  EngineRun flash = Run("position object 1, 0, 0, 30\nlock object 1\nmake object cube 2, 4\n"
                        "glue object to limb 2, 1, 0 : position object 2, 0, 8, 0\nposition camera 500, 0, 900\n");
  EXPECT_NE(flash.At(320, 240), kBackdrop);
  EXPECT_NE(flash.At(320, 133), kBackdrop);
  EXPECT_EQ(Run("position object 1, 0, 0, 30\nlock object 1\nunlock object 1\nposition camera 500, 0, 900\n")
                .CountOtherThan(kBackdrop),
            0u);
}

TEST_F(PlacementPrograms, RenderFlagsSelectLightingWireframeAndGhosting) {
  const uint32_t lit = Run("").At(320, 240);
  // Unlit, a white object shows the ambient colour fully.
  EXPECT_EQ(Run("set object render flags 1, 1, 1, 1, 1, 0\n").At(320, 240), 0xFFFFFFu);
  // In wireframe far fewer pixels are covered.
  EXPECT_LT(Run("set object render flags 1, 0, 1, 1\n").CountOtherThan(kBackdrop),
            Run("").CountOtherThan(kBackdrop) / 4);
  // The scene-wide switch sets the frame's default, which each object's
  // own flags replace: a solid object stays solid.
  EXPECT_EQ(Run("enable wireframe\n").CountOtherThan(kBackdrop), Run("").CountOtherThan(kBackdrop));
  // Ghosted, the backdrop shows through.
  const uint32_t ghost = Run("enable object ghost 1\n").At(320, 240);
  EXPECT_NE(ghost, lit);
  EXPECT_NE(ghost, kBackdrop);
  EXPECT_EQ(Run("enable object ghost 1\ndisable object ghost 1\n").At(320, 240), lit);
}

}  // namespace
}  // namespace zv::test
