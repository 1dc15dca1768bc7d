#include "engine3d/scene/collision_refresh.h"

#include <algorithm>
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
    OnCollisionPair(*g_engine_under_test, CollisionKeyObjectIndex(first), CollisionKeyObjectIndex(second),
                    HitOrderOf(first, second));
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

// Places the object's collision objects where it is drawn. A glued object
// collides inside its limb. (Finding the limb may place a model the object
// shares: its own comes after.)
void PlaceForCollisions(Engine3D& e, int32_t index) {
  const Matrix4 base = ObjectBaseMatrix(e, index);
  ReadyModelFor(e, index);
  if (std::shared_ptr<ObjectModel> model = e.pools.objects[index].model) model->UpdateModelCollision(index, base);
  PlaceLibraryBox(e, index);
}

// The moved objects and, down their glue chains, what hangs from them.
std::vector<int32_t> MovedWithWhatHangs(Engine3D& e) {
  std::vector<int32_t> moved(e.collision.moved.begin(), e.collision.moved.end());
  std::unordered_set<int32_t> seen(moved.begin(), moved.end());
  for (size_t i = 0; i < moved.size(); ++i)
    for (const int32_t child : e.glue_links.ChildrenOf(moved[i])) {
      const ObjectRecord* o = e.pools.Object(child);
      if (o && o->glued_to == moved[i] && seen.insert(child).second) moved.push_back(child);
    }
  return moved;
}

// What a test of every pair would leave: each object's last hit the
// partner of its latest hit, and whether it hit the partner it asked about.
void SetHitsFromPairs(Engine3D& e, int32_t index) {
  if (!TakesPart(e, index)) return;
  SetLastHit(e, index, e.collision.hit_pairs.LastOf(index));
  ObjectRecord& o = e.pools.objects[index];
  o.partner_hit = o.wanted_partner != 0 && e.collision.hit_pairs.Contains(index, o.wanted_partner) ? 1 : 0;
}

// Only the moved objects are placed anew; their pairs are tested again
// against their neighbours, the other pairs stand as they were.
void RefreshMoved(Engine3D& e) {
  ObjectCollisionState& c = e.collision;
  const std::vector<int32_t> moved = MovedWithWhatHangs(e);
  std::unordered_set<int32_t> affected = c.touched;
  for (const int32_t index : moved) {
    for (const int32_t partner : c.hit_pairs.PartnersOf(index)) affected.insert(partner);
    c.hit_pairs.Forget(index);
    affected.insert(index);
    if (TakesPart(e, index)) PlaceForCollisions(e, index);
  }
  SetCollisionResponse();
  g_engine_under_test = &e;
  for (const int32_t index : moved) {
    if (!TakesPart(e, index)) continue;
    const uint32_t object = static_cast<uint32_t>(index);
    TestCollisionsOfKeys(MakeCollisionKey(object, 0), MakeCollisionKey(object, UINT32_MAX));
    for (const int32_t partner : c.hit_pairs.PartnersOf(index)) affected.insert(partner);
  }
  g_engine_under_test = nullptr;
  for (const int32_t index : affected) SetHitsFromPairs(e, index);
}

// Every object is placed anew and every pair tested.
void RefreshAll(Engine3D& e) {
  RecordPool<SpriteRecord>& sprites = e.Sprites();
  bool updated = false;
  for (int32_t i = sprites.Head(); i != kNoRecord; i = sprites.Next(i)) {
    if (sprites[i].is_3d != 1 || LockedToCamera(e, sprites[i].object)) continue;
    const int32_t index = sprites[i].object;
    ObjectRecord* o = e.pools.Object(index);
    if (!o || o->collision_on != 1) continue;
    PlaceForCollisions(e, index);
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
}

}  // namespace

HitOrder HitOrderOf(CollisionKey a, CollisionKey b) { return {std::max(a, b), std::min(a, b)}; }

void HitPairs::Insert(int32_t a, int32_t b, HitOrder order) {
  HitOrder& ab = partners_[a][b];
  ab = std::max(ab, order);
  partners_[b][a] = ab;
}

bool HitPairs::Contains(int32_t a, int32_t b) const {
  const auto found = partners_.find(a);
  return found != partners_.end() && found->second.contains(b);
}

int32_t HitPairs::LastOf(int32_t index) const {
  const auto found = partners_.find(index);
  if (found == partners_.end() || found->second.empty()) return 0;
  const auto latest = std::max_element(found->second.begin(), found->second.end(),
                                       [](const auto& x, const auto& y) { return x.second < y.second; });
  return latest->first;
}

std::vector<int32_t> HitPairs::PartnersOf(int32_t index) const {
  std::vector<int32_t> partners;
  if (const auto found = partners_.find(index); found != partners_.end())
    for (const auto& [partner, order] : found->second) partners.push_back(partner);
  return partners;
}

void HitPairs::Forget(int32_t index) {
  const auto found = partners_.find(index);
  if (found == partners_.end()) return;
  for (const auto& [other, order] : found->second)
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
  // While nothing moved, what the queries set stands, as the hits do.
  if (e.transforms_changed != 1 && e.collision.moved.empty()) return 1;
  // Where many moved, one test of every pair costs less than each of them
  // against its neighbours (a pair of two moved ones is met from both).
  const size_t many = static_cast<size_t>(std::max(e.pools.objects.Count(), 0)) / 4;
  e.collision.refreshing = true;
  // The boxes kept for the box tests go with the placements they stood for.
  PlacedBoxes& boxes = e.collision.placed_boxes;
  if (e.transforms_changed == 1)
    boxes.ForgetAll();
  else if (!boxes.Empty())
    for (const int32_t index : MovedWithWhatHangs(e)) boxes.Forget(index);
  if (e.transforms_changed == 1 || e.collision.moved.size() > std::max<size_t>(many, 1))
    RefreshAll(e);
  else
    RefreshMoved(e);
  e.collision.refreshing = false;
  e.collision.moved.clear();
  e.collision.touched.clear();
  return 1;
}

void ObjectMoved(Engine3D& e, int32_t index) {
  // After a change that may touch any object, all are placed anew anyway.
  if (e.transforms_changed != 1) e.collision.moved.insert(index);
}

void OnCollisionPair(Engine3D& e, uint32_t a, uint32_t b, HitOrder order) {
  if (a == b) return;
  const int32_t first = static_cast<int32_t>(a), second = static_cast<int32_t>(b);
  if (!TakesPart(e, first) || !TakesPart(e, second)) return;
  SetLastHit(e, first, second);
  SetLastHit(e, second, first);
  ObjectRecord& one = e.pools.objects[first];
  if (one.wanted_partner == second) one.partner_hit = 1;
  ObjectRecord& other = e.pools.objects[second];
  if (other.wanted_partner == first) other.partner_hit = 1;
  e.collision.hit_pairs.Insert(first, second, order);
}

bool ObjectsHit(const Engine3D& e, int32_t a, int32_t b) { return e.collision.hit_pairs.Contains(a, b); }

void SetLastHit(Engine3D& e, int32_t index, int32_t hit) {
  ObjectRecord* o = e.pools.Object(index);
  if (!o) return;
  o->last_hit = hit;
  e.collision.last_hits.Link(index, hit);
  if (!e.collision.refreshing) e.collision.touched.insert(index);
}

void SetWantedPartner(Engine3D& e, int32_t index, int32_t partner) {
  ObjectRecord* o = e.pools.Object(index);
  if (!o) return;
  o->wanted_partner = partner;
  e.collision.wanted_partners.Link(index, partner);
  if (!e.collision.refreshing) e.collision.touched.insert(index);
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
