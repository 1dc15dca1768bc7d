#pragma once

#include <cstdint>

#include "audio/commands/sound_commands_service.h"
#include "services/memory/mesh_layout_services.h"
#include "services/memory/sound_layout_services.h"

namespace zv {

class Engine3D;
struct MeshRecord;

// Memory blocks made from sounds and sounds made from memory blocks go
// through the sound slots.
class SoundLayoutAdapter final : public SoundLayoutServices {
 public:
  explicit SoundLayoutAdapter(SoundSlots& slots) : slots_(slots) {}
  int32_t ExportSound(int32_t sound, SoundMemblockLayout* out) override;
  int32_t ImportSound(int32_t sound, const SoundMemblockLayout& layout) override;

 private:
  SoundSlots& slots_;
};

// Memory blocks made from meshes and meshes made from memory blocks go
// through the 3D engine's mesh records.
class MeshLayoutAdapter final : public MeshLayoutServices {
 public:
  explicit MeshLayoutAdapter(Engine3D& engine) : engine_(engine) {}
  bool MeshExists(int32_t mesh) override;
  int32_t GetMeshLayout(int32_t mesh, MeshMemblockLayout* out) override;
  int32_t MakeMesh(int32_t mesh, const MeshMemblockLayout& arrays) override;
  int32_t ChangeMesh(int32_t mesh, const MeshMemblockLayout& arrays) override;

 private:
  // The mesh record of a program's mesh number; null when it has none.
  MeshRecord* Numbered(int32_t mesh);

  Engine3D& engine_;
};

}  // namespace zv
