#include "services/memory/mesh_layout.h"

#include <algorithm>
#include <bit>

#include "services/memory/little_endian.h"

namespace zv {
namespace {

struct MeshCounts {
  uint64_t vertices = 0, normals = 0, face_dwords = 0;

  // Bytes of the packed arrays: 12V + 12N + 4D + 8V, below 2^38 for 32-bit
  // counts, so the sum cannot wrap.
  uint64_t ArrayBytes() const { return 12 * vertices + 12 * normals + 4 * face_dwords + 8 * vertices; }
  uint64_t NormalsAt() const { return MeshMemblockLayout::kHeaderBytes + 12 * vertices; }
  uint64_t FacesAt() const { return NormalsAt() + 12 * normals; }
  uint64_t UvsAt() const { return FacesAt() + 4 * face_dwords; }
};

MeshCounts CountsOf(const MeshMemblockLayout& arrays) {
  return {arrays.VertexCount(), arrays.NormalCount(), arrays.FaceDwordCount()};
}

void StoreWords(uint8_t* out, const uint32_t* words, size_t count) {
  for (size_t i = 0; i < count; ++i) le::StoreU32(out + 4 * i, words[i]);
}

void StoreFloats(uint8_t* out, const float* values, size_t count) {
  for (size_t i = 0; i < count; ++i) le::StoreU32(out + 4 * i, std::bit_cast<uint32_t>(values[i]));
}

std::vector<uint32_t> LoadWords(const uint8_t* in, uint64_t count) {
  std::vector<uint32_t> words(static_cast<size_t>(count));
  for (size_t i = 0; i < words.size(); ++i) words[i] = le::LoadU32(in + 4 * i);
  return words;
}

std::vector<float> LoadFloats(const uint8_t* in, uint64_t count) {
  std::vector<float> values(static_cast<size_t>(count));
  for (size_t i = 0; i < values.size(); ++i) values[i] = std::bit_cast<float>(le::LoadU32(in + 4 * i));
  return values;
}

}  // namespace

std::optional<uint32_t> MeshBlockSize(const MeshMemblockLayout& arrays, uint32_t limit) {
  const uint64_t size = MeshMemblockLayout::kHeaderBytes + CountsOf(arrays).ArrayBytes();
  if (size > limit) return std::nullopt;
  return static_cast<uint32_t>(size);
}

void WriteMeshLayout(std::span<uint8_t> block, const MeshMemblockLayout& arrays) {
  const MeshCounts c = CountsOf(arrays);
  const uint32_t header[8] = {
      static_cast<uint32_t>(c.vertices),    MeshMemblockLayout::kHeaderBytes,
      static_cast<uint32_t>(c.normals),     static_cast<uint32_t>(c.NormalsAt()),
      arrays.face_count,                    static_cast<uint32_t>(c.FacesAt()),
      static_cast<uint32_t>(c.face_dwords), static_cast<uint32_t>(c.UvsAt())};
  uint8_t* out = block.data();
  StoreWords(out, header, 8);
  StoreFloats(out + MeshMemblockLayout::kHeaderBytes, arrays.vertices.data(), 3 * c.vertices);
  StoreFloats(out + c.NormalsAt(), arrays.normals.data(), 3 * c.normals);
  StoreWords(out + c.FacesAt(), arrays.face_data.data(), c.face_dwords);
  // Texture coordinates the engine does not have stay zero.
  const size_t uvs = std::min<size_t>(arrays.uvs.size(), 2 * c.vertices);
  StoreFloats(out + c.UvsAt(), arrays.uvs.data(), uvs);
}

std::optional<MeshMemblockLayout> ReadMeshLayout(std::span<const uint8_t> block) {
  if (block.size() < MeshMemblockLayout::kHeaderBytes) return std::nullopt;
  const uint8_t* in = block.data();
  MeshCounts c;
  c.vertices = le::LoadU32(in);
  c.normals = le::LoadU32(in + 8);
  c.face_dwords = le::LoadU32(in + 24);
  if (c.ArrayBytes() > block.size() - MeshMemblockLayout::kHeaderBytes) return std::nullopt;
  MeshMemblockLayout arrays;
  arrays.face_count = le::LoadU32(in + 16);
  arrays.vertices = LoadFloats(in + MeshMemblockLayout::kHeaderBytes, 3 * c.vertices);
  arrays.normals = LoadFloats(in + c.NormalsAt(), 3 * c.normals);
  arrays.face_data = LoadWords(in + c.FacesAt(), c.face_dwords);
  arrays.uvs = LoadFloats(in + c.UvsAt(), 2 * c.vertices);
  return arrays;
}

}  // namespace zv
