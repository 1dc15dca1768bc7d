// The 3D example game, examples/crystal_hills.kqa, played headless on
// virtual time through the same parts as the executable: the terrain, the
// lit and textured objects, the walking robot, its sounds and music.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "app/system_parts.h"
#include "platform/window/window.h"
#include "tests/display/game/example_game.h"

namespace zv {
namespace {

using test::DrawingRun;

int Red(uint32_t p) { return static_cast<int>((p >> 16) & 0xFF); }
int Green(uint32_t p) { return static_cast<int>((p >> 8) & 0xFF); }
int Blue(uint32_t p) { return static_cast<int>(p & 0xFF); }

// The robot's painted metal, lit: strongly orange.
bool Orange(uint32_t p) { return Red(p) > 120 && Red(p) > Green(p) + 40 && Green(p) > Blue(p) + 20; }
bool Grassy(uint32_t p) { return Green(p) > Red(p) + 20 && Green(p) > Blue(p) + 20; }
bool White(uint32_t p) { return p == 0xFFFFFF; }

// Where the camera keeps the robot, in the middle of the view, and the
// ground in front of it, above the demo line.
constexpr int32_t kRobotLeft = 260, kRobotTop = 150, kRobotRight = 380, kRobotBottom = 340;
constexpr int32_t kGroundTop = 340, kGroundBottom = 440;

// Under the sanitizers every frame costs a good part of a second: the runs
// there are short, long enough for the scene and a key to show.
#ifdef ZV_SHORT_GAMES
constexpr uint32_t kPlayFrames = 30, kKeyFrames = 40;
#else
constexpr uint32_t kPlayFrames = 300, kKeyFrames = 120;
#endif

class CrystalHills : public test::ExampleGame {
 protected:
  DrawingRun Play(uint32_t frames, const std::function<void(platform::HeadlessWindow&)>& script = {}) {
    SystemParts parts((folder_ / "game").string(), true);
    return ExampleGame::Play("crystal_hills.kqa", parts.Services(), frames, "", script);
  }

  static size_t Colours(const DrawingRun& run, int32_t top, int32_t bottom) {
    std::set<uint32_t> seen;
    for (int32_t y = top; y < bottom; ++y)
      for (int32_t x = 0; x < run.width; ++x) seen.insert(run.At(x, y));
    return seen.size();
  }
};

// The game playing itself (five seconds of it): textured, lit ground with the
// robot on it, the score panel and the demo line over the scene.
TEST_F(CrystalHills, PlaysItselfOverTexturedHills) {
  const DrawingRun run = Play(kPlayFrames);
  ASSERT_EQ(run.status, kExitClean) << run.errors;
  EXPECT_EQ(run.errors, "");
  EXPECT_EQ(run.printed, "");
  ASSERT_EQ(run.width, 640);
  ASSERT_EQ(run.height, 480);
  EXPECT_GT(Colours(run, kGroundTop, kGroundBottom), 300u) << "the ground is not textured and lit";
  EXPECT_GT(Count(run, 0, kGroundTop, 640, kGroundBottom, Grassy), 640 * 100 / 3) << "no grass";
  EXPECT_GT(Count(run, kRobotLeft, kRobotTop, kRobotRight, kRobotBottom, Orange), 800) << "no robot";
  EXPECT_GT(Count(run, 0, 0, 200, 32, White), 40) << "no crystal count";
  EXPECT_GT(Count(run, 150, 445, 490, 475, White), 100) << "no demo line";
}

// A key takes over from the autopilot: the demo line goes, and the robot
// stays in view.
TEST_F(CrystalHills, AKeyEndsTheDemo) {
  const DrawingRun run = Play(kKeyFrames, [](platform::HeadlessWindow& window) { window.Type("w", 1200); });
  ASSERT_EQ(run.status, kExitClean) << run.errors;
  ASSERT_EQ(run.width, 640);
  EXPECT_EQ(Count(run, 150, 445, 490, 475, White), 0) << "the demo line stayed";
  EXPECT_GT(Count(run, kRobotLeft, kRobotTop, kRobotRight, kRobotBottom, Orange), 800) << "no robot";
}

}  // namespace
}  // namespace zv
