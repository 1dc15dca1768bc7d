#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>

#include "platform/window/headless/headless_window.h"
#include "runtime/startup.h"
#include "tests/display/drawing_run.h"

namespace zv::test {

// The example games of examples/, compiled from their files and run
// headless on virtual time in a folder of their own, so that each run shows
// the same frames however busy the machine is.
class ExampleGame : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Plays examples/`example` for `frames` frames with `command_line` after
  // the file name, through `services` (which give the commands); `script`
  // may queue window events first.
  DrawingRun Play(const std::string& example, StartServices services, uint32_t frames,
                  const std::string& command_line = "",
                  const std::function<void(platform::HeadlessWindow&)>& script = {});

  // How many pixels of the rectangle (right and bottom outside) pass `test`.
  static int Count(const DrawingRun& run, int32_t left, int32_t top, int32_t right, int32_t bottom,
                   const std::function<bool(uint32_t)>& test);
  static int Count(const DrawingRun& run, uint32_t colour, int32_t left, int32_t top, int32_t right,
                   int32_t bottom) {
    return Count(run, left, top, right, bottom, [colour](uint32_t p) { return p == colour; });
  }

  std::filesystem::path folder_;
};

}  // namespace zv::test
