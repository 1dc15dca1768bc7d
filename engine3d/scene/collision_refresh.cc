#include "engine3d/scene/collision_refresh.h"

#include "engine3d/engine.h"
#include "engine3d/objects/object_model.h"

namespace zv {
namespace {

// The pair test of the collision library, which answers through
// OnCollisionPair. The objects' meshes file no collision shapes yet, so
// there is nothing to test.
void TestAllObjectPairs(Engine3D& e) { (void)e; }

}  // namespace

int32_t RefreshObjectCollisions(Engine3D& e) {
  if (e.transforms_changed != 1) return 1;
  RecordPool<SpriteRecord>& sprites = e.Sprites();
  bool updated = false;
  for (int32_t i = sprites.Head(); i != kNoRecord; i = sprites.Next(i)) {
    if (sprites[i].is_3d != 1 || e.Marks(i).camera_locked != 0) continue;
    ObjectRecord* o = e.pools.Object(sprites[i].object);
    if (!o || o->collision_on != 1) continue;
    if (std::shared_ptr<ObjectModel> model = o->model) model->UpdateModelCollision(e.Device());
    o->last_hit = 0;
    updated = true;
  }
  e.transforms_changed = 0;
  if (updated) {
    for (int32_t i = sprites.Head(); i != kNoRecord; i = sprites.Next(i)) {
      if (sprites[i].is_3d != 1 || e.Marks(i).camera_locked != 0) continue;
      if (ObjectRecord* o = e.pools.Object(sprites[i].object)) o->partner_hit = 0;
    }
    TestAllObjectPairs(e);
  }
  return 1;
}

void OnCollisionPair(Engine3D& e, uint32_t a, uint32_t b) {
  if (a == b) return;
  ObjectRecord* first = e.pools.Object(static_cast<int32_t>(a));
  ObjectRecord* second = e.pools.Object(static_cast<int32_t>(b));
  if (first) {
    first->last_hit = static_cast<int32_t>(b);
    if (first->wanted_partner == static_cast<int32_t>(b)) first->partner_hit = 1;
  }
  if (second) {
    second->last_hit = static_cast<int32_t>(a);
    if (second->wanted_partner == static_cast<int32_t>(a)) second->partner_hit = 1;
  }
}

}  // namespace zv
