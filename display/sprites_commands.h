#pragma once

#include "runtime/vm/vm.h"

namespace zv {

// The sprite commands and functions, under both of their opcodes.
void RegisterSpriteHandlers(HandlerTable& table);

namespace sprite_opcode {
constexpr int kSprite = 5500, kSpriteOld = 207;
constexpr int kSetSprite = 5501, kSetSpriteOld = 251;
constexpr int kSizeSprite = 5502;
constexpr int kScaleSprite = 5503, kScaleSpriteOld = 453;
constexpr int kStretchSprite = 5504, kStretchSpriteOld = 454;
constexpr int kOffsetSprite = 5511, kOffsetSpriteOld = 461;
constexpr int kMirrorSprite = 5512, kMirrorSpriteOld = 462;
constexpr int kFlipSprite = 5513, kFlipSpriteOld = 463;
constexpr int kDeleteSprite = 5514, kDeleteSpriteOld = 464;
constexpr int kPasteSprite = 5515, kPasteSpriteOld = 465;
constexpr int kHideSprite = 5516;
constexpr int kShowSprite = 5517;
constexpr int kHideAllSprites = 5518;
constexpr int kShowAllSprites = 5519;
constexpr int kSpriteExists = 5520, kSpriteExistsOld = 470;
constexpr int kSpriteX = 5521, kSpriteXOld = 471;
constexpr int kSpriteY = 5522, kSpriteYOld = 472;
constexpr int kSpriteOffsetX = 5523, kSpriteOffsetXOld = 473;
constexpr int kSpriteOffsetY = 5524, kSpriteOffsetYOld = 474;
constexpr int kSpriteWidth = 5525, kSpriteWidthOld = 475;
constexpr int kSpriteHeight = 5526, kSpriteHeightOld = 476;
constexpr int kSpriteImage = 5527, kSpriteImageOld = 477;
constexpr int kSpriteScaleX = 5529, kSpriteScaleXOld = 479;
constexpr int kSpriteScaleY = 5530, kSpriteScaleYOld = 480;
constexpr int kSpriteMirrored = 5533, kSpriteMirroredOld = 483;
constexpr int kSpriteFlipped = 5534, kSpriteFlippedOld = 484;
constexpr int kSpriteHit = 5541, kSpriteHitOld = 491;
constexpr int kSpriteCollision = 5542, kSpriteCollisionOld = 492;
}  // namespace sprite_opcode

}  // namespace zv
