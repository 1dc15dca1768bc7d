#pragma once

#include "collision/collision_shape.h"
#include "collision/mesh_shape.h"
#include "collision/placement.h"
#include "collision/polytope_shapes.h"

namespace zv {

// Queries of a mesh against a convex shape and of a mesh against a mesh. They
// walk the box trees depth first, upper children first, and stop at the first
// pair of pieces that meets; `v` goes to every piece-level solver call and is
// left as the last one left it. pa and pb come back in the frames of the first
// and the second shape. A mesh without pieces meets nothing.

bool MeshIntersectsConvex(const MeshShape& mesh, const ConvexShape& convex, const Placement& mesh_placement,
                          const Placement& convex_placement, Vector3& v);
bool MeshFindConvexHit(const MeshShape& mesh, const ConvexShape& convex, const Placement& mesh_placement,
                       const Placement& convex_placement, Vector3& v, const PolytopeShape*& hit);
bool MeshCommonPointConvex(const MeshShape& mesh, const ConvexShape& convex, const Placement& mesh_placement,
                           const Placement& convex_placement, Vector3& v, Vector3& pa, Vector3& pb);

bool MeshesIntersect(const MeshShape& a, const MeshShape& b, const Placement& a_placement,
                     const Placement& b_placement, Vector3& v);
bool MeshesFindHit(const MeshShape& a, const MeshShape& b, const Placement& a_placement,
                   const Placement& b_placement, Vector3& v, const PolytopeShape*& hit_a,
                   const PolytopeShape*& hit_b);
bool MeshesCommonPoint(const MeshShape& a, const MeshShape& b, const Placement& a_placement,
                       const Placement& b_placement, Vector3& v, Vector3& pa, Vector3& pb);

}  // namespace zv
