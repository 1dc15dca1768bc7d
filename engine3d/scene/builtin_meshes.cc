// The five built-in primitive meshes (sphere, cube, cylinder, plain, cone),
// built from their rules rather than carried as data. Azimuth phi turns
// about the y axis from +z towards -x: a point at distance rho from the axis
// lies at (-rho sin phi, y, rho cos phi).
#include <array>
#include <cmath>
#include <vector>

#include "engine3d/objects/mesh_records.h"

namespace zv {
namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr float kOffset = 0.001f;

// Texture coordinates kept off the texture's very edge.
float Inset(float t) { return 0.5f + (t - 0.5f) / 1.001f; }
const float kLow = Inset(0.0f), kHigh = Inset(1.0f);

Vector3f AtAzimuth(double degrees, float rho, float y) {
  const double r = degrees * kPi / 180.0;
  return Vector3f{static_cast<float>(-rho * std::sin(r)), y, static_cast<float>(rho * std::cos(r))};
}

Vector3f Radial(double degrees) { return AtAzimuth(degrees, 1.0f, 0.0f); }

Vector3f Normalised(Vector3f v) {
  const double length = VectorLength(v);
  if (length == 0.0) return v;
  return Vector3f{static_cast<float>(v.x / length), static_cast<float>(v.y / length), static_cast<float>(v.z / length)};
}

// A mesh under construction: vertices with their normals and texture
// coordinates, and triangles whose normal indices are their vertex indices.
struct Builder {
  std::vector<Vector3f> positions, normals;
  std::vector<std::array<float, 2>> uv;
  std::vector<uint32_t> triangles;

  uint32_t Add(Vector3f p, float u, float v, Vector3f n = {}) {
    positions.push_back(p);
    normals.push_back(n);
    uv.push_back({u, v});
    return static_cast<uint32_t>(positions.size() - 1);
  }
  void Face(uint32_t a, uint32_t b, uint32_t c) { triangles.insert(triangles.end(), {a, b, c}); }

  // The smooth rule: a vertex's normal is the normalised sum of the flat
  // normals of the polygons that use it, each polygon counted once.
  void SmoothNormals(const std::vector<std::vector<uint32_t>>& polygons) {
    std::vector<Vector3f> sums(positions.size());
    for (const std::vector<uint32_t>& polygon : polygons) {
      const Vector3f& a = positions[polygon[0]];
      const Vector3f& b = positions[polygon[1]];
      const Vector3f& c = positions[polygon[2]];
      Vector3f n;
      VectorCross(n, Vector3f{b.x - a.x, b.y - a.y, b.z - a.z}, Vector3f{c.x - a.x, c.y - a.y, c.z - a.z});
      n = Normalised(n);
      std::vector<uint32_t> seen;
      for (uint32_t v : polygon) {
        if (std::find(seen.begin(), seen.end(), v) != seen.end()) continue;
        seen.push_back(v);
        sums[v] = Vector3f{sums[v].x + n.x, sums[v].y + n.y, sums[v].z + n.z};
      }
    }
    for (size_t v = 0; v < sums.size(); ++v) normals[v] = Normalised(sums[v]);
  }

  void Offset() {
    for (Vector3f& p : positions) p = Vector3f{p.x + kOffset, p.y + kOffset, p.z + kOffset};
  }

