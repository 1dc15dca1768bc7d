#include "engine3d/scene/static_scene.h"

#include <algorithm>
#include <cmath>

namespace zv {
namespace {

constexpr float kNoContainerBeyond = 99999.9f;
constexpr float kOwnedReachesContainersFrom = -5000.0f;
constexpr uint64_t kMostVertices = 65536;  // what 16-bit indices reach

float Distance(const Vector3f& a, const Vector3f& b) {
  const float dx = a.x - b.x, dy = a.y - b.y, dz = a.z - b.z;
  return std::sqrt(dx * dx + dy * dy + dz * dz);
}

// Around the mean, every vertex falls in one of 8 octants (4: high x, 2:
// high y, 1: high z); each octant keeps the vertex nearest its corner of the
// bounding box (x counting 1.2 times). On each axis the box's low side is
// the largest coordinate among the low octants' picks and its high side the
// smallest among the high octants' picks.
std::array<Vector3f, 8> OccluderBox(const std::vector<platform::Vertex>& vertices, const Vector3f& mean) {
  Vector3f low{vertices[0].x, vertices[0].y, vertices[0].z}, high = low;
  for (const platform::Vertex& v : vertices) {
    low = Vector3f{std::min(low.x, v.x), std::min(low.y, v.y), std::min(low.z, v.z)};
    high = Vector3f{std::max(high.x, v.x), std::max(high.y, v.y), std::max(high.z, v.z)};
  }
  std::array<const platform::Vertex*, 8> pick{};
  std::array<float, 8> nearest;
  nearest.fill(999999.0f);
  for (const platform::Vertex& v : vertices) {
    const int octant = (v.x >= mean.x ? 4 : 0) + (v.y >= mean.y ? 2 : 0) + (v.z >= mean.z ? 1 : 0);
    const float cx = octant & 4 ? high.x : low.x, cy = octant & 2 ? high.y : low.y, cz = octant & 1 ? high.z : low.z;
    const float dx = v.x * 1.2f - cx * 1.2f, dy = v.y - cy, dz = v.z - cz;
    const float d = std::sqrt(dx * dx + dy * dy + dz * dz);
    if (d < nearest[static_cast<size_t>(octant)]) {
      nearest[static_cast<size_t>(octant)] = d;
      pick[static_cast<size_t>(octant)] = &v;
    }
  }
  // Per axis (bit 4 x, 2 y, 1 z): the low and high sides.
  auto sides = [&](int bit, float platform::Vertex::*axis) {
    float low_side = -99999.0f, high_side = 99999.0f;
    bool any_low = false, any_high = false;
    for (int k = 0; k < 8; ++k) {
      const platform::Vertex* p = pick[static_cast<size_t>(k)];
      if (!p) continue;
      if (k & bit) {
        high_side = std::min(high_side, p->*axis);
        any_high = true;
      } else {
        low_side = std::max(low_side, p->*axis);
        any_low = true;
      }
    }
    if (!any_low) low_side = high_side;
    if (!any_high) high_side = low_side;
    return std::pair<float, float>(low_side, high_side);
  };
  const auto [lx, hx] = sides(4, &platform::Vertex::x);
  const auto [ly, hy] = sides(2, &platform::Vertex::y);
  const auto [lz, hz] = sides(1, &platform::Vertex::z);
  std::array<Vector3f, 8> corners;
  for (int k = 0; k < 8; ++k)
    corners[static_cast<size_t>(k)] =
        Vector3f{(k & 4 ? hx : lx) - mean.x, (k & 2 ? hy : ly) - mean.y, (k & 1 ? hz : lz) - mean.z};
  return corners;
}

}  // namespace

std::unique_ptr<StaticPolygon> MakeStaticPolygon(const StaticMeshData& mesh, const StaticPieceMode& mode) {
  const uint64_t count = mesh.positions.size() / 3;
  if (count == 0 || count > kMostVertices) return nullptr;
  auto polygon = std::make_unique<StaticPolygon>();
  polygon->vertices.resize(count);
  for (size_t i = 0; i < count; ++i) {
    platform::Vertex& v = polygon->vertices[i];
    v.x = mesh.positions[3 * i], v.y = mesh.positions[3 * i + 1], v.z = mesh.positions[3 * i + 2];
    if (3 * i + 2 < mesh.normals.size())
      v.nx = mesh.normals[3 * i], v.ny = mesh.normals[3 * i + 1], v.nz = mesh.normals[3 * i + 2];
    if (2 * i + 1 < mesh.tex_coords.size()) v.u = mesh.tex_coords[2 * i], v.v = mesh.tex_coords[2 * i + 1];
  }
  // Faces as fans: (c0, c1, c2), then (c0, c(k-1), ck) for every further corner.
  size_t at = 0;
  for (uint32_t f = 0; f < mesh.face_count && at < mesh.face_data.size(); ++f) {
    const uint64_t corners = mesh.face_data[at++];
    if (corners * 2 > mesh.face_data.size() - at) return nullptr;
    auto corner = [&](uint64_t k) { return mesh.face_data[at + 2 * k]; };
    for (uint64_t k = 0; k < corners; ++k)
      if (corner(k) >= count) return nullptr;
    for (uint64_t k = 2; k < corners; ++k)
      polygon->indices.insert(polygon->indices.end(), {static_cast<uint16_t>(corner(0)),
                                                       static_cast<uint16_t>(corner(k - 1)),
                                                       static_cast<uint16_t>(corner(k))});
    at += static_cast<size_t>(corners * 2);
  }

  double sx = 0, sy = 0, sz = 0;
  for (const platform::Vertex& v : polygon->vertices) sx += v.x, sy += v.y, sz += v.z;
  const double n = static_cast<double>(count);
  const Vector3f centre{static_cast<float>(sx / n), static_cast<float>(sy / n), static_cast<float>(sz / n)};
  float reach = 0.0f, drop = 0.0f;
  for (const platform::Vertex& v : polygon->vertices) {
    reach = std::max(reach, Distance(centre, Vector3f{v.x, v.y, v.z}));
    drop = std::max(drop, centre.y - v.y);
  }
  polygon->centre = centre;
  polygon->radius = 1.25f * reach;
  polygon->owner = mode.owner;
  polygon->height_extent_in_use = mode.second && !mode.occluder ? 1 : 0;
  polygon->height_extent = 0.5f * drop + 0.5f * reach;
  polygon->full_height = mode.full_height ? 1 : 0;
  if (mode.occluder) {
    polygon->occluder_box = OccluderBox(polygon->vertices, centre);
    polygon->has_occluder_box = 1;
    if (mode.second) {
      polygon->geometry_dropped = 1;
      polygon->vertices.clear();
      polygon->indices.clear();
    }
  }
  return polygon;
}

void AddStaticPolygon(StaticScene& scene, int32_t texture, std::unique_ptr<StaticPolygon> polygon,
                      bool* made_group) {
  *made_group = false;
  if (!polygon) return;
  if (polygon->owner > 0 && polygon->centre.x > kOwnedReachesContainersFrom) {
    // The nearest ownerless polygon that holds this one's sphere.
    const float reach = polygon->radius / 1.25f;
    float best = kNoContainerBeyond;
    for (const StaticGroup& group : scene.groups)
      for (const std::unique_ptr<StaticPolygon>& other : group.polygons) {
        if (other->owner != 0) continue;
        const float d = Distance(polygon->centre, other->centre);
        if (d + reach < other->radius && d < best) {
          best = d;
          polygon->container = other.get();
        }
      }
  }
  auto group = std::find_if(scene.groups.begin(), scene.groups.end(),
                            [&](const StaticGroup& g) { return g.texture == texture; });
  if (group == scene.groups.end()) {
    scene.groups.push_back(StaticGroup{texture, {}});
    group = scene.groups.end() - 1;
    *made_group = true;
  }
  if (polygon->owner > 0) scene.owned[polygon->owner].push_back(polygon.get());
  group->polygons.push_back(std::move(polygon));
}

void RemoveStaticGeometryOf(StaticScene& scene, int32_t owner) {
  if (owner <= 0 || scene.owned.erase(owner) == 0) return;
  for (StaticGroup& group : scene.groups)
    std::erase_if(group.polygons, [&](const std::unique_ptr<StaticPolygon>& p) { return p->owner == owner; });
}

void AddStaticBox(StaticScene& scene, const Vector3f& a, const Vector3f& b) { scene.boxes.push_back({a, b}); }

}  // namespace zv
