#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>

#include "platform/surface/surface.h"

namespace zv {

// Runtime errors of the bitmap commands and records.
namespace bitmap_error {
constexpr int32_t kBlitFailed = 1000;
constexpr int32_t kNumber = 1001;        // outside 0..31
constexpr int32_t kMissing = 1002;       // no such bitmap
constexpr int32_t kLoadFailed = 1003;    // a warning
constexpr int32_t kSaveFailed = 1004;
constexpr int32_t kCreateFailed = 1005;
constexpr int32_t kDeleteScreen = 1006;
constexpr int32_t kCopyToItself = 1007;
constexpr int32_t kCopyTooLarge = 1008;
constexpr int32_t kCreateScreen = 1009;
constexpr int32_t kRectOutside = 1010;
constexpr int32_t kRectEmpty = 1011;
constexpr int32_t kBlurValue = 1012;
constexpr int32_t kFadeValue = 1013;
constexpr int32_t kGammaValue = 1014;  // a warning
constexpr int32_t kNoFile = 105;
}  // namespace bitmap_error

struct BitmapInfo {
  int32_t width = 0, height = 0, depth = 0;
  int32_t mirrored = 0, flipped = 0;
};

// Makes a system-memory surface of the display's format; null on failure.
using SurfaceMaker = std::function<platform::SurfacePtr(int32_t width, int32_t height)>;

// The numbered bitmaps: 0 is the screen (the back buffer, which this table
// does not hold), 1 to 31 the programs' own surfaces, 33 the scratch slot of
// image loads and saves.
class BitmapTable {
 public:
  static constexpr int32_t kLast = 31;
  static constexpr int32_t kScratch = 33;
  static constexpr int32_t kSlots = 34;

  static bool InRange(int32_t number) { return number >= 0 && number <= kLast; }

  platform::SurfacePtr& Surface(int32_t slot) { return surfaces_[static_cast<size_t>(slot)]; }
  BitmapInfo& Info(int32_t slot) { return info_[static_cast<size_t>(slot)]; }

  // Replaces the slot's surface by a new one of width x height and records
  // its size; false (and an empty slot) when it cannot be made.
  bool CreateSystemSurface(int32_t slot, int32_t width, int32_t height, const SurfaceMaker& make);
  void ReleaseSurface(int32_t slot) { surfaces_[static_cast<size_t>(slot)].reset(); }
  // Slots 1 to 33; the screen is not the table's.
  void ReleaseAll();
  void RecordSize(int32_t slot, const platform::Surface& surface);

 private:
  std::array<platform::SurfacePtr, kSlots> surfaces_;
  std::array<BitmapInfo, kSlots> info_{};
};

// Swap the columns left to right / the rows top to bottom, in place.
bool MirrorSurface(platform::Surface& surface);
bool FlipSurface(platform::Surface& surface);
// The surface turned clockwise by angle / 90 quarter turns (angles below 90
// turn nothing and give the surface back; whole turns beyond the first are
// left out); null when a new surface cannot be made. The surface passed in
// is left as it was.
platform::SurfacePtr RotateSurfaceQuarterTurns(const platform::SurfacePtr& surface, int32_t angle,
                                               const SurfaceMaker& make);

}  // namespace zv
