#include "display/sprites.h"

#include <algorithm>
#include <cmath>

#include "display/display_service_adapter.h"
#include "display/image_surfaces.h"
#include "display/pixel_ops.h"
#include "display/pixel_overlap.h"
#include "display/sprite_blit.h"
#include "runtime/runtime_state.h"
#include "runtime/vm/numeric/float_to_int.h"

namespace zv {
namespace {

constexpr int32_t kParked = -256;
constexpr uint16_t kBlinkTurns = 20;

}  // namespace

// ---- Records ---------------------------------------------------------------------------

int32_t Sprites::RecordOf(int32_t number) {
  const int32_t index = Pools().sprite_ids.Get(number);
  return index > 0 && Pools().sprites.InUse(index) ? index : kNoRecord;
}

int32_t Sprites::EnsureRecord(int32_t number) {
  int32_t index = RecordOf(number);
  if (index == kNoRecord) {
    index = Pools().AllocSpriteRecord();
    if (index == kNoRecord) {
      g_.Machine().RunError(kPoolOutOfMemory);
      return kNoRecord;
    }
    Pools().sprite_ids.Set(number, index);
  }
  SpriteRecord& s = Pools().sprites[index];
  if (s.exists == 0) {
    // A deleted sprite that still waits for its backgrounds comes back as new.
    s.exists = 1;
    s.deletion_countdown = 0;
    s.image = kNoRecord;
    s.image_number = 0;
    s.backsave = 1;
    s.scale_x = s.scale_y = 1.0f;
    s.transparent = 1;
    s.shown = 1;
    s.number = number;
    s.layer = kProgramLayer;
  }
  return index;
}

void Sprites::DeleteSprite(int32_t number) {
  const int32_t index = RecordOf(number);
  if (index == kNoRecord) return;
  SpriteRecord& s = Pools().sprites[index];
  s.exists = 0;
  if (s.backsave == 1) {
    s.image = kNoRecord;
    s.deletion_countdown = 2;
  } else {
    Pools().FreeSpriteRecord(index);
    Pools().sprite_ids.Set(number, 0);
  }
}

// A program's sprite shows whatever picture its image number names now:
// a load or grab may give the number a new record, and a sprite made before
// its image shows it once it exists. The system's own sprites show the
// record they were given.
int32_t Sprites::PictureOf(const SpriteRecord& sprite) {
  int32_t index = sprite.image;
  if (sprite.number >= 1) index = sprite.exists == 1 ? Pools().image_ids.Get(sprite.image_number) : kNoRecord;
  return index >= 1 && Pools().images.InUse(index) ? index : kNoRecord;
}

const ImageRecord* Sprites::ImageOf(const SpriteRecord& sprite) {
  const int32_t index = PictureOf(sprite);
  return index == kNoRecord ? nullptr : &Pools().images[index];
}

int32_t Sprites::ScaledWidth(const SpriteRecord& sprite) {
  const ImageRecord* image = ImageOf(sprite);
  return image ? TruncateToInt32(static_cast<float>(image->width) * sprite.scale_x) : 0;
}

int32_t Sprites::ScaledHeight(const SpriteRecord& sprite) {
  const ImageRecord* image = ImageOf(sprite);
  return image ? TruncateToInt32(static_cast<float>(image->height) * sprite.scale_y) : 0;
}

void Sprites::SetAllShown(bool shown) {
  RecordPool<SpriteRecord>& pool = Pools().sprites;
  for (int32_t i = pool.Head(); i != kNoRecord; i = pool.Next(i)) {
    SpriteRecord& s = pool[i];
    if (s.layer == kProgramLayer && PictureOf(s) != kNoRecord) s.shown = shown ? 1 : 0;
  }
}

// ---- Drawing --------------------------------------------------------------------------

void Sprites::DrawSpriteRecord(platform::Surface& surface, int32_t bitmap, int32_t record, int32_t x, int32_t y) {
  if (!Pools().sprites.InUse(record)) return;
  const SpriteRecord& s = Pools().sprites[record];
  platform::Size size;
  if (bitmap == 0) {
    const SurfaceState& screen = g_.Screen().Surfaces();
    size = platform::Size{screen.screen_width, screen.screen_height};
  } else {
    const BitmapInfo info = g_.InfoOf(bitmap);
    size = platform::Size{info.width, info.height};
  }
  size.width = std::min(size.width, surface.Width());
  size.height = std::min(size.height, surface.Height());
  BlitSprite(g_.Screen(), surface, size, s, ImageOf(s), x, y);
}

bool Sprites::Drawable() { return g_.Screen().DrawingEnabled() && g_.Screen().Surfaces().back_buffer != nullptr; }

// ---- Each frame --------------------------------------------------------------------------

void Sprites::SpriteUpkeep() {
  RecordPool<ImageRecord>& images = Pools().images;
  for (int32_t i = images.Head(); i != kNoRecord;) {
    const int32_t next = images.Next(i);
    ImageRecord& image = images[i];
    if (image.deletion_countdown > 0 && --image.deletion_countdown == 0) {
      image.in_use = 0;
      Pools().FreeImageRecord(i);
    }
    i = next;
  }
  RecordPool<SpriteRecord>& sprites = Pools().sprites;
  for (int32_t i = sprites.Head(); i != kNoRecord;) {
    const int32_t next = sprites.Next(i);
    SpriteRecord& s = sprites[i];
    if (s.is_3d == 0 && s.deletion_countdown > 0 && --s.deletion_countdown == 0) {
      const int32_t number = s.number;
      Pools().FreeSpriteRecord(i);
      if (number > 0 && Pools().sprite_ids.Get(number) == i) Pools().sprite_ids.Set(number, 0);
    }
    i = next;
  }
}

platform::Rect Sprites::ScreenRect(const SpriteRecord& s) {
  const SurfaceState& screen = g_.Screen().Surfaces();
  const int64_t left = int64_t{s.x} - s.hot_x, top = int64_t{s.y} - s.hot_y;
  const int64_t right = left + ScaledWidth(s), bottom = top + ScaledHeight(s);
  return platform::Rect{static_cast<int32_t>(std::clamp<int64_t>(left, 0, screen.screen_width)),
                        static_cast<int32_t>(std::clamp<int64_t>(top, 0, screen.screen_height)),
                        static_cast<int32_t>(std::clamp<int64_t>(right, 0, screen.screen_width)),
                        static_cast<int32_t>(std::clamp<int64_t>(bottom, 0, screen.screen_height))};
}

void Sprites::RestoreSpriteBackgrounds() {
  if (!Drawable()) return;
  platform::Surface& back = *g_.Screen().Surfaces().back_buffer;
  const int32_t buffer = g_.Screen().Presentation().current_buffer & 1;
  RecordPool<SpriteRecord>& sprites = Pools().sprites;
  for (int32_t i = sprites.Head(); i != kNoRecord; i = sprites.Next(i)) {
    const SpriteRecord& s = sprites[i];
    const int32_t saved = s.saved_background[buffer];
    if (s.backsave != 1 || saved < 1 || s.saved_rect[buffer].right <= 0 || !Pools().images.InUse(saved)) continue;
    const ImageRecord& image = Pools().images[saved];
    if (!image.surface) continue;
    platform::Surface& picture = *image.surface;
    const platform::Rect from = platform::RectOfSize(image.width, image.height);
    const platform::Rect at = s.saved_rect[buffer];
    RetrySurfaceCall(g_.Screen(), back, &picture, [&] { return back.BltFast(at.left, at.top, &picture, &from, 0); });
  }
}

bool Sprites::SaveBackground(int32_t record, int32_t buffer) {
  SpriteRecord& s = Pools().sprites[record];
  const platform::Rect rect = ScreenRect(s);
  const int32_t w = ScaledWidth(s), h = ScaledHeight(s);
  if (w <= 0 || h <= 0 || rect.Empty()) {
    s.saved_rect[buffer].right = 0;
    return true;
  }
  int32_t saved = s.saved_background[buffer];
  if (saved < 1 || !Pools().images.InUse(saved)) {
    saved = Pools().AllocImageRecord();
    if (saved == kNoRecord) return false;
    Pools().sprites[record].saved_background[buffer] = saved;  // the pool may have grown
  }
  SpriteRecord& sprite = Pools().sprites[record];
  ImageRecord& image = Pools().images[saved];
  // Only the part on the screen is saved, so the surface need be no larger
  // than that (a sprite scaled far beyond the screen needs no more); it is
  // kept while it is large enough.
  const int32_t want_w = std::max(rect.Width(), image.created_width);
  const int32_t want_h = std::max(rect.Height(), image.created_height);
  if (!EnsureImageSurface(image, want_w, want_h, g_.BlackPixelValue(), g_.Maker())) {
    image.in_use = 0;
    sprite.saved_rect[buffer].right = 0;
    return false;
  }
  image.width = rect.Width();
  image.height = rect.Height();
  image.source = platform::RectOfSize(image.width, image.height);
  platform::Surface& back = *g_.Screen().Surfaces().back_buffer;
  platform::Surface& picture = *image.surface;
  RetrySurfaceCall(g_.Screen(), picture, &back, [&] { return picture.BltFast(0, 0, &back, &rect, 0); });
  sprite.saved_rect[buffer] = rect;
  return true;
}

void Sprites::SaveSpriteBackgrounds() {
  if (!Drawable()) return;
  const int32_t buffer = g_.Screen().Presentation().current_buffer & 1;
  RecordPool<SpriteRecord>& sprites = Pools().sprites;
  for (int32_t i = sprites.Head(); i != kNoRecord; i = sprites.Next(i)) {
    if (sprites[i].backsave != 1 || sprites[i].is_3d == 1) continue;
    if (!SaveBackground(i, buffer)) g_.Machine().RunError(kPoolOutOfMemory);
  }
}

void Sprites::DrawSprites() {
  if (!Drawable()) return;
  platform::Surface& back = *g_.Screen().Surfaces().back_buffer;
  RecordPool<SpriteRecord>& sprites = Pools().sprites;
  for (int32_t layer = 0; layer <= kCursorLayer; ++layer)
    for (int32_t i = sprites.Head(); i != kNoRecord; i = sprites.Next(i)) {
      const SpriteRecord& s = sprites[i];
      if (s.layer == layer && s.shown == 1 && s.is_3d == 0 && PictureOf(s) != kNoRecord)
        DrawSpriteRecord(back, 0, i, s.x, s.y);
    }
}

void Sprites::ReleaseSpriteBackgrounds() {
  RecordPool<SpriteRecord>& sprites = Pools().sprites;
  for (int32_t i = sprites.Head(); i != kNoRecord; i = sprites.Next(i)) {
    SpriteRecord& s = sprites[i];
    if (s.backsave != 1) continue;
    for (int32_t buffer = 0; buffer < 2; ++buffer) {
      if (s.saved_background[buffer] >= 1) Pools().FreeImageRecord(s.saved_background[buffer]);
      s.saved_background[buffer] = kNoRecord;
      s.saved_rect[buffer] = platform::Rect{};
    }
  }
  remake_image_textures = true;
}

// ---- Collision --------------------------------------------------------------------------

int32_t Sprites::SpritesOverlap(int32_t a, int32_t b) {
  if (!Pools().sprites.InUse(a) || !Pools().sprites.InUse(b)) return 0;
  const SpriteRecord& sa = Pools().sprites[a];
  const SpriteRecord& sb = Pools().sprites[b];
  if (sa.exists != 1 || sb.exists != 1) return 0;
  const ImageRecord* ia = ImageOf(sa);
  const ImageRecord* ib = ImageOf(sb);
  if (!ia || !ib) return 0;
  auto drawn = [this](const SpriteRecord& s, const ImageRecord& image) {
    DrawnPicture p;
    p.surface = image.surface.get();
    p.source_left = image.source.left;
    p.source_top = image.source.top;
    p.width = image.width;
    p.height = image.height;
    p.left = int64_t{s.x} - s.hot_x;
    p.top = int64_t{s.y} - s.hot_y;
    p.right = p.left + ScaledWidth(s);
    p.bottom = p.top + ScaledHeight(s);
    p.mirrored = s.mirrored == 1;
    p.flipped = s.flipped == 1;
    return p;
  };
  const DrawnPicture pa = drawn(sa, *ia), pb = drawn(sb, *ib);
  if (pa.left > pb.right || pa.top > pb.bottom || pa.right <= pb.left || pa.bottom <= pb.top) return 0;
  return PicturesMeet(pa, pb) ? 1 : 0;
}

// Only the program's own sprites answer: the system's pointer and caret
// (and 3D render records) are no sprite a program can name, and one of them
// under the sprite would hide the sprite it really touches.
int32_t Sprites::FirstCollision(int32_t record) {
  RecordPool<SpriteRecord>& sprites = Pools().sprites;
  for (int32_t i = sprites.Head(); i != kNoRecord; i = sprites.Next(i))
    if (i != record && sprites[i].number >= 1 && SpritesOverlap(record, i) == 1) return sprites[i].number;
  return 0;
}

// ---- Cursor sprites ---------------------------------------------------------------------

int32_t Sprites::TakeCursorImage(int32_t width, int32_t height) {
  const platform::SurfacePtr& pointer = g_.Screen().Surfaces().pointer_bitmap;
  const int32_t index = Pools().AllocImageRecord();
  if (index == kNoRecord) return kNoRecord;
  ImageRecord& image = Pools().images[index];
  image.in_use = 1;
  image.surface = pointer;
  image.width = width;
  image.height = height;
  image.created_width = pointer ? pointer->Width() : 0;
  image.created_height = pointer ? pointer->Height() : 0;
  image.source = platform::RectOfSize(width, height);
  return index;
}

void Sprites::SaveCursorBackgrounds() {
  if (!Drawable()) return;
  for (int32_t buffer : {1, 0})
    for (int32_t record : {pointer_, caret_})
      if (record != kNoRecord) SaveBackground(record, buffer);
}

void Sprites::CreateCursorSprites(bool backsave) {
  cursor_active_ = true;
  if (pointer_ != kNoRecord) return;
  cursor_images_ = {TakeCursorImage(20, 22), TakeCursorImage(2, 22), TakeCursorImage(1, 1)};
  for (int32_t* record : {&pointer_, &caret_}) {
    *record = Pools().AllocSpriteRecord();
    if (*record == kNoRecord) continue;
    SpriteRecord& s = Pools().sprites[*record];
    s.shown = 1;
    s.exists = 1;
    s.transparent = 1;
    s.image = cursor_images_[0];
    s.backsave = backsave ? 1 : 0;
    s.layer = kCursorLayer;
    s.x = record == &pointer_ ? 320 : kParked;
    s.y = record == &pointer_ ? 100 : kParked;
  }
  if (backsave) SaveCursorBackgrounds();
}

void Sprites::RecreateCursorImages(bool backsave) {
  if (pointer_ == kNoRecord) return;
  cursor_images_ = {TakeCursorImage(20, 22), TakeCursorImage(2, 22), TakeCursorImage(1, 1)};
  for (int32_t record : {pointer_, caret_})
    if (Pools().sprites.InUse(record)) Pools().sprites[record].image = cursor_images_[0];
  if (backsave) SaveCursorBackgrounds();
}

void Sprites::DeleteCursorSprites() {
  for (int32_t image : cursor_images_)
    if (image != kNoRecord) Pools().FreeImageRecord(image);
  cursor_images_ = {kNoRecord, kNoRecord, kNoRecord};
  for (int32_t* record : {&pointer_, &caret_}) {
    if (*record != kNoRecord) Pools().FreeSpriteRecord(*record);
    *record = kNoRecord;
  }
  cursor_active_ = false;
}

void Sprites::ParkCursorSprites() {
  cursor_active_ = false;
  for (int32_t record : {pointer_, caret_})
    if (Pools().sprites.InUse(record)) Pools().sprites[record].x = Pools().sprites[record].y = kParked;
}

void Sprites::UpdateCursorSprites() {
  RecordPool<SpriteRecord>& sprites = Pools().sprites;
  if (cursor_active_ && sprites.InUse(pointer_) && sprites.InUse(caret_)) {
    SpriteRecord& caret = sprites[caret_];
    if (caret_shown_) {
      if (++blink_counter_ > kBlinkTurns) {
        blink_counter_ = 0;
        blink_on_ = !blink_on_;
      }
      // The editor keeps no caret position yet: the caret stays parked.
      caret.x = caret.y = kParked;
    }
    SpriteRecord& pointer = sprites[pointer_];
    if (const RuntimeState* runtime = g_.Machine().runtime) {
      pointer.x = runtime->input.mouse_x - 1;
      pointer.y = runtime->input.mouse_y - 1;
    }
  }
  for (int32_t i = sprites.Head(); i != kNoRecord; i = sprites.Next(i))
    if (sprites[i].is_3d == 1) sprites[i].previous_position = sprites[i].position;
}

void Sprites::SelectCursorImage(int32_t n) {
  if (!cursor_active_ || !Pools().sprites.InUse(pointer_) || !Pools().sprites.InUse(caret_)) return;
  if (n >= 1 && n <= 3) Pools().sprites[pointer_].image = cursor_images_[static_cast<size_t>(n - 1)];
  if (n == 4) {
    blink_counter_ = kBlinkTurns;
    blink_on_ = true;
    caret_shown_ = true;
    Pools().sprites[caret_].image = cursor_images_[1];
  }
  if (n == 5) {
    caret_shown_ = false;
    Pools().sprites[caret_].x = Pools().sprites[caret_].y = kParked;
  }
}

}  // namespace zv

namespace zv {

Sprites* FindSprites(Vm& vm) {
  DisplayServiceAdapter* adapter = vm.display ? vm.display->Adapter() : nullptr;
  return adapter ? adapter->OwnedSprites() : nullptr;
}

DrawNeighbours& SpriteDrawNeighbours::Textures() {
  if (textures_) return *textures_;
  // The machine's 3D engine makes the textures when it is linked in.
  auto* engine = dynamic_cast<DrawNeighbours*>(sprites_.Drawing().Machine().engine3d);
  return engine ? *engine : none_;
}

}  // namespace zv
