#include "services/memory/pixel_conversions.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <optional>
#include <string>
#include <string_view>

#include "display/graphics.h"
#include "display/image_surfaces.h"
#include "display/queued_work.h"
#include "services/memory/memblock_errors.h"
#include "services/memory/memory_blocks.h"
#include "services/memory/pixel_layout.h"

namespace zv {
namespace {

namespace err = memblock_error;
namespace other = memblock_neighbour_error;
using platform::Surface;
using platform::SurfacePtr;

bool Fail(Vm& vm, int32_t code, std::string_view cause = {}) {
  vm.RunError(code, {}, cause);
  return false;
}

// The cause a refused block's code alone would hide: its pixels are copied
// as they stand, so they must be in the target's own format.
std::string BitsRefused(uint32_t block_bits, uint32_t target_bits, std::string_view target) {
  return "the block gives " + std::to_string(block_bits) + " bits per pixel where the " + std::string(target) +
         " has " + std::to_string(target_bits);
}

MemblockTable* TableOf(Vm& vm) { return vm.memory_blocks ? &vm.memory_blocks->Table() : nullptr; }

// A surface locked whole for as long as this lives.
class SurfaceLock {
 public:
  explicit SurfaceLock(Surface& surface) : surface_(surface) {
    locked_ = platform::Succeeded(surface_.Lock(nullptr, platform::kLockWait, &region_));
  }
  ~SurfaceLock() {
    if (locked_) surface_.Unlock();
  }
  SurfaceLock(const SurfaceLock&) = delete;
  SurfaceLock& operator=(const SurfaceLock&) = delete;

  bool Locked() const { return locked_; }
  const platform::LockedRegion& Region() const { return region_; }

