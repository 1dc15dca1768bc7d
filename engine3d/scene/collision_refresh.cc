#include "engine3d/scene/collision_refresh.h"

#include <memory>

#include "collision/collision_interface.h"
#include "engine3d/engine.h"
#include "engine3d/objects/object_model.h"
#include "engine3d/objects/object_setup.h"
#include "engine3d/render/render_states.h"
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
  // Two boxes that programs made meet by the box test alone, as they always
  // did: the library's own test of them could differ at their faces.
  if (IsLibraryBoxKey(first) && IsLibraryBoxKey(second)) return;
  if (g_engine_under_test)
    OnCollisionPair(*g_engine_under_test, CollisionKeyObjectIndex(first), CollisionKeyObjectIndex(second));
}

void SetCollisionResponse() {
  DisableCollisionCaching();
  SetDefaultCollisionResponse(RespondToCollidingPair, CollisionResponse::kSimple, 0);
}

// An object whose collision objects may answer: in use, collision on, not
// locked to the camera.
bool TakesPart(Engine3D& e, int32_t index) {
  const ObjectRecord* o = e.pools.Object(index);
  return o && o->in_use == 1 && o->collision_on == 1 && !LockedToCamera(e, index);
}

}  // namespace

void HitPairs::Insert(int32_t a, int32_t b) {
  partners_[a].insert(b);
  partners_[b].insert(a);
}

bool HitPairs::Contains(int32_t a, int32_t b) const {
  const auto found = partners_.find(a);
  return found != partners_.end() && found->second.contains(b);
}

void HitPairs::Forget(int32_t index) {
  const auto found = partners_.find(index);
  if (found == partners_.end()) return;
  for (const int32_t other : found->second)
    if (const auto back = partners_.find(other); back != partners_.end()) {
      back->second.erase(index);
      if (back->second.empty()) partners_.erase(back);
    }
  partners_.erase(index);
}

void ResetCollisionLibrary(Engine3D& e) {
  SetCollisionResponse();
  e.collision = ObjectCollisionState{};
}

int32_t RefreshObjectCollisions(Engine3D& e) {
  if (e.transforms_changed != 1) return 1;
  RecordPool<SpriteRecord>& sprites = e.Sprites();
  bool updated = false;
  for (int32_t i = sprites.Head(); i != kNoRecord; i = sprites.Next(i)) {
    if (sprites[i].is_3d != 1 || LockedToCamera(e, sprites[i].object)) continue;
    const int32_t index = sprites[i].object;
    ObjectRecord* o = e.pools.Object(index);
    if (!o || o->collision_on != 1) continue;
    // A glued object collides where it is drawn, inside its limb. (Finding
    // the limb may place a model the object shares: its own comes after.)
    const Matrix4 base = ObjectBaseMatrix(e, index);
    ReadyModelFor(e, index);
    if (std::shared_ptr<ObjectModel> model = e.pools.objects[index].model) model->UpdateModelCollision(index, base);
    PlaceLibraryBox(e, index);
    SetLastHit(e, index, 0);
    updated = true;
  }
  e.transforms_changed = 0;
  if (updated) {
    for (int32_t i = sprites.Head(); i != kNoRecord; i = sprites.Next(i)) {
      if (sprites[i].is_3d != 1 || LockedToCamera(e, sprites[i].object)) continue;
      if (ObjectRecord* o = e.pools.Object(sprites[i].object)) o->partner_hit = 0;
    }
    e.collision.hit_pairs.Clear();
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
  SetLastHit(e, first, second);
  SetLastHit(e, second, first);
  ObjectRecord& one = e.pools.objects[first];
  if (one.wanted_partner == second) one.partner_hit = 1;
  ObjectRecord& other = e.pools.objects[second];
  if (other.wanted_partner == first) other.partner_hit = 1;
  e.collision.hit_pairs.Insert(first, second);
}

bool ObjectsHit(const Engine3D& e, int32_t a, int32_t b) { return e.collision.hit_pairs.Contains(a, b); }

void SetLastHit(Engine3D& e, int32_t index, int32_t hit) {
  ObjectRecord* o = e.pools.Object(index);
  if (!o) return;
  o->last_hit = hit;
  e.collision.last_hits.Link(index, hit);
}

void SetWantedPartner(Engine3D& e, int32_t index, int32_t partner) {
  ObjectRecord* o = e.pools.Object(index);
  if (!o) return;
  o->wanted_partner = partner;
  e.collision.wanted_partners.Link(index, partner);
}

void ForgetObjectCollisions(Engine3D& e, int32_t index) {
  ObjectRecord* gone = e.pools.Object(index);
  if (!gone) return;
  if (std::shared_ptr<ObjectModel> model = gone->model) model->FreeModelCollision(index);
  e.collision.library_boxes.Drop(index);
  for (const int32_t i : e.collision.last_hits.ChildrenOf(index)) {
    ObjectRecord* o = e.pools.Object(i);
    if (o && o->last_hit == index) SetLastHit(e, i, 0);
  }
  for (const int32_t i : e.collision.wanted_partners.ChildrenOf(index)) {
    ObjectRecord* o = e.pools.Object(i);
    if (!o || o->wanted_partner != index) continue;
    SetWantedPartner(e, i, 0);
    o->partner_hit = 0;
  }
  e.collision.last_hits.Unlink(index);
  e.collision.wanted_partners.Unlink(index);
  e.collision.hit_pairs.Forget(index);
  // The others' last hits may have named it: the next query tests afresh.
  e.transforms_changed = 1;
}

}  // namespace zv
