#pragma once

#include <cstdint>

#include "collision/axis_box.h"
#include "collision/collision_key.h"
#include "collision/collision_shape.h"
#include "collision/placement.h"
#include "collision/sweep_list.h"

namespace zv {

class ProximityPairs;

// One shape placed in the world under the caller's key. While the world keeps
// its pair cache, the object's world box sits in the three endpoint lists.
// The shape is not owned.
class CollisionObject {
 public:
  // Identity placement, box far away, endpoints appended at the far end.
  CollisionObject(CollisionKey key, const CollisionShape& shape, EndpointList (&lists)[3]);
  // Leaves the endpoint lists; the caller removes the object's pairs.
  ~CollisionObject();
  CollisionObject(const CollisionObject&) = delete;
  CollisionObject& operator=(const CollisionObject&) = delete;

  CollisionKey key() const { return key_; }
  const CollisionShape& shape() const { return *shape_; }
  const AxisBox& box() const { return box_; }
  const Placement& placement() const { return placement_; }
  // The placement at creation. Nothing moves it afterwards; only the
  // witnessed response reads it.
  const Placement& previous_placement() const { return previous_placement_; }
  const Endpoint& minimum(int axis) const { return minimum_[axis]; }
  const Endpoint& maximum(int axis) const { return maximum_[axis]; }

  void SetPlacement(const Placement& placement) { placement_ = placement; }

  // Its box under its placement and its leaf in the world's box tree (none
  // while the box is not finite), as the world last filed them, and whether
  // it was placed since.
  const AxisBox& placed_box() const { return placed_box_; }
  int32_t placed_leaf() const { return placed_leaf_; }
  bool placed_since_filed() const { return placed_since_filed_; }
  void SetPlacedBox(const AxisBox& box, int32_t leaf) {
    placed_box_ = box;
    placed_leaf_ = leaf;
    placed_since_filed_ = false;
  }
  void MarkPlacedSinceFiled() { placed_since_filed_ = true; }

  // Recomputes the world box and moves the six endpoints to it, adding and
  // removing the pairs whose boxes begin or stop overlapping. A box that is
  // not finite is replaced by the empty box, which meets nothing.
  void Update(ProximityPairs& pairs);

 private:
  CollisionKey key_;
  const CollisionShape* shape_;
  Placement placement_;
  Placement previous_placement_;
  AxisBox box_;
  AxisBox placed_box_;
  int32_t placed_leaf_ = -1;
  bool placed_since_filed_ = false;
  Endpoint minimum_[3];
  Endpoint maximum_[3];
};

// Moves an endpoint to `value` along its list. Each endpoint of another object
// that it passes may start a pair (a minimum passing down over a maximum, or a
// maximum passing up over a minimum, when the stored boxes overlap) or end one
// (the other way round).
void MoveEndpoint(Endpoint& e, double value, ProximityPairs& pairs);

}  // namespace zv