 private:
  Surface& surface_;
  platform::LockedRegion region_;
  bool locked_ = false;
};

// ---- Surface to block -----------------------------------------------------------------

bool SurfaceToBlock(Vm& vm, int32_t number, Surface& surface) {
  MemblockTable* table = TableOf(vm);
  if (!table) return Fail(vm, err::kAllocation);
  table->Release(number);
  SurfaceLock lock(surface);
  if (!lock.Locked()) return Fail(vm, err::kAllocation);
  const platform::LockedRegion& r = lock.Region();
  PixelMemblockLayout layout;
  layout.width = static_cast<uint32_t>(r.width);
  layout.height = static_cast<uint32_t>(r.height);
  layout.bits = static_cast<uint32_t>(r.format.bits);
  const std::optional<uint32_t> size = PixelBlockSize(layout, MemblockTable::kMaxSize);
  if (!size || !table->Make(number, *size)) return Fail(vm, err::kAllocation);
  BlockMemory& block = *table->Peek(number);
  WritePixelHeader(block.bytes(), layout);
  const size_t row_bytes = static_cast<size_t>(layout.RowBytes());
  for (uint32_t y = 0; y < layout.height; ++y)
    std::memcpy(block.data() + layout.RowOffset(y), r.bits + static_cast<size_t>(y) * r.pitch, row_bytes);
  return true;
}

// ---- Block to surface -----------------------------------------------------------------

// A block held for the conversion, with its checked layout.
struct PixelBlock {
  BlockRef memory;
  PixelMemblockLayout layout;
};

// The block and its layout; nothing after raising 5103 (no block) or 5105
// (rows beyond the block).
std::optional<PixelBlock> ReadPixelBlock(Vm& vm, int32_t number) {
  MemblockTable* table = TableOf(vm);
  PixelBlock block;
  block.memory = table ? table->Hold(number) : nullptr;
  if (!block.memory) {
    vm.RunError(err::kMissing);
    return std::nullopt;
  }
  const std::optional<PixelMemblockLayout> layout = ReadPixelLayout(block.memory->bytes());
  if (!layout) {
    vm.RunError(err::kOutside);
    return std::nullopt;
  }
  block.layout = *layout;
  return block;
}

// The block's rows into the locked surface, cut to the surface's size.
// The layout's pixel size is the surface's.
void CopyRowsIntoSurface(const PixelBlock& block, const platform::LockedRegion& r) {
  const PixelMemblockLayout& layout = block.layout;
  const uint32_t rows = std::min<uint32_t>(layout.height, static_cast<uint32_t>(r.height));
  const uint32_t columns = std::min<uint32_t>(layout.width, static_cast<uint32_t>(r.width));
  const size_t bytes = static_cast<size_t>(columns) * layout.BytesPerPixel();
  for (uint32_t y = 0; y < rows; ++y)
    std::memcpy(r.bits + static_cast<size_t>(y) * r.pitch, block.memory->data() + layout.RowOffset(y), bytes);
}

bool FitsSurfaceSize(const PixelMemblockLayout& layout) {
  constexpr uint32_t kLargest = static_cast<uint32_t>(std::numeric_limits<int32_t>::max());
  return layout.width <= kLargest && layout.height <= kLargest;
}

// Bits per pixel of the surfaces the display makes; 0 without a display.
uint32_t DisplayBits(Graphics& g) {
  const SurfacePtr& back = g.Screen().Surfaces().back_buffer;
  return back ? static_cast<uint32_t>(back->Format().bits) : 0;
}

// Gives bitmap 1 to 31 a new surface of the block's size, as deleting and
// creating it would: drawing that went to it goes to the screen. Null when
// no surface of that size can be made.
SurfacePtr RemakeBitmap(Graphics& g, int32_t bitmap, const PixelMemblockLayout& layout) {
  if (g.Bitmaps().Surface(bitmap)) {
    DrawTargets& targets = g.Targets();
    if (targets.current_bitmap == bitmap) {
      targets.current_bitmap = 0;
      targets.current = targets.screen;
    }
    if (targets.drawing_bitmap == bitmap) {
      targets.drawing_bitmap = 0;
      targets.drawing = targets.screen;
    }
  }
  if (!FitsSurfaceSize(layout)) {
    g.Bitmaps().ReleaseSurface(bitmap);
    return nullptr;
  }
  g.Bitmaps().CreateSystemSurface(bitmap, static_cast<int32_t>(layout.width), static_cast<int32_t>(layout.height),
                                  g.Maker());
  return g.Bitmaps().Surface(bitmap);
}

// Gives the image a record whose surface has the block's size: a new one
// in place of the old; -1 after raising 101 or 502 (the image then has no
// record).
int32_t RemakeImageRecord(Vm& vm, Graphics& g, int32_t old, const PixelMemblockLayout& layout) {
  RecordPools& pools = g.Pools();
  if (old > 0) pools.FreeImageRecord(old);
  const int32_t index = pools.AllocImageRecord();
  if (index == kNoRecord) {
    vm.RunError(other::kOutOfMemory);
    return kNoRecord;
  }
  if (!FitsSurfaceSize(layout) ||
      !EnsureImageSurface(pools.images[index], static_cast<int32_t>(layout.width),
                          static_cast<int32_t>(layout.height), g.BlackPixelValue(), g.Maker())) {
    pools.FreeImageRecord(index);
    vm.RunError(other::kImageMissing);
    return kNoRecord;
  }
  return index;
}

// The block's picture on the screen, in every buffer of the flip chain (a
// picture written into the back buffer alone would show every other
// frame): it is queued as drawing on the screen is, and drawn now.
bool PutOnScreen(Vm& vm, Graphics& g, const PixelBlock& block, const Surface& screen) {
  const auto width = static_cast<int32_t>(std::min<uint32_t>(block.layout.width, static_cast<uint32_t>(screen.Width())));
  const auto height =
      static_cast<int32_t>(std::min<uint32_t>(block.layout.height, static_cast<uint32_t>(screen.Height())));
  if (width < 1 || height < 1) return true;
  SurfacePtr picture = g.MakeSurface(width, height);
  if (!picture) return Fail(vm, other::kBitmapMissing);
  {
    SurfaceLock lock(*picture);
    if (!lock.Locked()) return Fail(vm, other::kBitmapMissing);
    CopyRowsIntoSurface(block, lock.Region());
  }
  g.Queue().QueueScreenPicture(std::move(picture));
  CarryOutQueuedBitmapWork(g, 0);
  return true;
}

bool KeepsImageRecord(Graphics& g, int32_t index, const PixelMemblockLayout& layout) {
  if (index <= 0 || !g.Pools().images.InUse(index)) return false;
  const SurfacePtr& surface = g.Pools().images[index].surface;
  return surface && static_cast<uint32_t>(surface->Width()) == layout.width &&
         static_cast<uint32_t>(surface->Height()) == layout.height;
}

}  // namespace

bool MakeMemblockFromBitmap(Vm& vm, int32_t block, int32_t bitmap) {
  Graphics* g = FindGraphics(vm);
  if (g) CarryOutQueuedBitmapWork(*g, bitmap);
  const SurfacePtr surface = g ? g->BitmapSurface(bitmap) : nullptr;
  if (!surface) return Fail(vm, other::kBitmapMissing);
  return SurfaceToBlock(vm, block, *surface);
}

bool MakeBitmapFromMemblock(Vm& vm, int32_t block, int32_t bitmap) {
  const std::optional<PixelBlock> data = ReadPixelBlock(vm, block);
  if (!data) return false;
  const PixelMemblockLayout& layout = data->layout;
  Graphics* g = FindGraphics(vm);
  if (!g) return Fail(vm, other::kBitmapMissing);
  CarryOutQueuedBitmapWork(*g, bitmap);
  SurfacePtr target;
  if (bitmap == 0) {
    const SurfacePtr screen = g->BitmapSurface(0);
    if (!screen) return Fail(vm, other::kBitmapMissing);
    const auto bits = static_cast<uint32_t>(screen->Format().bits);
    if (layout.bits != bits) return Fail(vm, other::kBitmapFailed, BitsRefused(layout.bits, bits, "screen"));
    return PutOnScreen(vm, *g, *data, *screen);
  } else {
    target = g->Bitmaps().Surface(bitmap);
    const BitmapInfo& info = g->Bitmaps().Info(bitmap);
    const bool keep = target && static_cast<uint32_t>(info.width) == layout.width &&
                      static_cast<uint32_t>(info.height) == layout.height;
    const uint32_t bits = keep ? static_cast<uint32_t>(target->Format().bits) : DisplayBits(*g);
    if (bits == 0) return Fail(vm, other::kBitmapMissing);
    if (layout.bits != bits) return Fail(vm, other::kBitmapFailed, BitsRefused(layout.bits, bits, "bitmap"));
    if (!keep) target = RemakeBitmap(*g, bitmap, layout);
    if (!target) return Fail(vm, other::kBitmapMissing);
  }
  SurfaceLock lock(*target);
  if (!lock.Locked()) return Fail(vm, other::kBitmapMissing);
  CopyRowsIntoSurface(*data, lock.Region());
  return true;
}

bool MakeMemblockFromImage(Vm& vm, int32_t block, int32_t image) {
  Graphics* g = FindGraphics(vm);
  if (!g || image <= 0 || !g->Pools().images.InUse(image)) return true;
  CarryOutQueuedImageWork(*g, image);
  const SurfacePtr surface = g->Pools().images[image].surface;
  if (!surface) return true;
  return SurfaceToBlock(vm, block, *surface);
}

bool MakeImageFromMemblock(Vm& vm, int32_t block, int32_t& image) {
  const std::optional<PixelBlock> data = ReadPixelBlock(vm, block);
  if (!data) return false;
  const PixelMemblockLayout& layout = data->layout;
  Graphics* g = FindGraphics(vm);
  if (!g) return Fail(vm, other::kImageMissing);
  // A grab queued into the image before would overwrite the block's picture.
  if (image > 0) CarryOutQueuedImageWork(*g, image);
  const bool keep = KeepsImageRecord(*g, image, layout);
  const uint32_t bits = keep ? static_cast<uint32_t>(g->Pools().images[image].surface->Format().bits) : DisplayBits(*g);
  if (bits == 0) return Fail(vm, other::kImageMissing);
  if (layout.bits != bits) return Fail(vm, other::kImageFailed, BitsRefused(layout.bits, bits, "image"));
  if (!keep) {
    image = RemakeImageRecord(vm, *g, image, layout);
    if (image == kNoRecord) {
      image = 0;
      return false;
    }
  }
  const SurfacePtr surface = g->Pools().images[image].surface;
  {
    SurfaceLock lock(*surface);
    if (!lock.Locked()) return Fail(vm, other::kImageMissing);
    CopyRowsIntoSurface(*data, lock.Region());
  }
  // The texture and the sprites follow the new pixels.
  if (g->Pools().images[image].texture > 0) g->Neighbours().RebuildImageTexture(image, false);
  g->images_changed = true;
  return true;
}

}  // namespace zv
