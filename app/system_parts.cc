#include "app/system_parts.h"

#include "app/all_handlers.h"
#include "audio/library/cd_audio.h"
#include "audio/library/timing.h"
#include "display/display_factory.h"
#include "engine3d/engine.h"
#include "platform/audio/cdrom/fake_cd_drive.h"
#include "platform/audio/sdl/sdl_audio.h"
#include "platform/audio3d/openal/openal_backend.h"
#include "platform/present/presenter_factory.h"
#include "platform/window/sdl/sdl_window.h"
#include "services/hub/services_hub.h"

namespace zv {
namespace {

// The 3D engine, which outlives every run it serves.
Engine3D& Engine() {
  static Engine3D engine;
  return engine;
}

// A run where no display can be opened is headless, whatever it asked: it
// has no window, and so no sound device either.
bool Unseen(bool headless) { return headless || !platform::DisplayNamed(); }

}  // namespace

SystemParts::SystemParts(std::string executable_path, bool headless)
    : executable_path_(std::move(executable_path)),
      headless_(Unseen(headless)),
      audio_backend_(headless_ ? nullptr : platform::MakeSdlAudioBackend()),
      audio3d_backend_(headless_ ? nullptr : platform::MakeOpenAlBackend()),
      sound_(SoundSystemOptions{audio_backend_.get(), false, audio3d_backend_.get()}, &music_),
      sound_layouts_(sound_.Slots()),
      mesh_layouts_(Engine()) {
  // Without the machine's devices the CD music commands still find a disc,
  // one that plays on the library's clock; otherwise the machine's drive.
  SetCdDrive(headless_ ? platform::MakeHeadlessCdDrive(LibraryClock()) : nullptr);
}

SystemParts::~SystemParts() = default;

StartServices SystemParts::Services() {
  StartServices services;
  services.register_handlers = RegisterAllHandlers;
  services.engine3d = &Engine();
  services.sound = &sound_;
  services.make_display = [](platform::Window& window, Vm& vm) {
    return MakeDisplayServices(vm, window, platform::MakePresenter(window.NativeHandle()));
  };
  services.make_input = [this](platform::Window& window, Vm& vm, platform::Clock& clock,
                               const std::string& user_state_folder) -> std::unique_ptr<InputServices> {
    HubOptions options;
    options.clock = &clock;
    options.executable_path = executable_path_;
    options.user_state_folder = user_state_folder;
    options.sound_layouts = &sound_layouts_;
    options.mesh_layouts = &mesh_layouts_;
    return std::make_unique<ServicesHub>(window, vm, options);
  };
  return services;
}

}  // namespace zv
