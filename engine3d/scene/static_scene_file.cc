#include "engine3d/scene/static_scene_file.h"

#include <bit>
#include <cstring>

namespace zv {
namespace {

// Every field of a polygon after its indices.
constexpr size_t kPolygonTail = 20 + 5 + 96 + 24;
constexpr uint64_t kMostVertices = 65536;

class Writer {
 public:
  explicit Writer(size_t size) { bytes_.reserve(size); }
  void U8(uint8_t v) { bytes_.push_back(v); }
  void U16(uint16_t v) {
    U8(static_cast<uint8_t>(v));
    U8(static_cast<uint8_t>(v >> 8));
  }
  void U32(uint32_t v) {
    U16(static_cast<uint16_t>(v));
    U16(static_cast<uint16_t>(v >> 16));
  }
  void F32(float v) { U32(std::bit_cast<uint32_t>(v)); }
  void Vec(const Vector3f& v) {
    F32(v.x);
    F32(v.y);
    F32(v.z);
  }
  std::vector<uint8_t> Take() { return std::move(bytes_); }

 private:
  std::vector<uint8_t> bytes_;
};

class Reader {
 public:
  explicit Reader(std::span<const uint8_t> data) : data_(data) {}
  bool Has(uint64_t n) const { return n <= data_.size() - at_; }
  uint8_t U8() { return data_[at_++]; }
  uint16_t U16() {
    const uint16_t low = U8();
    return static_cast<uint16_t>(low | (U8() << 8));
  }
  uint32_t U32() {
    const uint32_t low = U16();
    return low | (static_cast<uint32_t>(U16()) << 16);
  }
  float F32() { return std::bit_cast<float>(U32()); }
  Vector3f Vec() {
    const float x = F32();
    const float y = F32();
    return Vector3f{x, y, F32()};
  }

 private:
  std::span<const uint8_t> data_;
  size_t at_ = 0;
};

size_t PolygonSize(const StaticPolygon& p) {
  return 4 + 32 * p.vertices.size() + 4 + 2 * p.indices.size() + kPolygonTail;
}

void WritePolygon(Writer& w, const StaticPolygon& p) {
  w.U32(static_cast<uint32_t>(p.vertices.size()));
  for (const platform::Vertex& v : p.vertices)
    for (float f : {v.x, v.y, v.z, v.nx, v.ny, v.nz, v.u, v.v}) w.F32(f);
  w.U32(static_cast<uint32_t>(p.indices.size()));
  for (uint16_t i : p.indices) w.U16(i);
  w.Vec(p.centre);
  w.F32(p.radius);
  w.F32(p.height_extent);
  for (uint8_t flag : {p.visible, p.has_occluder_box, p.height_extent_in_use, p.geometry_dropped, p.full_height})
    w.U8(flag);
  for (const Vector3f& corner : p.occluder_box) w.Vec(corner);
  w.U8(p.occluder.on);
  w.U8(0);
  w.U8(0);
  w.U8(0);
  for (float f : {p.occluder.min_x, p.occluder.min_y, p.occluder.max_x, p.occluder.max_y, p.occluder.depth}) w.F32(f);
}

std::unique_ptr<StaticPolygon> ReadPolygon(Reader& r) {
  auto p = std::make_unique<StaticPolygon>();
  if (!r.Has(4)) return nullptr;
  const uint32_t vertex_count = r.U32();
  if (vertex_count > kMostVertices || !r.Has(uint64_t{32} * vertex_count + 4)) return nullptr;
  p->vertices.resize(vertex_count);
  for (platform::Vertex& v : p->vertices)
    for (float* f : {&v.x, &v.y, &v.z, &v.nx, &v.ny, &v.nz, &v.u, &v.v}) *f = r.F32();
  const uint32_t index_count = r.U32();
  if (index_count % 3 != 0 || !r.Has(uint64_t{2} * index_count + kPolygonTail)) return nullptr;
  p->indices.resize(index_count);
  for (uint16_t& i : p->indices) {
    i = r.U16();
    if (i >= vertex_count) return nullptr;
  }
  p->centre = r.Vec();
  p->radius = r.F32();
  p->height_extent = r.F32();
  for (uint8_t* flag :
       {&p->visible, &p->has_occluder_box, &p->height_extent_in_use, &p->geometry_dropped, &p->full_height})
    *flag = r.U8();
  for (Vector3f& corner : p->occluder_box) corner = r.Vec();
  p->occluder.on = r.U8();
  for (int pad = 0; pad < 3; ++pad) r.U8();
  for (float* f : {&p->occluder.min_x, &p->occluder.min_y, &p->occluder.max_x, &p->occluder.max_y,
                   &p->occluder.depth})
    *f = r.F32();
  if (p->has_occluder_box && p->geometry_dropped) {
    p->vertices.clear();
    p->indices.clear();
  }
  return p;
}

}  // namespace

std::vector<uint8_t> EncodeStaticScene(const StaticScene& scene) {
  size_t size = 1 + 1;
  for (const StaticGroup& g : scene.groups) {
    size += 1 + 4 + 1;
    for (const auto& p : g.polygons) size += 1 + PolygonSize(*p);
  }
  size += scene.boxes.size() * 25;
  Writer w(size);
  for (const StaticGroup& g : scene.groups) {
    w.U8(1);
    w.U32(static_cast<uint32_t>(g.texture));
    for (const auto& p : g.polygons) {
      w.U8(1);
      WritePolygon(w, *p);
    }
    w.U8(0);
  }
  w.U8(0);
  for (const StaticBox& b : scene.boxes) {
    w.U8(1);
    w.Vec(b.min);
    w.Vec(b.max);
  }
  w.U8(0);
  return w.Take();
}

std::optional<StaticSceneFile> DecodeStaticScene(std::span<const uint8_t> file) {
  Reader r(file);
  StaticSceneFile out;
  for (;;) {
    if (!r.Has(1)) return std::nullopt;
    if (r.U8() != 1) break;
    if (!r.Has(4)) return std::nullopt;
    StaticGroup& group = out.groups.emplace_back();
    group.texture = static_cast<int32_t>(r.U32());
    for (;;) {
      if (!r.Has(1)) return std::nullopt;
      if (r.U8() != 1) break;
      std::unique_ptr<StaticPolygon> polygon = ReadPolygon(r);
      if (!polygon) return std::nullopt;
      group.polygons.push_back(std::move(polygon));
    }
  }
  for (;;) {
    if (!r.Has(1)) return std::nullopt;
    if (r.U8() != 1) break;
    if (!r.Has(24)) return std::nullopt;
    StaticBox& box = out.boxes.emplace_back();
    box.min = r.Vec();
    box.max = r.Vec();
  }
  return out;
}

}  // namespace zv
