#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/audio/audio_device.h"

namespace zv::platform {

// A sound device that places voices in 3D and gives them a room to ring in,
// beside the stream that plays the software mix.
//
// Coordinates are the sound library's: x to the right, y up, z forward (a
// left-handed frame). Gains are linear amplitudes, 1 for full level.

// PCM of a voice buffer: signed 8-bit or 16-bit values, channels
// interleaved.
struct PcmFormat {
  int bits = 16;
  int channels = 1;
  int rate = 44100;
};

// Sound data that voices play; many voices may play one buffer.
class VoiceBuffer {
 public:
  virtual ~VoiceBuffer() = default;
  // Replaces the data with `bytes` bytes of `format`. False when the device
  // refuses it (while a voice plays the buffer, for one).
  virtual bool Fill(const void* data, size_t bytes, const PcmFormat& format) = 0;
};

// One voice of the device, playing one buffer from its start. Gone when
// destroyed; the buffer must outlive it.
class Voice3D {
 public:
  virtual ~Voice3D() = default;
  // Plays from where it paused, or from the start once it has ended.
  virtual void Play(bool looping) = 0;
  virtual void Pause() = 0;
  virtual bool Playing() const = 0;
  // Paused partway, to go on from there.
  virtual bool Held() const = 0;
  // Frames into the buffer.
  virtual uint32_t Position() const = 0;
  virtual void SetGain(float gain) = 0;
  // Frames of the buffer played per second.
  virtual void SetRate(float frames_per_second) = 0;
  virtual void SetPosition(const float position[3]) = 0;
  virtual void SetVelocity(const float velocity[3]) = 0;
  virtual void GetPosition(float position[3]) const = 0;
  virtual void GetVelocity(float velocity[3]) const = 0;
  // Full level up to `minimum`, falling as minimum / distance beyond it
  // (scaled by the device's rolloff factor), no further past `maximum`.
  virtual void SetDistances(float minimum, float maximum) = 0;
  virtual void SetConeAngles(float inside_degrees, float outside_degrees) = 0;
  // How much of the voice goes into the room (0..1); it falls with distance
  // as the voice does. False when the device has no room.
  virtual bool SetRoomSend(float gain) = 0;
};

// The parameters of the room: the extended reverb model (reflections, late
// reverberation, echo, modulation), as the well-known environment presets
// give them. A device with only the basic model uses what it knows of them.
struct RoomReverb {
  float density = 1.0f;
  float diffusion = 1.0f;
  float gain = 0.32f;
  float gain_hf = 0.89f;
  float gain_lf = 1.0f;
  float decay_time = 1.49f;
  float decay_hf_ratio = 0.83f;
  float decay_lf_ratio = 1.0f;
  float reflections_gain = 0.05f;
  float reflections_delay = 0.007f;
  float reflections_pan[3] = {0, 0, 0};
  float late_reverb_gain = 1.26f;
  float late_reverb_delay = 0.011f;
  float late_reverb_pan[3] = {0, 0, 0};
  float echo_time = 0.25f;
  float echo_depth = 0.0f;
  float modulation_time = 0.25f;
  float modulation_depth = 0.0f;
  float air_absorption_gain_hf = 0.994f;
  float hf_reference = 5000.0f;
  float lf_reference = 250.0f;
  float room_rolloff_factor = 0.0f;
  bool decay_hf_limit = true;
};

enum class RoomSupport {
  kNone,      // no room: voices play dry
  kBasic,     // the basic reverb model
  kExtended,  // the extended model, every parameter of RoomReverb
};

class Audio3DDevice {
 public:
  virtual ~Audio3DDevice() = default;

  // The 3D voices the device offers, and those not in use.
  virtual int VoiceCapacity() const = 0;
  virtual int FreeVoices() const = 0;
  // Null when the device cannot make one.
  virtual std::unique_ptr<VoiceBuffer> CreateBuffer() = 0;
  // A voice on `buffer` (one of this device's); null when every voice is in use.
  virtual std::unique_ptr<Voice3D> CreateVoice(VoiceBuffer& buffer) = 0;

  // The listener. Null pointers leave (or skip) that part.
  virtual void SetListener(const float* position, const float* velocity, const float* front, const float* top) = 0;
  virtual void GetListener(float* position, float* velocity, float* front, float* top) const = 0;
  // How strongly movement shifts the pitch (1 as in air, 0 none).
  virtual void SetDopplerFactor(float factor) = 0;
  // Metres in one unit of the coordinates: sets how fast sound travels.
  virtual void SetMetersPerUnit(float meters) = 0;
  // Scales how fast every voice falls off beyond its minimum distance.
  virtual void SetRolloffFactor(float factor) = 0;

  virtual RoomSupport Room() const = 0;
  // The room of environment 0 to 25 (generic, padded cell, room, bathroom,
  // living room, stone room, auditorium, concert hall, cave, arena, hangar,
  // carpeted hallway, hallway, stone corridor, alley, forest, city,
  // mountains, quarry, plain, parking lot, sewer pipe, underwater, drugged,
  // dizzy, psychotic); others give the generic one.
  virtual RoomReverb EnvironmentRoom(int environment) const = 0;
  // False when the device has no room or refuses a value.
  virtual bool SetRoom(const RoomReverb& room) = 0;

  // The stream that plays the software mix: 16-bit stereo frames at the
  // device's rate, from one looping buffer its owner keeps filled behind
  // the play position, mixed with the voices.
  virtual AudioOutput& MixStream() = 0;
};

// The 3D sound devices of the machine. Device index -1 is the default.
class Audio3DBackend {
 public:
  virtual ~Audio3DBackend() = default;
  virtual std::vector<std::string> Devices() = 0;
  // The device mixing at `rate` Hz; null when none opens.
  virtual std::unique_ptr<Audio3DDevice> Open(int device, int rate) = 0;
};

// No 3D sound device at all.
class NoAudio3DBackend final : public Audio3DBackend {
 public:
  std::vector<std::string> Devices() override { return {}; }
  std::unique_ptr<Audio3DDevice> Open(int, int) override { return nullptr; }
};

}  // namespace zv::platform
