#include <cstdio>
#include <filesystem>

#include "display/pixel_ops.h"
#include "platform/clipboard/clipboard.h"
#include "platform/ini/ini_file.h"
#include "runtime/message_pump.h"
#include "tests/display/display_fixture.h"

namespace zv::test {
namespace {

using platform::PixelFormat;

TEST_F(DisplayTest, StartsFullScreenWithAFlipChainAt640x480x16) {
  Start();
  SurfaceState& s = display.Surfaces();
  ASSERT_TRUE(s.primary && s.back_buffer && s.zbuffer);
  EXPECT_TRUE(s.flip_chain);
  EXPECT_FALSE(s.system_memory);
  EXPECT_EQ(Primary().AttachedBackBuffer(), &Back());
  EXPECT_EQ(Back().Width(), 640);
  EXPECT_EQ(Back().Height(), 480);
  EXPECT_EQ(Back().Format(), PixelFormat::Rgb565());
  EXPECT_EQ(Back().Home(), platform::PixelHome::kLowArena);
  EXPECT_EQ(Back().SrcColorKey(), (platform::ColorKey{0, 0}));
  EXPECT_EQ(s.back_buffer_size.depth, 16);
  EXPECT_EQ(s.program_width, 640);
  EXPECT_EQ(s.program_depth, 16);
  EXPECT_TRUE(presenter.FullScreen());
  EXPECT_EQ(display.Device().card_in_use, platform::kPrimaryAdapterDescription);
  EXPECT_EQ(display.FlipCount(), 2);
}

TEST_F(DisplayTest, FlipShowsTheBackBufferAndSwapsTheBuffers) {
  Start();
  Fill(Back(), 0xF800);  // red
  ASSERT_TRUE(display.PresentFrame());
  EXPECT_EQ(presenter.LastFrame()->PixelAt(10, 10), 0xFF0000u);
  EXPECT_EQ(display.Presentation().current_buffer, 1);
  // The buffer now drawn into is the former front buffer, still black.
  EXPECT_EQ(Back().PixelAt(10, 10), 0u);
  Fill(Back(), 0x001F);
  display.PresentFrame();
  EXPECT_EQ(presenter.LastFrame()->PixelAt(10, 10), 0x0000FFu);
  EXPECT_EQ(Back().PixelAt(10, 10), 0xF800u);
  EXPECT_EQ(display.Presentation().current_buffer, 0);
}

TEST_F(DisplayTest, NothingIsPresentedWhileDrawingIsDisabled) {
  Start();
  runtime.window.drawing_enabled = false;
  EXPECT_FALSE(display.PresentFrame());
  EXPECT_EQ(presenter.PresentCount(), 0);
}

TEST_F(DisplayTest, BlitModeCentresTheWindowedPictureWithBlackBands) {
  runtime.settings.blit_flip_mode = 1;
  window.SetPlacement(platform::WindowRect{0, 0, 800, 600});
  Start(/*windowed=*/true);
  EXPECT_FALSE(display.Surfaces().flip_chain);
  EXPECT_NE(Primary().GetClipper(), nullptr);
  EXPECT_EQ(Back().Format(), PixelFormat::Xrgb8888());  // the desktop's depth
  Fill(Primary(), 0x00FF00);
  Fill(Back(), 0x0000FF);
  display.Layout().clear_borders = true;
  ASSERT_TRUE(display.PresentFrame());
  EXPECT_EQ(display.Presentation().client_origin_x, 80);
  EXPECT_EQ(display.Presentation().client_origin_y, 60);
  const platform::Surface& frame = *presenter.LastFrame();
  EXPECT_EQ(frame.Width(), 800);
  EXPECT_EQ(frame.PixelAt(80, 60), 0x0000FFu);
  EXPECT_EQ(frame.PixelAt(719, 539), 0x0000FFu);
  EXPECT_EQ(frame.PixelAt(79, 300), 0u);
  EXPECT_EQ(frame.PixelAt(720, 300), 0u);
  EXPECT_EQ(frame.PixelAt(400, 59), 0u);
  EXPECT_EQ(frame.PixelAt(400, 540), 0u);
  EXPECT_EQ(display.Picture().x, 80);
}

TEST_F(DisplayTest, AWindowFollowsTheClientAreaSize) {
  runtime.settings.blit_flip_mode = 1;
  window.SetPlacement(platform::WindowRect{0, 0, 640, 480});
  Start(true);
  window.SetPlacement(platform::WindowRect{0, 0, 320, 200});
  display.PresentFrame();
  EXPECT_EQ(Primary().Width(), 320);
  EXPECT_EQ(presenter.LastFrame()->Height(), 200);
  // The picture is centred, so its middle is what shows.
  EXPECT_EQ(display.Presentation().client_origin_x, -160);
}

TEST_F(DisplayTest, GammaMapsThePresentedFrameThroughTheRamp) {
  Start(false, 32);
  Fill(Back(), 0x80FF10);
  ASSERT_TRUE(display.SetGammaRamp(128, 256, 511));
  display.PresentFrame();
  // Red: entry 0x80 of a ramp of slope 128; green: identity; blue: 511 lifts
  // every entry to 65280.
  EXPECT_EQ(presenter.LastFrame()->PixelAt(0, 0), 0x40FFFFu);
  ASSERT_TRUE(display.SetGammaRamp(0, 256, 256));
  display.PresentFrame();
  display.PresentFrame();
  EXPECT_EQ(presenter.LastFrame()->PixelAt(0, 0), 0x00FF10u);
  const platform::GammaRamp& ramp = Primary().GetGammaRamp();
  EXPECT_EQ(ramp.green[255], 65280);
  EXPECT_EQ(ramp.red[255], 0);
}

TEST_F(DisplayTest, LostSurfacesAreRestoredWhenPresenting) {
  Start();
  display.Device().device->LoseSurfaces(true);
  EXPECT_TRUE(display.PresentFrame());
  EXPECT_FALSE(Primary().IsLost());
  EXPECT_EQ(clients.calls, std::vector<std::string>{"ReleaseSpriteBackgrounds"});
}

TEST_F(DisplayTest, AFailedRestorePausesTheProgramUnlessAlwaysActive) {
  Start();
  display.Device().device->LoseSurfaces(false);
  EXPECT_FALSE(display.PresentFrame());
  EXPECT_FALSE(vm.app_active);
  EXPECT_FALSE(display.ClearBackBuffer());

  vm.app_active = true;
  runtime.window.always_active = true;
  EXPECT_FALSE(display.PresentFrame());
  EXPECT_TRUE(vm.app_active);
  EXPECT_FALSE(display.RestorePrimarySurface());
  display.Device().device->LoseSurfaces(true);
  EXPECT_TRUE(display.RestorePrimarySurface());
}

// The message pump on this display: a full-screen program stays paused,
// its sounds with it, while another window has the focus, and goes on when
// activated; a program in a window goes on regardless.
TEST_F(DisplayTest, OnlyFullScreenPausesWhileAnotherWindowHasTheFocus) {
  platform::MemoryClipboard clipboard;
  RuntimeHost pump_host(host.clock, window, adapter, clipboard);
  MessagePump pump(vm, pump_host, runtime);
  auto sound_calls = [&] {
    std::vector<std::string> calls;
    for (const std::string& call : services.log)
      if (call.starts_with("Sound.")) calls.push_back(call);
    return calls;
  };
  for (bool windowed : {false, true}) {
    SCOPED_TRACE(windowed ? "in a window" : "full screen");
    Start(windowed);
    services.log.clear();
    pump.MainWindowProc({platform::WindowEventKind::kDeactivate});
    for (int turn = 0; turn < 3; ++turn) pump.PreRunCheck();
    EXPECT_EQ(vm.app_active, windowed);
    const std::vector<std::string> paused = {"Sound.PauseAllMusic", "Sound.PauseAllSounds"};
    EXPECT_EQ(sound_calls(), windowed ? std::vector<std::string>{} : paused);
    pump.MainWindowProc({platform::WindowEventKind::kActivate});
    pump.PreRunCheck();
    EXPECT_TRUE(vm.app_active);
    EXPECT_TRUE(runtime.window.drawing_enabled);
    if (!windowed) {
      EXPECT_EQ(sound_calls().back(), "Sound.ResumeAllSounds");
    }
  }
}

TEST_F(DisplayTest, ModeChangeRebuildsEverythingInOrder) {
  Start();
  int32_t w = 800, h = 600, depth = 32;
  ASSERT_TRUE(display.ChangeDisplayMode(w, h, depth, display.Surfaces().software_renderer, 640, 480,
                                        16, 0));
  EXPECT_EQ(Back().Width(), 800);
  EXPECT_EQ(Back().Format(), PixelFormat::Xrgb8888());
  EXPECT_EQ(Primary().Width(), 800);
  EXPECT_TRUE(display.Surfaces().display_changed);
  ASSERT_NE(display.Surfaces().pointer_bitmap, nullptr);
  EXPECT_EQ(display.Surfaces().pointer_bitmap->PixelAt(0, 0), 0xFFFFFFu);
  EXPECT_EQ(clients.target, &Back());
  std::vector<std::string> expected = {
      "ClearDrawQueue",      "ReleaseAllAnimations",   "ReleaseTextureSurfaces",
      "ReleaseBitmapSurfaces", "ClearLimbTextures",    "EmptyImageRecords",
      "ReleaseSpriteBackgrounds", "SetDrawTargets 2",  "RebuildCursorSprites",
      "RecreateTextures",    "RebuildObjectModels",    "UpdateCameraView",
      "QueueClearScreenEntry 0", "QueueClearScreenEntry 0"};
  EXPECT_EQ(clients.calls, expected);
  EXPECT_EQ(services.log.back(), "3D.ClearViewportColour 0");
}

TEST_F(DisplayTest, AModeThatCannotBeSetFallsBackWithAWarning) {
  Start();
  int32_t w = 641, h = 480, depth = 16;
  EXPECT_FALSE(display.ChangeDisplayMode(w, h, depth, display.Surfaces().software_renderer, 640,
                                         480, 16, 0));
  EXPECT_EQ(w, 640);
  EXPECT_EQ(vm.errors.code, 1503);
  EXPECT_TRUE(vm.errors.warning);
  EXPECT_EQ(vm.errors.last_engine_error, "Could not set a display mode of 641x480x16");
  EXPECT_EQ(Back().Width(), 640);
  EXPECT_TRUE(display.Surfaces().display_changed);
}

TEST_F(DisplayTest, ASurfaceFailureRetriesInSoftwareAndStaysThere) {
  Start();
  FailingRenderDevice& device = failing_device;
  device.failures_left = 1;
  device.fail_software = false;
  display.SetRenderDevice(&device);
  int32_t w = 800, h = 600, depth = 16;
  EXPECT_TRUE(display.ChangeDisplayMode(w, h, depth, display.Surfaces().software_renderer, 640,
                                        480, 16, 0));
  EXPECT_EQ(device.attempts, (std::vector<bool>{false, true}));
  EXPECT_EQ(display.Surfaces().software_renderer, 1);
  EXPECT_TRUE(display.Surfaces().system_memory);
  EXPECT_FALSE(display.Surfaces().flip_chain);
  EXPECT_EQ(vm.errors.code, 0);
}

TEST_F(DisplayTest, ASurfaceFailureFallsBackToTheOldModeWithAWarning) {
  Start();
  FailingRenderDevice& device = failing_device;
  device.failures_left = 2;
  display.SetRenderDevice(&device);
  int32_t w = 800, h = 600, depth = 16;
  EXPECT_FALSE(display.ChangeDisplayMode(w, h, depth, display.Surfaces().software_renderer, 640,
                                         480, 16, 0));
  EXPECT_EQ(w, 640);
  EXPECT_EQ(display.Surfaces().software_renderer, 0);
  EXPECT_EQ(vm.errors.code, 1504);
  EXPECT_EQ(Back().Width(), 640);
  EXPECT_EQ(vm.errors.last_engine_error, "no device");
}

TEST_F(DisplayTest, WhenEvenTheOldModeCannotBeBuiltTheRunEnds) {
  Start();
  FailingRenderDevice& device = failing_device;
  device.failures_left = 3;
  display.SetRenderDevice(&device);
  int32_t w = 800, h = 600, depth = 16;
  EXPECT_FALSE(display.ChangeDisplayMode(w, h, depth, display.Surfaces().software_renderer, 640,
                                         480, 16, 0));
  EXPECT_EQ(vm.errors.code, display_error::kSurfacesFailed);
  EXPECT_FALSE(vm.errors.warning);
  EXPECT_TRUE(vm.program_ended);
  EXPECT_EQ(display.Surfaces().back_buffer, nullptr);
  EXPECT_FALSE(display.PresentFrame());
}

TEST_F(DisplayTest, AModeChangeReleasesTheProgramsPixelLock) {
  Start();
  display.LockPixels();
  ASSERT_TRUE(display.Lock().Held());
  int32_t w = 800, h = 600, depth = 16;
  display.ChangeDisplayMode(w, h, depth, display.Surfaces().software_renderer, 640, 480, 16, 0);
  EXPECT_FALSE(display.Lock().Held());
  EXPECT_FALSE(Back().IsLocked());
  display.LockPixels();
  EXPECT_EQ(display.Lock().width, 800);
}

TEST_F(DisplayTest, AWindowNeverChangesTheDepth) {
  window.SetPlacement(platform::WindowRect{0, 0, 640, 480});
  Start(true);
  int32_t w = 320, h = 240, depth = 16;
  display.Layout().windowed = true;
  ASSERT_TRUE(display.ChangeDisplayMode(w, h, depth, display.Surfaces().software_renderer, 640,
                                        480, 16, 0));
  EXPECT_EQ(Back().Width(), 320);
  EXPECT_EQ(Back().Format().bits, 32);
  EXPECT_EQ(window.Placement().width, 320);
  EXPECT_TRUE(vm.errors.last_engine_error.empty());
}

TEST_F(DisplayTest, WantedCardsAreMatchedExactly) {
  platform::AdapterGuid guid{};
  guid[0] = 7;
  adapters.push_back(platform::DisplayAdapter{guid, "Second Card", "second"});
  display.SetFullScreenFlag(1);
  display.Device().wanted_card = "second card";
  ASSERT_TRUE(display.CreateDirectDrawObject(false, true));
  EXPECT_EQ(display.Device().card_in_use, platform::kPrimaryAdapterDescription);
  display.Device().wanted_card = "Second Card";
  display.CreateDirectDrawObject(false, true);
  EXPECT_EQ(display.Device().card_in_use, "Second Card");
  display.Device().wanted_card.clear();  // the first card with a GUID
  display.CreateDirectDrawObject(false, true);
  EXPECT_EQ(display.Device().card_in_use, "Second Card");
  display.CreateDirectDrawObject(true, true);
  EXPECT_EQ(display.Device().card_in_use, platform::kPrimaryAdapterDescription);
  display.SetFullScreenFlag(0);
  display.Device().wanted_card = "Second Card";
  display.CreateDirectDrawObject(false, true);
  EXPECT_EQ(display.Device().card_in_use, platform::kPrimaryAdapterDescription);
  EXPECT_EQ(display.Device().device->Level(), platform::CooperativeLevel::kNormal);
  EXPECT_EQ(slept_ms, 0u);
}

TEST_F(DisplayTest, TraceModePausesForEachTraceLine) {
  runtime.settings.trace_mode = true;
  display.SetFullScreenFlag(1);
  display.Device().wanted_card = "Elsewhere";
  display.CreateDirectDrawObject(false, true);
  // Two pauses for the one card checked, one for the card used.
  EXPECT_EQ(slept_ms, 300u);
}

TEST_F(DisplayTest, EngineErrorsReachTheLogOnlyInDebugMode) {
  std::string folder = (std::filesystem::temp_directory_path() /
                        ("zv_display_log_" + std::to_string(::getpid()) + "/")).string();
  std::filesystem::create_directories(folder);
  vm.settings.app_folder = folder;
  display.WriteErrorLog("Failed to create a Primary Surface");
  EXPECT_EQ(vm.errors.last_engine_error, "Failed to create a Primary Surface");
  EXPECT_FALSE(std::filesystem::exists(folder + "KQ.LOG"));
  vm.settings.debug_mode = true;
  display.WriteErrorLog("Failed to set Viewport Properties");
  platform::IniFile log = platform::IniFile::Load(folder + "KQ.LOG");
  std::vector<std::string> keys = log.Keys("ERRORLOG");
  ASSERT_EQ(keys.size(), 1u);
  EXPECT_EQ(keys[0].rfind("ENGINEERROR ON ", 0), 0u);
  EXPECT_EQ(log.Get("ERRORLOG", keys[0]), "Failed to set Viewport Properties");
  std::filesystem::remove_all(folder);
}

TEST_F(DisplayTest, TheProbeSettlesOn16BitsWithoutAHardwareDevice) {
  ProbeResult probe = adapter.ProbeDisplay(platform::kPrimaryAdapterDescription);
  EXPECT_EQ(probe.depth, 16);
  EXPECT_FALSE(probe.supports_3d);
  EXPECT_EQ(display.Surfaces().primary, nullptr);
}

TEST_F(DisplayTest, TheFrameRateIsCountedOverEachSecond) {
  Start();
  host.clock.Set(0);
  for (int i = 0; i <= 40; ++i) {
    display.PresentFrame();
    host.clock.Advance(25);
  }
  // 41 frames by 1000 ms: not yet more than a second.
  EXPECT_EQ(display.Presentation().frames_per_second, 0);
  host.clock.Set(1010);
  display.PresentFrame();
  EXPECT_EQ(display.Presentation().frames_per_second, 42 * 1000 / 1010);
}

TEST_F(DisplayTest, RestoringTheWindowToFullScreen) {
  Start();
  display.Layout().windowed = true;
  display.Layout().title = "";
  display.ResetWindowToFullScreen();
  EXPECT_FALSE(display.Layout().windowed);
  EXPECT_EQ(display.Layout().title, "Zentrovex");
  EXPECT_EQ(window.Title(), "Zentrovex");
  EXPECT_EQ(display.Layout().width, 1024);
}

}  // namespace
}  // namespace zv::test
