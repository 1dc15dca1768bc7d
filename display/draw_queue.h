#pragma once

#include <cstdint>
#include <string_view>

#include "display/bitmaps.h"
#include "display/record_pools.h"
#include "runtime/vm/vm.h"

namespace zv {

// Where new draw records draw: the current bitmap and its surface (null
// when it has none), the screen, and how many passes a record on the
// screen needs (2 with a flip chain: once into each buffer).
struct DrawTargets {
  int32_t current_bitmap = 0;
  platform::SurfacePtr current;
  platform::SurfacePtr screen;
  int8_t screen_repeat = 1;
  // The executor's drawing bitmap, which the bitmap records set.
  int32_t drawing_bitmap = 0;
  platform::SurfacePtr drawing;
};

// The writers of the draw queue: each takes a record at the end of the
// queue, fills its type and operands and sets how many passes perform it.
// A record that draws on the screen is performed once per buffer of the
// flip chain; one that draws into a bitmap, or changes state, once. When
// the pool cannot grow, runtime error 101 is raised and nothing is queued.
class DrawQueue {
 public:
  DrawQueue(RecordPools& pools, DrawTargets& targets, BitmapTable& bitmaps, Vm& vm)
      : pools_(pools), targets_(targets), bitmaps_(bitmaps), vm_(vm) {}

  // Bitmaps. Setting the current bitmap also switches the target at once.
  void QueueSetCurrentBitmap(int32_t bitmap);
  void QueueLoadBitmap(std::string_view file, int32_t bitmap);
  void QueueSaveBitmap(std::string_view file, int32_t bitmap);
  void QueueCreateBitmap(int32_t bitmap, int32_t width, int32_t height);
  void QueueDeleteBitmap(int32_t bitmap);
  void QueueCopyBitmap(int32_t source, int32_t destination);
  void QueueCopyBitmapRect(int32_t source, const platform::Rect& from, int32_t destination,
                           const platform::Rect& to);
  void QueueMirrorBitmap(int32_t bitmap);
  void QueueFlipBitmap(int32_t bitmap);
  void QueueBlurBitmap(int32_t bitmap, int32_t value);
  void QueueFadeBitmap(int32_t bitmap, int32_t percentage);

  // Images and sprites (record indices, checked by the caller).
  void QueueGrabImage(int32_t image, const platform::Rect& rect, int32_t texture_mode);
  void QueuePasteImage(int32_t image, int32_t x, int32_t y, bool transparent);
  void QueueFreeImageRecord(int32_t image);
  void QueuePasteSprite(int32_t sprite, int32_t x, int32_t y);
  // Puts `picture` at the top left of the screen, whatever bitmap is current,
  // in every buffer of the flip chain.
  void QueueScreenPicture(platform::SurfacePtr picture);
  void QueueRotateImage(int32_t image, int32_t angle);

  // Drawing in the current colours on the current bitmap.
  void QueueClearScreen();
  void QueueClearScreenEntry(uint32_t colour);
  void QueueSystemText(std::string_view text, int32_t x, int32_t y, bool opaque);
  void QueueInputLineText(std::string_view text, int32_t x, int32_t y);
  void QueueDot(int32_t x, int32_t y);
  void QueueBox(int32_t left, int32_t top, int32_t right, int32_t bottom);
  void QueueLine(int32_t x1, int32_t y1, int32_t x2, int32_t y2);
  void QueueEllipse(int32_t x, int32_t y, float radius_x, float radius_y);
  void QueueInkColours(uint32_t ink, uint32_t paper);
  void QueueClearColour(uint32_t paper);
  void QueueReadPixel(int32_t x, int32_t y, uint32_t result_slot);

  // The text font and the text commands' output.
  void QueueTextFont(std::string_view name, int32_t charset);
  void QueueTextSize(int32_t size);
  void QueueTextOpaque(bool opaque);
  void QueueTextStyle(int16_t style);
  void QueueTextAt(int32_t x, int32_t y, std::string_view text, bool centred);

  // The whole screen was covered (as a clear would, by the 3D backdrop):
  // what earlier passes drew there lies under it, so the screen records
  // already performed are not drawn again into the other buffers of the
  // flip chain, where they would stand over the new picture. Their passes
  // still do what does not draw (a load's warning, colours).
  void ScreenCovered();
  // Empties the queue without drawing.
  void Clear();
  int32_t Pending() const { return pools_.draws.Count(); }

 private:
  // A new record of `type` performed `repeat` times; null after raising
  // error 101.
  DrawRecord* Append(int32_t type, int8_t repeat);
  int8_t RepeatFor(int32_t bitmap) const { return bitmap == 0 ? targets_.screen_repeat : 1; }
  int8_t RepeatForCurrent() const { return RepeatFor(targets_.current_bitmap); }

  RecordPools& pools_;
  DrawTargets& targets_;
  BitmapTable& bitmaps_;
  Vm& vm_;
};

// Whether the record draws into bitmap `bitmap` (0: the screen) or makes,
// loads, copies into, changes or deletes it.
bool WorksOnBitmap(const DrawRecord& r, int32_t bitmap);

}  // namespace zv
