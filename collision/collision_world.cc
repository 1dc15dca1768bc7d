#include "collision/collision_world.h"

#include <algorithm>
#include <cmath>
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
  std::vector<CollisionKey> keys;
  const auto [first, last] = users_.equal_range(shape);
  for (auto it = first; it != last; ++it) keys.push_back(it->second);
  for (const CollisionKey& key : keys) DeleteCollisionObject(key);
  delete shape;
}

void CollisionWorld::UpdateCurrentIfCaching() {
  if (caching_ && current_ != nullptr) current_->Update(pairs_);
}

void CollisionWorld::EraseObject(ObjectMap::iterator it) {
  CollisionObject* object = it->second.get();
  if (object == current_) current_ = nullptr;
  const auto [first, last] = users_.equal_range(&object->shape());
  for (auto user = first; user != last; ++user) {
    if (user->second == it->first) {
      users_.erase(user);
      break;
    }
  }
  pairs_.RemoveAllOf(*object);
  UnfileBox(*object);
  objects_.erase(it);
}

void CollisionWorld::CreateCollisionObject(CollisionKey key, CollisionShape* shape) {
  if (shape == nullptr) return;
  UpdateCurrentIfCaching();
  if (auto it = objects_.find(key); it != objects_.end()) EraseObject(it);
  auto object = std::make_unique<CollisionObject>(key, *shape, lists_);
  current_ = object.get();
  users_.emplace(shape, key);
  objects_.emplace(key, std::move(object));
  NotePlaced(*current_);
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
  NotePlaced(*current_);
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

namespace {

constexpr int32_t kNoLeaf = WorldBoxTree<CollisionObject*>::kNoLeaf;

// A box whose sides a sweep along x can sort: finite, not empty, of a size
// where the sweep's room for rounding is meaningful.
bool IsSweepable(const AxisBox& box) {
  constexpr double kLargest = 1e30;
  for (int i = 0; i < 3; ++i) {
    if (!(std::fabs(box.centre[i]) < kLargest) || !(box.half_extent[i] >= 0.0) ||
        !(box.half_extent[i] < kLargest)) {
      return false;
    }
  }
  return true;
}

// Room for rounding between a box's sides, as a tree compares them, and
// the overlap test of its centre and half extents (as the sweep of every
// pair leaves it along x).
double RoomForRounding(const AxisBox& box, int axis) {
  return 1e-9 * (std::fabs(box.centre[axis]) + box.half_extent[axis]);
}

}  // namespace

void CollisionWorld::NotePlaced(CollisionObject& object) {
  if (object.placed_since_filed()) return;
  object.MarkPlacedSinceFiled();
  placed_since_filed_.push_back(object.key());
  // Objects made and deleted unfiled leave their keys behind: those go
  // before the list outgrows the objects.
  if (placed_since_filed_.size() > 2 * objects_.size() + 64) {
    std::erase_if(placed_since_filed_, [&](CollisionKey key) {
      const auto it = objects_.find(key);
      return it == objects_.end() || !it->second->placed_since_filed();
    });
    std::sort(placed_since_filed_.begin(), placed_since_filed_.end());
    placed_since_filed_.erase(std::unique(placed_since_filed_.begin(), placed_since_filed_.end()),
                              placed_since_filed_.end());
  }
}

void CollisionWorld::FilePlacedBoxes() {
  for (const CollisionKey key : placed_since_filed_) {
    const auto it = objects_.find(key);
    if (it != objects_.end() && it->second->placed_since_filed()) FileBox(*it->second);
  }
  placed_since_filed_.clear();
}

void CollisionWorld::FileBox(CollisionObject& object) {
  const AxisBox box = object.shape().Bounds(object.placement());
  int32_t leaf = object.placed_leaf();
  if (IsSweepable(box)) {
    if (leaf == kNoLeaf) {
      loose_boxes_.erase(&object);
      leaf = boxes_.Insert(&object, box);
    } else {
      boxes_.Move(leaf, box);
    }
  } else {
    if (leaf != kNoLeaf) boxes_.Remove(leaf);
    leaf = kNoLeaf;
    loose_boxes_.insert(&object);
  }
  object.SetPlacedBox(box, leaf);
}

void CollisionWorld::UnfileBox(CollisionObject& object) {
  if (object.placed_leaf() != kNoLeaf) boxes_.Remove(object.placed_leaf());
  loose_boxes_.erase(&object);
  object.SetPlacedBox(AxisBox::Empty(), kNoLeaf);
}

void CollisionWorld::GatherNear(const CollisionObject& object, std::vector<CollisionObject*>& near) const {
  near.clear();
  if (object.placed_leaf() == kNoLeaf) {
    // A box the tree cannot hold is compared with every other.
    for (const auto& [key, other] : objects_) near.push_back(other.get());
    return;
  }
  AxisBox wanted = object.placed_box();
  for (int i = 0; i < 3; ++i) wanted.half_extent[i] += RoomForRounding(wanted, i);
  boxes_.ForEachMeeting(wanted, [&](CollisionObject* other) { near.push_back(other); });
  near.insert(near.end(), loose_boxes_.begin(), loose_boxes_.end());
}

int CollisionWorld::TestCollisionsOfKeys(CollisionKey first, CollisionKey last) {
  if (!default_response_.TestsAnything() || first > last) return 0;
  FilePlacedBoxes();
  auto inside = [&](const CollisionObject& o) { return o.key() >= first && o.key() <= last; };
  int count = 0;
  for (auto it = objects_.lower_bound(first); it != objects_.end() && it->first <= last; ++it) {
    CollisionObject& object = *it->second;
    GatherNear(object, near_);
    // In key order, as every pair is met in a full test.
    std::sort(near_.begin(), near_.end(),
              [](const CollisionObject* a, const CollisionObject* b) { return a->key() < b->key(); });
    for (CollisionObject* other : near_) {
      if (inside(*other) || !BoxesOverlap(object.placed_box(), other->placed_box())) continue;
      const auto [a, b] = OrderPair(object, *other);
      Vector3 cached;
      if (TestCollisionPair(*a, *b, cached, default_response_, data_)) ++count;
    }
  }
  return count;
}

int CollisionWorld::TestCachedPairs() {
  int count = 0;
  for (auto& [keys, pair] : pairs_.entries()) {
    if (TestCollisionPair(*pair.first, *pair.second, pair.cached, default_response_, data_)) ++count;
  }
  return count;
}

namespace {

// The pairs (as indices y < x of `boxes`) whose boxes overlap, in the order
// every pair would be met by taking x in turn and, for each, every y before
// it. Boxes sorted by their lower x side are swept once, so only pairs whose
// x extents overlap are compared in full; boxes the sweep cannot sort are
// compared with every other.
std::vector<std::pair<uint32_t, uint32_t>> OverlappingPairs(const std::vector<AxisBox>& boxes) {
  std::vector<std::pair<uint32_t, uint32_t>> pairs;
  std::vector<uint32_t> sweep, loose;
  for (uint32_t i = 0; i < boxes.size(); ++i) (IsSweepable(boxes[i]) ? sweep : loose).push_back(i);
  // Room for rounding between the sweep's sides and the overlap test.
  const auto room = [&](uint32_t i) { return 1e-9 * (std::fabs(boxes[i].centre.x) + boxes[i].half_extent.x); };
  const auto lower = [&](uint32_t i) { return boxes[i].centre.x - boxes[i].half_extent.x - room(i); };
  const auto upper = [&](uint32_t i) { return boxes[i].centre.x + boxes[i].half_extent.x + room(i); };
  std::sort(sweep.begin(), sweep.end(), [&](uint32_t a, uint32_t b) { return lower(a) < lower(b); });
  std::vector<uint32_t> open;
  for (uint32_t i : sweep) {
    const double from = lower(i);
    std::erase_if(open, [&](uint32_t j) { return upper(j) < from; });
    for (uint32_t j : open) {
      if (BoxesOverlap(boxes[i], boxes[j])) pairs.emplace_back(std::max(i, j), std::min(i, j));
    }
    open.push_back(i);
  }
  for (uint32_t i : loose) {
    for (uint32_t j = 0; j < boxes.size(); ++j) {
      // A pair of two loose boxes is met once, from its later box.
      if (j == i || (j > i && std::binary_search(loose.begin(), loose.end(), j))) continue;
      if (BoxesOverlap(boxes[i], boxes[j])) pairs.emplace_back(std::max(i, j), std::min(i, j));
    }
  }
  std::sort(pairs.begin(), pairs.end());
  return pairs;
}

}  // namespace

int CollisionWorld::TestEveryPair() {
  // Each pair starts from a zero search vector, so a pair whose world boxes
  // are apart cannot meet and is passed over before the narrow phase.
  std::vector<CollisionObject*> objects;
  std::vector<AxisBox> boxes;
  objects.reserve(objects_.size());
  boxes.reserve(objects_.size());
  for (auto& [key, object] : objects_) {
    objects.push_back(object.get());
    boxes.push_back(object->shape().Bounds(object->placement()));
  }
  int count = 0;
  for (const auto& [x, y] : OverlappingPairs(boxes)) {
    const auto [first, second] = OrderPair(*objects[y], *objects[x]);
    Vector3 cached;
    if (TestCollisionPair(*first, *second, cached, default_response_, data_)) ++count;
  }
  return count;
}

}  // namespace zv
