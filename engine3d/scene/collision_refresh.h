#pragma once

#include <cstdint>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

#include "collision/collision_key.h"
#include "engine3d/objects/child_lists.h"
#include "engine3d/objects/matrix_math.h"
#include "engine3d/scene/object_box_collision.h"
#include "engine3d/scene/placed_boxes.h"

namespace zv {

class Engine3D;

// Where a hit stands in the order a test of every pair meets the pairs:
// the later of the two collision keys, then the earlier.
using HitOrder = std::pair<CollisionKey, CollisionKey>;
HitOrder HitOrderOf(CollisionKey a, CollisionKey b);

// The pairs of objects (record indices) that the test runs of the
// collision library reported, kept per object so that an object that goes,
// or moves, leaves them all at once; each pair keeps the latest place in
// the order at which the two hit.
class HitPairs {
 public:
  void Insert(int32_t a, int32_t b, HitOrder order = {});
  bool Contains(int32_t a, int32_t b) const;
  // The partner of the latest hit of `index`, the one a test of every pair
  // reports last (0 none).
  int32_t LastOf(int32_t index) const;
  std::vector<int32_t> PartnersOf(int32_t index) const;
  // Every pair of `index` goes.
  void Forget(int32_t index);
  void Clear() { partners_.clear(); }
  bool Empty() const { return partners_.empty(); }

 private:
  std::unordered_map<int32_t, std::unordered_map<int32_t, HitOrder>> partners_;
};

// What the object collision queries keep between calls.
struct ObjectCollisionState {
  // The correction of the last box test of an object with its own
  // collision box against one that asks for it.
  Vector3f box_correction;
  HitPairs hit_pairs;
  // The objects whose last hit, and whose wanted partner, is another:
  // found from that other when it goes.
  ChildLists last_hits;
  ChildLists wanted_partners;
  // Since the last refresh: the objects placed anew (all are when
  // `transforms_changed` is set), and those whose last hit or wanted partner
  // a query set (not the refresh itself, `refreshing` while it runs), which
  // a refresh sets from the hits again.
  std::unordered_set<int32_t> moved;
  std::unordered_set<int32_t> touched;
  bool refreshing = false;
  // The collision boxes programs made, as the collision library sees them.
  LibraryBoxes library_boxes;
  // The boxes of the objects that collide by boxes, as last placed.
  PlacedBoxes placed_boxes;
  // What the last tests against the static scene's collision boxes left:
  // the push-out of a box (the camera's follow command leaves its own tests
  // here too) and where a moving cube stopped.
  Vector3f static_box_result;
  Vector3f static_line_result;
};

// Switches the collision library's caching off and makes OnCollisionPair
// its answer to every colliding pair (the record-pool reset does this).
void ResetCollisionLibrary(Engine3D& e);

// Before a collision query reads its results: after a change that may
// touch any object (`transforms_changed`), every object whose collision is
// on places its collision objects anew and forgets its last hit, and every
// pair is tested; after moves alone, only the moved objects (and what hangs
// from them) are placed anew and tested against their neighbours, with the
// same answers. Returns 1.
int32_t RefreshObjectCollisions(Engine3D& e);

// The object was placed anew (moved, turned, scaled or posed): the next
// collision query places it, and what is glued to it, and tests them
// against their neighbours alone.
void ObjectMoved(Engine3D& e, int32_t index);

// The response to a colliding pair of the objects with record indices `a`
// and `b` (two meshes of one object never collide with each other): each
// notes the other as its last hit, and whether it was the partner asked
// about. Pairs with an object that is locked to the camera, has its
// collision off or is gone are passed over. `order` places the hit among
// the others of a test run.
void OnCollisionPair(Engine3D& e, uint32_t a, uint32_t b, HitOrder order = {});

// Whether the last test run reported the pair.
bool ObjectsHit(const Engine3D& e, int32_t a, int32_t b);

// The object that `index` last hit, and the one a query asks it about
// (record indices, 0 none): every change of the two goes through these.
void SetLastHit(Engine3D& e, int32_t index, int32_t hit);
void SetWantedPartner(Engine3D& e, int32_t index, int32_t partner);

// An object that goes takes its collision objects out of the library (its
// model may live on with its instances) and out of every other object's
// hits.
void ForgetObjectCollisions(Engine3D& e, int32_t index);

}  // namespace zv
