#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "platform/surface/rect.h"
#include "platform/surface/surface.h"
#include "platform/text/text_service.h"

namespace zv {

// What a draw record asks the executor to do.
namespace draw_type {
constexpr int32_t kSetCurrentBitmap = 1;
constexpr int32_t kLoadBitmap = 2;
constexpr int32_t kSaveBitmap = 3;
constexpr int32_t kCreateBitmap = 4;
constexpr int32_t kDeleteBitmap = 5;
constexpr int32_t kCopyBitmap = 6;
constexpr int32_t kMirrorBitmap = 8;
constexpr int32_t kFlipBitmap = 9;
constexpr int32_t kBlurBitmap = 10;
constexpr int32_t kFadeBitmap = 11;
constexpr int32_t kGrabImage = 51;
constexpr int32_t kPasteImage = 52;
constexpr int32_t kFreeImage = 53;
constexpr int32_t kPasteSprite = 54;
constexpr int32_t kRotateImage = 56;
constexpr int32_t kPutPicture = 57;
constexpr int32_t kClearScreen = 101;
constexpr int32_t kSystemText = 102;
constexpr int32_t kDot = 103;
constexpr int32_t kBox = 104;
constexpr int32_t kLine = 105;
constexpr int32_t kEllipse = 106;
constexpr int32_t kInkColours = 107;
constexpr int32_t kClearColour = 108;
constexpr int32_t kReadPixel = 109;
constexpr int32_t kInputLineText = 110;
constexpr int32_t kTextFont = 201;
constexpr int32_t kTextSize = 202;
constexpr int32_t kTextOpaque = 205;
constexpr int32_t kTextTransparent = 206;
constexpr int32_t kTextNormal = 207;
constexpr int32_t kTextItalic = 208;
constexpr int32_t kTextBold = 209;
constexpr int32_t kTextBoldItalic = 210;
constexpr int32_t kTextAt = 212;
constexpr int32_t kCenterTextAt = 213;
}  // namespace draw_type

// How a text record came out the first time it was drawn. The passes that
// draw it again into the other buffers of the flip chain draw it the same,
// whatever font or colour records queued after it have set since.
struct TextLook {
  platform::FontPtr font;
  uint32_t ink = 0, paper = 0;
  bool opaque = false;
};

// One deferred 2D drawing operation. The allocation stamps where it draws
// (the current bitmap and its surface at that moment); the writer fills the
// type and the operands its type uses, and leaves the other fields as the
// record's last user left them.
//
//   type                 fields
//   1, 205-210           -
//   2, 3                 subject = bitmap, text = file name
//   4                    subject = bitmap, x2, y2 = width, height
//   5, 8, 9              subject = bitmap
//   6                    subject = source, x = 0 whole / 1 rectangles,
//                        source, destination_bitmap, destination
//   10, 11               subject = bitmap, value = blur value / percentage
//   51                   subject = image, x, y, x2, y2 = rectangle, value = texture mode
//   52                   subject = image, x, y, x2 = 1 with the colour key
//   53                   subject = image
//   54                   subject = sprite, x, y
//   56                   subject = image, x = angle in degrees
//   57                   picture, put at the target's top left
//   101                  value = 1 for a clear to `colour`, else 0
//   102, 110, 212, 213   x, y, opaque, text
//   103                  x, y
//   104, 105             x, y, x2, y2
//   106                  x, y = centre, radius_x, radius_y
//   107                  x2 = paper, y2 = ink (0xRRGGBB)
//   108                  x2 = paper
//   109                  x, y, value = the result slot
//   201                  x = character set, text = font name
//   202                  value = size
struct DrawRecord {
  int32_t type = 0;
  int32_t x = 0, y = 0;
  int8_t repeat = 0;   // executor passes that still perform the record
  int32_t bitmap = 0;  // the current bitmap when it was queued
  platform::SurfacePtr target;  // its surface then; null when it had none
  int32_t x2 = 0, y2 = 0;
  int32_t subject = 0;  // bitmap number, image record or sprite record
  uint8_t opaque = 0;
  int32_t value = 0;
  uint32_t colour = 0;
  float radius_x = 0.0f, radius_y = 0.0f;
  platform::Rect source, destination;
  int32_t destination_bitmap = 0;
  std::string text;
  std::optional<TextLook> look;  // text records, from their first pass on
  platform::SurfacePtr picture;  // its own pixels (57)
  bool performed = false;  // a pass has counted it down
  // The frame (PresentState::frame) of the pass that counted it down last;
  // 0 none. No other pass of that frame performs it again.
  uint32_t performed_in = 0;
  // The screen was covered after the record was drawn on it: its remaining
  // passes draw nothing, and do only what does not lie on the screen.
  bool covered = false;
};

}  // namespace zv
