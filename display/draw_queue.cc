#include "display/draw_queue.h"

namespace zv {

using platform::Rect;

DrawRecord* DrawQueue::Append(int32_t type, int8_t repeat) {
  const int32_t index = pools_.AllocDrawRecord(targets_.current_bitmap, targets_.current);
  if (index == kNoRecord) {
    vm_.RunError(kPoolOutOfMemory);
    return nullptr;
  }
  DrawRecord& record = pools_.draws[index];
  record.type = type;
  record.repeat = repeat;
  record.look.reset();
  record.performed = false;
  record.performed_in = 0;
  record.covered = false;
  return &record;
}

// ---- Bitmaps ---------------------------------------------------------------------

void DrawQueue::QueueSetCurrentBitmap(int32_t bitmap) {
  targets_.current_bitmap = bitmap;
  if (bitmap == 0)
    targets_.current = targets_.screen;
  else
    targets_.current = BitmapTable::InRange(bitmap) ? bitmaps_.Surface(bitmap) : nullptr;
  Append(draw_type::kSetCurrentBitmap, 1);
}

void DrawQueue::QueueLoadBitmap(std::string_view file, int32_t bitmap) {
  if (DrawRecord* r = Append(draw_type::kLoadBitmap, RepeatFor(bitmap))) {
    r->subject = bitmap;
    r->text.assign(file);
  }
}

void DrawQueue::QueueSaveBitmap(std::string_view file, int32_t bitmap) {
  if (DrawRecord* r = Append(draw_type::kSaveBitmap, 1)) {
    r->subject = bitmap;
    r->text.assign(file);
  }
}

void DrawQueue::QueueCreateBitmap(int32_t bitmap, int32_t width, int32_t height) {
  if (DrawRecord* r = Append(draw_type::kCreateBitmap, 1)) {
    r->subject = bitmap;
    r->x2 = width;
    r->y2 = height;
  }
}

void DrawQueue::QueueDeleteBitmap(int32_t bitmap) {
  if (bitmap == targets_.current_bitmap) {
    targets_.current_bitmap = 0;
    targets_.current = targets_.screen;
  }
  if (DrawRecord* r = Append(draw_type::kDeleteBitmap, 1)) r->subject = bitmap;
}

void DrawQueue::QueueCopyBitmap(int32_t source, int32_t destination) {
  if (DrawRecord* r = Append(draw_type::kCopyBitmap, RepeatFor(destination))) {
    r->subject = source;
    r->x = 0;
    r->destination_bitmap = destination;
  }
}

void DrawQueue::QueueCopyBitmapRect(int32_t source, const Rect& from, int32_t destination, const Rect& to) {
  if (DrawRecord* r = Append(draw_type::kCopyBitmap, RepeatFor(destination))) {
    r->subject = source;
    r->x = 1;
    r->source = from;
    r->destination_bitmap = destination;
    r->destination = to;
  }
}

void DrawQueue::QueueMirrorBitmap(int32_t bitmap) {
  if (DrawRecord* r = Append(draw_type::kMirrorBitmap, RepeatFor(bitmap))) r->subject = bitmap;
}

void DrawQueue::QueueFlipBitmap(int32_t bitmap) {
  if (DrawRecord* r = Append(draw_type::kFlipBitmap, RepeatFor(bitmap))) r->subject = bitmap;
}

void DrawQueue::QueueBlurBitmap(int32_t bitmap, int32_t value) {
  if (DrawRecord* r = Append(draw_type::kBlurBitmap, RepeatFor(bitmap))) {
    r->subject = bitmap;
    r->value = value;
  }
}

void DrawQueue::QueueFadeBitmap(int32_t bitmap, int32_t percentage) {
  if (DrawRecord* r = Append(draw_type::kFadeBitmap, RepeatFor(bitmap))) {
    r->subject = bitmap;
    r->value = percentage;
  }
}

// ---- Images and sprites ---------------------------------------------------------------

void DrawQueue::QueueGrabImage(int32_t image, const Rect& rect, int32_t texture_mode) {
  // Size queries made before the queue runs already see the new size.
  if (pools_.images.InUse(image)) {
    // Edges far apart wrap as the processor's subtraction does (the grab
    // itself then fails when the queue runs).
    pools_.images[image].width = static_cast<int32_t>(int64_t{rect.right} - rect.left);
    pools_.images[image].height = static_cast<int32_t>(int64_t{rect.bottom} - rect.top);
  }
  if (DrawRecord* r = Append(draw_type::kGrabImage, 1)) {
    r->subject = image;
    r->x = rect.left;
    r->y = rect.top;
    r->x2 = rect.right;
    r->y2 = rect.bottom;
    r->value = texture_mode;
  }
}

void DrawQueue::QueuePasteImage(int32_t image, int32_t x, int32_t y, bool transparent) {
  if (DrawRecord* r = Append(draw_type::kPasteImage, RepeatForCurrent())) {
    r->subject = image;
    r->x = x;
    r->y = y;
    r->x2 = transparent ? 1 : 0;
  }
}

void DrawQueue::QueueFreeImageRecord(int32_t image) {
  if (DrawRecord* r = Append(draw_type::kFreeImage, 1)) r->subject = image;
}

void DrawQueue::QueueScreenPicture(platform::SurfacePtr picture) {
  if (DrawRecord* r = Append(draw_type::kPutPicture, RepeatFor(0))) {
    r->bitmap = 0;
    r->target = targets_.screen;
    r->picture = std::move(picture);
  }
}

void DrawQueue::QueuePasteSprite(int32_t sprite, int32_t x, int32_t y) {
  if (DrawRecord* r = Append(draw_type::kPasteSprite, RepeatForCurrent())) {
    r->subject = sprite;
    r->x = x;
    r->y = y;
  }
}

void DrawQueue::QueueRotateImage(int32_t image, int32_t angle) {
  if (DrawRecord* r = Append(draw_type::kRotateImage, 1)) {
    r->subject = image;
    r->x = angle;
  }
}

// ---- Drawing ------------------------------------------------------------------------------

void DrawQueue::QueueClearScreen() {
  if (DrawRecord* r = Append(draw_type::kClearScreen, RepeatForCurrent())) {
    r->value = 0;
    r->colour = 0;
  }
}

void DrawQueue::QueueClearScreenEntry(uint32_t colour) {
  if (DrawRecord* r = Append(draw_type::kClearScreen, RepeatForCurrent())) {
    r->value = 1;
    r->colour = colour;
  }
}

void DrawQueue::QueueSystemText(std::string_view text, int32_t x, int32_t y, bool opaque) {
  if (DrawRecord* r = Append(draw_type::kSystemText, RepeatForCurrent())) {
    r->x = x;
    r->y = y;
    r->opaque = opaque ? 1 : 0;
    r->text.assign(text);
  }
}

void DrawQueue::QueueInputLineText(std::string_view text, int32_t x, int32_t y) {
  if (DrawRecord* r = Append(draw_type::kInputLineText, RepeatForCurrent())) {
    r->x = x;
    r->y = y;
    r->text.assign(text);
  }
}

void DrawQueue::QueueDot(int32_t x, int32_t y) {
  if (DrawRecord* r = Append(draw_type::kDot, RepeatForCurrent())) {
    r->x = x;
    r->y = y;
  }
}

void DrawQueue::QueueBox(int32_t left, int32_t top, int32_t right, int32_t bottom) {
  if (DrawRecord* r = Append(draw_type::kBox, RepeatForCurrent())) {
    r->x = left;
    r->y = top;
    r->x2 = right;
    r->y2 = bottom;
  }
}

void DrawQueue::QueueLine(int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
  if (DrawRecord* r = Append(draw_type::kLine, RepeatForCurrent())) {
    r->x = x1;
    r->y = y1;
    r->x2 = x2;
    r->y2 = y2;
  }
}

void DrawQueue::QueueEllipse(int32_t x, int32_t y, float radius_x, float radius_y) {
  if (DrawRecord* r = Append(draw_type::kEllipse, RepeatForCurrent())) {
    r->x = x;
    r->y = y;
    r->radius_x = radius_x;
    r->radius_y = radius_y;
  }
}

void DrawQueue::QueueInkColours(uint32_t ink, uint32_t paper) {
  if (DrawRecord* r = Append(draw_type::kInkColours, RepeatForCurrent())) {
    r->x2 = static_cast<int32_t>(paper);
    r->y2 = static_cast<int32_t>(ink);
  }
}

void DrawQueue::QueueClearColour(uint32_t paper) {
  if (DrawRecord* r = Append(draw_type::kClearColour, RepeatForCurrent())) r->x2 = static_cast<int32_t>(paper);
}

void DrawQueue::QueueReadPixel(int32_t x, int32_t y, uint32_t result_slot) {
  if (DrawRecord* r = Append(draw_type::kReadPixel, RepeatForCurrent())) {
    r->x = x;
    r->y = y;
    r->value = static_cast<int32_t>(result_slot);
  }
}

// ---- Text ---------------------------------------------------------------------------------

void DrawQueue::QueueTextFont(std::string_view name, int32_t charset) {
  if (DrawRecord* r = Append(draw_type::kTextFont, 1)) {
    r->x = charset;
    r->text.assign(name);
  }
}

void DrawQueue::QueueTextSize(int32_t size) {
  if (DrawRecord* r = Append(draw_type::kTextSize, 1)) r->value = size;
}

void DrawQueue::QueueTextOpaque(bool opaque) {
  Append(opaque ? draw_type::kTextOpaque : draw_type::kTextTransparent, 1);
}

void DrawQueue::QueueTextStyle(int16_t style) {
  static constexpr int32_t kTypes[] = {draw_type::kTextNormal, draw_type::kTextItalic, draw_type::kTextBold,
                                       draw_type::kTextBoldItalic};
  if (style >= 0 && style <= 3) Append(kTypes[style], 1);
}

void DrawQueue::QueueTextAt(int32_t x, int32_t y, std::string_view text, bool centred) {
  if (DrawRecord* r = Append(centred ? draw_type::kCenterTextAt : draw_type::kTextAt, RepeatForCurrent())) {
    r->x = x;
    r->y = y;
    r->text.assign(text);
  }
}

void DrawQueue::ScreenCovered() {
  // Only screen records are still waiting after a pass that performed them
  // (they are performed once per buffer of the flip chain).
  for (int32_t index = pools_.draws.Head(); index != kNoRecord; index = pools_.draws.Next(index)) {
    DrawRecord& record = pools_.draws[index];
    if (record.performed && record.repeat > 0) record.covered = true;
  }
}

void DrawQueue::Clear() {
  for (int32_t index = pools_.draws.Head(); index != kNoRecord;) {
    const int32_t next = pools_.draws.Next(index);
    pools_.draws[index].repeat = 0;
    pools_.FreeDrawRecord(index);
    index = next;
  }
}

bool WorksOnBitmap(const DrawRecord& r, int32_t bitmap) {
  switch (r.type) {
    case draw_type::kLoadBitmap:
    case draw_type::kCreateBitmap:
    case draw_type::kDeleteBitmap:
    case draw_type::kMirrorBitmap:
    case draw_type::kFlipBitmap:
    case draw_type::kBlurBitmap:
    case draw_type::kFadeBitmap: return r.subject == bitmap;
    case draw_type::kCopyBitmap: return r.destination_bitmap == bitmap;
    case draw_type::kClearScreen:
    case draw_type::kSystemText:
    case draw_type::kInputLineText:
    case draw_type::kDot:
    case draw_type::kBox:
    case draw_type::kLine:
    case draw_type::kEllipse:
    case draw_type::kTextAt:
    case draw_type::kCenterTextAt:
    case draw_type::kPasteImage:
    case draw_type::kPasteSprite:
    case draw_type::kPutPicture: return r.bitmap == bitmap;
    default: return false;
  }
}

}  // namespace zv
