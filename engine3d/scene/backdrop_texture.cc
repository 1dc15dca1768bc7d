#include "engine3d/scene/backdrop_texture.h"

#include "display/graphics.h"
#include "engine3d/engine.h"
#include "engine3d/objects/model_loading.h"
#include "engine3d/objects/object_model.h"
#include "engine3d/render/textures.h"

namespace zv {
namespace {

// Every cell of a grid made by BuildMatrixGrid shows the rectangle: its
// corners A, B, C, D take (ua, vb), (ub, vb), (ub, va), (ua, va).
void SetGridTextureRectangle(MeshRecord& grid, float ua, float va, float ub, float vb) {
  for (size_t corner = 0; corner + 8 <= grid.tex_coords.size(); corner += 8) {
    float* uv = &grid.tex_coords[corner];
    uv[0] = ua, uv[1] = vb;
    uv[2] = ub, uv[3] = vb;
    uv[4] = ub, uv[5] = va;
    uv[6] = ua, uv[7] = va;
  }
}

}  // namespace

void TextureBackdrop(Engine3D& e, int32_t image) {
  ObjectRecord* o = e.pools.Object(e.backdrop.object);
  if (!o) return;
  const int32_t texture = GetImageTexture(e, image, true);
  if (o->model) o->model->SetLimbTexture(0, texture);
  // The backdrop held one reference of what it showed before.
  const int32_t previous = e.backdrop.texture;
  e.backdrop.texture = texture;
  e.backdrop.colour_texture = 0;
  if (previous > 0) ReleaseTexture(e, previous, false);
}

void TextureBackdropByNumber(Engine3D& e, int32_t number) {
  Graphics* graphics = e.Bound() ? FindGraphics(e.Machine()) : nullptr;
  if (!graphics || !IdMap::InRange(number)) return;
  const int32_t record = graphics->Pools().image_ids.Get(number);
  if (record > 0 && graphics->Pools().images.InUse(record)) TextureBackdrop(e, record);
}

void ScrollBackdrop(Engine3D& e, float u, float v) {
  ObjectRecord* o = e.pools.Object(e.backdrop.object);
  const LimbRecord* limb = o ? o->Limb(0) : nullptr;
  MeshRecord* grid = limb ? e.pools.Mesh(limb->grid_mesh) : nullptr;
  if (!grid) return;
  SetGridTextureRectangle(*grid, u, v, u + 1.0f, v + 1.0f);
  ReplaceObjectLimbGeometry(e, e.backdrop.object, 0, limb->grid_mesh);
}

}  // namespace zv
