#pragma once

#include <cstdint>
#include <span>

#include "models/nodes/node_types.h"

namespace zv::models {

// (x', y', z') / w' of the point under `m`; false, with `out` untouched,
// when |w'| is below 1e-5.
bool TransformPointProject(Vector3f* out, const Vector3f& point, const Matrix4& m);

// Adds every vertex position under `m` (affine: no division by w) to `sum`
// and the vertex count to `count`.
void AccumulateVertexSum(std::span<const MeshVertex> vertices, const Matrix4& m, Vector3f* sum,
                         uint32_t* count);
// Raises `maximum` to the largest distance of a vertex under `m` from `centre`.
void MeasureMaxVertexDistance(std::span<const MeshVertex> vertices, const Matrix4& m,
                              const Vector3f& centre, float* maximum);
// Lowers `minimum` to the smallest distance along one axis between `point`
// and an (untransformed) vertex.
void MeasureMinAxisDistance(std::span<const MeshVertex> vertices, const Vector3f& point,
                            float* minimum);
// Widens `box` to hold every vertex under `m` (projected; a vertex that
// cannot be projected counts untransformed).
void MeasureBoundingBox(std::span<const MeshVertex> vertices, const Matrix4& m, BoundingBox* box);

// The extents of the untransformed vertices: their centre and size per
// axis. False for a mesh without vertices (nothing written).
struct VertexExtents {
  Vector3f centre;
  Vector3f size;
};
bool MeasureVertexExtents(std::span<const MeshVertex> vertices, VertexExtents* out);

}  // namespace zv::models
