#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace zv {
class Vm;
}

namespace zv::test {

// What a compiled BASIC program using the 3D engine left: its output, its
// exit status, the runtime error text and the last frame it presented
// (0x00RRGGBB, row by row).
struct EngineRun {
  int status = -1;
  std::string printed;
  std::string errors;
  int32_t width = 0, height = 0;
  std::vector<uint32_t> frame;
  // How many texture records were in use as each frame was presented.
  std::vector<int32_t> live_textures;

  uint32_t At(int32_t x, int32_t y) const { return frame[static_cast<size_t>(y) * width + x]; }
  // How many pixels of the frame are not `colour`.
  size_t CountOtherThan(uint32_t colour) const;
  // The numbers the program printed, one a line.
  std::vector<double> PrintedNumbers() const;
};

// What a test does to a run besides running it: before the program starts,
// and once it has stopped (before anything of the run is released).
struct EngineRunHooks {
  std::function<void(Vm&)> on_loaded;
  std::function<void(Vm&)> on_stopped;
};

// Compiles and runs `source` headless with the display and the 3D engine,
// in `folder` (the program's current folder), for at most `frames` frames.
EngineRun RunEngineProgram(const std::string& source, const std::string& folder, uint32_t frames = 400,
                           EngineRunHooks hooks = {});

// Compares the frame with tests/engine3d/goldens/NAME.png; with
// ZV_UPDATE_GOLDENS=1 in the environment it writes the golden instead.
// Empty when they agree, else what differs.
std::string CompareWithGolden(const EngineRun& run, const std::string& name);

}  // namespace zv::test
