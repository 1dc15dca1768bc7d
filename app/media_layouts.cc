#include "app/media_layouts.h"

#include <algorithm>
#include <vector>

#include "audio/library/audio_error.h"
#include "engine3d/engine.h"

namespace zv {
namespace {

// The first `count` items of `from`, the missing ones 0.
template <typename T>
std::vector<T> Leading(const std::vector<T>& from, int32_t count) {
  std::vector<T> out(static_cast<size_t>(std::max(count, 0)));
  std::copy_n(from.begin(), std::min(out.size(), from.size()), out.begin());
  return out;
}

}  // namespace

int32_t SoundLayoutAdapter::ExportSound(int32_t sound, SoundMemblockLayout* out) {
  SoundMemory memory;
  if (!slots_.SoundToMemory(sound, memory)) return memblock_neighbour_error::kSoundMissing;
  out->bits = memory.bits;
  out->frequency = memory.frequency;
  out->length = memory.length;
  out->data = std::move(memory.data);
  return 0;
}

int32_t SoundLayoutAdapter::ImportSound(int32_t sound, const SoundMemblockLayout& layout) {
  SoundMemory memory{layout.bits, layout.frequency, layout.length, layout.data};
  // Only this attempt's failure may say that memory ran out.
  ClearAudioError();
  if (slots_.MemoryToSound(memory, sound)) return 0;
  return GetAudioError() == audio_error::kOutOfMemory ? memblock_neighbour_error::kOutOfMemory
                                                      : memblock_neighbour_error::kSoundMissing;
}

// Record 0 is reserved, never a program's mesh: a number without a mesh
// maps to it.
MeshRecord* MeshLayoutAdapter::Numbered(int32_t mesh) {
  const int32_t index = engine_.pools.mesh_ids.Get(mesh);
  return index > 0 ? engine_.pools.Mesh(index) : nullptr;
}

bool MeshLayoutAdapter::MeshExists(int32_t mesh) { return Numbered(mesh) != nullptr; }

int32_t MeshLayoutAdapter::GetMeshLayout(int32_t mesh, MeshMemblockLayout* out) {
  const MeshRecord* record = Numbered(mesh);
  if (!record) return memblock_neighbour_error::kMeshMissing;
  out->face_count = static_cast<uint32_t>(std::max(record->face_count, 0));
  out->vertices = Leading(record->vertices, record->vertex_count * 3);
  out->normals = Leading(record->normals, record->normal_count * 3);
  out->face_data = Leading(record->face_data, record->face_data_count);
  out->uvs = Leading(record->tex_coords, record->vertex_count * 2);
  return 0;
}

int32_t MeshLayoutAdapter::MakeMesh(int32_t mesh, const MeshMemblockLayout& arrays) {
  EnginePools& pools = engine_.pools;
  if (const int32_t old = pools.mesh_ids.Get(mesh); old > 0) pools.FreeMesh(old);
  pools.mesh_ids.Set(mesh, 0);
  if (!engine_.Bound()) return memblock_neighbour_error::kOutOfMemory;
  const int32_t index = pools.AllocMesh(engine_.Machine());
  if (index == kNoRecord) return memblock_neighbour_error::kOutOfMemory;
  MeshRecord& record = pools.meshes[index];
  record.vertex_count = static_cast<int32_t>(arrays.VertexCount());
  record.normal_count = static_cast<int32_t>(arrays.NormalCount());
  record.face_count = static_cast<int32_t>(arrays.face_count);
  record.face_data_count = static_cast<int32_t>(arrays.FaceDwordCount());
  record.vertices = arrays.vertices;
  record.normals = arrays.normals;
  record.face_data = arrays.face_data;
  record.tex_coords = arrays.uvs;
  pools.mesh_ids.Set(mesh, index);
  return 0;
}

int32_t MeshLayoutAdapter::ChangeMesh(int32_t mesh, const MeshMemblockLayout& arrays) {
  MeshRecord* record = Numbered(mesh);
  if (!record || arrays.vertices.size() > record->vertices.size() ||
      arrays.normals.size() > record->normals.size() || arrays.face_data.size() > record->face_data.size() ||
      arrays.uvs.size() > record->tex_coords.size())
    return memblock_neighbour_error::kMeshNotChanged;
  std::copy(arrays.vertices.begin(), arrays.vertices.end(), record->vertices.begin());
  std::copy(arrays.normals.begin(), arrays.normals.end(), record->normals.begin());
  std::copy(arrays.face_data.begin(), arrays.face_data.end(), record->face_data.begin());
  std::copy(arrays.uvs.begin(), arrays.uvs.end(), record->tex_coords.begin());
  return 0;
}

}  // namespace zv
