#pragma once

#include <memory>
#include <string>

#include "display/draw_executor.h"
#include "display/graphics.h"
#include "tests/display/display_fixture.h"

namespace zv::test {

// Pictures "loaded" by name: a surface of the size the name says
// ("8x4.bmp"), every pixel the colour the test chose; anything else fails.
class FakeImageFiles : public ImageFiles {
 public:
  platform::SurfacePtr Load(const std::string& path, const SurfaceMaker& make, std::string* /*why*/) override {
    ++loads;
    int w = 0, h = 0;
    const std::string name = path.substr(path.find_last_of('/') + 1);
    if (std::sscanf(name.c_str(), "%dx%d", &w, &h) != 2) return nullptr;
    platform::SurfacePtr s = make(w, h);
    if (!s) return nullptr;
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) s->SetPixelAt(x, y, x == 0 ? left_pixel : pixel);
    return s;
  }
  bool Save(const platform::Surface& surface, const std::string& path, std::string* = nullptr) override {
    saved_paths.push_back(path);
    saved_width = surface.Width();
    return save_result;
  }

  uint32_t pixel = 0x07E0;  // green in 5-6-5
  uint32_t left_pixel = 0x07E0;
  int loads = 0;
  bool save_result = true;
  std::vector<std::string> saved_paths;
  int32_t saved_width = 0;
};

// A started display with its 2D drawing, as the start-up leaves them.
class GraphicsTest : public DisplayTest {
 protected:
  GraphicsTest()
      : graphics(std::make_unique<Graphics>(display, platform::CreateTextService())),
        drawing_adapter(display, graphics.get()) {
    display.SetClients(graphics.get());
    vm.display = &drawing_adapter;
    graphics->SetImageFiles(&files);
  }
  ~GraphicsTest() override { display.SetClients(nullptr); }

  void StartDrawing(bool windowed = false, int32_t depth = 16) {
    Start(windowed, depth);
    display.SetClients(graphics.get());
    display.SetDrawTargets();
    graphics->ResetRecordPools();
    graphics->ResetDrawState();
    graphics->ResetRuntimeState();
  }

  DrawQueue& Queue() { return graphics->Queue(); }
  void Pass() { graphics->ExecuteDrawingQueue(); }
  // A frame begins without a present (a record is performed once a frame).
  void NextFrame() { ++display.Presentation().frame; }
  // Performs the whole queue: every pass a screen record needs.
  void Drain() {
    for (int i = 0; i < 4 && Queue().Pending() > 0; ++i) {
      Pass();
      NextFrame();
    }
  }
  uint32_t Ink() const { return graphics->Colours().ink; }
  int32_t CountPixels(platform::Surface& s, uint32_t value) {
    int32_t n = 0;
    for (int32_t y = 0; y < s.Height(); ++y)
      for (int32_t x = 0; x < s.Width(); ++x) n += s.PixelAt(x, y) == value;
    return n;
  }

  FakeImageFiles files;
  std::unique_ptr<Graphics> graphics;
  DisplayServiceAdapter drawing_adapter;
};

}  // namespace zv::test
