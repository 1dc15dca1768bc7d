#pragma once

#include <memory>

#include "audio/commands/music_mci.h"
#include "audio/commands/music_slots.h"
#include "runtime/vm/services/sound_services.h"

namespace zv {

class Vm;

// CD audio of the sound library, as the music slots use it.
class LibraryMusicCd final : public MusicCd {
 public:
  bool PlayTrack(int32_t track) override;
  bool Stop() override;
  bool Pause(bool paused) override;
  void SetPlayMode(int8_t mode) override;
  bool SetVolume(int32_t volume) override;
  int32_t TrackCount() override;
};

// The music half of the sound system as the runtime sees it: the music
// slots over the library's song player, the command-string device and CD
// audio (or over the devices given, in tests).
class MusicService final : public SoundServices {
 public:
  // Over the sound library.
  MusicService();
  // Over devices the caller keeps.
  MusicService(SongEngine& songs, MciDevice& mci, MusicCd& cd);
  ~MusicService() override;

  MusicSlots& Slots() { return *slots_; }

  bool InitMusicSystem() override { return slots_->InitMusicSystem(); }
  void PauseAllMusic() override { slots_->PauseAllMusic(); }
  void ResumeAllMusic() override { slots_->ResumeAllMusic(); }
  void DeleteAllMusic() override { slots_->DeleteAllMusic(); }
  void ShutdownMusicSystem() override { slots_->ShutdownMusicSystem(); }
  void UpdateMusic() override { slots_->UpdateMusic(); }

 private:
  std::unique_ptr<LibraryMciMediaOpener> opener_;
  std::unique_ptr<MciMusicDevice> mci_;
  std::unique_ptr<LibraryMusicCd> cd_;
  std::unique_ptr<MusicSlots> slots_;
};

// A sound system that holds a music service says so through this.
class MusicOwner {
 public:
  virtual ~MusicOwner() = default;
  virtual MusicSlots* OwnedMusic() = 0;
};

// The machine's music slots: vm.sound is the music service itself or a
// MusicOwner; null otherwise.
MusicSlots* FindMusicSlots(Vm& vm);

}  // namespace zv
