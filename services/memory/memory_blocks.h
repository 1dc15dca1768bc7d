#pragma once

#include "services/memory/memblock_table.h"
#include "services/memory/mesh_layout_services.h"
#include "services/memory/sound_layout_services.h"

namespace zv {

// The memory-block service: the program's blocks and the neighbours that
// meshes and sounds convert through. The app makes one, hangs it on the Vm
// (`vm.memory_blocks`) and releases the blocks when the display goes.
class MemoryBlocks {
 public:
  MemblockTable& Table() { return table_; }
  const MemblockTable& Table() const { return table_; }

  MeshLayoutServices& Meshes() { return *meshes_; }
  SoundLayoutServices& Sounds() { return *sounds_; }
  // The neighbours; null restores the stand-ins.
  void SetMeshes(MeshLayoutServices* meshes) { meshes_ = meshes ? meshes : &no_meshes_; }
  void SetSounds(SoundLayoutServices* sounds) { sounds_ = sounds ? sounds : &no_sounds_; }

  // When the display is taken down: every block is released.
  void FreeMemoryBlocks() { table_.ReleaseAll(); }

 private:
  MemblockTable table_;
  NullMeshLayouts no_meshes_;
  NullSoundLayouts no_sounds_;
  MeshLayoutServices* meshes_ = &no_meshes_;
  SoundLayoutServices* sounds_ = &no_sounds_;
};

}  // namespace zv
