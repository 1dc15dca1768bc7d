#include "display/queued_work.h"

#include "display/draw_executor.h"
#include "display/graphics.h"

namespace zv {
namespace {

bool WorksOnImage(const DrawRecord& r, int32_t image) {
  return (r.type == draw_type::kGrabImage || r.type == draw_type::kRotateImage) && (image == 0 || r.subject == image);
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
    case draw_type::kPasteSprite: return r.bitmap == bitmap;
    default: return false;
  }
}

template <typename Works>
void CarryOutThroughLast(Graphics& graphics, Works works) {
  RecordPool<DrawRecord>& draws = graphics.Pools().draws;
  int32_t last = kNoRecord;
  for (int32_t index = draws.Head(); index != kNoRecord; index = draws.Next(index))
    if (works(draws[index])) last = index;
  if (last != kNoRecord) ExecuteDrawingQueue(graphics, last);
}

}  // namespace

void CarryOutQueuedImageWork(Graphics& graphics, int32_t image) {
  CarryOutThroughLast(graphics, [image](const DrawRecord& r) { return WorksOnImage(r, image); });
}

void CarryOutQueuedBitmapWork(Graphics& graphics, int32_t bitmap) {
  CarryOutThroughLast(graphics, [bitmap](const DrawRecord& r) { return WorksOnBitmap(r, bitmap); });
}

}  // namespace zv
