// The textures the display's image commands ask the engine for: an image
// loaded or grabbed with a texture mode gets a texture made from its
// picture (or shares its file's), keeps it current when its pixels change,
// and lets go of it when it goes.

#include "engine3d/engine.h"
#include "engine3d/render/texture_loader.h"
#include "engine3d/render/textures.h"

namespace zv {

void Engine3D::MakeImageTexture(int32_t image, bool flag) {
  if (vm_) zv::MakeImageTexture(*this, image, flag);
}

// The flag is texture mode 2's: the image asked for a compressed texture.
void Engine3D::PreloadImageTexture(int32_t texture, bool flag) {
  TextureRecord* t = pools.Texture(texture);
  if (!t) return;
  t->compressed = flag ? 1 : 0;
  PreloadTexture(*this, *t);
}

void Engine3D::RebuildImageTexture(int32_t image, bool flag) {
  if (vm_) UpdateImageTexture(*this, image, true, flag);
}

void Engine3D::ReleaseImageTextures() {
  if (vm_) ReleaseAllImageTextures(*this);
}

int32_t Engine3D::LoadImageTextureFile(int32_t image, const std::string& name) {
  return vm_ ? zv::LoadImageTextureFile(*this, image, name) : 0;
}

void Engine3D::BuildTextureMipmaps(int32_t texture, uint8_t format_digit) {
  zv::BuildTextureMipmaps(*this, texture, format_digit);
}

void Engine3D::ReleaseImageTexture(int32_t image) {
  if (vm_) zv::ReleaseImageTexture(*this, image);
}

}  // namespace zv
