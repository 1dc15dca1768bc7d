#include "platform/surface/draw_device.h"

#include <unistd.h>

#include <algorithm>
#include <tuple>

namespace zv::platform {

std::vector<DisplayAdapter> EnumerateAdapters() {
  return {DisplayAdapter{std::nullopt, kPrimaryAdapterDescription, "display"}};
}

std::vector<DisplayMode> StandardModes(DisplayMode desktop) {
  // Every full-screen mode is shown scaled to the desktop, so any size a
  // program of this system may ask for can be offered.
  std::vector<std::pair<int32_t, int32_t>> sizes = {{320, 200},  {320, 240},  {400, 300},   {512, 384},
                                                    {640, 400},  {640, 480},  {800, 600},   {1024, 768},
                                                    {1152, 864}, {1280, 960}, {1280, 1024}};
  if (desktop.width > 0 && desktop.height > 0) sizes.emplace_back(desktop.width, desktop.height);
  std::sort(sizes.begin(), sizes.end());
  sizes.erase(std::unique(sizes.begin(), sizes.end()), sizes.end());
  std::vector<DisplayMode> modes;
  for (auto [w, h] : sizes)
    for (int32_t bits : {16, 24, 32}) modes.push_back(DisplayMode{w, h, bits});
  return modes;
}

DrawDevice::DrawDevice(DisplayAdapter adapter, DisplayMode desktop)
    : adapter_(std::move(adapter)), desktop_(desktop), modes_(StandardModes(desktop)) {}

Result DrawDevice::SetCooperativeLevel(CooperativeLevel level) {
  level_ = level;
  if (level == CooperativeLevel::kNormal) mode_.reset();
  return result::kOk;
}

Result DrawDevice::SetDisplayMode(int32_t width, int32_t height, int32_t bits) {
  if (level_ != CooperativeLevel::kExclusiveFullScreen) return result::kNoExclusiveMode;
  DisplayMode wanted{width, height, bits};
  if (std::find(modes_.begin(), modes_.end(), wanted) == modes_.end()) return result::kInvalidMode;
  mode_ = wanted;
  return result::kOk;
}

Result DrawDevice::EnumDisplayModes(const std::function<bool(const DisplayMode&)>& visit) const {
  for (const DisplayMode& mode : modes_)
    if (!visit(mode)) break;
  return result::kOk;
}

SurfacePtr DrawDevice::CreateSurface(SurfaceDesc desc, Result* error) {
  auto fail = [&](Result r) {
    if (error) *error = r;
    return SurfacePtr();
  };
  DisplayMode mode = CurrentMode();
  if (desc.format.bits == 0) desc.format = PixelFormat::ForDepth(mode.bits);
  if (desc.role == SurfaceRole::kPrimary && desc.width == 0 && desc.height == 0) {
    desc.width = mode.width;
    desc.height = mode.height;
  }
  if (desc.width < 1 || desc.height < 1 || desc.format.bits == 0) return fail(result::kInvalidParams);
  if (desc.pool == MemoryPool::kVideo) {
    int64_t bytes = int64_t{desc.width} * desc.height * desc.format.BytesPerPixel();
    if (context_->video_bytes + bytes > kVideoMemoryBytes) return fail(result::kOutOfMemory);
  }
  SurfacePtr surface = Surface::Create(desc, context_);
  if (!surface) return fail(result::kOutOfMemory);
  surfaces_.Add(surface);
  if (error) *error = result::kOk;
  return surface;
}

SurfacePtr DrawDevice::CreateFlipChain(Result* error) {
  SurfaceDesc desc;
  desc.pool = MemoryPool::kVideo;
  desc.home = PixelHome::kLowArena;
  desc.role = SurfaceRole::kPrimary;
  SurfacePtr primary = CreateSurface(desc, error);
  if (!primary) return nullptr;
  desc.role = SurfaceRole::kBackBuffer;
  desc.width = primary->Width();
  desc.height = primary->Height();
  SurfacePtr back = CreateSurface(desc, error);
  if (!back) return nullptr;
  primary->AttachBackBuffer(std::move(back));
  return primary;
}

Result DrawDevice::GetAvailableMemory(MemoryPool pool, uint64_t* total, uint64_t* free) const {
  if (pool == MemoryPool::kVideo) {
    if (total) *total = static_cast<uint64_t>(kVideoMemoryBytes);
    if (free) *free = static_cast<uint64_t>(std::max<int64_t>(0, kVideoMemoryBytes - context_->video_bytes));
    return result::kOk;
  }
  long pages = sysconf(_SC_PHYS_PAGES), avail = sysconf(_SC_AVPHYS_PAGES), size = sysconf(_SC_PAGESIZE);
  if (pages < 0 || avail < 0 || size < 0) return result::kFail;
  if (total) *total = static_cast<uint64_t>(pages) * static_cast<uint64_t>(size);
  if (free) *free = static_cast<uint64_t>(avail) * static_cast<uint64_t>(size);
  return result::kOk;
}

Result DrawDevice::RestoreAllSurfaces() {
  if (context_->restore_fails) return result::kFail;
  surfaces_.ForEach([](Surface& s) { s.Restore(); });
  return result::kOk;
}

void DrawDevice::LoseSurfaces(bool restorable) {
  context_->restore_fails = !restorable;
  surfaces_.ForEach([](Surface& s) { s.MarkLost(); });
}

}  // namespace zv::platform
