#include "models/files/three_ds_reader.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <optional>
#include <utility>

namespace zv::models {
namespace {

namespace id {
constexpr uint16_t kMain = 0x4D4D;
constexpr uint16_t kEditor = 0x3D3D;
constexpr uint16_t kKeyframer = 0xB000;
constexpr uint16_t kBackground = 0x1200;
constexpr uint16_t kAmbient = 0x2100;
constexpr uint16_t kObject = 0x4000;
constexpr uint16_t kViewportGroup = 0x7001;
constexpr uint16_t kMaterial = 0xAFFF;
constexpr uint16_t kHiddenObject = 0x4010;
constexpr uint16_t kShadowObject = 0x4012;
constexpr uint16_t kTriangleMesh = 0x4100;
constexpr uint16_t kLight = 0x4600;
constexpr uint16_t kCamera = 0x4700;
constexpr uint16_t kObjectGroup = 0xB000;
constexpr uint16_t kVertexList = 0x4110;
constexpr uint16_t kFaceList = 0x4120;
constexpr uint16_t kTexCoords = 0x4140;
constexpr uint16_t kLocalAxes = 0x4160;
constexpr uint16_t kFaceMaterial = 0x4130;
constexpr uint16_t kSmoothing = 0x4150;
constexpr uint16_t kSpotlight = 0x4610;
constexpr uint16_t kLightOff = 0x4620;
constexpr uint16_t kLightAttenuation = 0x465A;
constexpr uint16_t kColourFloat = 0x0010;
constexpr uint16_t kColourByte = 0x0011;
constexpr uint16_t kMaterialName = 0xA000;
constexpr uint16_t kDiffuse = 0xA020;
constexpr uint16_t kSpecular = 0xA030;
constexpr uint16_t kShininess = 0xA040;
constexpr uint16_t kTextureMap = 0xA200;
constexpr uint16_t kMapFile = 0xA300;
constexpr uint16_t kPercentWord = 0x0030;
constexpr uint16_t kPercentFloat = 0x0031;
constexpr uint16_t kObjectNode = 0xB002;
constexpr uint16_t kFrameRange = 0xB008;
constexpr uint16_t kNodeHeader = 0xB010;
constexpr uint16_t kInstanceName = 0xB011;
constexpr uint16_t kPivot = 0xB013;
constexpr uint16_t kPositionTrack = 0xB020;
constexpr uint16_t kRotationTrack = 0xB021;
constexpr uint16_t kScaleTrack = 0xB022;
constexpr uint16_t kNodeId = 0xB030;
}  // namespace id

// Chunks the editor level skips whole.
constexpr uint16_t kSkippedEditorChunks[] = {0x1100, 0x1201, 0x1300, 0x1400, 0x1420, 0x1450, 0x1500,
                                             0x2200, 0x2201, 0x2210, 0x2300, 0x2302, 0x3000};

constexpr uint64_t kHeaderSize = 6;
constexpr char kDefaultName[] = "Default name";
constexpr size_t kLongestName = 255;

// What a level does with an id it does not know: read its length and seek
// past it, or only step over the two bytes of the id.
enum class Unknown { kSkip, kStep };

struct Chunk {
  uint64_t start = 0;
  uint64_t length = kHeaderSize;
};

enum class TrackKind { kPosition, kRotation, kScale };

enum class Blanks { kUnderscore, kKeep };

std::array<float, 4> QuaternionFromRotation(Vector3f axis, float angle) {
  const float length = std::sqrt(axis.x * axis.x + axis.y * axis.y + axis.z * axis.z);
  if (length > 0.0f) axis = Vector3f{axis.x / length, axis.y / length, axis.z / length};
  const float s = std::sin(angle / 2.0f);
  return {std::cos(angle / 2.0f), axis.x * s, axis.y * s, axis.z * s};
}

// a x b, a first.
std::array<float, 4> QuaternionMultiply(const std::array<float, 4>& a, const std::array<float, 4>& b) {
  const auto [aw, ax, ay, az] = a;
  const auto [bw, bx, by, bz] = b;
  return {aw * bw - ax * bx - ay * by - az * bz, aw * bx + bw * ax + (ay * bz - az * by),
          aw * by + bw * ay + (az * bx - ax * bz), aw * bz + bw * az + (ax * by - ay * bx)};
}

// The unit normal of the corner at a, between the edges to b and to c.
Vector3f CornerNormal(const Vector3f& a, const Vector3f& b, const Vector3f& c) {
  const float bx = b.x - a.x, by = b.y - a.y, bz = b.z - a.z;
  const float cx = c.x - a.x, cy = c.y - a.y, cz = c.z - a.z;
  Vector3f n{by * cz - bz * cy, bz * cx - bx * cz, bx * cy - by * cx};
  const float length = std::sqrt(n.x * n.x + n.y * n.y + n.z * n.z);
  if (length == 0.0f) {
    const float third = static_cast<float>(1.0 / std::sqrt(3.0));
    return Vector3f{third, third, third};
  }
  return Vector3f{n.x / length, n.y / length, n.z / length};
}

class Reader {
 public:
  Reader(std::span<const uint8_t> file, ThreeDsPass pass, ThreeDsOutput& output, ThreeDsKeyframer& keyframer)
      : file_(file), first_pass_(pass == ThreeDsPass::kHierarchy), output_(output), keyframer_(keyframer) {}

