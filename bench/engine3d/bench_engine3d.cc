// Frames per second of whole frames (the 3D render over the backdrop, the 2D
// passes, the presentation) at 640x480, measured by compiled BASIC programs
// run headless in this process: each builds its scene (many lit cubes in a
// grid before the camera, spheres and boxes moving and asking for
// collisions every frame, or a large textured matrix seen from above its
// edge), shows a few frames, then times `kFrames` frames with its own timer.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdlib>
#include <map>
#include <optional>
#include <string>

#include "bench/engine3d/program_run.h"

namespace zv {
namespace {

constexpr int kFrames = 30;

// The timed frames that end every scene's program.
std::string TimedFrames() {
  return "for f = 1 to 3 : sync : next f\n"
         "t = timer()\n"
         "for f = 1 to " +
         std::to_string(kFrames) +
         " : sync : next f\n"
         "print timer() - t\n"
         "end\n";
}

std::string CubesProgram(int cubes, int depth) {
  return "sync on\nsync rate 0\nhide mouse\ndisable auto camera\nset display mode 640, 480, " +
         std::to_string(depth) + "\nfor i = 1 to " + std::to_string(cubes) +
         "\n"
         "  k = i - 1\n"
         "  make object cube i, 8\n"
         "  position object i, (k - k / 10 * 10) * 15 - 67, (k / 10 - k / 100 * 10) * 15 - 67, k / 100 * 15\n"
         "  rotate object i, 30, 30, 0\n"
         "next i\n"
         "position camera 0, 0, -170\n" +
         TimedFrames();
}

// 1,000 objects, spheres and boxes in turn, on a 40 x 25 grid 8 apart, each
// swinging along x so that neighbours pass through each other; every frame
// moves them all and asks, for each, whether it hits any other (the first
// query tests all pairs), with `queries` 0 the same without asking.
std::string CollisionProgram(bool queries) {
  return "sync on\nsync rate 0\nhide mouse\ndisable auto camera\n"
         "for i = 1 to 1000\n"
         "  k = i - 1\n"
         "  if k - k / 2 * 2 = 0\n"
         "    make object sphere i, 5\n"
         "  else\n"
         "    make object box i, 5, 4, 3 : set object collision to boxes i\n"
         "  endif\n"
         "next i\n"
         "position camera 0, 0, -260\n"
         "hits = 0\n"
         "for f = 1 to 3 : sync : next f\n"
         "t = timer()\n"
         "for f = 1 to " +
         std::to_string(kFrames) +
         "\n"
         "  for i = 1 to 1000\n"
         "    k = i - 1\n"
         "    position object i, (k - k / 40 * 40) * 8 - 156 + sin(f * 6 + k * 90) * 5, (k / 40) * 8 - 96, 0\n"
         "  next i\n" +
         (queries ? "  for i = 1 to 1000\n"
                    "    if object collision(i, 0) > 0 then hits = hits + 1\n"
                    "  next i\n"
                  : "") +
         "  sync\n"
         "next f\n"
         "print timer() - t\n"
         "end\n";
}

// The matrix's texture, a 64 x 64 BMP file of 24 bits: four coloured tiles
// of 32 x 32 with a few dots.
constexpr char kGroundPicture[] = "ground.bmp";
std::string GroundPicture() {
  constexpr int32_t kSide = 64;
  std::string file;
  auto put = [&file](uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) file += static_cast<char>((value >> (8 * i)) & 0xFF);
  };
  const uint32_t pixels = kSide * kSide * 3;
  file += "BM";
  put(54 + pixels, 4), put(0, 4), put(54, 4);
  put(40, 4), put(kSide, 4), put(kSide, 4), put(1, 2), put(24, 2), put(0, 4), put(pixels, 4);
  put(0, 4), put(0, 4), put(0, 4), put(0, 4);
  const uint32_t tiles[4] = {0x28A028, 0x785A28, 0x969696, 0xDCC878};
  for (int32_t y = kSide - 1; y >= 0; --y)  // bottom row first
    for (int32_t x = 0; x < kSide; ++x)
      put((x * 7 + y * 3) % 11 == 0 ? 0x202020 : tiles[(y / 32) * 2 + x / 32], 3);
  return file;
}

// A matrix of tiles x tiles cells over random hills, textured with the
// ground picture's four tiles laid in stripes, seen from above one edge so
// that it fills the screen.
std::string MatrixProgram(int tiles, int depth) {
  const std::string n = std::to_string(tiles), last = std::to_string(tiles - 1);
  return "sync on\nsync rate 0\nhide mouse\nset display mode 640, 480, " + std::to_string(depth) +
         "\n"
         "load image \"" + std::string(kGroundPicture) + "\", 1\n"
         "make matrix 1, 1000, 1000, " + n + ", " + n +
         "\n"
         "prepare matrix texture 1, 1, 2, 2\n"
         "randomize 1\nrandomize matrix 1, 40\n"
         "for x = 0 to " + last + " : for z = 0 to " + last +
         "\n"
         "  t = x + z : t = t - t / 4 * 4 + 1 : set matrix tile 1, x, z, t\n"
         "next z : next x\n"
         "update matrix 1\n"
         "position camera 500, 250, -150 : point camera 500, 0, 450\n" +
         TimedFrames();
}

// What the program printed: the milliseconds it took for kFrames frames.
// With ZV_BENCH_DUMP=folder each scene's last frame is written there, to see
// what was drawn.
std::optional<std::string> RunScene(const std::string& program, const std::string& name) {
  std::string screenshot;
  if (const char* dump = std::getenv("ZV_BENCH_DUMP")) screenshot = std::string(dump) + "/" + name + ".png";
  return bench::RunProgram(program, {{kGroundPicture, GroundPicture()}}, screenshot);
}

// One run of the scene's program per iteration, its timed frames as the
// iteration's time.
void MeasureFrames(benchmark::State& state, const std::string& program, const std::string& name) {
  for (auto _ : state)
    if (!bench::RecordFrameTime(state, RunScene(program, name), kFrames)) return;
}

void BM_CubesPerFrame(benchmark::State& state) {
  const int cubes = static_cast<int>(state.range(0)), depth = static_cast<int>(state.range(1));
  MeasureFrames(state, CubesProgram(cubes, depth), "cubes_" + std::to_string(cubes) + "_" + std::to_string(depth));
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

// Frames per second of 1,000 moving spheres and boxes with collision on, at
// 640x480 in 16 bits, beside the same frames without the queries.
void BM_MovingObjectsWithCollision(benchmark::State& state) {
  const bool queries = state.range(0) != 0;
  MeasureFrames(state, CollisionProgram(queries), queries ? "collision" : "collision_not_asked");
}
BENCHMARK(BM_MovingObjectsWithCollision)
    ->ArgName("queries")
    ->Arg(1)
    ->Arg(0)
    ->UseManualTime()
    ->Iterations(1)
    ->Repetitions(3)
    ->Unit(benchmark::kMillisecond);

void BM_TexturedMatrix(benchmark::State& state) {
  const int tiles = static_cast<int>(state.range(0)), depth = static_cast<int>(state.range(1));
  MeasureFrames(state, MatrixProgram(tiles, depth), "matrix_" + std::to_string(tiles) + "_" + std::to_string(depth));
}
BENCHMARK(BM_TexturedMatrix)
    ->ArgNames({"tiles", "bits"})
    ->Args({64, 16})
    ->Args({64, 32})
    ->UseManualTime()
    ->Iterations(1)
    ->Repetitions(3)
    ->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace zv

BENCHMARK_MAIN();
