#include "display/sprites_commands.h"

#include "display/sprites.h"

namespace zv {
namespace {

namespace op = sprite_opcode;
namespace err = sprite_error;

constexpr int32_t kMostPercent = 250000;

// The sprite record of a number checked for range (301) and existence
// (302); null after raising the error or without a display.
SpriteRecord* Existing(Vm& vm, Sprites* sprites, int32_t number) {
  if (!IdMap::InRange(number)) {
    vm.RunError(err::kNumber);
    return nullptr;
  }
  if (!sprites) return nullptr;
  const int32_t index = sprites->RecordOf(number);
  if (index == kNoRecord) {
    vm.RunError(err::kMissing);
    return nullptr;
  }
  return &sprites->Pools().sprites[index];
}

SpriteRecord* Created(Vm& vm, Sprites* sprites, int32_t number) {
  if (!IdMap::InRange(number)) {
    vm.RunError(err::kNumber);
    return nullptr;
  }
  if (!sprites) return nullptr;
  const int32_t index = sprites->EnsureRecord(number);
  return index == kNoRecord ? nullptr : &sprites->Pools().sprites[index];
}

// ---- Commands -------------------------------------------------------------------------

void CmdSprite(Vm& vm) {
  const int32_t number = vm.NextInt();
  const int32_t x = vm.NextInt();
  const int32_t y = vm.NextInt();
  const int32_t image = vm.NextInt();
  Sprites* sprites = FindSprites(vm);
  SpriteRecord* s = Created(vm, sprites, number);
  if (!s) return;
  s->x = x;
  s->y = y;
  s->image_number = image;
}

void CmdSetSprite(Vm& vm) {
  const int32_t number = vm.NextInt();
  const int32_t backsave = vm.NextInt();
  const int32_t transparency = vm.NextInt();
  Sprites* sprites = FindSprites(vm);
  SpriteRecord* s = Created(vm, sprites, number);
  if (!s) return;
  if (backsave < 0 || backsave > 1) return vm.RunError(err::kBacksave);
  if (transparency < 0 || transparency > 1) return vm.RunError(err::kTransparency);
  s->backsave = backsave;
  s->transparent = transparency;
}

void CmdDeleteSprite(Vm& vm) {
  const int32_t number = vm.NextInt();
  Sprites* sprites = FindSprites(vm);
  if (Existing(vm, sprites, number)) sprites->DeleteSprite(number);
}

void CmdPasteSprite(Vm& vm) {
  const int32_t number = vm.NextInt();
  const int32_t x = vm.NextInt();
  const int32_t y = vm.NextInt();
  Sprites* sprites = FindSprites(vm);
  if (!Existing(vm, sprites, number)) return;
  sprites->Drawing().Queue().QueuePasteSprite(sprites->RecordOf(number), x, y);
  if (sprites->Drawing().CurrentBitmap() == 0) vm.yield = true;
}

void CmdSizeSprite(Vm& vm) {
  const int32_t number = vm.NextInt();
  const int32_t width = vm.NextInt();
  const int32_t height = vm.NextInt();
  Sprites* sprites = FindSprites(vm);
  SpriteRecord* s = Existing(vm, sprites, number);
  if (!s) return;
  if (width < 0 || height < 0) return vm.RunError(err::kSize);
  const ImageRecord* image = sprites->ImageOf(*s);
  // Without a picture (or of no size) there is nothing to scale against.
  if (s->image_number < 1 || !image || image->width < 1 || image->height < 1) return;
  s->scale_x = static_cast<float>(width) / static_cast<float>(image->width);
  s->scale_y = static_cast<float>(height) / static_cast<float>(image->height);
}

void SetScale(Vm& vm, int32_t number, int32_t x_percent, int32_t y_percent) {
  SpriteRecord* s = Existing(vm, FindSprites(vm), number);
  if (!s) return;
  if (x_percent < 0 || x_percent > kMostPercent || y_percent < 0 || y_percent > kMostPercent)
    return vm.RunError(err::kScale);
  s->scale_x = static_cast<float>(x_percent) / 100.0f;
  s->scale_y = static_cast<float>(y_percent) / 100.0f;
}

void CmdScaleSprite(Vm& vm) {
  const int32_t number = vm.NextInt();
  const int32_t percent = vm.NextInt();
  SetScale(vm, number, percent, percent);
}

void CmdStretchSprite(Vm& vm) {
  const int32_t number = vm.NextInt();
  const int32_t x = vm.NextInt();
  const int32_t y = vm.NextInt();
  SetScale(vm, number, x, y);
}

void CmdOffsetSprite(Vm& vm) {
  const int32_t number = vm.NextInt();
  const int32_t x = vm.NextInt();
  const int32_t y = vm.NextInt();
  if (SpriteRecord* s = Existing(vm, FindSprites(vm), number)) s->hot_x = x, s->hot_y = y;
}

template <int32_t SpriteRecord::*kFlag>
void CmdToggleSprite(Vm& vm) {
  const int32_t number = vm.NextInt();
  if (SpriteRecord* s = Existing(vm, FindSprites(vm), number)) s->*kFlag = s->*kFlag == 1 ? 0 : 1;
}

template <int32_t kShown>
void CmdShowSprite(Vm& vm) {
  const int32_t number = vm.NextInt();
  if (SpriteRecord* s = Existing(vm, FindSprites(vm), number)) s->shown = kShown;
}

template <bool kShown>
void CmdShowAllSprites(Vm& vm) {
  if (Sprites* sprites = FindSprites(vm)) sprites->SetAllShown(kShown);
}

// ---- Functions -------------------------------------------------------------------------

void FnSpriteExists(Vm& vm) {
  const Slot result = vm.NextSlot();
  const int32_t number = vm.NextInt();
  if (!IdMap::InRange(number)) return vm.RunError(err::kNumber);
  Sprites* sprites = FindSprites(vm);
  const int32_t index = sprites ? sprites->RecordOf(number) : kNoRecord;
  vm.SetInt(result, index != kNoRecord && sprites->Pools().sprites[index].deletion_countdown == 0 ? 1 : 0);
}

// A function of one sprite: the result is `value` of its record.
template <int32_t (*kValue)(Sprites&, const SpriteRecord&)>
void FnSpriteValue(Vm& vm) {
  const Slot result = vm.NextSlot();
  const int32_t number = vm.NextInt();
  Sprites* sprites = FindSprites(vm);
  if (const SpriteRecord* s = Existing(vm, sprites, number)) vm.SetInt(result, kValue(*sprites, *s));
}

int32_t XOf(Sprites&, const SpriteRecord& s) { return s.x; }
int32_t YOf(Sprites&, const SpriteRecord& s) { return s.y; }
int32_t OffsetXOf(Sprites&, const SpriteRecord& s) { return s.hot_x; }
int32_t OffsetYOf(Sprites&, const SpriteRecord& s) { return s.hot_y; }
int32_t WidthOf(Sprites& sprites, const SpriteRecord& s) { return sprites.ScaledWidth(s); }
int32_t HeightOf(Sprites& sprites, const SpriteRecord& s) { return sprites.ScaledHeight(s); }
int32_t ImageOf(Sprites&, const SpriteRecord& s) { return s.image_number; }
int32_t ScaleXOf(Sprites&, const SpriteRecord& s) { return static_cast<int32_t>(s.scale_x * 100.0f); }
int32_t ScaleYOf(Sprites&, const SpriteRecord& s) { return static_cast<int32_t>(s.scale_y * 100.0f); }
int32_t MirroredOf(Sprites&, const SpriteRecord& s) { return s.mirrored; }
int32_t FlippedOf(Sprites&, const SpriteRecord& s) { return s.flipped; }

// The collision value of a sprite with another (or, for a number outside
// 1..65535, with any sprite); false after an error.
bool CollisionValue(Vm& vm, Sprites* sprites, int32_t number, int32_t other, int32_t* value) {
  if (!Existing(vm, sprites, number)) return false;
  const int32_t record = sprites->RecordOf(number);
  if (!IdMap::InRange(other)) {
    *value = sprites->FirstCollision(record);
    return true;
  }
  if (!Existing(vm, sprites, other)) return false;
  *value = sprites->SpritesOverlap(record, sprites->RecordOf(other));
  return true;
}

void FnSpriteCollision(Vm& vm) {
  const Slot result = vm.NextSlot();
  const int32_t number = vm.NextInt();
  const int32_t other = vm.NextInt();
  int32_t value = 0;
  if (CollisionValue(vm, FindSprites(vm), number, other, &value)) vm.SetInt(result, value);
}

// A contact is reported once, in the first call after it begins.
void FnSpriteHit(Vm& vm) {
  const Slot result = vm.NextSlot();
  const int32_t number = vm.NextInt();
  const int32_t other = vm.NextInt();
  Sprites* sprites = FindSprites(vm);
  int32_t value = 0;
  if (!CollisionValue(vm, sprites, number, other, &value)) return;
  SpriteRecord& s = sprites->Pools().sprites[sprites->RecordOf(number)];
  vm.SetInt(result, value >= 1 && s.last_hit == 0 ? value : 0);
  s.last_hit = value;
}

void Both(HandlerTable& table, int first, int second, Handler handler) {
  table.Set(static_cast<uint32_t>(first), handler);
  table.Set(static_cast<uint32_t>(second), handler);
}

}  // namespace

void RegisterSpriteHandlers(HandlerTable& table) {
  Both(table, op::kSprite, op::kSpriteOld, CmdSprite);
  Both(table, op::kSetSprite, op::kSetSpriteOld, CmdSetSprite);
  table.Set(op::kSizeSprite, CmdSizeSprite);
  Both(table, op::kScaleSprite, op::kScaleSpriteOld, CmdScaleSprite);
  Both(table, op::kStretchSprite, op::kStretchSpriteOld, CmdStretchSprite);
  Both(table, op::kOffsetSprite, op::kOffsetSpriteOld, CmdOffsetSprite);
  Both(table, op::kMirrorSprite, op::kMirrorSpriteOld, CmdToggleSprite<&SpriteRecord::mirrored>);
  Both(table, op::kFlipSprite, op::kFlipSpriteOld, CmdToggleSprite<&SpriteRecord::flipped>);
  Both(table, op::kDeleteSprite, op::kDeleteSpriteOld, CmdDeleteSprite);
  Both(table, op::kPasteSprite, op::kPasteSpriteOld, CmdPasteSprite);
  table.Set(op::kHideSprite, CmdShowSprite<0>);
  table.Set(op::kShowSprite, CmdShowSprite<1>);
  table.Set(op::kHideAllSprites, CmdShowAllSprites<false>);
  table.Set(op::kShowAllSprites, CmdShowAllSprites<true>);

  Both(table, op::kSpriteExists, op::kSpriteExistsOld, FnSpriteExists);
  Both(table, op::kSpriteX, op::kSpriteXOld, FnSpriteValue<XOf>);
  Both(table, op::kSpriteY, op::kSpriteYOld, FnSpriteValue<YOf>);
  Both(table, op::kSpriteOffsetX, op::kSpriteOffsetXOld, FnSpriteValue<OffsetXOf>);
  Both(table, op::kSpriteOffsetY, op::kSpriteOffsetYOld, FnSpriteValue<OffsetYOf>);
  Both(table, op::kSpriteWidth, op::kSpriteWidthOld, FnSpriteValue<WidthOf>);
  Both(table, op::kSpriteHeight, op::kSpriteHeightOld, FnSpriteValue<HeightOf>);
  Both(table, op::kSpriteImage, op::kSpriteImageOld, FnSpriteValue<ImageOf>);
  Both(table, op::kSpriteScaleX, op::kSpriteScaleXOld, FnSpriteValue<ScaleXOf>);
  Both(table, op::kSpriteScaleY, op::kSpriteScaleYOld, FnSpriteValue<ScaleYOf>);
  Both(table, op::kSpriteMirrored, op::kSpriteMirroredOld, FnSpriteValue<MirroredOf>);
  Both(table, op::kSpriteFlipped, op::kSpriteFlippedOld, FnSpriteValue<FlippedOf>);
  Both(table, op::kSpriteHit, op::kSpriteHitOld, FnSpriteHit);
  Both(table, op::kSpriteCollision, op::kSpriteCollisionOld, FnSpriteCollision);
}

}  // namespace zv