  void ReadMainChunk() {
    pos_ = 0;
    if (ReadU16() != id::kMain) return;
    // Only the one main chunk at the start is read: a second one would
    // start the same walk from the top again.
    Chunk main{0, std::max<uint64_t>(ReadU32(), kHeaderSize)};
    Walk(main, Unknown::kStep, [&](uint16_t chunk) -> std::optional<uint64_t> {
      if (chunk == id::kEditor) return Editor();
      if (chunk == id::kKeyframer) return Keyframer();
      return std::nullopt;
    });
    Leave(main);
  }

 private:
  // ---- Reading primitives: past the end every byte reads as 0xFF -------------------

  bool AtEnd() const { return pos_ >= file_.size(); }
  uint8_t ReadByte() {
    const uint8_t value = AtEnd() ? 0xFF : file_[pos_];
    ++pos_;
    return value;
  }
  uint16_t ReadU16() {
    if (pos_ + 2 <= file_.size()) {
      const uint16_t value = static_cast<uint16_t>(file_[pos_] | (file_[pos_ + 1] << 8));
      pos_ += 2;
      return value;
    }
    const uint16_t low = ReadByte();
    return static_cast<uint16_t>(low | (ReadByte() << 8));
  }
  uint32_t ReadU32() {
    if (pos_ + 4 <= file_.size()) {
      const uint32_t value = file_[pos_] | (file_[pos_ + 1] << 8) | (file_[pos_ + 2] << 16) |
                             (static_cast<uint32_t>(file_[pos_ + 3]) << 24);
      pos_ += 4;
      return value;
    }
    const uint32_t low = ReadU16();
    return low | (static_cast<uint32_t>(ReadU16()) << 16);
  }
  float ReadF32() {
    const uint32_t bits = ReadU32();
    float value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
  }
  Vector3f ReadVector() {
    const float x = ReadF32();
    const float y = ReadF32();
    return Vector3f{x, y, ReadF32()};
  }

  // The chunk whose id was just read. A length that would not even hold
  // the chunk's own header counts as the header alone, so that every chunk
  // moves the walk on.
  Chunk Open() {
    Chunk chunk{pos_ - 2, 0};
    chunk.length = std::max<uint64_t>(ReadU32(), kHeaderSize);
    return chunk;
  }
  uint64_t Leave(const Chunk& chunk) {
    pos_ = chunk.start + chunk.length;
    return chunk.length;
  }
  uint64_t SkipWhole() { return Leave(Open()); }

