#include "display/queued_work.h"

#include "display/draw_executor.h"
#include "display/graphics.h"

namespace zv {
namespace {

bool WorksOnImage(const DrawRecord& r, int32_t image) {
  return (r.type == draw_type::kGrabImage || r.type == draw_type::kRotateImage) && (image == 0 || r.subject == image);
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
