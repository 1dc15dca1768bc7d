#pragma once

#include <cstdint>
#include <string>

namespace zv {

class Engine3D;

// The texture cache: textures made from colours (and files) are shared by
// their key, each with a count of its users; the last release frees it.

// The shared solid-colour texture of a packed 0xRRGGBB colour; 0 when no
// texture record can be had.
int32_t GetColourTexture(Engine3D& e, uint32_t colour);
// Drops one user of a shared texture (every user when `force`); the last
// one releases its surface and frees the record. A texture that is not in
// the cache is left alone.
void ReleaseTexture(Engine3D& e, int32_t texture, bool force);
bool TextureHasCacheEntry(Engine3D& e, int32_t texture);
// Fills the texture record's surface with the colour (32 x 32, the back
// buffer's format); false when the device makes no texture.
bool MakeSolidColourTexture(Engine3D& e, int32_t texture, uint32_t colour);
// Forgets every cache entry (at a reset, after the textures went).
void ClearTextureCache(Engine3D& e);

}  // namespace zv
