#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "display/display_clients.h"
#include "display/display_state.h"
#include "display/render_device.h"
#include "platform/present/presenter.h"
#include "platform/surface/draw_device.h"
#include "platform/window/window.h"
#include "runtime/display_seam.h"
#include "runtime/runtime_state.h"
#include "runtime/vm/vm.h"

namespace zv {

// What the display stands on: the presentation of frames, the window (none
// when headless), the display cards, and a sleep for the trace pauses.
struct DisplayPlatform {
  platform::Presenter* presenter = nullptr;
  platform::Window* window = nullptr;
  std::function<std::vector<platform::DisplayAdapter>()> enumerate_adapters =
      platform::EnumerateAdapters;
  std::function<void(uint32_t milliseconds)> sleep;  // empty: really sleep
};

// Runtime errors that a display change raises.
namespace display_error {
constexpr int32_t kDeviceFailed = 10003;     // no display device
constexpr int32_t kModeFailed = 10004;       // no display mode
constexpr int32_t kSurfacesFailed = 10005;   // no surfaces or 3D device
constexpr int32_t kModeWarning = 1503;       // the mode could not be set
constexpr int32_t kSurfacesWarning = 1504;   // surfaces could not be built
}  // namespace display_error

// The display: the device and the card it is made on, the window's layout,
// the display mode and its surfaces (primary, back buffer, z-buffer,
// palette, gamma), the presentation of frames and the program's pixel lock.
// One per process; everything runs on the main thread.
class Display {
 public:
  Display(Vm& vm, RuntimeState& runtime, DisplayPlatform platform);
  ~Display();
  Display(const Display&) = delete;
  Display& operator=(const Display&) = delete;

  // The neighbours; both default to stand-ins that do nothing.
  void SetClients(DisplayClients* clients);
  void SetRenderDevice(RenderDevice* device);
  RenderDevice& Device3D() { return *render_device_; }

  DeviceState& Device() { return device_; }
  WindowLayout& Layout() { return layout_; }
  SurfaceState& Surfaces() { return surfaces_; }
  PresentState& Presentation() { return present_; }
  const PresentState& Presentation() const { return present_; }
  PixelLock& Lock() { return lock_; }
  platform::Presenter& Presenter() { return *platform_.presenter; }
  Vm& Machine() { return vm_; }
  RuntimeState& Runtime() { return runtime_; }

  // ---- Device, card, window and log -------------------------------------------
  // Makes the display device on the wanted card (full screen only; the
  // primary card otherwise or when forced) at exclusive or normal level.
  bool CreateDirectDrawObject(bool force_primary, bool exclusive);
  std::vector<platform::DisplayAdapter> EnumerateCards() const;
  void SetFullScreenFlag(int32_t value) { device_.full_screen = value; }
  // Keeps the text as the last engine error; with DEBUGMODE on also writes
  // it to KQ.LOG.
  void WriteErrorLog(std::string_view text);
  void ApplyWindowStyle(bool full, bool invalidate_desktop);
  void ResetWindowToFullScreen();
  // Releases textures, bitmaps, the 3D device and the surfaces, and unless
  // `keep_device` the device itself.
  void ReleaseDisplayObjects(bool keep_device);
  void ReleaseSurfaces();

  // ---- Modes and surfaces --------------------------------------------------------
  bool SetDisplayMode(int32_t width, int32_t height, int32_t depth);
  // Tears the display down and builds it again for the new mode, falling
  // back to the old one; the references end holding what is in force.
  // True when the new mode was set and built.
  bool ChangeDisplayMode(int32_t& width, int32_t& height, int32_t& depth, int32_t& software,
                         int32_t old_width, int32_t old_height, int32_t old_depth,
                         int32_t old_software);
  bool CreateSurfacesAndDevice(int32_t width, int32_t height, bool with_3d);
  platform::Result CreateSurfaces(bool with_3d);
  platform::Result CreateZBuffer(bool hardware);
  bool HasEnoughVideoMemory(bool with_3d) const;
  bool SetScreenColourKeys();
  void SetDrawTargets();
  void ClearAndPresentTwice();
  bool LoadPointerBitmap(bool system_memory);
  void ReleasePointerBitmap() { surfaces_.pointer_bitmap.reset(); }
  // The pixel value of black on the back buffer (0 without one).
  uint32_t BlackPixelValue() const;
  // Tries 640x480 at 16, 24 and 32 bits on the card for the card choice.
  ProbeResult ProbeDisplay();

  // ---- Presentation ----------------------------------------------------------------
  // Shows the back buffer as the next frame.
  bool PresentFrame();
  // Shows the frame presented last again, as the window now lies (it moved
  // or changed size): no new frame.
  bool RepaintFrame();
  // Undoes the last flip of a flip chain, so that the frame it showed is
  // the back buffer again (nothing to do when frames are copied to the
  // window, whose back buffer keeps them).
  void TakeBackPresentedFrame();
  void ClearWindowBorders(const platform::Rect& picture);
  void CountFrame();
  platform::Result RestoreAllSurfaces();
  bool ClearBackBuffer();
  // Each channel 0..511: 256 is the identity ramp.
  bool SetGammaRamp(int32_t red, int32_t green, int32_t blue);
  // Asks a lost full-screen primary to come back; true when it did.
  bool RestorePrimarySurface();
  PictureArea Picture() const;

  // ---- The program's pixel lock ------------------------------------------------------
  void LockPixels();
  void UnlockPixels();

  // ---- Shared flags -----------------------------------------------------------------
  bool DrawingEnabled() const { return runtime_.window.drawing_enabled; }
  bool AlwaysActive() const { return runtime_.window.always_active; }
  // A surface that cannot be restored pauses the program unless it is set
  // to stay active.
  void SuspendAfterFailedRestore();
  int32_t FlipCount() const { return surfaces_.flip_chain ? 2 : 1; }

 private:
  platform::Size ClientSize() const;
  // The two halves of a frame: a flip chain turns its buffers, a window
  // gets the back buffer copied into its client area (false when a lost
  // surface could not be restored); then the primary is shown.
  bool FlipBuffers();
  bool CopyBackBufferToWindow();
  void ShowPrimary();
  void TracePause();
  void FindCard(const std::string& wanted);
  bool RebuildForOldMode(int32_t old_width, int32_t old_height, int32_t old_depth);
  void ReapplyAfterChange();
  void ReleaseProgramLock();

  Vm& vm_;
  RuntimeState& runtime_;
  DisplayPlatform platform_;
  NullDisplayClients null_clients_;
  NullRenderDevice null_render_device_;
  DisplayClients* clients_ = &null_clients_;
  RenderDevice* render_device_ = &null_render_device_;

  DeviceState device_;
  WindowLayout layout_;
  SurfaceState surfaces_;
  PresentState present_;
  PixelLock lock_;
};

// The display behind the Vm's display seam, or null when the seam is not
// ours (nothing displayed).
Display* FindDisplay(Vm& vm);

}  // namespace zv
