#pragma once

namespace zv {

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
};

class NullSound final : public SoundServices {};

}  // namespace zv