  // How many records of `size` bytes the chunk still holds from here.
  uint32_t CountThatFits(const Chunk& chunk, uint32_t count, uint64_t size) const {
    const uint64_t end = std::min<uint64_t>(chunk.start + chunk.length, file_.size());
    const uint64_t room = end > pos_ ? (end - pos_) / size : 0;
    return static_cast<uint32_t>(std::min<uint64_t>(count, room));
  }

  // The sub-chunks of `chunk`, each handed to `handle`, which returns the
  // length of a chunk it knows. The count starts at the header's 6 bytes
  // and takes each sub-chunk's length plus 2; a sub-chunk is read before
  // the count is first compared, and the walk also ends where the data do.
  template <class Handle>
  void Walk(const Chunk& chunk, Unknown unknown, Handle handle) {
    uint64_t consumed = kHeaderSize;
    do {
      if (AtEnd()) return;
      const uint16_t chunk_id = ReadU16();
      uint64_t length = 0;
      if (std::optional<uint64_t> known = handle(chunk_id))
        length = *known;
      else if (unknown == Unknown::kSkip)
        length = SkipWhole();
      consumed += length + 2;
    } while (consumed < chunk.length);
  }

  // ---- Names -----------------------------------------------------------------------------

  // A name up to its terminating 0 (or the end of the data), of which 255
  // characters are kept. An object's name is read whole too: bytes of it
  // left for the walk would be taken for chunks, and its mesh lost. Blanks
  // become '_' in names the X text gives to its objects; a texture's file
  // name keeps them, as the file does.
  std::pair<std::string, bool> ReadName(Blanks blanks = Blanks::kUnderscore) {
    uint8_t c = ReadByte();
    if (c == 0) return {kDefaultName, false};
    std::string name;
    while (c != 0) {
      if (name.size() < kLongestName)
        name.push_back(c == ' ' && blanks == Blanks::kUnderscore ? '_' : static_cast<char>(c));
      if (AtEnd()) break;
      c = ReadByte();
    }
    return {name, true};
  }

  // ---- Main level ------------------------------------------------------------------------

  uint64_t Editor() {
    const Chunk chunk = Open();
    Walk(chunk, Unknown::kStep, [&](uint16_t sub) -> std::optional<uint64_t> {
      if (std::find(std::begin(kSkippedEditorChunks), std::end(kSkippedEditorChunks), sub) !=
          std::end(kSkippedEditorChunks))
        return SkipWhole();
      switch (sub) {
        case id::kBackground:
        case id::kAmbient: return Colours();
        case id::kObject: return Object();
        // Viewports, like cameras and object groups, give nothing.
        case id::kViewportGroup: return SkipWhole();
        case id::kMaterial: return Material();
        default: return std::nullopt;
      }
    });
    output_.EditorEnd();
    return Leave(chunk);
  }

  // ---- Colours and percentages: they set the last colour or percentage ---------

  uint64_t Colours() {
    const Chunk chunk = Open();
    Walk(chunk, Unknown::kStep, [&](uint16_t sub) -> std::optional<uint64_t> {
      if (sub == id::kColourFloat) return ColourFloat();
      if (sub == id::kColourByte) return ColourByte();
      return std::nullopt;
    });
    return Leave(chunk);
  }
  uint64_t ColourFloat() {
    const Chunk chunk = Open();
    const Vector3f c = ReadVector();
    last_colour_ = {c.x, c.y, c.z};
    return Leave(chunk);
  }
  uint64_t ColourByte() {
    const Chunk chunk = Open();
    for (float& channel : last_colour_) channel = static_cast<float>(ReadByte() / 255.0);
    return Leave(chunk);
  }

  uint64_t Percentages(Unknown unknown, bool with_map_file) {
    const Chunk chunk = Open();
    Walk(chunk, unknown, [&](uint16_t sub) -> std::optional<uint64_t> {
      if (sub == id::kPercentWord) {
        const Chunk value = Open();
        last_percentage_ = static_cast<float>(ReadU16());
        return Leave(value);
      }
      if (sub == id::kPercentFloat) {
        const Chunk value = Open();
        last_percentage_ = ReadF32();
        return Leave(value);
      }
      if (with_map_file && sub == id::kMapFile) {
        const Chunk name = Open();
        material_.map_file = ReadName(Blanks::kKeep).first;
        return Leave(name);
      }
      return std::nullopt;
    });
    return Leave(chunk);
  }

