#include "models/files/three_ds_faults.h"

#include <algorithm>
#include <cstdio>

namespace zv::models {
namespace {

constexpr uint64_t kChunkHeaderBytes = 6;
constexpr uint16_t kMainChunk = 0x4D4D;

// The chunks a cut is looked for inside, with what they hold before their
// sub-chunks.
enum class OwnFields { kNone, kName, kFaceRecords };

struct ChunkKind {
  uint16_t id;
  const char* name;
  bool holds_chunks;
  OwnFields own;
};

constexpr ChunkKind kKinds[] = {
    {0x4D4D, "main chunk", true, OwnFields::kNone},
    {0x3D3D, "editor chunk", true, OwnFields::kNone},
    {0xB000, "keyframer chunk", true, OwnFields::kNone},
    {0x4000, "object chunk", true, OwnFields::kName},
    {0x4100, "mesh chunk", true, OwnFields::kNone},
    {0x4110, "vertex list", false, OwnFields::kNone},
    {0x4120, "face list", true, OwnFields::kFaceRecords},
    {0x4130, "face material group", false, OwnFields::kNone},
    {0x4140, "texture coordinate list", false, OwnFields::kNone},
    {0x4150, "smoothing group list", false, OwnFields::kNone},
    {0x4160, "local axes", false, OwnFields::kNone},
    {0xAFFF, "material chunk", true, OwnFields::kNone},
    {0xA000, "material name", false, OwnFields::kNone},
    {0xB002, "keyframer node", true, OwnFields::kNone},
    {0xB010, "node header", false, OwnFields::kNone},
    {0xB013, "pivot", false, OwnFields::kNone},
    {0xB020, "position track", false, OwnFields::kNone},
    {0xB021, "rotation track", false, OwnFields::kNone},
    {0xB022, "scale track", false, OwnFields::kNone},
};

const ChunkKind* KindOf(uint16_t id) {
  const auto* kind = std::find_if(std::begin(kKinds), std::end(kKinds), [id](const ChunkKind& k) { return k.id == id; });
  return kind == std::end(kKinds) ? nullptr : kind;
}

std::string Hex(uint16_t id) {
  char text[8];
  std::snprintf(text, sizeof text, "0x%04X", id);
  return text;
}

std::string At(uint64_t byte, const std::string& what) { return "byte " + std::to_string(byte) + ": " + what; }

struct ChunkSpan {
  uint16_t id = 0;
  uint64_t start = 0;
  uint64_t length = 0;
};

uint16_t Little16(std::span<const uint8_t> file, uint64_t at) {
  return static_cast<uint16_t>(file[at] | (file[at + 1] << 8));
}

uint32_t Little32(std::span<const uint8_t> file, uint64_t at) {
  return Little16(file, at) | (static_cast<uint32_t>(Little16(file, at + 2)) << 16);
}

// Where the sub-chunks of `chunk` begin, past what it holds itself; the
// file's size when that reaches past its end.
uint64_t ChildrenStart(std::span<const uint8_t> file, const ChunkSpan& chunk, OwnFields own) {
  uint64_t at = chunk.start + kChunkHeaderBytes;
  if (own == OwnFields::kName) {
    while (at < file.size() && file[at] != 0) ++at;
    ++at;
  } else if (own == OwnFields::kFaceRecords) {
    at = at + 2 <= file.size() ? at + 2 + uint64_t{8} * Little16(file, at) : file.size();
  }
  return std::min<uint64_t>(at, file.size());
}

// The sub-chunk of `chunk` that the file ends in, if the file ends in one
// rather than between them or inside a sub-chunk's header.
std::optional<ChunkSpan> SubChunkCut(std::span<const uint8_t> file, const ChunkSpan& chunk, OwnFields own,
                                 uint64_t* header_cut) {
  const uint64_t end = chunk.start + chunk.length;
  for (uint64_t at = ChildrenStart(file, chunk, own); at < end && at < file.size();) {
    if (at + kChunkHeaderBytes > file.size()) {
      *header_cut = at;
      return std::nullopt;
    }
    const ChunkSpan sub{Little16(file, at), at, std::max<uint64_t>(Little32(file, at + 2), kChunkHeaderBytes)};
    if (sub.start + sub.length > file.size()) return sub;
    at += sub.length;
  }
  return std::nullopt;
}

}  // namespace

std::optional<std::string> FindThreeDsCut(std::span<const uint8_t> file) {
  if (file.size() < 2 || Little16(file, 0) != kMainChunk)
    return At(0, "the file does not begin with a 3DS main chunk (" + Hex(kMainChunk) + ")");
  if (file.size() < kChunkHeaderBytes) return At(file.size(), "the file ends inside the main chunk's header");
  ChunkSpan cut{kMainChunk, 0, Little32(file, 2)};
  if (cut.length <= file.size()) return std::nullopt;
  // Down through the chunks the end lies in, to the innermost.
  uint64_t header_cut = 0;
  for (;;) {
    const ChunkKind* kind = KindOf(cut.id);
    if (!kind || !kind->holds_chunks) break;
    std::optional<ChunkSpan> inner = SubChunkCut(file, cut, kind->own, &header_cut);
    if (!inner) break;
    cut = *inner;
  }
  const ChunkKind* kind = KindOf(cut.id);
  const std::string name = kind ? std::string(kind->name) + " (chunk " + Hex(cut.id) + ")" : "chunk " + Hex(cut.id);
  std::string what = "the file ends inside the " + name + " begun at byte " + std::to_string(cut.start) +
                     ", which claims " + std::to_string(cut.length) + " bytes";
  if (header_cut > 0) what += ", in the header of a chunk begun at byte " + std::to_string(header_cut);
  return At(file.size(), what);
}

std::optional<std::string> FindThreeDsBadFace(const ThreeDsMesh& mesh, std::string_view object) {
  if (!mesh.has_vertex_list) return std::nullopt;
  // Faces are kept as (a, c, b); the file holds a, b, c, two bytes each.
  constexpr size_t kKept[3] = {0, 2, 1};
  for (size_t face = 0; face < mesh.faces.size(); ++face) {
    for (uint64_t corner = 0; corner < 3; ++corner) {
      const uint32_t vertex = mesh.faces[face][kKept[corner]];
      if (vertex < mesh.vertices.size()) continue;
      const uint64_t byte = mesh.faces_at + 8 * uint64_t{face} + 2 * corner;
      return At(byte, "object \"" + std::string(object) + "\": face " + std::to_string(face) + " refers to vertex " +
                          std::to_string(vertex) + " of " + std::to_string(mesh.vertices.size()));
    }
  }
  return std::nullopt;
}

std::optional<std::string> FindThreeDsUnfitTexCoords(const ThreeDsMesh& mesh, std::string_view object) {
  const size_t pairs = mesh.tex_coords.size(), vertices = mesh.vertices.size();
  if (!mesh.has_vertex_list || !mesh.has_tex_coords || pairs == vertices) return std::nullopt;
  auto counted = [](size_t n, const char* one, const char* more) {
    return std::to_string(n) + " " + (n == 1 ? one : more);
  };
  return At(mesh.tex_coords_at, "object \"" + std::string(object) + "\": " +
                                    counted(pairs, "texture coordinate", "texture coordinates") + " for " +
                                    counted(vertices, "vertex", "vertices") +
                                    (pairs < vertices ? ", so the others take (0, 0)" : ", so the rest are left out"));
}

}  // namespace zv::models
