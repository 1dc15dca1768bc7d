// The example game, examples/star_catcher.kqa, compiled from its file and
// run headless with every command of the system on virtual time, so that
// each run shows the same frames however busy the machine is.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include "app/all_handlers.h"
#include "compiler/compiler.h"
#include "display/display_factory.h"
#include "platform/clock/clock.h"
#include "platform/window/headless/headless_window.h"
#include "runtime/startup.h"
#include "tests/display/drawing_run.h"

namespace zv {
namespace {

namespace fs = std::filesystem;
using test::DrawingRun;

// Colours the game draws with, as the frame holds them.
constexpr uint32_t kBasketRim = 0xE6AA5A;  // rgb(230,170,90)
constexpr uint32_t kDemoText = 0xFF7878;   // rgb(255,120,120), also the lives
constexpr uint32_t kScoreText = 0xFFFFFF;
constexpr uint32_t kGameOverText = 0xFF5050;  // rgb(255,80,80)
constexpr int32_t kRimRow = 436;  // the ground is at 452; the rim 16 rows above

class StarCatcher : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = fs::temp_directory_path() / ("zv_star_catcher_" + std::to_string(getpid()));
    fs::create_directories(folder_);
  }
  void TearDown() override { fs::remove_all(folder_); }

  // Plays `frames` frames, with `command_line` after the file name; `script`
  // may queue window events first.
  DrawingRun Play(uint32_t frames, const std::string& command_line = "",
                  const std::function<void(platform::HeadlessWindow&)>& script = {}) {
    DrawingRun run;
    platform::ManualClock clock(1000);
    platform::HeadlessWindow window(clock);
    if (script) script(window);
    auto frame = std::make_shared<std::vector<uint32_t>>();
    StartOptions options;
    options.executable_path = (folder_ / "game").string();
    options.headless = true;
    options.frames = frames;
    options.command_line = command_line;
    options.app_folder = folder_.string() + "/";
    StartServices services;
    services.clock = &clock;
    services.window = &window;
    services.user_state_folder = folder_.string() + "/";
    services.register_handlers = RegisterAllHandlers;
    services.make_display = [&](platform::Window& w, Vm& vm) {
      return MakeDisplayServices(vm, w, std::make_unique<test::CapturePresenter>(frame, &run.width, &run.height));
    };
    const std::string source = std::string(ZV_SOURCE_DIR) + "/examples/star_catcher.kqa";
    services.compile = [source, &run](const std::string& program, std::string*) {
      CompileResult compiled = CompileFile(source, program);
      if (!compiled.ok && compiled.error) run.errors = FormatCompileError(*compiled.error);
      return compiled.ok;
    };
    services.echo = [&run](std::string_view piece) { run.printed += std::string(piece); };
    services.error_out = [&run](std::string_view text) { run.errors += std::string(text); };
    const fs::path before = fs::current_path();
    fs::current_path(folder_);
    run.status = RunRuntime(options, std::move(services));
    fs::current_path(before);
    run.frame = *frame;
    return run;
  }

  static int Count(const DrawingRun& run, uint32_t colour, int32_t left, int32_t top, int32_t right, int32_t bottom) {
    int count = 0;
    for (int32_t y = top; y < bottom; ++y)
      for (int32_t x = left; x < right; ++x) count += run.At(x, y) == colour;
    return count;
  }

  fs::path folder_;
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
