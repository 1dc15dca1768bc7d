// Frames per second of whole frames (the 3D render of many lit cubes over
// the backdrop, the 2D passes, the presentation) at 640x480, measured by a
// compiled BASIC program run headless in this process: it makes the cubes
// in a grid before the camera, shows a few frames, then times `kFrames`
// frames with its own timer.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <optional>
#include <string>

#include "bench/engine3d/program_run.h"

namespace zv {
namespace {

constexpr int kFrames = 30;

std::string Program(int cubes, int depth) {
  return "sync on\nsync rate 0\nhide mouse\ndisable auto camera\nset display mode 640, 480, " +
         std::to_string(depth) + "\nfor i = 1 to " + std::to_string(cubes) +
         "\n"
         "  k = i - 1\n"
         "  make object cube i, 8\n"
         "  position object i, (k - k / 10 * 10) * 15 - 67, (k / 10 - k / 100 * 10) * 15 - 67, k / 100 * 15\n"
         "  rotate object i, 30, 30, 0\n"
         "next i\n"
         "position camera 0, 0, -170\n"
         "for f = 1 to 3 : sync : next f\n"
         "t = timer()\n"
         "for f = 1 to " +
         std::to_string(kFrames) +
         " : sync : next f\n"
         "print timer() - t\n"
         "end\n";
}

// What the program printed: the milliseconds it took for kFrames frames.
std::optional<std::string> RunScene(int cubes, int depth) {
  // With ZV_BENCH_DUMP=folder each scene's last frame is written there, to
  // see what was drawn.
  std::string screenshot;
  if (const char* dump = std::getenv("ZV_BENCH_DUMP"))
    screenshot = std::string(dump) + "/cubes_" + std::to_string(cubes) + "_" + std::to_string(depth) + ".png";
  return bench::RunProgram(Program(cubes, depth), {}, screenshot);
}

void BM_CubesPerFrame(benchmark::State& state) {
  const int cubes = static_cast<int>(state.range(0)), depth = static_cast<int>(state.range(1));
  for (auto _ : state)
    if (!bench::RecordFrameTime(state, RunScene(cubes, depth), kFrames)) return;
}
BENCHMARK(BM_CubesPerFrame)
    ->ArgNames({"cubes", "bits"})
    ->Args({100, 16})
    ->Args({1000, 16})
    ->Args({100, 32})
    ->Args({1000, 32})
    ->UseManualTime()
    ->Iterations(1)
    ->Repetitions(3)
    ->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace zv

BENCHMARK_MAIN();
