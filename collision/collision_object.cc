#include "collision/collision_object.h"

#include "collision/proximity_pairs.h"

namespace zv {
namespace {

AxisBox FarAwayBox() {
  AxisBox box;
  box.centre = {EndpointList::kFar, EndpointList::kFar, EndpointList::kFar};
  box.half_extent = {};
  return box;
}

// The pair change when `moving` passes `other` of the opposite kind: a
// minimum meeting a maximum from above may start a pair, the other way ends one.
void OnPass(const Endpoint& moving, const Endpoint& other, bool starts_pair, ProximityPairs& pairs) {
  if (other.kind == moving.kind || other.owner == moving.owner) return;
  if (!starts_pair) {
    pairs.Remove(*other.owner, *moving.owner);
  } else if (BoxesOverlap(other.owner->box(), moving.owner->box())) {
    pairs.Add(*other.owner, *moving.owner);
  }
}

}  // namespace

CollisionObject::CollisionObject(CollisionKey key, const CollisionShape& shape, EndpointList (&lists)[3])
    : key_(key), shape_(&shape), box_(FarAwayBox()) {
  for (int axis = 0; axis < 3; ++axis) {
    minimum_[axis].kind = Endpoint::kMinimum;
    minimum_[axis].owner = this;
    lists[axis].Append(minimum_[axis]);
  }
  for (int axis = 0; axis < 3; ++axis) {
    maximum_[axis].kind = Endpoint::kMaximum;
    maximum_[axis].owner = this;
    lists[axis].Append(maximum_[axis]);
  }
  SetPlacementIdentity(placement_);
  previous_placement_ = placement_;
}

CollisionObject::~CollisionObject() {
  for (Endpoint& e : maximum_) EndpointList::Unlink(e);
  for (Endpoint& e : minimum_) EndpointList::Unlink(e);
}

void CollisionObject::Update(ProximityPairs& pairs) {
  box_ = shape_->Bounds(placement_);
  // The empty box overlaps no box, and its ends sit at the far ends of the
  // lists, where they part the object from everything.
  if (!IsFinite(box_)) box_ = AxisBox::Empty();
  const Vector3 lower = box_.Lower();
  const Vector3 upper = box_.Upper();
  for (int axis = 0; axis < 3; ++axis) MoveEndpoint(minimum_[axis], lower[axis], pairs);
  for (int axis = 0; axis < 3; ++axis) MoveEndpoint(maximum_[axis], upper[axis], pairs);
}

void MoveEndpoint(Endpoint& e, double value, ProximityPairs& pairs) {
  const double old_value = e.value;
  e.value = value;
  if (value < old_value) {
    Endpoint* p = e.previous;
    if (p->owner == nullptr || !e.SortsBefore(*p)) return;
    // A minimum passing a maximum downwards starts to overlap it.
    while (p->owner != nullptr && e.SortsBefore(*p)) {
      OnPass(e, *p, p->kind == Endpoint::kMaximum, pairs);
      p = p->previous;
    }
    EndpointList::Unlink(e);
    e.next = p->next;
    e.previous = p;
    p->next->previous = &e;
    p->next = &e;
  } else if (value > old_value) {
    Endpoint* n = e.next;
    if (n->owner == nullptr || !n->SortsBefore(e)) return;
    // A maximum passing a minimum upwards starts to overlap it.
    while (n->owner != nullptr && n->SortsBefore(e)) {
      OnPass(e, *n, e.kind == Endpoint::kMaximum, pairs);
      n = n->next;
    }
    EndpointList::Unlink(e);
    e.previous = n->previous;
    e.next = n;
    n->previous->next = &e;
    n->previous = &e;
  }
}

}  // namespace zv
