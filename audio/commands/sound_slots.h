#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "audio/library/channel.h"
#include "audio/library/output_driver.h"
#include "audio/library/sample.h"

namespace zv::platform {
class AudioBackend;
class Audio3DBackend;
}

namespace zv {

// Sound numbers the program may use, and the table's size (every loop over
// all slots covers all of it).
inline constexpr int32_t kFirstSound = 1;
inline constexpr int32_t kLastSound = 1025;
inline constexpr int32_t kSoundSlotCount = 1030;

// One sound number's state on the program's side.
struct SoundSlot {
  bool loaded = false;
  SampleHandle sample = nullptr;
  bool owns_sample = false;          // false for a clone sharing another slot's sample
  ChannelHandle channel = kChooseChannel;  // the channel it last started on; -1 none
  int32_t frequency = 0;             // given to the library
  int32_t library_volume = 0;        // 0..255 given to the library
  int32_t speed = 0;                 // the frequency as the program set it
  bool library_3d = false;           // loaded as a 3D sound: its position goes to the channel
  bool priority = false;             // its channel gets priority 1
  float position[3] = {0, 0, 0};
  bool is_3d = false;
  bool playing = false;
  bool paused = false;
  bool looping = false;
  int32_t volume_percent = 100;
  int32_t pan = 0;                   // -10000..10000
};

// A sound as raw memory: bits (8 or 16), frequency, length in samples and
// the mono data as the sample stores it.
struct SoundMemory {
  uint32_t bits = 0;
  uint32_t frequency = 0;
  uint32_t length = 0;
  std::vector<uint8_t> data;
};

// How the sound system meets the machine.
struct SoundSystemOptions {
  // The devices; null: none (headless).
  platform::AudioBackend* backend = nullptr;
  // Mix into memory only (MixOffline), with no mixer thread: for tests.
  bool offline_mixing = false;
  // The 3D sound devices; null: none.
  platform::Audio3DBackend* backend3d = nullptr;
};

// The sound slots and the implementation of the sound commands over the
// sound library. Numbers given to it are already checked (1..1025, or any
// entry of the table for the walks).
class SoundSlots {
 public:
  SoundSlots() = default;
  SoundSlots(const SoundSlots&) = delete;
  SoundSlots& operator=(const SoundSlots&) = delete;

  // Start-up and shutdown of the sound system.
  bool StartSoundSystem(const SoundSystemOptions& options, uint32_t window);
  void StopSoundSystem();
  // 3D and effect defaults (start-up and every display bring-up).
  void Set3DDefaults();
  bool Running() const { return running_; }

  SoundSlot& Slot(int32_t n) { return slots_[static_cast<size_t>(n)]; }
  const SoundSlot& Slot(int32_t n) const { return slots_[static_cast<size_t>(n)]; }
  void ResetSoundSlotState(int32_t n);

  void FreeAllSounds();
  bool LoadSound(int32_t n, const std::string& path, bool priority);
  bool Load3DSound(int32_t n, const std::string& path);
  bool CloneSound(int32_t n, int32_t source);
  void FreeSoundSlot(int32_t n);
  void StopSlotChannel(int32_t n);
  void StopSound(int32_t n) { StopSlotChannel(n); }
  void StartSlotChannel(int32_t n);
  void PlaySound(int32_t n);
  void LoopSound(int32_t n);
  void LoopSoundRange(int32_t n) { LoopSound(n); }
  void PauseSound(int32_t n);
  void ResumeSound(int32_t n);
  bool SoundPlaying(int32_t n);
  void SetSoundSpeed(int32_t n, int32_t hz);
  void SetSoundVolume(int32_t n, int32_t percent);
  void SetSoundPan(int32_t n, int32_t pan);
  void PositionSoundChannel(int32_t n);
  void PositionListener(float x, float y, float z);
  void RotateListener(float ax, float ay, float az);
  void SetSoundDistanceFactor(float factor);
  void SetSoundEnvironment(int32_t preset);
  // The environment of `preset` (as SetSoundEnvironment numbers them) with
  // its level, decay time and damping, or with the twelve values of the
  // detailed set in `values` (environment left out); any other preset turns
  // the reverb off.
  void SetSoundEnvironmentValues(int32_t preset, float volume, float decay_time, float damping);
  void SetSoundEnvironmentDetailed(int32_t preset, const ReverbProperties& values);
  bool StartRecordingSound(int32_t n, int32_t seconds);
  // The slot that got the recording, or 0 when it kept nothing.
  int32_t StopRecordingSound();
  // False when the sound has nothing to write, or a format no WAV file can
  // state (`refused` says which), or when the file could not be written
  // (errno says why; `refused` is left empty).
  bool SaveSoundAsWav(const std::string& path, int32_t n, std::string* refused = nullptr);
  bool SoundToMemory(int32_t n, SoundMemory& out);
  bool MemoryToSound(const SoundMemory& in, int32_t n);
  void UpdateSound3D();
  void PauseAllSounds();
  void ResumeAllSounds();

  // The listener as the program set it, and the vectors last computed.
  float listener_position[3] = {0, 0, 0};
  float listener_angles[3] = {0, 0, 0};
  float listener_front[3] = {0, 0, 1};
  float listener_top[3] = {0, 1, 0};

 private:
  // Stops the slot's channel and gives up its sample: to another slot that
  // shares it, or freed. The slot's other fields stay.
  void ReleaseSlotSample(int32_t n);
  void TakeNewSample(int32_t n, SampleHandle sample, bool priority, bool library_3d);

  std::array<SoundSlot, kSoundSlotCount> slots_{};
  bool running_ = false;
  int32_t recording_slot_ = 0;
  SampleHandle recording_sample_ = nullptr;
};

}  // namespace zv
