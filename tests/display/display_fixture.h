#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "display/display.h"
#include "display/display_commands.h"
#include "display/display_service_adapter.h"
#include "platform/present/headless/headless_presenter.h"
#include "platform/window/headless/headless_window.h"
#include "runtime/runtime_state.h"
#include "tests/runtime/vm/opcodes/core_fixture.h"

namespace zv::test {

// Records what the display asks of its neighbours, in order.
class RecordingClients : public DisplayClients {
 public:
  void ClearDrawQueue() override { calls.push_back("ClearDrawQueue"); }
  void ReleaseAllAnimations() override { calls.push_back("ReleaseAllAnimations"); }
  void ReleaseBitmapSurfaces() override { calls.push_back("ReleaseBitmapSurfaces"); }
  void ReleaseTextureSurfaces() override { calls.push_back("ReleaseTextureSurfaces"); }
  void ClearLimbTextures() override { calls.push_back("ClearLimbTextures"); }
  void EmptyImageRecords() override { calls.push_back("EmptyImageRecords"); }
  void SetDrawTargets(platform::Surface* back, int32_t flip_count) override {
    calls.push_back("SetDrawTargets " + std::to_string(flip_count));
    target = back;
  }
  void RebuildCursorSprites() override { calls.push_back("RebuildCursorSprites"); }
  void ParkCursorSprites() override { calls.push_back("ParkCursorSprites"); }
  void RecreateTextures() override { calls.push_back("RecreateTextures"); }
  void RebuildObjectModels() override { calls.push_back("RebuildObjectModels"); }
  void UpdateCameraView() override { calls.push_back("UpdateCameraView"); }
  void QueueClearScreenEntry(uint32_t colour) override {
    calls.push_back("QueueClearScreenEntry " + std::to_string(colour));
  }
  void ReleaseSpriteBackgrounds() override { calls.push_back("ReleaseSpriteBackgrounds"); }

  std::vector<std::string> calls;
  platform::Surface* target = nullptr;
};

// A 3D device that fails a given number of creations first.
class FailingRenderDevice : public RenderDevice {
 public:
  bool Create(platform::Surface&, bool software, bool, std::string* error) override {
    attempts.push_back(software);
    if (failures_left > 0 && (fail_software || !software)) {
      --failures_left;
      *error = "no device";
      return false;
    }
    return true;
  }
  int failures_left = 0;
  bool fail_software = true;
  std::vector<bool> attempts;
};

// A display on a headless presenter and window, started as the start-up
// starts it: full screen (unless `windowed`) at 640x480x16.
class DisplayTest : public CoreTest {
 protected:
  DisplayTest()
      : window(host.clock), display(vm, runtime, Platform()), adapter(display) {
    vm.display = &adapter;
    vm.runtime = &runtime;
    display.SetClients(&clients);
    RegisterDisplayHandlers(handlers);
  }

  DisplayPlatform Platform() {
    DisplayPlatform p;
    p.presenter = &presenter;
    p.window = &window;
    p.enumerate_adapters = [this] { return adapters; };
    p.sleep = [this](uint32_t ms) { slept_ms += ms; };
    return p;
  }

  void Start(bool windowed = false, int32_t depth = 16) {
    adapter.SetFullScreenFlag(!windowed);
    ASSERT_TRUE(adapter.CreateDirectDrawObject(false, true));
    if (!windowed) {
      ASSERT_TRUE(adapter.SetDisplayMode(640, 480, depth));
    }
    adapter.ResetDrawState(depth);
    ASSERT_TRUE(adapter.CreateSurfacesAndDevice(640, 480));
    clients.calls.clear();
  }

  platform::Surface& Back() { return *display.Surfaces().back_buffer; }
  platform::Surface& Primary() { return *display.Surfaces().primary; }

  void Fill(platform::Surface& s, uint32_t value) {
    platform::BltFx fx;
    fx.fill_color = value;
    s.Blt(nullptr, nullptr, nullptr, platform::kBltColorFill, &fx);
  }

  std::vector<platform::DisplayAdapter> adapters = platform::EnumerateAdapters();
  uint32_t slept_ms = 0;
  RuntimeState runtime;
  platform::HeadlessPresenter presenter;
  platform::HeadlessWindow window;
  RecordingClients clients;
  FailingRenderDevice failing_device;  // outlives the display that may use it
  Display display;
  DisplayServiceAdapter adapter;
};

}  // namespace zv::test
