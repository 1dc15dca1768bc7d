#pragma once

#include <memory>
#include <string>

#include "app/media_layouts.h"
#include "audio/commands/music_service.h"
#include "audio/commands/sound_commands_service.h"
#include "platform/audio/audio_device.h"
#include "platform/audio3d/audio3d_device.h"
#include "runtime/startup.h"

namespace zv {

// Everything one run of a program uses beyond the runtime itself: every
// command, the display, the 3D engine, sound and music, and the input, file,
// system, memory and network services.
class SystemParts {
 public:
  // `headless`: no window and no sound device were asked for; a run
  // without a display is headless all the same.
  SystemParts(std::string executable_path, bool headless);
  ~SystemParts();
  SystemParts(const SystemParts&) = delete;
  SystemParts& operator=(const SystemParts&) = delete;

  // The services for RunRuntime; they refer to this object, which must
  // outlive the run.
  StartServices Services();

 private:
  std::string executable_path_;
  bool headless_;
  std::unique_ptr<platform::AudioBackend> audio_backend_;
  std::unique_ptr<platform::Audio3DBackend> audio3d_backend_;
  MusicService music_;
  SoundCommandsService sound_;
  SoundLayoutAdapter sound_layouts_;
  MeshLayoutAdapter mesh_layouts_;
};

}  // namespace zv