  // ---- Materials -----------------------------------------------------------------------

  // A material lacking a chunk keeps the start value of ThreeDsMaterial for
  // it (white, no shine, no texture), not the value of the one before.
  uint64_t Material() {
    const Chunk chunk = Open();
    material_ = ThreeDsMaterial{};
    Walk(chunk, Unknown::kSkip, [&](uint16_t sub) -> std::optional<uint64_t> {
      switch (sub) {
        case id::kMaterialName: {
          const Chunk name = Open();
          material_.name = ReadName().first;
          return Leave(name);
        }
        case id::kDiffuse: {
          const uint64_t length = Colours();
          material_.diffuse = last_colour_;
          return length;
        }
        case id::kSpecular: {
          const uint64_t length = Colours();
          material_.specular = last_colour_;
          return length;
        }
        case id::kShininess: {
          const uint64_t length = Percentages(Unknown::kStep, false);
          material_.shininess = last_percentage_;
          return length;
        }
        case id::kTextureMap: {
          const uint64_t length = Percentages(Unknown::kSkip, true);
          material_.texture_strength = last_percentage_;
          return length;
        }
        default: return std::nullopt;
      }
    });
    output_.Material(material_);
    return Leave(chunk);
  }

  // ---- Objects -----------------------------------------------------------------------------

  uint64_t Object() {
    const Chunk chunk = Open();
    const auto [name, named] = ReadName();
    output_.ObjectStart(name, named);
    Walk(chunk, Unknown::kSkip, [&](uint16_t sub) -> std::optional<uint64_t> {
      switch (sub) {
        case id::kTriangleMesh: return Mesh();
        case id::kLight: return Light();
        case id::kHiddenObject:
        case id::kShadowObject:
        case id::kCamera:
        case id::kObjectGroup: return SkipWhole();
        default: return std::nullopt;
      }
    });
    output_.ObjectEnd();
    return Leave(chunk);
  }

  uint64_t Light() {
    const Chunk chunk = Open();
    (void)ReadVector();
    Walk(chunk, Unknown::kStep, [&](uint16_t sub) -> std::optional<uint64_t> {
      switch (sub) {
        case id::kSpotlight:
        case id::kLightOff:
        case id::kLightAttenuation: return SkipWhole();
        case id::kColourFloat: return ColourFloat();
        case id::kColourByte: return ColourByte();
        default: return std::nullopt;
      }
    });
    return Leave(chunk);
  }

  // ---- Meshes ------------------------------------------------------------------------------

  uint64_t Mesh() {
    const Chunk chunk = Open();
    mesh_ = ThreeDsMesh{};
    Walk(chunk, Unknown::kSkip, [&](uint16_t sub) -> std::optional<uint64_t> {
      switch (sub) {
        case id::kVertexList: return VertexList();
        case id::kFaceList: return FaceList();
        case id::kTexCoords: return TexCoords();
        case id::kLocalAxes: return LocalAxes();
        default: return std::nullopt;
      }
    });
    output_.Mesh(mesh_);
    return Leave(chunk);
  }

  // The first pass hands no mesh on: it leaves the lists of numbers unread.
  uint64_t VertexList() {
    const Chunk chunk = Open();
    if (first_pass_) return Leave(chunk);
    const uint32_t count = CountThatFits(chunk, ReadU16(), 12);
    mesh_.has_vertex_list = true;
    mesh_.vertices.resize(count);
    for (Vector3f& v : mesh_.vertices) {
      const Vector3f read = ReadVector();
      v = Vector3f{read.x, read.z, read.y};
    }
    return Leave(chunk);
  }

