#pragma once

#include <cstdint>

#include "display/record_pool.h"

namespace zv {

class Graphics;

// One pass over the draw queue, head to tail (or to record `last` and no
// further): each record counts its repeat count down, is performed by its
// type on the surface stamped into it (only while drawing is enabled) and is
// released once its count reaches 0. Checks that fail raise their runtime
// errors now, and the pass goes on with the next record. Without a back
// buffer the queue is left alone. No record is performed twice in one
// frame: a pass to `last` carries the queue out ahead of the frame's own.
void ExecuteDrawingQueue(Graphics& graphics, int32_t last = kNoRecord);

}  // namespace zv
