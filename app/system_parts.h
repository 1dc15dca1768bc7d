#pragma once

#include <memory>
#include <string>

#include "audio/commands/music_service.h"
#include "audio/commands/sound_commands_service.h"
#include "platform/audio/audio_device.h"
#include "runtime/startup.h"
#include "services/memory/mesh_layout_services.h"
#include "services/memory/sound_layout_services.h"

namespace zv {

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

class Engine3D;

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
  Engine3D& engine_;
};

// Everything one run of a program uses beyond the runtime itself: every
// command, the display, the 3D engine, sound and music, and the input, file,
// system, memory and network services.
class SystemParts {
 public:
  // `headless`: no window and no sound device were asked for.
  SystemParts(std::string executable_path, bool headless);
  ~SystemParts();
  SystemParts(const SystemParts&) = delete;
  SystemParts& operator=(const SystemParts&) = delete;

  // The services for RunRuntime; they refer to this object, which must
  // outlive the run.
  StartServices Services();

 private:
  std::string executable_path_;
  std::unique_ptr<platform::AudioBackend> audio_backend_;
  MusicService music_;
  SoundCommandsService sound_;
  SoundLayoutAdapter sound_layouts_;
  MeshLayoutAdapter mesh_layouts_;
};

}  // namespace zv
