// The example game, examples/star_catcher.kqa, played headless with every
// command of the system on virtual time.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "app/all_handlers.h"
#include "tests/display/game/example_game.h"

namespace zv {
namespace {

using test::DrawingRun;

// Colours the game draws with, as the frame holds them.
constexpr uint32_t kBasketRim = 0xE6AA5A;  // rgb(230,170,90)
constexpr uint32_t kDemoText = 0xFF7878;   // rgb(255,120,120), also the lives
constexpr uint32_t kScoreText = 0xFFFFFF;
constexpr uint32_t kGameOverText = 0xFF5050;  // rgb(255,80,80)
constexpr int32_t kRimRow = 436;  // the ground is at 452; the rim 16 rows above

class StarCatcher : public test::ExampleGame {
 protected:
  // Plays `frames` frames with every command of the system.
  DrawingRun Play(uint32_t frames, const std::string& command_line = "",
                  const std::function<void(platform::HeadlessWindow&)>& script = {}) {
    StartServices services;
    services.register_handlers = RegisterAllHandlers;
    return ExampleGame::Play("star_catcher.kqa", std::move(services), frames, command_line, script);
  }
};

// With one life the autopilot loses it near frame 260: the sprites go and
// the game-over lines show.
TEST_F(StarCatcher, ALostLastLifeEndsTheGame) {
  const DrawingRun run = Play(300, "1");
  ASSERT_EQ(run.status, kExitClean) << run.errors;
  ASSERT_EQ(run.width, 640);
  EXPECT_EQ(Count(run, kBasketRim, 0, kRimRow - 1, 640, kRimRow + 2), 0) << "the basket stayed";
  EXPECT_GT(Count(run, kGameOverText, 200, 190, 440, 230), 50) << "no game-over line";
}

// The game-over screen waits 150 frames, then the next game starts.
TEST_F(StarCatcher, PlaysItselfThroughAGameOverIntoTheNextGame) {
  const DrawingRun run = Play(480, "1");
  ASSERT_EQ(run.status, kExitClean) << run.errors;
  EXPECT_EQ(run.errors, "");
  EXPECT_EQ(run.printed, "");
  ASSERT_EQ(run.width, 640);
  ASSERT_EQ(run.height, 480);
  EXPECT_GT(Count(run, kBasketRim, 0, kRimRow - 1, 640, kRimRow + 2), 40) << "no basket on the ground";
  EXPECT_GT(Count(run, kScoreText, 0, 0, 200, 30), 20) << "no score";
  EXPECT_GT(Count(run, kDemoText, 100, 30, 540, 60), 20) << "no demo line";
  EXPECT_EQ(Count(run, kGameOverText, 200, 190, 440, 230), 0) << "the game-over line stayed";
}

TEST_F(StarCatcher, TypedKeysSteerTheBasketAndEndTheDemo) {
  const DrawingRun steered = Play(160, "", [](platform::HeadlessWindow& window) { window.Type("d", 1500); });
  ASSERT_EQ(steered.status, kExitClean) << steered.errors;
  ASSERT_EQ(steered.width, 640);
  // Sent right, the basket waits at the right edge (x 583 to 639).
  EXPECT_GT(Count(steered, kBasketRim, 583, kRimRow - 1, 640, kRimRow + 2), 100);
  EXPECT_EQ(Count(steered, kBasketRim, 0, kRimRow - 1, 560, kRimRow + 2), 0);
  EXPECT_EQ(Count(steered, kDemoText, 100, 30, 540, 60), 0) << "the demo line stayed";
}

TEST_F(StarCatcher, VirtualTimeMakesEveryRunTheSame) {
  const DrawingRun first = Play(40);
  const DrawingRun second = Play(40);
  ASSERT_EQ(first.status, kExitClean) << first.errors;
  ASSERT_FALSE(first.frame.empty());
  EXPECT_EQ(first.Hash(), second.Hash());
}

}  // namespace
}  // namespace zv
