#include "collision/pair_tests.h"

#include "collision/mesh_queries.h"
#include "collision/mesh_shape.h"
#include "collision/solver.h"

namespace zv {
namespace {

bool CanMeet(const CollisionObject& first, const CollisionObject& second) {
  return !first.shape().IsDegenerate() && !second.shape().IsDegenerate() &&
         IsUsablePlacement(first.placement()) && IsUsablePlacement(second.placement());
}

const ConvexShape& AsConvex(const CollisionShape& shape) { return static_cast<const ConvexShape&>(shape); }
const MeshShape& AsMesh(const CollisionShape& shape) { return static_cast<const MeshShape&>(shape); }

// Pairs put a mesh first; a convex shape first against a mesh is served by the
// same routines with the two taken the other way round.
bool IsConvexBeforeMesh(const CollisionObject& first, const CollisionObject& second) {
  return first.shape().IsConvex() && !second.shape().IsConvex();
}

}  // namespace

bool IntersectObjects(const CollisionObject& first, const CollisionObject& second, Vector3& cached) {
  if (!CanMeet(first, second)) return false;
  if (IsConvexBeforeMesh(first, second)) return IntersectObjects(second, first, cached);
  const CollisionShape& a = first.shape();
  const CollisionShape& b = second.shape();
  if (a.IsConvex()) {
    return ConvexIntersectPlaced(AsConvex(a), AsConvex(b), first.placement(), second.placement(), cached);
  }
  if (b.IsConvex()) {
    return MeshIntersectsConvex(AsMesh(a), AsConvex(b), first.placement(), second.placement(), cached);
  }
  return MeshesIntersect(AsMesh(a), AsMesh(b), first.placement(), second.placement(), cached);
}

bool CommonPointOfObjects(const CollisionObject& first, const CollisionObject& second, Vector3& cached,
                          Vector3& point1, Vector3& point2) {
  if (!CanMeet(first, second)) return false;
  if (IsConvexBeforeMesh(first, second)) return CommonPointOfObjects(second, first, cached, point2, point1);
  const CollisionShape& a = first.shape();
  const CollisionShape& b = second.shape();
  if (a.IsConvex()) {
    return ConvexCommonPointPlaced(AsConvex(a), AsConvex(b), first.placement(), second.placement(), cached,
                                   point1, point2);
  }
  if (b.IsConvex()) {
    return MeshCommonPointConvex(AsMesh(a), AsConvex(b), first.placement(), second.placement(), cached, point1,
                                 point2);
  }
  return MeshesCommonPoint(AsMesh(a), AsMesh(b), first.placement(), second.placement(), cached, point1, point2);
}

bool WitnessedCommonPoint(const CollisionObject& first, const CollisionObject& second, Vector3& cached,
                          Vector3& point1, Vector3& point2) {
  if (!CanMeet(first, second) || !IsUsablePlacement(first.previous_placement()) ||
      !IsUsablePlacement(second.previous_placement())) {
    return false;
  }
  if (IsConvexBeforeMesh(first, second)) return WitnessedCommonPoint(second, first, cached, point2, point1);
  const CollisionShape& a = first.shape();
  const CollisionShape& b = second.shape();
  const ConvexShape* piece_a = nullptr;
  const ConvexShape* piece_b = nullptr;
  if (a.IsConvex()) {
    if (!IntersectObjects(first, second, cached)) return false;
    piece_a = &AsConvex(a);
    piece_b = &AsConvex(b);
  } else if (b.IsConvex()) {
    const PolytopeShape* hit = nullptr;
    if (!MeshFindConvexHit(AsMesh(a), AsConvex(b), first.placement(), second.placement(), cached, hit)) {
      return false;
    }
    piece_a = hit;
    piece_b = &AsConvex(b);
  } else {
    const PolytopeShape* hit_a = nullptr;
    const PolytopeShape* hit_b = nullptr;
    if (!MeshesFindHit(AsMesh(a), AsMesh(b), first.placement(), second.placement(), cached, hit_a, hit_b)) {
      return false;
    }
    piece_a = hit_a;
    piece_b = hit_b;
  }
  // A mesh's vertices never change after it is completed, so its pieces
  // stand where they stood under the previous placement too.
  ConvexClosestPoints(*piece_a, *piece_b, first.previous_placement(), second.previous_placement(), point1,
                      point2);
  return true;
}

bool TestCollisionPair(const CollisionObject& first, const CollisionObject& second, Vector3& cached,
                       const CollisionResponse& response, CollisionData& data) {
  if (response.callback == nullptr) return false;
  switch (response.type) {
    case CollisionResponse::kSimple:
      if (!IntersectObjects(first, second, cached)) return false;
      response.callback(response.client_data, first.key(), second.key(), nullptr);
      return true;
    case CollisionResponse::kWitnessed: {
      Vector3 p1, p2;
      if (!WitnessedCommonPoint(first, second, cached, p1, p2)) return false;
      data.point1 = p1;
      data.point2 = p2;
      data.normal = Apply(first.previous_placement(), p1) - Apply(second.previous_placement(), p2);
      response.callback(response.client_data, first.key(), second.key(), &data);
      return true;
    }
    case CollisionResponse::kCommonPoint: {
      Vector3 p1, p2;
      if (!CommonPointOfObjects(first, second, cached, p1, p2)) return false;
      data.point1 = p1;
      data.point2 = p2;
      data.normal = {};
      response.callback(response.client_data, first.key(), second.key(), &data);
      return true;
    }
    default:
      return false;
  }
}

}  // namespace zv
