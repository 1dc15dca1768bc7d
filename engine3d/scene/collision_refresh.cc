#include "engine3d/scene/collision_refresh.h"

#include <memory>

#include "collision/collision_interface.h"
#include "engine3d/engine.h"
#include "engine3d/objects/object_model.h"
#include "engine3d/scene/animation.h"

namespace zv {
namespace {

// The library answers through a plain function with 32 bits of client
// data; the engine whose pairs are under test is known for the length of
// one test run.
Engine3D* g_engine_under_test = nullptr;

void RespondToCollidingPair(uint32_t client_data, CollisionKey first, CollisionKey second,
                            const CollisionData* data) {
  (void)client_data, (void)data;
  if (g_engine_under_test)
    OnCollisionPair(*g_engine_under_test, CollisionKeyObjectIndex(first), CollisionKeyObjectIndex(second));
}

void SetCollisionResponse() {
  DisableCollisionCaching();
  SetDefaultCollisionResponse(RespondToCollidingPair, CollisionResponse::kSimple, 0);
}

std::pair<int32_t, int32_t> PairOf(int32_t a, int32_t b) { return a < b ? std::pair(a, b) : std::pair(b, a); }

// An object whose collision objects may answer: in use, collision on, not
// locked to the camera.
bool TakesPart(Engine3D& e, int32_t index) {
  const ObjectRecord* o = e.pools.Object(index);
  return o && o->in_use == 1 && o->collision_on == 1 && e.Marks(o->render_record).camera_locked == 0;
}

}  // namespace

void ResetCollisionLibrary(Engine3D& e) {
  SetCollisionResponse();
  e.collision = ObjectCollisionState{};
}

int32_t RefreshObjectCollisions(Engine3D& e) {
  if (e.transforms_changed != 1) return 1;
  RecordPool<SpriteRecord>& sprites = e.Sprites();
  bool updated = false;
  for (int32_t i = sprites.Head(); i != kNoRecord; i = sprites.Next(i)) {
    if (sprites[i].is_3d != 1 || e.Marks(i).camera_locked != 0) continue;
    const int32_t index = sprites[i].object;
    ObjectRecord* o = e.pools.Object(index);
    if (!o || o->collision_on != 1) continue;
    PoseSharedModel(e, index);
    if (std::shared_ptr<ObjectModel> model = e.pools.objects[index].model) model->UpdateModelCollision(index);
    e.pools.objects[index].last_hit = 0;
    updated = true;
  }
  e.transforms_changed = 0;
  if (updated) {
    for (int32_t i = sprites.Head(); i != kNoRecord; i = sprites.Next(i)) {
      if (sprites[i].is_3d != 1 || e.Marks(i).camera_locked != 0) continue;
      if (ObjectRecord* o = e.pools.Object(sprites[i].object)) o->partner_hit = 0;
    }
    e.collision.hit_pairs.clear();
    SetCollisionResponse();
    g_engine_under_test = &e;
    TestAllCollisions();
    g_engine_under_test = nullptr;
  }
  return 1;
}

void OnCollisionPair(Engine3D& e, uint32_t a, uint32_t b) {
  if (a == b) return;
  const int32_t first = static_cast<int32_t>(a), second = static_cast<int32_t>(b);
  if (!TakesPart(e, first) || !TakesPart(e, second)) return;
  ObjectRecord& one = e.pools.objects[first];
  one.last_hit = second;
  if (one.wanted_partner == second) one.partner_hit = 1;
  ObjectRecord& other = e.pools.objects[second];
  other.last_hit = first;
  if (other.wanted_partner == first) other.partner_hit = 1;
  e.collision.hit_pairs.insert(PairOf(first, second));
}

bool ObjectsHit(const Engine3D& e, int32_t a, int32_t b) { return e.collision.hit_pairs.contains(PairOf(a, b)); }

void ForgetObjectCollisions(Engine3D& e, int32_t index) {
  ObjectRecord* gone = e.pools.Object(index);
  if (!gone) return;
  if (std::shared_ptr<ObjectModel> model = gone->model) model->FreeModelCollision(index);
  for (int32_t i = e.pools.objects.Head(); i != kNoRecord; i = e.pools.objects.Next(i)) {
    ObjectRecord& o = e.pools.objects[i];
    if (o.last_hit == index) o.last_hit = 0;
    if (o.wanted_partner == index) {
      o.wanted_partner = 0;
      o.partner_hit = 0;
    }
  }
  std::erase_if(e.collision.hit_pairs, [&](const auto& pair) { return pair.first == index || pair.second == index; });
  // The others' last hits may have named it: the next query tests afresh.
  e.transforms_changed = 1;
}

}  // namespace zv
