#pragma once

#include "collision/collision_object.h"
#include "collision/collision_response.h"
#include "collision/vector3.h"

namespace zv {

// The narrow phase of one pair of objects, in pair order (a mesh first against
// a convex shape). `cached` is the pair's search vector, read and updated.
// Pairs in which either shape is degenerate or either placement cannot be
// inverted never meet.

bool IntersectObjects(const CollisionObject& first, const CollisionObject& second, Vector3& cached);
bool CommonPointOfObjects(const CollisionObject& first, const CollisionObject& second, Vector3& cached,
                          Vector3& point1, Vector3& point2);
// True when the objects meet under their current placements; the points are
// then the closest points of the shapes (or of their meeting pieces) under
// their previous placements.
bool WitnessedCommonPoint(const CollisionObject& first, const CollisionObject& second, Vector3& cached,
                          Vector3& point1, Vector3& point2);

// Runs the response's test and, on a hit, its callback (filling `data` for
// the types that report one). True when the callback was called.
bool TestCollisionPair(const CollisionObject& first, const CollisionObject& second, Vector3& cached,
                       const CollisionResponse& response, CollisionData& data);

}  // namespace zv
