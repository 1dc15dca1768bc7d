// Frames per second of a BASIC program that moves 1,000 sprites of 32 x 32
// pixels (and, to show that the cost per sprite does not grow with their
// number, 4,096 and 16,384 of them) on a 640 x 480 screen every frame, run headless in-process on a
// virtual clock (so no frame waits) with every command of the system: the
// program's loop, the sprite backgrounds restored and saved, the sprites
// drawn and the frame presented. The frames are timed as they are
// presented, after the first few, so start-up is not counted: "Time" is
// that of 300 frames, "CPU" that of the whole run, "fps" the figure.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "app/all_handlers.h"
#include "compiler/compiler.h"
#include "display/display_factory.h"
#include "platform/clock/clock.h"
#include "platform/present/presenter.h"
#include "platform/window/headless/headless_window.h"
#include "runtime/startup.h"
#include "runtime/vm/program_file.h"

namespace zv {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr uint32_t kWarmFrames = 10;
constexpr uint32_t kTimedFrames = 300;

// Keeps the time of every presented frame; shows nothing.
class TimingPresenter final : public platform::Presenter {
 public:
  explicit TimingPresenter(std::vector<Clock::time_point>* shown) : shown_(shown) {}
  platform::DisplayMode Desktop() const override { return platform::DisplayMode{1024, 768, 32}; }
  void SetFullScreen(bool full_screen) override { full_screen_ = full_screen; }
  bool FullScreen() const override { return full_screen_; }

 protected:
  bool Show(const platform::Surface&) override {
    shown_->push_back(Clock::now());
    return true;
  }
  platform::Size ClientSize() const override { return platform::Size{640, 480}; }

 private:
  std::vector<Clock::time_point>* shown_;
  bool full_screen_ = false;
};

// The program: a 32 x 32 ball grabbed as image 1, then `sprites` sprites
// that bounce around the screen, each moved every frame.
std::string Program(int depth, bool backsave, int sprites) {
  std::string s;
  s += "set display mode 640, 480, " + std::to_string(depth) + "\n";
  s += "sync on : sync rate 0 : hide mouse\n";
  s += "randomize 1\n";
  s += "create bitmap 1, 32, 32 : set current bitmap 1 : cls 0\n";
  s += "for r = 15 to 1 step -1 : ink rgb(255 - r * 12, 80 + r * 8, 40), 0 : circle 16, 16, r : next r\n";
  s += "get image 1, 0, 0, 32, 32 : set current bitmap 0\n";
  s += "ink rgb(30, 60, 90), 0 : box 0, 0, 640, 480\n";
  s += "n = " + std::to_string(sprites - 1) + "\n";
  s += "dim x(n) : dim y(n) : dim dx(n) : dim dy(n)\n";
  s += "for i = 0 to n\n";
  s += "  x(i) = rnd(607) : y(i) = rnd(447) : dx(i) = 1 + rnd(3) : dy(i) = 1 + rnd(3)\n";
  s += "  sprite i + 1, x(i), y(i), 1\n";
  if (!backsave) s += "  set sprite i + 1, 0, 1\n";
  s += "next i\n";
  s += "do\n";
  s += "  for i = 0 to n\n";
  s += "    x(i) = x(i) + dx(i) : y(i) = y(i) + dy(i)\n";
  s += "    if x(i) < 0 or x(i) > 607 then dx(i) = 0 - dx(i)\n";
  s += "    if y(i) < 0 or y(i) > 447 then dy(i) = 0 - dy(i)\n";
  s += "    sprite i + 1, x(i), y(i), 1\n";
  s += "  next i\n";
  s += "  sync\n";
  s += "loop\n";
  return s;
}

// Runs the program for the warm-up and timed frames; the seconds the timed
// frames took, or a negative value when the run failed.
double TimeFrames(const std::vector<uint8_t>& program, const fs::path& folder) {
  std::vector<Clock::time_point> shown;
  shown.reserve(kWarmFrames + kTimedFrames + 8);
  platform::ManualClock clock;
  platform::HeadlessWindow window(clock);
  StartOptions options;
  options.executable_path = (folder / "game").string();
  options.headless = true;
  options.frames = kWarmFrames + kTimedFrames;
  options.app_folder = folder.string() + "/";
  StartServices services;
  services.clock = &clock;
  services.window = &window;
  services.user_state_folder = folder.string() + "/";
  services.register_handlers = RegisterAllHandlers;
  services.make_display = [&shown](platform::Window& w, Vm& vm) {
    return MakeDisplayServices(vm, w, std::make_unique<TimingPresenter>(&shown));
  };
  services.compile = [&program](const std::string& path, std::string*) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(program.data()), static_cast<std::streamsize>(program.size()));
    return static_cast<bool>(out);
  };
  services.echo = [](std::string_view) {};
  std::string errors;
  services.error_out = [&errors](std::string_view text) { errors += std::string(text); };
  if (RunRuntime(options, std::move(services)) != kExitClean || shown.size() < kWarmFrames + kTimedFrames) {
    std::fprintf(stderr, "the sprite program failed: %s\n", errors.c_str());
    return -1.0;
  }
  return std::chrono::duration<double>(shown.back() - shown[kWarmFrames - 1]).count();
}

void BM_MovingSprites(benchmark::State& state) {
  const int depth = static_cast<int>(state.range(0));
  const bool backsave = state.range(1) != 0;
  const int sprites = static_cast<int>(state.range(2));
  CompileResult compiled = CompileSource(Program(depth, backsave, sprites));
  if (!compiled.ok) {
    state.SkipWithError(FormatCompileError(*compiled.error).c_str());
    return;
  }
  const std::vector<uint8_t> program = EncodeProgramFile(compiled.program);
  const fs::path folder = fs::temp_directory_path() / ("zv_bench_sprites_" + std::to_string(getpid()));
  fs::create_directories(folder);
  for (auto _ : state) {
    const double seconds = TimeFrames(program, folder);
    if (seconds <= 0.0) {
      state.SkipWithError("the run failed");
      break;
    }
    state.SetIterationTime(seconds);
  }
  fs::remove_all(folder);
  state.counters["fps"] = benchmark::Counter(static_cast<double>(state.iterations()) * kTimedFrames,
                                             benchmark::Counter::kIsRate);
}

BENCHMARK(BM_MovingSprites)
    ->ArgNames({"depth", "backsave", "sprites"})
    ->Args({16, 1, 1000})
    ->Args({32, 1, 1000})
    ->Args({16, 0, 1000})
    ->Args({32, 0, 1000})
    ->Args({32, 1, 4096})
    ->Args({32, 1, 16384})
    ->UseManualTime()
    ->Iterations(5)
    ->Repetitions(3)
    ->ReportAggregatesOnly(true)
    ->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace zv

BENCHMARK_MAIN();
