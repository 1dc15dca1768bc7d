#pragma once

#include <cstdint>

#include "runtime/vm/vm.h"

namespace zv {

// Bitmaps and images to memory blocks and back, in the layout of
// pixel_layout.h. The numbers arrive checked for their ranges; each routine
// returns true on success and false after raising its error. The network
// commands convert through the scratch block with the same routines.

// Bitmap 0 is the back buffer. Replaces the block (gone after a failure).
bool MakeMemblockFromBitmap(Vm& vm, int32_t block, int32_t bitmap);
// A bitmap 1 to 31 without a surface, or of another size, is made anew at
// the block's size; the back buffer takes the part of the block that fits.
// The block's bits per pixel must be the bitmap's (1000 otherwise).
bool MakeBitmapFromMemblock(Vm& vm, int32_t block, int32_t bitmap);

// `image` is an image record index; an image without a surface converts to
// nothing and succeeds.
bool MakeMemblockFromImage(Vm& vm, int32_t block, int32_t image);
// `image` is the record index the image has (0 or less: none) and becomes
// the one it has afterwards, for the caller to store in the image map (0
// when it has none left). A record of the block's size is kept; otherwise
// a new record replaces it. The block's bits per pixel must be the
// display's (500 otherwise).
bool MakeImageFromMemblock(Vm& vm, int32_t block, int32_t& image);

}  // namespace zv