  void Into(MeshRecord& mesh) const {
    const size_t n = positions.size();
    mesh.vertex_count = mesh.normal_count = static_cast<int32_t>(n);
    mesh.vertices.clear();
    mesh.normals.clear();
    mesh.tex_coords.clear();
    for (size_t i = 0; i < n; ++i) {
      mesh.vertices.insert(mesh.vertices.end(), {positions[i].x, positions[i].y, positions[i].z});
      mesh.normals.insert(mesh.normals.end(), {normals[i].x, normals[i].y, normals[i].z});
      mesh.tex_coords.insert(mesh.tex_coords.end(), {uv[i][0], uv[i][1]});
    }
    mesh.face_count = static_cast<int32_t>(triangles.size() / 3);
    mesh.face_data.clear();
    for (size_t f = 0; f < triangles.size(); f += 3) {
      mesh.face_data.push_back(3);
      for (size_t c = 0; c < 3; ++c) mesh.face_data.insert(mesh.face_data.end(), {triangles[f + c], triangles[f + c]});
    }
    mesh.face_data_count = static_cast<int32_t>(mesh.face_data.size());
  }
};

// 16 segments of 22.5 degrees, 8 bands from pole to pole.
void BuildSphere(Builder& m) {
  auto ring_point = [](int r, int k) {
    const double polar = 22.5 * r * kPi / 180.0;
    return AtAzimuth(22.5 * k, static_cast<float>(0.5 * std::sin(polar)), static_cast<float>(0.5 * std::cos(polar)));
  };
  const Vector3f top{0, 0.5f, 0}, bottom{0, -0.5f, 0};
  m.Add(top, 1.0f / 32, 0);
  for (int r = 1; r <= 7; ++r)
    for (int k = 0; k < 16; ++k) m.Add(ring_point(r, k), k / 16.0f, r / 8.0f);
  m.Add(bottom, 1.0f / 32, 1);
  for (int k = 1; k <= 15; ++k) m.Add(top, (k + 0.5f) / 16, 0);
  m.Add(ring_point(1, 16), 1, 1.0f / 8);
  for (int r = 1; r <= 6; ++r) {
    m.Add(ring_point(r + 1, 16), 1, (r + 1) / 8.0f);
    m.Add(ring_point(r + 1, 16), 1, (r + 1) / 8.0f);
    m.Add(ring_point(r, 16), 1, r / 8.0f);
  }
  for (int k = 1; k <= 15; ++k) m.Add(bottom, (k + 0.5f) / 16, 1);
  m.Add(ring_point(7, 16), 1, 7.0f / 8);

  auto R = [](int r, int k) { return static_cast<uint32_t>(1 + 16 * (r - 1) + k); };
  std::vector<std::vector<uint32_t>> polygons;
  for (int k = 0; k < 16; ++k) {
    const uint32_t t = k == 0 ? 0 : 113 + k, next = k == 15 ? 129 : R(1, k + 1);
    m.Face(t, next, R(1, k));
    polygons.push_back({t, next, R(1, k)});
  }
  for (int r = 1; r <= 6; ++r)
    for (int k = 0; k < 16; ++k) {
      const bool seam = k == 15;
      const uint32_t lower_next_first = seam ? 127 + 3 * r : R(r + 1, k + 1);
      const uint32_t upper_next = seam ? 129 + 3 * r : R(r, k + 1);
      const uint32_t lower_next_second = seam ? 128 + 3 * r : R(r + 1, k + 1);
      m.Face(R(r, k), lower_next_first, R(r + 1, k));
      m.Face(R(r, k), upper_next, lower_next_second);
      polygons.push_back({R(r, k), lower_next_first, R(r + 1, k), upper_next, lower_next_second});
    }
  for (int k = 0; k < 16; ++k) {
    const uint32_t b = k == 0 ? 113 : 147 + k, next = k == 15 ? 163 : R(7, k + 1);
    m.Face(b, R(7, k), next);
    polygons.push_back({b, R(7, k), next});
  }
  m.SmoothNormals(polygons);
  m.Offset();
}

// Six sides of two triangles; +z and -z share their four corners, the
// others have one vertex per face corner.
void BuildCube(Builder& m) {
  struct Corner {
    int sx, sy, sz;
    bool u_high, v_high;
  };
  struct Side {
    Vector3f normal;
    std::array<Corner, 6> corners;
    int count;
    std::array<uint32_t, 6> faces;
  };
  static const Side kSides[] = {
      {{0, 0, 1}, {{{-1, -1, 1, 0, 0}, {1, -1, 1, 1, 0}, {-1, 1, 1, 0, 1}, {1, 1, 1, 1, 1}}}, 4, {0, 3, 2, 3, 0, 1}},
      {{0, 0, -1}, {{{-1, -1, -1, 1, 0}, {1, -1, -1, 0, 0}, {-1, 1, -1, 1, 1}, {1, 1, -1, 0, 1}}}, 4, {0, 3, 1, 3, 0, 2}},
      {{0, -1, 0},
       {{{-1, -1, 1, 0, 1}, {1, -1, 1, 1, 1}, {1, -1, -1, 1, 0}, {1, -1, -1, 1, 0}, {-1, -1, -1, 0, 0}, {-1, -1, 1, 0, 1}}},
       6,
       {0, 2, 1, 3, 5, 4}},
      {{1, 0, 0},
       {{{1, -1, 1, 0, 0}, {1, 1, 1, 0, 1}, {1, 1, -1, 1, 1}, {1, 1, -1, 1, 1}, {1, -1, -1, 1, 0}, {1, -1, 1, 0, 0}}},
       6,
       {0, 2, 1, 3, 5, 4}},
      {{0, 1, 0},
       {{{1, 1, 1, 0, 1}, {-1, 1, 1, 1, 1}, {-1, 1, -1, 1, 0}, {-1, 1, -1, 1, 0}, {1, 1, -1, 0, 0}, {1, 1, 1, 0, 1}}},
       6,
       {0, 2, 1, 3, 5, 4}},
      {{-1, 0, 0},
       {{{-1, 1, 1, 1, 1}, {-1, -1, 1, 1, 0}, {-1, -1, -1, 0, 0}, {-1, -1, -1, 0, 0}, {-1, 1, -1, 0, 1}, {-1, 1, 1, 1, 1}}},
       6,
       {0, 2, 1, 3, 5, 4}},
  };
  for (const Side& side : kSides) {
    const uint32_t base = static_cast<uint32_t>(m.positions.size());
    for (int i = 0; i < side.count; ++i) {
      const Corner& c = side.corners[static_cast<size_t>(i)];
      m.Add(Vector3f{0.5f * c.sx, 0.5f * c.sy, 0.5f * c.sz}, c.u_high ? kHigh : kLow, c.v_high ? kHigh : kLow,
            side.normal);
    }
    for (size_t f = 0; f < 6; f += 3) m.Face(base + side.faces[f], base + side.faces[f + 1], base + side.faces[f + 2]);
  }
  m.Offset();
}

// 24 segments of 15 degrees; rim position k lies at azimuth 270 + 15k.
void BuildCylinder(Builder& m) {
  auto rim = [](int k, float y) { return AtAzimuth(270.0 + 15.0 * (k % 24), 0.5f, y); };
  auto u_of = [](int k) { return static_cast<float>(((k + 18) % 24) / 24.0); };
  auto cap_uv = [](const Vector3f& p) { return std::array<float, 2>{0.5f - p.z / 1.001f, 0.5f - p.x / 1.001f}; };
  auto quad_normal = [](int k) { return Radial(277.5 + 15.0 * k); };
  const Vector3f down{0, -1, 0}, up{0, 1, 0};

  m.Add(Vector3f{0, -0.5f, 0}, 0.5f, 0.5f, down);
  for (int k = 0; k < 24; ++k) {
    const Vector3f p = rim(k, -0.5f);
    m.Add(p, cap_uv(p)[0], cap_uv(p)[1], down);
  }
  for (int k = 0; k < 24; ++k) {
    if (k == 6)
      m.Add(rim(k, 0.5f), 1.0f, kLow, quad_normal(5));
    else
      m.Add(rim(k, 0.5f), u_of(k), kLow, Radial(270.0 + 15.0 * k));
  }
  m.Add(Vector3f{0, 0.5f, 0}, 0.5f, 0.5f, up);
  struct Corners {
    uint32_t b1, b2, b3, t;
  };
  std::array<Corners, 24> corners{};
  for (int k = 0; k < 24; ++k) {
    const Vector3f n = quad_normal(k);
    Corners& c = corners[static_cast<size_t>(k)];
    c.b1 = m.Add(rim(k, -0.5f), u_of(k), kHigh, n);
    if (k == 6) c.t = m.Add(rim(6, 0.5f), 0.0f, kLow, n);
    c.b2 = m.Add(rim(k, -0.5f), u_of(k), kHigh, n);
    c.b3 = m.Add(rim(k + 1, -0.5f), k == 5 ? 1.0f : u_of(k + 1), kHigh, n);
  }
  for (int k = 0; k < 24; ++k) {
    const Vector3f a = rim(k, 0.5f), b = rim(k + 1, 0.5f);
    m.Add(a, cap_uv(a)[0], cap_uv(a)[1], up);
    m.Add(b, cap_uv(b)[0], cap_uv(b)[1], up);
  }
  for (uint32_t k = 0; k < 24; ++k) m.Face(0, 1 + k, 1 + (k + 1) % 24);
  for (uint32_t k = 0; k < 24; ++k) {
    const Corners& c = corners[k];
    m.Face(c.b1, k == 6 ? c.t : 25 + k, 25 + (k + 1) % 24);
    m.Face(c.b2, 25 + (k + 1) % 24, c.b3);
  }
  for (uint32_t k = 0; k < 24; ++k) m.Face(49, 124 + 2 * k, 123 + 2 * k);
}

void BuildPlain(Builder& m) {
  const Vector3f n{0, 0, -1};
  m.Add(Vector3f{-0.5f, -0.5f, 0}, kLow, kHigh, n);
  m.Add(Vector3f{0.5f, -0.5f, 0}, kHigh, kHigh, n);
  m.Add(Vector3f{-0.5f, 0.5f, 0}, kLow, kLow, n);
  m.Add(Vector3f{0.5f, 0.5f, 0}, kHigh, kLow, n);
  m.Face(0, 3, 1);
  m.Face(3, 0, 2);
  m.Offset();
}

// 12 segments of 30 degrees; base position k lies at azimuth 270 + 30k.
// The side's vertices carry the slope normal (0.894 out, 0.447 up): at
// their azimuth on the base, at the middle of their segment at the apex.
void BuildCone(Builder& m) {
  auto base = [](int k) { return AtAzimuth(270.0 + 30.0 * (k % 12), 0.5f, -0.5f); };
  auto slope = [](double azimuth) {
    const Vector3f r = Radial(azimuth);
    return Normalised(Vector3f{r.x * 0.894f, 0.447f, r.z * 0.894f});
  };
  auto u_of = [](int k) { return static_cast<float>(((k + 9) % 12) / 12.0); };
  const Vector3f apex{0, 0.5f, 0}, down{0, -1, 0};
  m.Add(Vector3f{0, -0.5f, 0}, 0.5f, kHigh, down);
  for (int k = 0; k < 12; ++k) m.Add(base(k), k == 3 ? 1.0f : u_of(k), kHigh, slope(270.0 + 30.0 * k));
  for (int k = 0; k < 12; ++k) m.Add(apex, 0.5f, kLow, slope(270.0 + 30.0 * (k - 1) + 15.0));
  m.Add(apex, 0.5f, kLow, Vector3f{0, 1, 0});
  m.Add(base(3), 0.0f, kHigh, down);
  m.Add(base(3), 0.0f, kHigh, slope(360.0));
  for (uint32_t k = 0; k < 12; ++k) m.Face(0, k == 3 ? 26 : 1 + k, 1 + (k + 1) % 12);
  for (uint32_t k = 0; k < 12; ++k) {
    m.Face(1 + k, 13 + k, 13 + (k + 1) % 12);
    m.Face(k == 3 ? 27 : 1 + k, 13 + (k + 1) % 12, 1 + (k + 1) % 12);
  }
  for (uint32_t k = 0; k < 12; ++k) m.Face(25, 13 + (k + 1) % 12, 13 + k);
  m.Offset();
}

}  // namespace

bool LoadResourceMesh(MeshRecord& mesh, int32_t id) {
  Builder builder;
  switch (id) {
    case kSphereMesh: BuildSphere(builder); break;
    case kCubeMesh: BuildCube(builder); break;
    case kCylinderMesh: BuildCylinder(builder); break;
    case kPlainMesh: BuildPlain(builder); break;
    case kConeMesh: BuildCone(builder); break;
    default: return false;
  }
  builder.Into(mesh);
  return true;
}

}  // namespace zv
