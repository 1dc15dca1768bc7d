#include "collision/collision_world.h"

#include <iterator>
#include <utility>

#include "collision/pair_tests.h"

namespace zv {

MeshShape* CollisionWorld::BeginMeshShape() {
  if (!pending_mesh_) pending_mesh_ = std::make_unique<MeshShape>();
  return pending_mesh_.get();
}

void CollisionWorld::SetMeshVertexBase(std::span<const Vector3> vertices) {
  if (pending_mesh_) pending_mesh_->SetVertexBase(vertices);
}

void CollisionWorld::AddMeshPolygon(int kind, std::span<const uint32_t> indices) {
  if (!pending_mesh_ || indices.empty()) return;
  const Vector3* const* base = pending_mesh_->vertex_base_field();
  switch (kind) {
    case kPointSet:
      pending_pieces_.push_back(std::make_unique<PointSetShape>(base, indices));
      break;
    case kPolygon:
      pending_pieces_.push_back(std::make_unique<PolygonShape>(base, indices));
      break;
    case kPolyhedron:
      pending_pieces_.push_back(std::make_unique<PolyhedronShape>(base, indices));
      break;
    default:
      break;
  }
}

void CollisionWorld::EndMeshShape() {
  if (!pending_mesh_) return;
  if (!pending_mesh_->has_vertex_base()) pending_mesh_->SetOwnedVertices({});
  pending_mesh_->Complete(std::move(pending_pieces_));
  pending_pieces_.clear();
  // From here on the caller owns the mesh and deletes it with DeleteShape.
  (void)pending_mesh_.release();
}

void CollisionWorld::DeleteShape(CollisionShape* shape) {
  if (shape == nullptr) return;
  if (shape == pending_mesh_.get()) {
    pending_pieces_.clear();
    pending_mesh_.reset();
    return;
  }
  for (auto it = objects_.begin(); it != objects_.end();) {
    auto next = std::next(it);
    if (&it->second->shape() == shape) EraseObject(it);
    it = next;
  }
  delete shape;
}

void CollisionWorld::UpdateCurrentIfCaching() {
  if (caching_ && current_ != nullptr) current_->Update(pairs_);
}

void CollisionWorld::EraseObject(ObjectMap::iterator it) {
  CollisionObject* object = it->second.get();
  if (object == current_) current_ = nullptr;
  pairs_.RemoveAllOf(*object);
  objects_.erase(it);
}

void CollisionWorld::CreateCollisionObject(CollisionKey key, CollisionShape* shape) {
  if (shape == nullptr) return;
  UpdateCurrentIfCaching();
  if (auto it = objects_.find(key); it != objects_.end()) EraseObject(it);
  auto object = std::make_unique<CollisionObject>(key, *shape, lists_);
  current_ = object.get();
  objects_.emplace(key, std::move(object));
}

void CollisionWorld::SelectCollisionObject(CollisionKey key) {
  const auto it = objects_.find(key);
  if (it == objects_.end()) return;
  UpdateCurrentIfCaching();
  current_ = it->second.get();
}

void CollisionWorld::DeleteCollisionObject(CollisionKey key) {
  if (auto it = objects_.find(key); it != objects_.end()) EraseObject(it);
}

void CollisionWorld::SetCollisionObjectMatrix(std::span<const float, 16> matrix) {
  if (current_ == nullptr) return;
  Placement placement;
  SetPlacementFromMatrix(placement, matrix);
  current_->SetPlacement(placement);
}

void CollisionWorld::SetDefaultCollisionResponse(CollisionResponseCallback callback, int32_t type,
                                                 uint32_t client_data) {
  default_response_ = {callback, type, client_data};
}

const CollisionObject* CollisionWorld::FindObject(CollisionKey key) const {
  const auto it = objects_.find(key);
  return it == objects_.end() ? nullptr : it->second.get();
}

int CollisionWorld::TestAllCollisions() {
  UpdateCurrentIfCaching();
  // Every pair answers to the default response, so one that tests nothing
  // spares the whole run.
  if (!default_response_.TestsAnything()) return 0;
  return caching_ ? TestCachedPairs() : TestEveryPair();
}

int CollisionWorld::TestCachedPairs() {
  int count = 0;
  for (auto& [keys, pair] : pairs_.entries()) {
    if (TestCollisionPair(*pair.first, *pair.second, pair.cached, default_response_, data_)) ++count;
  }
  return count;
}

int CollisionWorld::TestEveryPair() {
  // Each pair starts from a zero search vector, so a pair whose world boxes
  // are apart cannot meet and is passed over before the narrow phase.
  struct Entry {
    CollisionObject* object;
    AxisBox box;
  };
  std::vector<Entry> entries;
  entries.reserve(objects_.size());
  for (auto& [key, object] : objects_) entries.push_back({object.get(), object->shape().Bounds(object->placement())});
  int count = 0;
  for (size_t x = 1; x < entries.size(); ++x) {
    for (size_t y = 0; y < x; ++y) {
      if (!BoxesOverlap(entries[x].box, entries[y].box)) continue;
      const auto [first, second] = OrderPair(*entries[y].object, *entries[x].object);
      Vector3 cached;
      if (TestCollisionPair(*first, *second, cached, default_response_, data_)) ++count;
    }
  }
  return count;
}

}  // namespace zv
