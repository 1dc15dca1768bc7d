// Display modes and the surfaces built for them, and the complete display
// change that tears everything down and builds it again.
#include <string>

#include "display/display.h"
#include "display/pointer_bitmap.h"

namespace zv {
namespace {

using platform::MemoryPool;
using platform::Result;
using platform::SurfaceDesc;
using platform::SurfacePtr;
using platform::SurfaceRole;
namespace result = platform::result;

// 3-3-2 colours: the palette of 8-bit displays (no palette resource exists).
platform::Palette Rgb332Palette() {
  platform::Palette palette;
  for (int i = 0; i < platform::Palette::kSize; ++i) {
    palette.SetEntry(i, platform::PaletteEntry{static_cast<uint8_t>(((i >> 5) & 7) * 255 / 7),
                                               static_cast<uint8_t>(((i >> 2) & 7) * 255 / 7),
                                               static_cast<uint8_t>((i & 3) * 255 / 3), 0});
  }
  return palette;
}

}  // namespace

platform::Size Display::ClientSize() const {
  if (platform_.window) {
    platform::WindowRect r = platform_.window->Placement();
    if (r.width > 0 && r.height > 0) return platform::Size{r.width, r.height};
  }
  if (layout_.width > 0 && layout_.height > 0) return platform::Size{layout_.width, layout_.height};
  return platform::Size{surfaces_.screen_width, surfaces_.screen_height};
}

bool Display::SetDisplayMode(int32_t width, int32_t height, int32_t depth) {
  if (layout_.windowed) {
    layout_.width = width;
    layout_.height = height;
    ApplyWindowStyle(true, true);
  }
  if (device_.full_screen == 0) return true;  // a window never changes the mode
  if (!device_.device) return false;
  Result r = device_.device->SetDisplayMode(width, height, depth);
  if (platform::Succeeded(r)) return true;
  std::string text = "Could not set a display mode of " + std::to_string(width) + "x" +
                     std::to_string(height) + "x" + std::to_string(depth);
  if (r == result::kNoExclusiveMode) text += ". Must be in exclusive mode to switch bit-depth";
  WriteErrorLog(text);
  return false;
}

bool Display::ChangeDisplayMode(int32_t& width, int32_t& height, int32_t& depth, int32_t& software,
                                int32_t old_width, int32_t old_height, int32_t old_depth,
                                int32_t old_software) {
  clients_->ClearDrawQueue();
  ReleasePointerBitmap();
  clients_->ReleaseAllAnimations();
  ReleaseDisplayObjects(false);

  if (!CreateDirectDrawObject(surfaces_.software_renderer == 1, true)) {
    vm_.RunError(display_error::kDeviceFailed);
    return false;
  }

  auto restore_old = [&] {
    width = old_width;
    height = old_height;
    depth = old_depth;
    software = old_software;
  };
  bool changed = true;
  if (SetDisplayMode(width, height, depth)) {
    surfaces_.screen_width = width;
    surfaces_.screen_height = height;
  } else {
    restore_old();
    // The old mode was in force a moment ago; if even it cannot be set
    // there is no display left to run on.
    if (!SetDisplayMode(old_width, old_height, old_depth)) {
      vm_.RunError(display_error::kModeFailed);
      return false;
    }
    vm_.RunWarning(display_error::kModeWarning);
    changed = false;
  }

  if (!CreateSurfacesAndDevice(width, height, true)) {
    software = 1;
    if (!CreateSurfacesAndDevice(width, height, true)) {
      restore_old();
      SetDisplayMode(old_width, old_height, old_depth);
      vm_.RunWarning(display_error::kSurfacesWarning);
      changed = false;
      if (!RebuildForOldMode(old_width, old_height, old_depth)) return false;
    }
  }
  ReapplyAfterChange();
  return changed;
}

// The last fall-back: the old mode's surfaces. When they cannot be built
// either, the run ends with an error instead of drawing on nothing.
bool Display::RebuildForOldMode(int32_t old_width, int32_t old_height, int32_t old_depth) {
  (void)old_depth;
  if (CreateSurfacesAndDevice(old_width, old_height, true)) return true;
  vm_.RunError(display_error::kSurfacesFailed);
  return false;
}

void Display::ReapplyAfterChange() {
  clients_->ClearLimbTextures();
  ClearAndPresentTwice();
  clients_->EmptyImageRecords();
  clients_->ReleaseSpriteBackgrounds();
  SetDrawTargets();
  LoadPointerBitmap(true);
  if (device_.full_screen != 0) clients_->RebuildCursorSprites();
  clients_->RecreateTextures();
  clients_->RebuildObjectModels();
  clients_->UpdateCameraView();
  surfaces_.display_changed = true;
  vm_.engine3d->ClearViewportColour(0);
  clients_->QueueClearScreenEntry(0);
  clients_->QueueClearScreenEntry(0);
}

bool Display::CreateSurfacesAndDevice(int32_t width, int32_t height, bool with_3d) {
  surfaces_.screen_width = width;
  surfaces_.screen_height = height;
  if (platform::Failed(CreateSurfaces(with_3d))) return false;
  if (!SetScreenColourKeys()) {
    ReleaseSurfaces();
    return false;
  }
  if (with_3d) {
    std::string error;
    if (!render_device_->Create(*surfaces_.back_buffer, surfaces_.software_renderer == 1,
                                device_.use_tnl, &error)) {
      WriteErrorLog(error);
      ReleaseSurfaces();
      return false;
    }
  }
  return true;
}

Result Display::CreateSurfaces(bool with_3d) {
  if (!device_.device) return result::kFail;
  platform::DrawDevice& device = *device_.device;
  bool exclusive = device.Level() == platform::CooperativeLevel::kExclusiveFullScreen;

  surfaces_.system_memory =
      !(with_3d && HasEnoughVideoMemory(with_3d) && surfaces_.software_renderer == 0);
  surfaces_.primary.reset();
  surfaces_.back_buffer.reset();
  surfaces_.zbuffer.reset();
  surfaces_.flip_chain = device_.blit_flip_mode_in_use != 1;

  SurfaceDesc primary_desc;
  primary_desc.role = SurfaceRole::kPrimary;
  primary_desc.pool = MemoryPool::kVideo;
  if (!exclusive) {
    platform::Size client = ClientSize();
    primary_desc.width = client.width;
    primary_desc.height = client.height;
  }
  SurfaceDesc back_desc;
  back_desc.role = SurfaceRole::kBackBuffer;
  back_desc.width = surfaces_.screen_width;
  back_desc.height = surfaces_.screen_height;
  back_desc.home = platform::PixelHome::kLowArena;  // a program may lock it

  Result r = result::kOk;
  if (!surfaces_.system_memory) {
    bool made;
    if (exclusive && surfaces_.flip_chain) {
      surfaces_.primary = device.CreateFlipChain(&r);
      if (surfaces_.primary) surfaces_.back_buffer = surfaces_.primary->AttachedBackBufferPtr();
      made = surfaces_.primary != nullptr;
    } else {
      surfaces_.primary = device.CreateSurface(primary_desc, &r);
      back_desc.pool = MemoryPool::kVideo;
      if (surfaces_.primary) surfaces_.back_buffer = device.CreateSurface(back_desc, &r);
      surfaces_.flip_chain = false;
      made = surfaces_.back_buffer != nullptr;
    }
    if (made && with_3d) {
      r = CreateZBuffer(true);
      if (platform::Failed(r)) {
        surfaces_.primary.reset();
        surfaces_.back_buffer.reset();
        WriteErrorLog("Failed to create a Z-Buffer in video memory");
        return r;
      }
    }
    if (!made) surfaces_.system_memory = true;
  }

  if (surfaces_.system_memory) {
    if (!surfaces_.primary) {
      surfaces_.primary = device.CreateSurface(primary_desc, &r);
      if (!surfaces_.primary) {
        WriteErrorLog("Failed to create a Primary Surface");
        return r;
      }
    }
    back_desc.pool = MemoryPool::kSystem;
    surfaces_.back_buffer = device.CreateSurface(back_desc, &r);
    if (!surfaces_.back_buffer) {
      surfaces_.primary.reset();
      WriteErrorLog("Failed to create a BackBuffer in system memory");
      return r;
    }
    if (with_3d) {
      r = CreateZBuffer(false);
      if (platform::Failed(r)) {
        surfaces_.primary.reset();
        surfaces_.back_buffer.reset();
        WriteErrorLog("Failed to create a Z-Buffer in system memory");
        return r;
      }
    }
    surfaces_.flip_chain = false;
  }

  if (!surfaces_.flip_chain) {
    platform::ClipperPtr clipper = device.CreateClipper();
    clipper->SetWindow(reinterpret_cast<uintptr_t>(platform_.window));
    surfaces_.primary->SetClipper(clipper);
  }
  if (surfaces_.primary->Format().indexed) {
    surfaces_.palette = device.CreatePalette(Rgb332Palette());
    surfaces_.primary->SetPalette(surfaces_.palette);
    surfaces_.back_buffer->SetPalette(surfaces_.palette);
  }
  surfaces_.gamma_available = surfaces_.primary->HasGammaControl();
  const platform::Surface& back = *surfaces_.back_buffer;
  surfaces_.back_buffer_size = BitmapSize{back.Width(), back.Height(), back.Format().bits};
  return result::kOk;
}

Result Display::CreateZBuffer(bool hardware) {
  SurfaceDesc desc;
  desc.width = surfaces_.screen_width;
  desc.height = surfaces_.screen_height;
  desc.format = platform::PixelFormat::Depth16();
  desc.role = SurfaceRole::kZBuffer;
  desc.pool = hardware ? MemoryPool::kVideo : MemoryPool::kSystem;
  Result r = result::kOk;
  SurfacePtr zbuffer = device_.device->CreateSurface(desc, &r);
  if (!zbuffer) return r;
  surfaces_.back_buffer->AttachZBuffer(zbuffer);
  surfaces_.zbuffer = std::move(zbuffer);
  return result::kOk;
}

bool Display::HasEnoughVideoMemory(bool with_3d) const {
  if (!device_.device) return false;
  int64_t bytes = int64_t{surfaces_.screen_width} * surfaces_.screen_height * surfaces_.screen_depth / 8;
  uint64_t total = 0;
  if (platform::Failed(device_.device->GetAvailableMemory(MemoryPool::kVideo, &total, nullptr)))
    return false;
  return static_cast<uint64_t>((with_3d ? 3 : 2) * bytes) <= total;
}

uint32_t Display::BlackPixelValue() const {
  if (!surfaces_.back_buffer || surfaces_.back_buffer->Format().indexed) return 0;
  return platform::PackRgb(surfaces_.back_buffer->Format(), 0, 0, 0);
}

bool Display::SetScreenColourKeys() {
  if (!surfaces_.primary || !surfaces_.back_buffer) return false;
  uint32_t key = BlackPixelValue();
  surfaces_.primary->SetColorKey(platform::ColorKey{key, key});
  surfaces_.back_buffer->SetColorKey(platform::ColorKey{key, key});
  return true;
}

void Display::SetDrawTargets() { clients_->SetDrawTargets(surfaces_.back_buffer.get(), FlipCount()); }

void Display::ClearAndPresentTwice() {
  render_device_->ClearZBuffer();
  for (int i = 0; i < 2; ++i) {
    ClearBackBuffer();
    PresentFrame();
  }
}

bool Display::LoadPointerBitmap(bool system_memory) {
  surfaces_.pointer_bitmap.reset();
  if (!device_.device || !surfaces_.back_buffer) return false;
  SurfaceDesc desc;
  desc.width = kPointerBitmapWidth;
  desc.height = kPointerBitmapHeight;
  desc.format = surfaces_.back_buffer->Format();
  desc.pool = system_memory ? MemoryPool::kSystem : MemoryPool::kVideo;
  SurfacePtr bitmap = device_.device->CreateSurface(desc);
  if (!bitmap) return false;
  if (surfaces_.palette) bitmap->SetPalette(surfaces_.palette);
  DrawPointerBitmap(*bitmap);
  uint32_t black = BlackPixelValue();
  bitmap->SetColorKey(platform::ColorKey{black, black});
  surfaces_.pointer_bitmap = std::move(bitmap);
  return true;
}

ProbeResult Display::ProbeDisplay() {
  ProbeResult probe;
  SetFullScreenFlag(1);
  if (!CreateDirectDrawObject(false, true)) return probe;
  bool hardware = false;
  bool system_memory = true;
  for (int32_t depth : {16, 24, 32}) {
    probe.depth = depth;
    bool built = SetDisplayMode(640, 480, depth) && CreateSurfacesAndDevice(640, 480, true);
    hardware = built && render_device_->HardwareDevice();
    system_memory = surfaces_.system_memory;
    ReleaseDisplayObjects(false);
    if (hardware) break;
    if (!CreateDirectDrawObject(false, true)) break;
  }
  ReleaseDisplayObjects(false);
  probe.supports_3d = hardware && !system_memory;
  if (!hardware) probe.depth = 16;
  probe.alpha_blending = render_device_->HasBlendSupport();
  probe.texture_filtering = render_device_->HasTextureFiltering();
  probe.fogging = render_device_->HasFog();
  return probe;
}

}  // namespace zv
