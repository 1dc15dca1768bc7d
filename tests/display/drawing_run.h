#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "display/image_files.h"
#include "platform/clock/clock.h"
#include "platform/present/presenter.h"
#include "platform/window/window.h"

namespace zv::test {

// A presenter without a device that keeps a copy of the last picture shown
// (and, given `before`, of the one before it).
class CapturePresenter final : public platform::Presenter {
 public:
  explicit CapturePresenter(std::shared_ptr<std::vector<uint32_t>> last, int32_t* width, int32_t* height,
                            std::shared_ptr<std::vector<uint32_t>> before = nullptr)
      : last_(std::move(last)), before_(std::move(before)), width_(width), height_(height) {}

  platform::DisplayMode Desktop() const override { return platform::DisplayMode{1024, 768, 32}; }
  void SetFullScreen(bool full_screen) override { full_screen_ = full_screen; }
  bool FullScreen() const override { return full_screen_; }

 protected:
  bool Show(const platform::Surface& picture) override;
  platform::Size ClientSize() const override;

 private:
  std::shared_ptr<std::vector<uint32_t>> last_, before_;
  int32_t* width_;
  int32_t* height_;
  bool full_screen_ = false;
};

// What a compiled BASIC program left: its output, its exit status and the
// last two pictures it showed (0x00RRGGBB, row by row).
struct DrawingRun {
  int status = -1;
  std::string printed;
  std::string errors;
  int32_t width = 0, height = 0;
  std::vector<uint32_t> frame, frame_before;

  uint32_t At(int32_t x, int32_t y) const { return frame[static_cast<size_t>(y) * width + x]; }
  // FNV-1a over the pixels: a short name for a whole frame.
  uint64_t Hash() const;
};

// Compiles and runs `source` headless with the display and its commands,
// in `folder` (the program's current folder). `files` stands in for the
// image codecs, and `clock` and `window` (both or neither) for the real
// ones, when given.
DrawingRun RunDrawing(const std::string& source, const std::string& folder, ImageFiles* files = nullptr,
                      platform::Clock* clock = nullptr, platform::Window* window = nullptr);

// Compares the frame with tests/display/goldens/NAME.png; with
// ZV_UPDATE_GOLDENS=1 in the environment it writes the golden instead.
// Empty when they agree, else what differs.
std::string CompareWithGolden(const DrawingRun& run, const std::string& name);

}  // namespace zv::test
