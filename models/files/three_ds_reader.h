#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "models/nodes/node_types.h"

namespace zv::models {

// A 3DS file is read twice: the first pass only gathers the keyframer's
// node hierarchy and pivots (the keyframer comes after the scene), the
// second hands the scene's materials, objects and meshes to the output in
// file order and gathers the keyframer's tracks.
enum class ThreeDsPass { kHierarchy, kContents };

// A material as it stands at the end of its chunk.
struct ThreeDsMaterial {
  std::string name;
  std::array<float, 3> diffuse{1.0f, 1.0f, 1.0f};
  std::array<float, 3> specular{0.0f, 0.0f, 0.0f};
  float shininess = 0.0f;               // the percentage as read
  float texture_strength = -1.0f;       // -1: the material has no texture map
  std::string map_file;
};

// One mesh of an object, with the file's y and z already exchanged: the
// vertices as (x, z, y), faces as (a, c, b), the local axes with the same
// exchange, and one normal per face corner.
struct ThreeDsMesh {
  bool has_vertex_list = false;
  std::vector<Vector3f> vertices;
  std::vector<std::array<uint32_t, 3>> faces;
  uint64_t faces_at = 0;  // where the first face's record lies in the file
  bool has_tex_coords = false;
  std::vector<std::array<float, 2>> tex_coords;  // (u, v) as stored
  uint64_t tex_coords_at = 0;  // where the texture coordinate list's count lies
  std::vector<Vector3f> normals;                 // 3 per face
  std::vector<std::array<uint32_t, 3>> normal_indices;
  bool has_local_axes = false;
  Matrix4 local_axes = Matrix4::Identity();
  std::string material;  // of the last face-material group; empty: none
};

// A key of a keyframer track: the frame and, for rotations, the absolute
// orientation as a quaternion (w, x, y, z); for positions and scales
// (unused, x, y, z) with y and z exchanged.
struct ThreeDsKey {
  int16_t frame = 0;
  std::array<float, 4> value{};
};

// An object node of the keyframer (second pass).
struct ThreeDsNode {
  int32_t id = -1;
  std::string name;
  std::vector<ThreeDsKey> positions, rotations, scales;
};

// What the keyframer holds: per counted node (nodes named "$$$DUMMY" are
// not counted) its parent number and pivot, gathered in the first pass;
// the object nodes with their tracks, gathered in the second.
struct ThreeDsKeyframer {
  std::vector<int16_t> parents;
  std::vector<Vector3f> pivots;  // (x, z, y)
  std::vector<ThreeDsNode> nodes;
};

// Where a pass hands what it reads, in file order.
class ThreeDsOutput {
 public:
  virtual ~ThreeDsOutput() = default;
  virtual void Material(const ThreeDsMaterial& material) { (void)material; }
  // An object chunk starts; `named` is false when its name was empty and
  // `name` holds the default name.
  virtual void ObjectStart(const std::string& name, bool named) { (void)name, (void)named; }
  virtual void ObjectEnd() {}
  // A mesh of the current object, once its sub-chunks have been read.
  virtual void Mesh(ThreeDsMesh& mesh) { (void)mesh; }
  virtual void EditorEnd() {}
};

// Reads one pass over the file's main chunk. A file that does not start
// with the main chunk gives nothing. Reads past the end of the data read
// as 0xFF bytes; counts never reach past the end of their chunk.
void ReadThreeDsPass(std::span<const uint8_t> file, ThreeDsPass pass, ThreeDsOutput& output,
                     ThreeDsKeyframer& keyframer);

// The node name that marks a keyframer node without an object.
inline constexpr char kThreeDsDummyNode[] = "$$$DUMMY";

}  // namespace zv::models
