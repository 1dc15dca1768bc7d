#pragma once

#include <cstdint>

namespace zv {

class Engine3D;

// Gives the backdrop the texture of image record `image` (shared with the
// image's other users); the texture it had goes back to the cache.
void TextureBackdrop(Engine3D& e, int32_t image);
// The same for image number `number`; nothing when there is no such image.
void TextureBackdropByNumber(Engine3D& e, int32_t number);
// Shows the texture rectangle (u, v) to (u + 1, v + 1) in every cell of
// the backdrop's grid, so that a wrapping texture scrolls by u and v.
void ScrollBackdrop(Engine3D& e, float u, float v);

}  // namespace zv
