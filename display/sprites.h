#pragma once

#include <array>
#include <cstdint>

#include "display/graphics.h"
#include "display/sprite_record.h"
#include "platform/surface/rect.h"

namespace zv {

// Runtime errors of the sprite commands.
namespace sprite_error {
constexpr int32_t kNumber = 301;      // outside 1..65535
constexpr int32_t kMissing = 302;     // no such sprite
constexpr int32_t kBacksave = 303;    // not 0 or 1
constexpr int32_t kTransparency = 304;
constexpr int32_t kScale = 311;       // outside 0..250000
constexpr int32_t kSize = 312;        // below 0
}  // namespace sprite_error

// Layers: the program's sprites, then the system's cursor sprites on top.
constexpr int32_t kProgramLayer = 0;
constexpr int32_t kCursorLayer = 2;

// The sprites: numbered pictures placed on the screen every frame, with
// the backgrounds saved under them, collisions between them, and the two
// cursor sprites (a pointer and a text caret) that the system draws when it
// shows its own cursor. The records live in the display's sprite pool,
// which they share with the render records of 3D objects; those carry the
// 3D flag and are left alone here.
class Sprites {
 public:
  explicit Sprites(Graphics& graphics) : g_(graphics) {}

  Graphics& Drawing() { return g_; }
  RecordPools& Pools() { return g_.Pools(); }

  // ---- Records -------------------------------------------------------------------
  // The record of sprite `number`, kNoRecord when it has none.
  int32_t RecordOf(int32_t number);
  // The record, made with the sprite defaults on first use; kNoRecord (after
  // runtime error 101) when the pool cannot grow.
  int32_t EnsureRecord(int32_t number);
  // Deletes the sprite: a sprite that saves its background keeps its record
  // for two more frames so that both buffers get their background back.
  void DeleteSprite(int32_t number);
  // The image record the sprite shows (its index, kNoRecord for none; or the
  // record itself, null for none).
  int32_t PictureOf(const SpriteRecord& sprite);
  const ImageRecord* ImageOf(const SpriteRecord& sprite);
  // trunc(image size x scale); 0 without an image.
  int32_t ScaledWidth(const SpriteRecord& sprite);
  int32_t ScaledHeight(const SpriteRecord& sprite);
  // Shows or hides every sprite of the program's layer that has a picture.
  void SetAllShown(bool shown);

  // ---- Drawing -------------------------------------------------------------------
  // Draws the record on `surface` (bitmap `bitmap`, 0 the screen) at x, y.
  void DrawSpriteRecord(platform::Surface& surface, int32_t bitmap, int32_t record, int32_t x, int32_t y);

  // ---- Each frame ------------------------------------------------------------------
  // Counts deleted images and sprites down and releases them at 0.
  void SpriteUpkeep();
  void RestoreSpriteBackgrounds();
  void SaveSpriteBackgrounds();
  // Layer 0, then 1, then 2; within a layer in creation order.
  void DrawSprites();
  // Forgets every saved background (their surfaces were lost or replaced).
  void ReleaseSpriteBackgrounds();

  // ---- Collision -------------------------------------------------------------------
  // 1 when the two records' rectangles overlap and some pixel of each,
  // other than its colour key, lies on the same screen position.
  int32_t SpritesOverlap(int32_t a, int32_t b);
  // The first of the program's sprites (in creation order) that `record`
  // overlaps: its number, 0 for none.
  int32_t FirstCollision(int32_t record);

  // ---- Cursor sprites --------------------------------------------------------------
  void CreateCursorSprites(bool backsave);
  void RecreateCursorImages(bool backsave);
  void DeleteCursorSprites();
  void ParkCursorSprites();
  void UpdateCursorSprites();
  void SelectCursorImage(int32_t n);
  bool AreCursorSpritesActive() const { return cursor_active_; }

  // Set when saved backgrounds went: the 3D engine remakes the textures
  // it made from images.
  bool remake_image_textures = false;

 private:
  platform::Rect ScreenRect(const SpriteRecord& sprite);
  bool SaveBackground(int32_t record, int32_t buffer);
  int32_t TakeCursorImage(int32_t width, int32_t height);
  void SaveCursorBackgrounds();
  bool Drawable();

