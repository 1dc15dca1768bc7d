#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <span>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "collision/collision_key.h"
#include "collision/collision_object.h"
#include "collision/collision_response.h"
#include "collision/mesh_shape.h"
#include "collision/polytope_shapes.h"
#include "collision/proximity_pairs.h"
#include "collision/sweep_list.h"
#include "collision/world_box_tree.h"

namespace zv {

// Everything the collision interface keeps between calls: the objects by key,
// the current object, the pair cache with its endpoint lists, the default
// response and the mesh shape under construction. The engine drives one
// shared world through the flat functions of collision_interface.h; tests make
// their own.
class CollisionWorld {
 public:
  // The kinds of mesh piece that AddMeshPolygon makes.
  enum PieceKind : int { kPointSet = 0, kPolygon = 1, kPolyhedron = 2 };

  CollisionWorld() = default;
  CollisionWorld(const CollisionWorld&) = delete;
  CollisionWorld& operator=(const CollisionWorld&) = delete;

  // Mesh building. Begin returns the pending mesh (making one when none is
  // pending); the others work on the pending mesh and do nothing without one.
  MeshShape* BeginMeshShape();
  // The caller keeps the vertices alive for as long as the mesh lives.
  void SetMeshVertexBase(std::span<const Vector3> vertices);
  // One convex piece over `indices` (copied). An unknown kind or an empty
  // index list adds nothing.
  void AddMeshPolygon(int kind, std::span<const uint32_t> indices);
  // Builds the pending mesh's box tree and hands the mesh to the caller. A
  // mesh given no vertices gets an empty array of its own, and pieces whose
  // indices fall outside the vertices are dropped, so nothing reads past them.
  void EndMeshShape();
  // Destroys a shape. Objects still filed with it are deleted first, and a
  // pending mesh stops being pending, so nothing is left pointing at it.
  void DeleteShape(CollisionShape* shape);

  // Files a new object for the shape under the key and makes it current. An
  // object already filed under the key is deleted first.
  void CreateCollisionObject(CollisionKey key, CollisionShape* shape);
  void SelectCollisionObject(CollisionKey key);
  // Deletes the key's object, if any, and every pair that names it.
  void DeleteCollisionObject(CollisionKey key);
  // Places the current object; nothing without one.
  void SetCollisionObjectMatrix(std::span<const float, 16> matrix);

  void SetDefaultCollisionResponse(CollisionResponseCallback callback, int32_t type, uint32_t client_data);
  // Nothing turns caching back on.
  void DisableCollisionCaching() { caching_ = false; }

  // Tests the cached pairs (caching on) or every pair of objects (caching off)
  // and returns how many pairs the callback was called for.
  int TestAllCollisions();
  // Tests each object filed under a key from `first` to `last` against each
  // object filed outside those keys whose box meets its own, as every pair
  // is tested with caching off, and returns how many pairs the callback was
  // called for. It costs those objects' neighbours, not every pair: the
  // boxes as placed stand in a tree.
  int TestCollisionsOfKeys(CollisionKey first, CollisionKey last);

  const CollisionObject* FindObject(CollisionKey key) const;
  const CollisionObject* current_object() const { return current_; }
  size_t object_count() const { return objects_.size(); }
  bool caching() const { return caching_; }
  const ProximityPairs& proximity_pairs() const { return pairs_; }
  const MeshShape* pending_mesh() const { return pending_mesh_.get(); }

 private:
  using ObjectMap = std::map<CollisionKey, std::unique_ptr<CollisionObject>>;

  void UpdateCurrentIfCaching();
  void EraseObject(ObjectMap::iterator it);
  int TestCachedPairs();
  int TestEveryPair();
  // Files the object's box under its placement in the box tree (or among
  // the loose boxes when it is not finite), and takes it out. A placement
  // only notes the object; the boxes are filed when a test of some keys
  // needs the tree, so worlds tested every pair at a time pay nothing.
  void NotePlaced(CollisionObject& object);
  void FilePlacedBoxes();
  void FileBox(CollisionObject& object);
  void UnfileBox(CollisionObject& object);
  // The objects whose boxes may meet the object's (its own among them).
  void GatherNear(const CollisionObject& object, std::vector<CollisionObject*>& near) const;

  // Declared before the objects: an object leaves these lists when destroyed.
  EndpointList lists_[3];
  ProximityPairs pairs_;
  ObjectMap objects_;
  // Which objects use a shape, so that deleting a shape does not walk every
  // object (a scene's teardown deletes thousands).
  std::unordered_multimap<const CollisionShape*, CollisionKey> users_;
  // The boxes as placed, for the tests of some keys: in the tree, or loose
  // where they are not finite; the objects placed since their boxes were
  // filed; and the neighbours one test gathers, kept to spare allocations.
  WorldBoxTree<CollisionObject*> boxes_;
  std::unordered_set<CollisionObject*> loose_boxes_;
  std::vector<CollisionKey> placed_since_filed_;
  std::vector<CollisionObject*> near_;
  CollisionObject* current_ = nullptr;
  bool caching_ = true;
  CollisionResponse default_response_;
  CollisionData data_;
  std::unique_ptr<MeshShape> pending_mesh_;
  std::vector<std::unique_ptr<PolytopeShape>> pending_pieces_;
};

}  // namespace zv
