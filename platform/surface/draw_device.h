#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/surface/clipper.h"
#include "platform/surface/live_list.h"
#include "platform/surface/palette.h"
#include "platform/surface/result.h"
#include "platform/surface/surface.h"

namespace zv::platform {

struct DisplayMode {
  int32_t width = 0, height = 0, bits = 0;
  friend bool operator==(const DisplayMode&, const DisplayMode&) = default;
};

using AdapterGuid = std::array<uint8_t, 16>;

// One display card as the enumeration reports it. The primary card has no
// GUID.
struct DisplayAdapter {
  std::optional<AdapterGuid> guid;
  std::string description;
  std::string driver_name;
};

// The description under which the primary card is listed.
inline constexpr const char* kPrimaryAdapterDescription = "Primary Display Driver";

// The cards of this machine: the one display the window is shown on.
std::vector<DisplayAdapter> EnumerateAdapters();

// The modes a full-screen display offers: 320x200, 320x240, 400x300,
// 512x384, 640x400, 640x480, 800x600, 1024x768, 1152x864, 1280x960,
// 1280x1024 and the desktop size, each in 16, 24 and 32 bits, without
// repeats, by size then depth.
std::vector<DisplayMode> StandardModes(DisplayMode desktop);

enum class CooperativeLevel { kNormal, kExclusiveFullScreen };

// The stand-in for the display device object: display modes, the creation
// of surfaces, clippers and palettes, and the video-memory budget. Full
// screen is a scaled desktop window, so a mode change alters only the size
// and depth of the surfaces, never the desktop.
class DrawDevice {
 public:
  static constexpr int64_t kVideoMemoryBytes = int64_t{256} << 20;

  DrawDevice(DisplayAdapter adapter, DisplayMode desktop);

  const DisplayAdapter& Adapter() const { return adapter_; }
  Result SetCooperativeLevel(CooperativeLevel level);
  CooperativeLevel Level() const { return level_; }

  // Fails with kNoExclusiveMode outside exclusive full screen and
  // kInvalidMode for a mode not in the list.
  Result SetDisplayMode(int32_t width, int32_t height, int32_t bits);
  // The mode surfaces are made for: the one set, else the desktop.
  DisplayMode CurrentMode() const { return mode_ ? *mode_ : desktop_; }
  DisplayMode Desktop() const { return desktop_; }
  const std::vector<DisplayMode>& Modes() const { return modes_; }
  // Calls `visit` for every mode until it returns false.
  Result EnumDisplayModes(const std::function<bool(const DisplayMode&)>& visit) const;

  // A format left empty in `desc` takes the current mode's; a primary takes
  // the current mode's size when `desc` gives none. Null on failure with the
  // reason in `*error` (kOutOfMemory when the video budget is exceeded).
  SurfacePtr CreateSurface(SurfaceDesc desc, Result* error = nullptr);
  // A primary with one attached back buffer, both in video memory and in
  // the low-address arena (a program may lock the back buffer).
  SurfacePtr CreateFlipChain(Result* error = nullptr);
  ClipperPtr CreateClipper() const { return std::make_shared<Clipper>(); }
  PalettePtr CreatePalette(const Palette& colours) const {
    return std::make_shared<Palette>(colours);
  }

  // Total and free bytes of the pool a surface of `pool` counts against;
  // system memory is reported from the machine.
  Result GetAvailableMemory(MemoryPool pool, uint64_t* total, uint64_t* free) const;

  // Restores every surface of this device (each is also restorable alone).
  Result RestoreAllSurfaces();
  // Marks every live surface lost, as when the display is taken away; with
  // `restorable` false restores fail until this is called again with true.
  void LoseSurfaces(bool restorable);

 private:
  DisplayAdapter adapter_;
  DisplayMode desktop_;
  std::optional<DisplayMode> mode_;
  CooperativeLevel level_ = CooperativeLevel::kNormal;
  std::vector<DisplayMode> modes_;
  std::shared_ptr<SurfaceContext> context_ = std::make_shared<SurfaceContext>();
  // Every surface made here, in making order, for restoring and losing them all.
  LiveList<Surface> surfaces_;
};

}  // namespace zv::platform
