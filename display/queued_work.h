#pragma once

#include <cstdint>

namespace zv {

class Graphics;

// For the commands that read or replace an image or a bitmap at once (a
// conversion to or from a memory block, a save of what images show): the
// draw queue is carried out now up to its last record that works on that
// image or bitmap, so that they find the grabs, loads and drawing queued
// before them done, as the next sync would have left them. The records
// after it wait for the sync as before.

// Grabs into (or turns of) image record `image`; 0 for any image.
void CarryOutQueuedImageWork(Graphics& graphics, int32_t image);
// Drawing into bitmap `bitmap` (0: the screen) and the records that make,
// load, copy into, change or delete it.
void CarryOutQueuedBitmapWork(Graphics& graphics, int32_t bitmap);

}  // namespace zv
