#pragma once

#include "runtime/vm/vm.h"

namespace zv {

// The bitmap commands: load, save, create, copy, delete, mirror, flip, blur
// and fade bitmaps, make one current, set the gamma ramp, and the bitmap
// queries.
void RegisterBitmapHandlers(HandlerTable& table);

namespace bitmap_opcode {
constexpr int kLoadBitmapOntoScreen = 1001;
constexpr int kLoadBitmap = 1002;
constexpr int kSaveScreen = 1003;
constexpr int kSaveBitmap = 1004;
constexpr int kCreateBitmap = 1005;
constexpr int kSetCurrentBitmap = 1006;
constexpr int kCopyBitmap = 1007;
constexpr int kCopyBitmapRect = 1008;
constexpr int kDeleteBitmap = 1009;
constexpr int kMirrorBitmap = 1010;
constexpr int kFlipBitmap = 1011;
constexpr int kBlurBitmap = 1012;
constexpr int kFadeBitmap = 1013;
constexpr int kSetGammaRamp = 1014;
constexpr int kBitmapExists = 1051;
constexpr int kCurrentBitmap = 1052;
constexpr int kCurrentBitmapWidth = 1053;
constexpr int kCurrentBitmapHeight = 1054;
constexpr int kCurrentBitmapDepth = 1055;
constexpr int kCurrentBitmapMirrored = 1056;
constexpr int kCurrentBitmapFlipped = 1057;
constexpr int kBitmapWidth = 1058;
constexpr int kBitmapHeight = 1059;
constexpr int kBitmapDepth = 1060;
constexpr int kBitmapMirrored = 1061;
constexpr int kBitmapFlipped = 1062;
}  // namespace bitmap_opcode

}  // namespace zv