  uint64_t FaceList() {
    const Chunk chunk = Open();
    const uint32_t count = CountThatFits(chunk, ReadU16(), 8);
    mesh_.faces.resize(first_pass_ ? 0 : count);
    mesh_.faces_at = pos_;
    if (first_pass_) pos_ += uint64_t{8} * count;
    for (std::array<uint32_t, 3>& face : mesh_.faces) {
      const uint32_t a = ReadU16();
      const uint32_t b = ReadU16();
      const uint32_t c = ReadU16();
      (void)ReadU16();  // edge flags
      face = {a, c, b};
    }
    mesh_.material.clear();
    Walk(chunk, Unknown::kSkip, [&](uint16_t sub) -> std::optional<uint64_t> {
      if (sub == id::kFaceMaterial) {
        const Chunk group = Open();
        auto [name, named] = ReadName();
        mesh_.material = named ? std::move(name) : std::string();
        return Leave(group);
      }
      if (sub == id::kSmoothing) return SkipWhole();
      return std::nullopt;
    });
    ComputeCornerNormals();
    return Leave(chunk);
  }

  // One normal per face corner, never shared. A corner naming a vertex the
  // list does not have takes the origin in its place.
  void ComputeCornerNormals() {
    const std::vector<Vector3f>& v = mesh_.vertices;
    auto at = [&](uint32_t index) { return index < v.size() ? v[index] : Vector3f{}; };
    mesh_.normals.clear();
    mesh_.normal_indices.clear();
    mesh_.normals.reserve(mesh_.faces.size() * 3);
    mesh_.normal_indices.reserve(mesh_.faces.size());
    for (const std::array<uint32_t, 3>& face : mesh_.faces) {
      std::array<uint32_t, 3> indices{};
      for (size_t k = 0; k < 3; ++k) {
        indices[k] = static_cast<uint32_t>(mesh_.normals.size());
        mesh_.normals.push_back(CornerNormal(at(face[k]), at(face[(k + 1) % 3]), at(face[(k + 2) % 3])));
      }
      mesh_.normal_indices.push_back(indices);
    }
  }

  // The pairs have a count of their own: a list that is longer or shorter
  // than the vertex list does not change how many vertices there are.
  uint64_t TexCoords() {
    const Chunk chunk = Open();
    if (first_pass_) return Leave(chunk);
    mesh_.tex_coords_at = pos_;
    const uint32_t count = CountThatFits(chunk, ReadU16(), 8);
    mesh_.has_tex_coords = true;
    mesh_.tex_coords.resize(count);
    for (std::array<float, 2>& pair : mesh_.tex_coords) {
      const float u = ReadF32();
      pair = {u, ReadF32()};
    }
    return Leave(chunk);
  }

  uint64_t LocalAxes() {
    const Chunk chunk = Open();
    Matrix4 read = Matrix4::Identity();
    for (int row = 0; row < 4; ++row)
      for (int column = 0; column < 3; ++column) read.m[row][column] = ReadF32();
    Matrix4 m = read;
    for (int row = 0; row < 4; ++row) std::swap(m.m[row][1], m.m[row][2]);
    for (int column = 0; column < 4; ++column) std::swap(m.m[1][column], m.m[2][column]);
    m.m[0][3] = m.m[1][3] = m.m[2][3] = 0.0f;
    m.m[3][3] = 1.0f;
    mesh_.local_axes = m;
    mesh_.has_local_axes = true;
    return Leave(chunk);
  }

  // ---- Keyframer -----------------------------------------------------------------------------

  uint64_t Keyframer() {
    const Chunk chunk = Open();
    Walk(chunk, Unknown::kSkip, [&](uint16_t sub) -> std::optional<uint64_t> {
      if (sub == id::kViewportGroup || sub == id::kFrameRange) return SkipWhole();
      if (sub == id::kObjectNode) return ObjectNode();
      return std::nullopt;
    });
    return Leave(chunk);
  }

