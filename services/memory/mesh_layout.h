#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace zv {

// A mesh as a memory block holds it: eight header words (vertex count V,
// offset of the vertices, normal count N, offset of the normals, face count
// F, offset of the face data, face-data dword count D, offset of the
// texture coordinates), then four arrays packed from offset 32: vertices
// and normals as x, y, z floats, the face data as the 3D engine keeps it
// (7 dwords per triangle), one u, v pair per vertex. Readers ignore the
// stored offsets. Here the counts are the arrays' sizes: 3V, 3N, D and 2V.
struct MeshMemblockLayout {
  static constexpr uint32_t kHeaderBytes = 32;

  uint32_t face_count = 0;  // F, kept beside the face data
  std::vector<float> vertices;
  std::vector<float> normals;
  std::vector<uint32_t> face_data;
  std::vector<float> uvs;

  uint32_t VertexCount() const { return static_cast<uint32_t>(vertices.size() / 3); }
  uint32_t NormalCount() const { return static_cast<uint32_t>(normals.size() / 3); }
  uint32_t FaceDwordCount() const { return static_cast<uint32_t>(face_data.size()); }
};

// The size of the block for these arrays; nothing above `limit` bytes.
std::optional<uint32_t> MeshBlockSize(const MeshMemblockLayout& arrays, uint32_t limit);
// Writes the header and the arrays; `block` holds MeshBlockSize bytes.
void WriteMeshLayout(std::span<uint8_t> block, const MeshMemblockLayout& arrays);
// The arrays of a mesh block whose counts fit in it; nothing (error 5105)
// for a block shorter than its header or than the arrays it promises.
std::optional<MeshMemblockLayout> ReadMeshLayout(std::span<const uint8_t> block);

}  // namespace zv
