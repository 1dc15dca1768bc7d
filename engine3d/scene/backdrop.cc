#include "engine3d/scene/backdrop.h"

#include <cmath>

#include "engine3d/engine.h"
#include "engine3d/objects/mesh_records.h"
#include "engine3d/objects/model_loading.h"
#include "engine3d/objects/object_model.h"
#include "engine3d/objects/object_setup.h"
#include "engine3d/render/textures.h"
#include "engine3d/scene/backdrop_texture.h"
#include "engine3d/scene/matrix_grid.h"

namespace zv {
namespace {

constexpr float kWidth = 1.6025f, kDepth = 1.2025f;
constexpr int32_t kTilesX = 3, kTilesZ = 2;
constexpr Vector3f kPosition{-0.80125f, -0.6f, 1.0f};

void BuildBackdrop(Engine3D& e) {
  const int32_t object = AllocObjectRecord(e);
  if (object == kNoRecord) return;
  const int32_t mesh = e.pools.AllocMesh(e.Machine());
  if (mesh == kNoRecord) {
    ReleaseObjectRecord(e, object);
    return;
  }
  MeshRecord& grid = e.pools.meshes[mesh];
  BuildMatrixGrid(grid, kWidth, kDepth, kTilesX, kTilesZ);
  SetMeshRecordNormals(grid, 0, 8.0f, 0);
  ObjectRecord& o = e.pools.objects[object];
  o.Limb(0)->grid_mesh = mesh;
  o.grid_width = kWidth;
  o.grid_depth = kDepth;
  o.tiles_x = kTilesX;
  o.tiles_z = kTilesZ;
  o.texture_tiles = 0;
  MakeObjectModelFromMesh(e, object, mesh, 0);
  e.backdrop.object = object;
  const int32_t record = SetUpObject(e, object, false);
  if (record == kNoRecord) {
    e.FreeRenderRecord(e.pools.objects[object].render_record);
    ReleaseObjectRecord(e, object);
    e.backdrop.object = 0;
    return;
  }
  e.backdrop.render_record = record;
  SpriteRecord& s = e.Sprites()[record];
  s.position = {kPosition.x, kPosition.y, kPosition.z};
  s.shown = 0;
  e.Marks(record).camera_locked = 1;
  ObjectRecord& placed = e.pools.objects[object];
  placed.angles = Vector3f{270.0f, 0, 0};
  if (placed.model)
    placed.model->SetObjectTransformDegrees(0, kPosition, placed.angles, Vector3f{1, 1, 1}, placed.rotation_order);
  ColourBackdrop(e, e.backdrop.first_colour);
  if (e.backdrop.first_image > 0) TextureBackdropByNumber(e, e.backdrop.first_image);
}

}  // namespace

void BackdropOn(Engine3D& e) {
  e.Machine().render_timing.backdrop_on = false;
  if (e.backdrop.object == 0) BuildBackdrop(e);
  e.backdrop.pending = 1;
}

void BackdropOff(Engine3D& e) {
  e.Machine().render_timing.backdrop_on = false;
  e.backdrop.shown = 0;
  e.backdrop.pending = 0;
}

void ColourBackdrop(Engine3D& e, uint32_t colour) {
  // The backdrop held one reference of its texture, a colour's or an
  // image's.
  if (e.backdrop.texture > 0) {
    ReleaseTexture(e, e.backdrop.texture, false);
    e.backdrop.texture = 0;
  }
  const int32_t texture = GetColourTexture(e, colour);
  if (ObjectRecord* o = e.pools.Object(e.backdrop.object); o && o->model) o->model->SetLimbTexture(0, texture);
  e.backdrop.texture = texture;
  e.backdrop.colour_texture = 1;
}

bool BackdropCoversScreen(Engine3D& e) {
  platform::Device3D* d = e.Device();
  const int32_t width = e.DisplayWidth(), height = e.DisplayHeight();
  if (!d || width <= 0 || height <= 0) return false;
  platform::Viewport view;
  d->GetViewport(&view);
  if (view.x != 0 || view.y != 0 || view.width != width || view.height != height) return false;
  // What the backdrop's projection shows at the backdrop's depth, out to
  // the centres of the outermost pixels, which decide whether they are
  // drawn.
  const float half_height = std::tan(kDefaultFov / 2) * kPosition.z;
  const float half_width = half_height * static_cast<float>(width) / static_cast<float>(height);
  const float reach_x = half_width * (1.0f - 1.0f / static_cast<float>(width));
  const float reach_y = half_height * (1.0f - 1.0f / static_cast<float>(height));
  return kPosition.x < -reach_x && kPosition.x + kWidth > reach_x && kPosition.y < -reach_y &&
         kPosition.y + kDepth > reach_y;
}

}  // namespace zv
