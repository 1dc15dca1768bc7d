#pragma once

#include <cstdint>
#include <memory>

namespace zv {

// Sound that another part decodes as it plays (the sound track of an
// animation), pulled by the sound system's mixer: 16-bit stereo frames
// (left, right) at the sound system's rate.
class SoundFeedSource {
 public:
  virtual ~SoundFeedSource() = default;
  // Up to `frames` frames into `out`; fewer only at the end of the sound.
  // Called on the mixer's thread.
  virtual int32_t Read(int16_t* out, int32_t frames) = 0;
  // Back to the first frame; false when that cannot be done.
  virtual bool Rewind() = 0;
};

// A source being played. It starts paused; destroying it stops it.
class SoundFeed {
 public:
  virtual ~SoundFeed() = default;
  // Paused, the sound holds its place; playing again goes on from there.
  virtual void SetPaused(bool paused) = 0;
  // Back to the first frame (the sound keeps playing or stays paused).
  virtual bool Rewind() = 0;
};

// What the runtime core asks of the sound and music system. The sound system
// implements it; NullSound stands in where none is linked.
class SoundServices {
 public:
  virtual ~SoundServices() = default;

  virtual bool InitMusicSystem() { return true; }
  virtual void StartSoundSystem() {}
  virtual void ResetSound3DDefaults() {}
  virtual void PauseAllMusic() {}
  virtual void PauseAllSounds() {}
  virtual void ResumeAllMusic() {}
  virtual void ResumeAllSounds() {}
  virtual void DeleteAllMusic() {}
  virtual void FreeAllSounds() {}
  virtual void ShutdownMusicSystem() {}
  virtual void StopSoundSystem() {}
  // Per-frame updates, in this order, after the sprites and the draw queue.
  virtual void UpdateSoundLibrary() {}
  virtual void UpdateSound3D() {}
  virtual void UpdateMusic() {}

  // The rate a feed's frames play at; 0 while no sound is played.
  virtual int32_t FeedRate() { return 0; }
  // Plays `source` through the sound system's mixer; null while no sound
  // is played.
  virtual std::unique_ptr<SoundFeed> StartFeed(std::unique_ptr<SoundFeedSource> source) {
    (void)source;
    return nullptr;
  }
};

class NullSound final : public SoundServices {};

}  // namespace zv
