#pragma once

#include "audio/commands/music_service.h"
#include "audio/commands/sound_slots.h"
#include "runtime/vm/services/sound_services.h"

namespace zv {

class Vm;

// The sound system as the runtime sees it: the sound slots over the sound
// library, and the music system (another SoundServices, or none) for the
// music half of every call. The music commands find the music slots
// through it when the music system is a MusicService.
class SoundCommandsService final : public SoundServices, public MusicOwner {
 public:
  explicit SoundCommandsService(SoundSystemOptions options = {}, SoundServices* music = nullptr)
      : options_(options), music_(music ? music : &no_music_) {}
  ~SoundCommandsService() override { slots_.StopSoundSystem(); }

  void SetMusic(SoundServices* music) { music_ = music ? music : &no_music_; }
  SoundSlots& Slots() { return slots_; }
  MusicSlots* OwnedMusic() override {
    auto* music = dynamic_cast<MusicService*>(music_);
    return music ? &music->Slots() : nullptr;
  }

  bool InitMusicSystem() override { return music_->InitMusicSystem(); }
  void StartSoundSystem() override { slots_.StartSoundSystem(options_, 0); }
  void ResetSound3DDefaults() override { slots_.Set3DDefaults(); }
  void PauseAllMusic() override { music_->PauseAllMusic(); }
  void PauseAllSounds() override { slots_.PauseAllSounds(); }
  void ResumeAllMusic() override { music_->ResumeAllMusic(); }
  void ResumeAllSounds() override { slots_.ResumeAllSounds(); }
  void DeleteAllMusic() override { music_->DeleteAllMusic(); }
  void FreeAllSounds() override { slots_.FreeAllSounds(); }
  void ShutdownMusicSystem() override { music_->ShutdownMusicSystem(); }
  void StopSoundSystem() override { slots_.StopSoundSystem(); }
  void UpdateSoundLibrary() override;
  void UpdateSound3D() override { slots_.UpdateSound3D(); }
  void UpdateMusic() override { music_->UpdateMusic(); }
  // Feeds (an animation's sound track) play through the sound library's
  // mixer at its output rate.
  int32_t FeedRate() override;
  std::unique_ptr<SoundFeed> StartFeed(std::unique_ptr<SoundFeedSource> source) override;

 private:
  SoundSystemOptions options_;
  SoundSlots slots_;
  NullSound no_music_;
  SoundServices* music_;
};

// The slots of the machine's sound system, or null when vm.sound is not
// a SoundCommandsService.
SoundSlots* FindSoundSlots(Vm& vm);

}  // namespace zv
