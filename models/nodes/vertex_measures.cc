#include "models/nodes/vertex_measures.h"

#include <algorithm>
#include <cmath>

namespace zv::models {
namespace {

Vector3f Affine(const MeshVertex& v, const Matrix4& m) {
  const auto& a = m.m;
  return {v.x * a[0][0] + v.y * a[1][0] + v.z * a[2][0] + a[3][0],
          v.x * a[0][1] + v.y * a[1][1] + v.z * a[2][1] + a[3][1],
          v.x * a[0][2] + v.y * a[1][2] + v.z * a[2][2] + a[3][2]};
}

}  // namespace

bool TransformPointProject(Vector3f* out, const Vector3f& p, const Matrix4& m) {
  const auto& a = m.m;
  float x = p.x * a[0][0] + p.y * a[1][0] + p.z * a[2][0] + a[3][0];
  float y = p.x * a[0][1] + p.y * a[1][1] + p.z * a[2][1] + a[3][1];
  float z = p.x * a[0][2] + p.y * a[1][2] + p.z * a[2][2] + a[3][2];
  float w = p.x * a[0][3] + p.y * a[1][3] + p.z * a[2][3] + a[3][3];
  // Written so that a NaN w fails too.
  if (!(std::fabs(w) >= 1e-5f)) return false;
  *out = {x / w, y / w, z / w};
  return true;
}

void AccumulateVertexSum(std::span<const MeshVertex> vertices, const Matrix4& m, Vector3f* sum,
                         uint32_t* count) {
  for (const MeshVertex& v : vertices) {
    Vector3f p = Affine(v, m);
    sum->x += p.x;
    sum->y += p.y;
    sum->z += p.z;
  }
  *count += static_cast<uint32_t>(vertices.size());
}

void MeasureMaxVertexDistance(std::span<const MeshVertex> vertices, const Matrix4& m,
                              const Vector3f& centre, float* maximum) {
  for (const MeshVertex& v : vertices) {
    Vector3f p = Affine(v, m);
    float dx = p.x - centre.x, dy = p.y - centre.y, dz = p.z - centre.z;
    float d = std::sqrt(dx * dx + dy * dy + dz * dz);
    if (d > *maximum) *maximum = d;
  }
}

void MeasureMinAxisDistance(std::span<const MeshVertex> vertices, const Vector3f& point,
                            float* minimum) {
  for (const MeshVertex& v : vertices) {
    for (float d : {std::fabs(v.x - point.x), std::fabs(v.y - point.y), std::fabs(v.z - point.z)})
      if (d < *minimum) *minimum = d;
  }
}

void MeasureBoundingBox(std::span<const MeshVertex> vertices, const Matrix4& m, BoundingBox* box) {
  for (const MeshVertex& v : vertices) {
    Vector3f p{v.x, v.y, v.z};
    TransformPointProject(&p, p, m);
    if (p.x < box->min_x) box->min_x = p.x;
    if (p.y < box->min_y) box->min_y = p.y;
    if (p.z < box->min_z) box->min_z = p.z;
    if (p.x > box->max_x) box->max_x = p.x;
    if (p.y > box->max_y) box->max_y = p.y;
    if (p.z > box->max_z) box->max_z = p.z;
  }
}

bool MeasureVertexExtents(std::span<const MeshVertex> vertices, VertexExtents* out) {
  if (vertices.empty()) return false;
  Vector3f lo{vertices[0].x, vertices[0].y, vertices[0].z}, hi = lo;
  for (const MeshVertex& v : vertices) {
    lo = {std::min(lo.x, v.x), std::min(lo.y, v.y), std::min(lo.z, v.z)};
    hi = {std::max(hi.x, v.x), std::max(hi.y, v.y), std::max(hi.z, v.z)};
  }
  out->size = {hi.x - lo.x, hi.y - lo.y, hi.z - lo.z};
  out->centre = {out->size.x / 2.0f + lo.x, out->size.y / 2.0f + lo.y, out->size.z / 2.0f + lo.z};
  return true;
}

}  // namespace zv::models
