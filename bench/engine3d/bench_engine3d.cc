// Frames per second of whole frames (the 3D render over the backdrop, the 2D
// passes, the presentation) at 640x480, measured by compiled BASIC programs
// run headless in this process: each builds its scene (many lit cubes in a
// grid before the camera, spheres and boxes moving and asking for
// collisions every frame, or a large textured matrix seen from above its
// edge), shows a few frames, then times `kFrames` frames with its own timer.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "compiler/compiler.h"
#include "display/codecs/image_codecs.h"
#include "display/display_commands.h"
#include "display/display_factory.h"
#include "display/images.h"
#include "engine3d/engine.h"
#include "engine3d/engine_handlers.h"
#include "runtime/console/console_commands.h"
#include "runtime/startup.h"
#include "runtime/vm/opcodes/core_handlers.h"
#include "runtime/vm/program_file.h"

namespace zv {
namespace {

namespace fs = std::filesystem;

// Frames are shown nowhere.
class NoPresenter final : public platform::Presenter {
 public:
  platform::DisplayMode Desktop() const override { return platform::DisplayMode{1024, 768, 32}; }
  void SetFullScreen(bool full_screen) override { full_screen_ = full_screen; }
  bool FullScreen() const override { return full_screen_; }

 protected:
  bool Show(const platform::Surface&) override { return true; }
  platform::Size ClientSize() const override { return platform::Size{640, 480}; }

 private:
  bool full_screen_ = false;
};

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

// The matrix's texture: four coloured tiles of 32 x 32 with a few dots.
constexpr char kGroundPicture[] = "ground.bmp";
bool WriteGroundPicture(const fs::path& folder) {
  platform::SurfaceDesc desc;
  desc.width = desc.height = 64;
  desc.format = platform::PixelFormat::Xrgb8888();
  platform::SurfacePtr picture = platform::Surface::Create(desc);
  const uint32_t tiles[4] = {0x28A028, 0x785A28, 0x969696, 0xDCC878};
  for (int32_t y = 0; y < 64; ++y)
    for (int32_t x = 0; x < 64; ++x)
      picture->SetPixelAt(x, y, (x * 7 + y * 3) % 11 == 0 ? 0x202020 : tiles[(y / 32) * 2 + x / 32]);
  return codecs::SaveImageFile(*picture, (folder / kGroundPicture).string()) == codecs::SaveOutcome::kWritten;
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

// Milliseconds the program took for kFrames frames; -1 when it failed.
int RunScene(const std::string& program, const std::string& name) {
  CompileResult compiled = CompileSource(program);
  if (!compiled.ok) return -1;
  const std::vector<uint8_t> bytes = EncodeProgramFile(compiled.program);
  const fs::path folder = fs::temp_directory_path() / ("zv_bench_engine3d_" + std::to_string(getpid()));
  fs::create_directories(folder);
  if (!WriteGroundPicture(folder)) return -1;
  Engine3D engine;
  std::string printed, errors;
  StartOptions options;
  options.executable_path = (folder / "game").string();
  options.headless = true;
  options.app_folder = folder.string() + "/";
  // With ZV_BENCH_DUMP=folder each scene's last frame is written there, to
  // see what was drawn.
  if (const char* dump = std::getenv("ZV_BENCH_DUMP"))
    options.screenshot = std::string(dump) + "/" + name + ".png";
  StartServices services;
  services.user_state_folder = folder.string() + "/";
  services.engine3d = &engine;
  services.register_handlers = [](HandlerTable& table) {
    RegisterCoreHandlers(table);
    RegisterConsoleHandlers(table);
    RegisterDisplayHandlers(table);
    RegisterImageHandlers(table);
    RegisterEngine3DHandlers(table);
  };
  services.make_display = [](platform::Window& window, Vm& vm) {
    return MakeDisplayServices(vm, window, std::make_unique<NoPresenter>());
  };
  services.compile = [bytes](const std::string& path, std::string*) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out);
  };
  services.echo = [&](std::string_view piece) { printed += std::string(piece); };
  services.error_out = [&](std::string_view text) { errors += std::string(text); };
  const fs::path before = fs::current_path();
  fs::current_path(folder);
  const int status = RunRuntime(options, std::move(services));
  fs::current_path(before);
  fs::remove_all(folder);
  if (status != 0 || !errors.empty()) {
    std::fprintf(stderr, "%s: %s\n", name.c_str(), errors.c_str());
    return -1;
  }
  return std::atoi(printed.c_str());
}

// One run of the scene's program per iteration, its timed frames as the
// iteration's time.
void MeasureFrames(benchmark::State& state, const std::string& program, const std::string& name) {
  for (auto _ : state) {
    const int ms = RunScene(program, name);
    if (ms <= 0) {
      state.SkipWithError("the scene did not run");
      return;
    }
    state.SetIterationTime(ms / 1000.0 / kFrames);
    state.counters["fps"] = kFrames * 1000.0 / ms;
  }
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