  uint64_t ObjectNode() {
    const Chunk chunk = Open();
    node_.reset();
    if (!first_pass_) node_ = std::make_unique<ThreeDsNode>();
    Walk(chunk, Unknown::kSkip, [&](uint16_t sub) -> std::optional<uint64_t> {
      switch (sub) {
        case id::kNodeHeader: return NodeHeader();
        case id::kInstanceName: {
          const Chunk name = Open();
          (void)ReadName();
          // An instance's tracks are read and kept nowhere.
          node_.reset();
          return Leave(name);
        }
        case id::kPivot: return Pivot();
        case id::kPositionTrack: return Track(TrackKind::kPosition);
        case id::kRotationTrack: return Track(TrackKind::kRotation);
        case id::kScaleTrack: return Track(TrackKind::kScale);
        case id::kNodeId: {
          const Chunk value = Open();
          const uint16_t node_id = ReadU16();
          if (node_) node_->id = node_id;
          return Leave(value);
        }
        default: return std::nullopt;
      }
    });
    if (node_) keyframer_.nodes.push_back(std::move(*node_));
    node_.reset();
    return Leave(chunk);
  }

  uint64_t NodeHeader() {
    const Chunk chunk = Open();
    const auto [name, named] = ReadName();
    if (node_ && named) node_->name = name;
    if (name != kThreeDsDummyNode) {
      (void)ReadU16();
      (void)ReadU16();
      const auto parent = static_cast<int16_t>(ReadU16());
      if (first_pass_) {
        keyframer_.parents.push_back(parent);
        keyframer_.pivots.push_back(Vector3f{});
      }
    }
    return Leave(chunk);
  }

  uint64_t Pivot() {
    const Chunk chunk = Open();
    const Vector3f p = ReadVector();
    if (first_pass_ && !keyframer_.pivots.empty()) keyframer_.pivots.back() = Vector3f{p.x, p.z, p.y};
    return Leave(chunk);
  }

  uint64_t Track(TrackKind kind) {
    const Chunk chunk = Open();
    for (int i = 0; i < 5; ++i) (void)ReadU16();
    const auto stated = static_cast<int16_t>(ReadU16());
    (void)ReadU16();
    const uint32_t value_bytes = kind == TrackKind::kRotation ? 16 : 12;
    const uint32_t count = stated > 0 ? CountThatFits(chunk, static_cast<uint32_t>(stated), 6 + value_bytes) : 0;
    std::vector<ThreeDsKey> keys;
    keys.reserve(count);
    for (uint32_t k = 0; k < count; ++k) {
      ThreeDsKey key;
      key.frame = static_cast<int16_t>(ReadU16());
      (void)ReadU32();  // the frame's upper half and the spline flags
      if (kind == TrackKind::kRotation) {
        const float angle = ReadF32();
        const Vector3f axis = ReadVector();
        key.value = QuaternionFromRotation(Vector3f{-axis.x, -axis.z, -axis.y}, angle);
        // Each key turns on from the one before, so stored keys are absolute.
        if (!keys.empty()) key.value = QuaternionMultiply(keys.back().value, key.value);
      } else {
        const Vector3f v = ReadVector();
        key.value = {0.0f, v.x, v.z, v.y};
      }
      keys.push_back(key);
    }
    if (node_) {
      std::vector<ThreeDsKey>& list = kind == TrackKind::kPosition   ? node_->positions
                                      : kind == TrackKind::kRotation ? node_->rotations
                                                                     : node_->scales;
      list = std::move(keys);
    }
    return Leave(chunk);
  }

  std::span<const uint8_t> file_;
  uint64_t pos_ = 0;
  bool first_pass_;
  ThreeDsOutput& output_;
  ThreeDsKeyframer& keyframer_;
  std::array<float, 3> last_colour_{0.0f, 0.0f, 0.0f};
  float last_percentage_ = 0.0f;
  ThreeDsMaterial material_;
  ThreeDsMesh mesh_;
  std::unique_ptr<ThreeDsNode> node_;  // null in the first pass and for instances
};

}  // namespace

void ReadThreeDsPass(std::span<const uint8_t> file, ThreeDsPass pass, ThreeDsOutput& output,
                     ThreeDsKeyframer& keyframer) {
  Reader reader(file, pass, output, keyframer);
  reader.ReadMainChunk();
}

}  // namespace zv::models