  Graphics& g_;
  bool cursor_active_ = false;
  int32_t pointer_ = kNoRecord, caret_ = kNoRecord;
  std::array<int32_t, 3> cursor_images_{kNoRecord, kNoRecord, kNoRecord};
  uint16_t blink_counter_ = 0;
  bool blink_on_ = false;
  bool caret_shown_ = false;
};

// The sprites behind the Vm's display seam, or null when there are none.
Sprites* FindSprites(Vm& vm);

// What the draw queue asks of its neighbours: sprite records are drawn
// here; the textures made from images go on to `textures` (by default the
// machine's 3D engine when it makes them, else stand-ins that do nothing).
class SpriteDrawNeighbours final : public DrawNeighbours {
 public:
  explicit SpriteDrawNeighbours(Sprites& sprites) : sprites_(sprites) {}
  void SetTextures(DrawNeighbours* textures) { textures_ = textures; }

  void DrawSpriteRecord(platform::Surface& surface, int32_t bitmap, int32_t sprite, int32_t x, int32_t y) override {
    sprites_.DrawSpriteRecord(surface, bitmap, sprite, x, y);
  }
  void MakeImageTexture(int32_t image, bool flag) override { Textures().MakeImageTexture(image, flag); }
  void PreloadImageTexture(int32_t texture, bool flag) override { Textures().PreloadImageTexture(texture, flag); }
  void RebuildImageTexture(int32_t image, bool flag) override { Textures().RebuildImageTexture(image, flag); }
  void ReleaseImageTextures() override { Textures().ReleaseImageTextures(); }
  int32_t LoadImageTextureFile(int32_t image, const std::string& name) override {
    return Textures().LoadImageTextureFile(image, name);
  }
  void BuildTextureMipmaps(int32_t texture, uint8_t format_digit) override {
    Textures().BuildTextureMipmaps(texture, format_digit);
  }
  void ReleaseImageTexture(int32_t image) override { Textures().ReleaseImageTexture(image); }

 private:
  DrawNeighbours& Textures();

  Sprites& sprites_;
  DrawNeighbours none_;
  DrawNeighbours* textures_ = nullptr;
};

}  // namespace zv

namespace zv {

// The display's clients with the sprites' part added: saved backgrounds
// and cursor sprites follow display changes; everything goes on to
// `inner` (the 2D drawing) as well.
class SpriteDisplayClients final : public DisplayClients {
 public:
  SpriteDisplayClients(DisplayClients& inner, Sprites& sprites) : inner_(inner), sprites_(sprites) {}

  void ClearDrawQueue() override { inner_.ClearDrawQueue(); }
  void ReleaseAllAnimations() override { inner_.ReleaseAllAnimations(); }
  void ReleaseBitmapSurfaces() override { inner_.ReleaseBitmapSurfaces(); }
  void ReleaseTextureSurfaces() override { inner_.ReleaseTextureSurfaces(); }
  void ClearLimbTextures() override { inner_.ClearLimbTextures(); }
  void EmptyImageRecords() override { inner_.EmptyImageRecords(); }
  void SetDrawTargets(platform::Surface* back_buffer, int32_t flip_count) override {
    inner_.SetDrawTargets(back_buffer, flip_count);
  }
  void RebuildCursorSprites() override {
    inner_.RebuildCursorSprites();
    sprites_.RecreateCursorImages(true);
  }
  void ParkCursorSprites() override {
    inner_.ParkCursorSprites();
    sprites_.ParkCursorSprites();
  }
  void RecreateTextures() override { inner_.RecreateTextures(); }
  void RebuildObjectModels() override { inner_.RebuildObjectModels(); }
  void UpdateCameraView() override { inner_.UpdateCameraView(); }
  void QueueClearScreenEntry(uint32_t colour) override { inner_.QueueClearScreenEntry(colour); }
  void ReleaseSpriteBackgrounds() override {
    inner_.ReleaseSpriteBackgrounds();
    sprites_.ReleaseSpriteBackgrounds();
  }

 private:
  DisplayClients& inner_;
  Sprites& sprites_;
};

}  // namespace zv
