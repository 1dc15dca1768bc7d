#pragma once

#include "collision/collision_shape.h"
#include "collision/placement.h"
#include "collision/vector3.h"

namespace zv {

// Distance and intersection queries on two convex shapes, by the
// Gilbert-Johnson-Keerthi iteration over their Minkowski difference with
// Johnson's sub-algorithm for the point of a simplex nearest the origin.
//
// `v` is the caller's search vector: the first search direction, left holding
// the last one found, so that the next query on the same pair starts where
// this one ended. Points named pa and pb come back in the frames of a and b.
//
// Every query ends: each loop has an iteration cap besides its tolerance, and
// a support point that is not finite ends the query with "no intersection". A
// search vector that is not finite or shorter than the tolerance is replaced
// by zero before use.
// The queries keep no state between calls and may run on any thread.

// `b_to_a` is b's placement seen from a's frame.
bool ConvexIntersect(const ConvexShape& a, const ConvexShape& b, const Placement& b_to_a, Vector3& v);

// The variant used for placed objects, in world coordinates. When rounding
// stalls the iteration before it either separates the shapes or encloses the
// origin, it starts again from the last search vector with a's search basis
// tilted a little further each time, up to 32 attempts; shapes that no attempt
// separates intersect.
bool ConvexIntersectPlaced(const ConvexShape& a, const ConvexShape& b, const Placement& a_placement,
                           const Placement& b_placement, Vector3& v);

// On a hit, pa and pb name one point of the world. When rounding let a nearly
// flat simplex pass for one enclosing the origin, the hit stands and the
// points are the closest points instead, which meet unless the shapes are a
// hair apart.
bool ConvexCommonPoint(const ConvexShape& a, const ConvexShape& b, const Placement& b_to_a, Vector3& v,
                       Vector3& pa, Vector3& pb);

bool ConvexCommonPointPlaced(const ConvexShape& a, const ConvexShape& b, const Placement& a_placement,
                             const Placement& b_placement, Vector3& v, Vector3& pa, Vector3& pb);

// The closest points of the two shapes; they coincide in world coordinates
// when the shapes overlap. Near contact, where rounding can make Johnson's
// test accept a nearly flat simplex or reject every subset, the nearest
// subset with positive weights is taken instead and the iteration goes on, so
// the distance between the points is the shapes' distance and never a
// rounding artefact.
void ConvexClosestPoints(const ConvexShape& a, const ConvexShape& b, const Placement& a_placement,
                         const Placement& b_placement, Vector3& pa, Vector3& pb);

}  // namespace zv
