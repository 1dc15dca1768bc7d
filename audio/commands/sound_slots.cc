#include "audio/commands/sound_slots.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "audio/library/audio_error.h"
#include "audio/library/library.h"
#include "audio/library/mixer.h"
#include "audio/library/output_driver.h"
#include "audio/library/recording.h"
#include "audio/library/sound3d.h"
#include "platform/audio/audio_device.h"
#include "platform/audio3d/audio3d_device.h"
#include "platform/paths/file_save.h"
#include "runtime/vm/numeric/degrees.h"

namespace zv {
namespace {

constexpr int32_t kRecordRate = 44100;
// Leading recorded values within this of zero are taken as silence.
constexpr int32_t kSilenceLevel = 2048;

struct ReverbPreset {
  int32_t environment;
  float volume, decay, damping;
};

constexpr ReverbPreset kReverbPresets[26] = {
    {0, 0.5f, 1.493f, 0.5f},     {1, 0.25f, 0.1f, 0.0f},      {2, 0.417f, 0.4f, 0.666f},
    {3, 0.653f, 1.499f, 0.166f}, {4, 0.208f, 0.478f, 0.0f},   {5, 0.5f, 2.309f, 0.888f},
    {6, 0.403f, 4.279f, 0.5f},   {7, 0.5f, 3.961f, 0.5f},     {8, 0.5f, 2.886f, 1.304f},
    {9, 0.361f, 7.284f, 0.332f}, {10, 0.5f, 10.0f, 0.3f},     {11, 0.153f, 0.259f, 2.0f},
    {12, 0.361f, 1.493f, 0.0f},  {13, 0.444f, 2.697f, 0.638f}, {14, 0.25f, 1.752f, 0.776f},
    {15, 0.111f, 3.145f, 0.472f}, {16, 0.111f, 2.767f, 0.224f}, {17, 0.194f, 7.841f, 0.472f},
    {18, 1.0f, 1.499f, 0.5f},    {19, 0.097f, 2.767f, 0.224f}, {20, 0.208f, 1.652f, 1.5f},
    {21, 0.652f, 2.886f, 0.25f}, {22, 1.0f, 1.499f, 0.0f},    {23, 0.875f, 8.392f, 1.388f},
    {24, 0.139f, 17.234f, 0.666f}, {25, 0.486f, 7.563f, 0.806f}};

// 4x4 row-vector matrices, as the 3D engine builds them.
using Matrix = std::array<float, 16>;

Matrix Identity() { return {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1}; }

Matrix Multiply(const Matrix& a, const Matrix& b) {
  Matrix out{};
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 4; ++j) {
      float sum = 0;
      for (int k = 0; k < 4; ++k) sum += a[static_cast<size_t>(i * 4 + k)] * b[static_cast<size_t>(k * 4 + j)];
      out[static_cast<size_t>(i * 4 + j)] = sum;
    }
  return out;
}

// A turn by an angle in degrees, exact where the angle is: a quarter turn
// faces straight along the next axis, as every other turn of the system.
Matrix Rotation(int axis, float degrees) {
  Matrix m = Identity();
  const auto c = static_cast<float>(CosDegrees(degrees)), s = static_cast<float>(SinDegrees(degrees));
  auto at = [&m](int row, int column) -> float& { return m[static_cast<size_t>(row * 4 + column)]; };
  if (axis == 0) {
    at(1, 1) = c, at(1, 2) = s, at(2, 1) = -s, at(2, 2) = c;
  } else if (axis == 1) {
    at(0, 0) = c, at(0, 2) = -s, at(2, 0) = s, at(2, 2) = c;
  } else {
    at(0, 0) = c, at(0, 1) = s, at(1, 0) = -s, at(1, 1) = c;
  }
  return m;
}

void PutLe(std::vector<uint8_t>& out, uint32_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

void PutText(std::vector<uint8_t>& out, const char* text) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(text[i]));
}

// The first `bytes` bytes of the sample's data, read through its lock: a
// sample the output driver holds has its data in the driver's buffer, not
// in memory of its own.
bool ReadSampleBytes(SampleHandle sample, int64_t bytes, std::vector<uint8_t>& out) {
  if (bytes < 1 || bytes > INT32_MAX) return false;
  void* part1 = nullptr;
  void* part2 = nullptr;
  int32_t length1 = 0, length2 = 0;
  if (!LockSample(sample, 0, static_cast<int32_t>(bytes), &part1, &part2, &length1, &length2) || part1 == nullptr)
    return false;
  const auto* first = static_cast<const uint8_t*>(part1);
  const auto* second = static_cast<const uint8_t*>(part2);
  out.assign(first, first + length1);
  if (second) out.insert(out.end(), second, second + length2);
  // Only read: what the unlock says changes nothing here.
  UnlockSample(sample, part1, part2, length1, length2);
  // A loop that ends inside the sample has its guard frame there: the copy
  // gets the frame the guard stands in for.
  const SampleRecord& s = *sample;
  const int64_t width = SampleFrameBytes(s);
  const int64_t guard_at = static_cast<int64_t>(s.saved_frame_at) * width;
  if (s.data && s.has_saved_frame && guard_at >= 0 && guard_at + width <= static_cast<int64_t>(out.size()))
    std::memcpy(out.data() + guard_at, &s.saved_frame, static_cast<size_t>(width));
  return static_cast<int64_t>(out.size()) == bytes;
}

// A program's pan, -10000 (left) to 10000 (right), as the library's 0 to
// 255: pan 0 is the library's centre, 128.
int32_t LibraryPan(int32_t pan) { return std::clamp(pan / 40 + 128, 0, 255); }

// Stereo sample data (left and right pairs, as stored: 8-bit values
// signed) as mono, each frame the mean of its two sides.
std::vector<uint8_t> MixPairsToMono(const std::vector<uint8_t>& pairs, uint32_t bits) {
  std::vector<uint8_t> mono;
  if (bits == 16) {
    mono.reserve(pairs.size() / 2);
    for (size_t i = 0; i + 3 < pairs.size(); i += 4) {
      const auto left = static_cast<int16_t>(pairs[i] | pairs[i + 1] << 8);
      const auto right = static_cast<int16_t>(pairs[i + 2] | pairs[i + 3] << 8);
      const auto mean = static_cast<uint16_t>((left + right) / 2);
      mono.push_back(static_cast<uint8_t>(mean));
      mono.push_back(static_cast<uint8_t>(mean >> 8));
    }
  } else {
    mono.reserve(pairs.size() / 2);
    for (size_t i = 0; i + 1 < pairs.size(); i += 2)
      mono.push_back(static_cast<uint8_t>((static_cast<int8_t>(pairs[i]) + static_cast<int8_t>(pairs[i + 1])) / 2));
  }
  return mono;
}

bool FileExists(const std::string& path) {
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (f == nullptr) return false;
  std::fclose(f);
  return true;
}

}  // namespace

bool SoundSlots::StartSoundSystem(const SoundSystemOptions& options, uint32_t window) {
  SetAudioBackend(options.backend);
  SetAudio3DBackend(options.backend3d);
  SetOfflineMixing(options.offline_mixing);
  // The 3D sound device first, then wave-out. Where neither starts the
  // library plays to the no-sound driver, so the commands keep working and
  // time passes as with a device.
  std::vector<int32_t> types;
  if (options.backend3d && !options.backend3d->Devices().empty()) types.push_back(kOutputDirect);
  if (options.backend && !options.backend->OutputDevices().empty()) types.push_back(kOutputWave);
  types.push_back(kOutputNoSound);
  running_ = false;
  for (size_t i = 0; i < types.size() && !running_; ++i) {
    SetOutputType(types[i]);
    SetMixerType(0);
    SetBufferSizeMs(40);
    SetWindowHandle(window);
    running_ = InitAudio(44100, 32, 0);
  }
  Set3DDefaults();
  return running_;
}

void SoundSlots::StopSoundSystem() {
  FreeAllSounds();
  if (recording_sample_) {
    StopRecording();
    FreeSample(recording_sample_);
    recording_sample_ = nullptr;
    recording_slot_ = 0;
  }
  if (running_) {
    running_ = false;
    CloseAudio();
  }
}

void SoundSlots::Set3DDefaults() {
  Set3DRolloffFactor(0.002f);
  PositionListener(0, 0, 0);
  RotateListener(0, 0, 0);
  SetReverbEnvironment(0, 0, 0, 0);
  SetChannelLevelScale(kAllChannels, 0.0f);
}

void SoundSlots::ResetSoundSlotState(int32_t n) {
  SoundSlot& s = Slot(n);
  // `sound is 3d()` tells how the sound plays: a clone of a 3D sound is one.
  s.is_3d = s.library_3d;
  s.playing = s.paused = s.looping = false;
  s.volume_percent = 100;
  s.pan = 0;
}

void SoundSlots::FreeAllSounds() {
  for (int32_t n = 0; n < kSoundSlotCount; ++n) StopSlotChannel(n);
  for (int32_t n = 0; n < kSoundSlotCount; ++n) FreeSoundSlot(n);
}

void SoundSlots::TakeNewSample(int32_t n, SampleHandle sample, bool priority, bool library_3d) {
  FreeSoundSlot(n);
  SoundSlot& s = Slot(n);
  s.sample = sample;
  s.channel = kChooseChannel;
  s.frequency = sample->default_frequency;
  s.library_volume = sample->default_volume;
  s.speed = s.frequency;
  s.owns_sample = true;
  s.loaded = true;
  s.library_3d = library_3d;
  s.priority = priority;
  if (library_3d) std::fill(std::begin(s.position), std::end(s.position), 0.0f);
}

bool SoundSlots::LoadSound(int32_t n, const std::string& path, bool priority) {
  SampleHandle sample = LoadSample(-1, path.c_str(), 0x2031, 0);
  if (sample == nullptr) return false;
  TakeNewSample(n, sample, priority, false);
  return true;
}

bool SoundSlots::Load3DSound(int32_t n, const std::string& path) {
  if (!FileExists(path)) return false;
  SampleHandle sample = LoadSample(-1, path.c_str(), 0x1031, 0);
  if (sample == nullptr) return false;
  TakeNewSample(n, sample, false, true);
  return true;
}

bool SoundSlots::CloneSound(int32_t n, int32_t source) {
  const SoundSlot& from = Slot(source);
  if (from.sample == nullptr) return false;
  SoundSlot& s = Slot(n);
  s.sample = from.sample;
  s.channel = kChooseChannel;
  s.frequency = s.sample->default_frequency;
  s.library_volume = s.sample->default_volume;
  s.speed = s.frequency;
  s.owns_sample = false;
  s.loaded = true;
  s.library_3d = from.library_3d;
  std::copy(std::begin(from.position), std::end(from.position), std::begin(s.position));
  return true;
}

void SoundSlots::ReleaseSlotSample(int32_t n) {
  SoundSlot& s = Slot(n);
  if (s.sample == nullptr) return;
  if (s.channel != kChooseChannel) StopChannel(s.channel);
  s.channel = kChooseChannel;
  if (s.owns_sample) {
    bool handed_on = false;
    for (int32_t other = 0; other < kSoundSlotCount && !handed_on; ++other) {
      if (other != n && Slot(other).sample == s.sample) {
        Slot(other).owns_sample = true;
        handed_on = true;
      }
    }
    if (!handed_on) FreeSample(s.sample);
  }
  s.sample = nullptr;
  s.owns_sample = false;
}

void SoundSlots::FreeSoundSlot(int32_t n) {
  ReleaseSlotSample(n);
  Slot(n).library_3d = false;
  Slot(n).loaded = false;
}

void SoundSlots::StopSlotChannel(int32_t n) {
  SoundSlot& s = Slot(n);
  if (s.sample == nullptr) return;
  if (s.channel != kChooseChannel) StopChannel(s.channel);
  s.channel = kChooseChannel;
}

void SoundSlots::StartSlotChannel(int32_t n) {
  SoundSlot& s = Slot(n);
  // The pan the program set, as its volume and speed: a sound panned before
  // it plays, or restarted, is heard where `sound pan()` says it is.
  s.channel = PlaySoundEx(kChooseChannel, s.sample, s.frequency, s.library_volume, LibraryPan(s.pan),
                          s.library_3d ? s.position : nullptr, nullptr);
  SetChannelLevelScale(s.channel, -1.0f);
  SetChannelPriority(s.channel, s.priority ? 1 : 0);
}

void SoundSlots::PlaySound(int32_t n) {
  SoundSlot& s = Slot(n);
  if (s.sample == nullptr) return;
  StopSlotChannel(n);
  SetSampleLoopMode(s.sample, kLoopModeOff);
  StartSlotChannel(n);
}

void SoundSlots::LoopSound(int32_t n) {
  SoundSlot& s = Slot(n);
  if (s.sample == nullptr) return;
  StopSlotChannel(n);
  SetSampleLoopMode(s.sample, kLoopModeNormal);
  StartSlotChannel(n);
}

void SoundSlots::PauseSound(int32_t n) {
  const SoundSlot& s = Slot(n);
  if (s.sample && s.channel != kChooseChannel) SetChannelPaused(s.channel, true);
}

void SoundSlots::ResumeSound(int32_t n) {
  const SoundSlot& s = Slot(n);
  if (s.sample && s.channel != kChooseChannel) SetChannelPaused(s.channel, false);
}

bool SoundSlots::SoundPlaying(int32_t n) {
  const SoundSlot& s = Slot(n);
  return s.sample && s.channel != kChooseChannel && IsChannelPlaying(s.channel);
}

void SoundSlots::SetSoundSpeed(int32_t n, int32_t hz) {
  SoundSlot& s = Slot(n);
  if (s.sample == nullptr) return;
  s.frequency = hz;
  if (s.channel != kChooseChannel) SetChannelFrequency(s.channel, hz == 0 ? 44100 : hz);
}

void SoundSlots::SetSoundVolume(int32_t n, int32_t percent) {
  SoundSlot& s = Slot(n);
  if (s.sample == nullptr) return;
  // percent x 2.55 truncated, where 2.55 is the double just below 2.55: a
  // product that would be a whole number comes out one lower (100 gives
  // 254, 40 gives 101). Worked out in integers to be exact.
  s.library_volume = percent <= 0 ? 0 : (percent * 255 - 1) / 100;
  if (s.channel != kChooseChannel) SetChannelVolume(s.channel, s.library_volume);
}

void SoundSlots::SetSoundPan(int32_t n, int32_t pan) {
  const SoundSlot& s = Slot(n);
  if (s.sample == nullptr || s.channel == kChooseChannel) return;
  SetChannelPan(s.channel, LibraryPan(pan));
}

void SoundSlots::PositionSoundChannel(int32_t n) {
  const SoundSlot& s = Slot(n);
  if (running_ && s.channel != kChooseChannel && s.library_3d) SetChannel3DAttributes(s.channel, s.position, nullptr);
}

void SoundSlots::PositionListener(float x, float y, float z) {
  if (!running_) return;
  const float position[3] = {x, y, z};
  const float still[3] = {0, 0, 0};
  SetListener(position, still, listener_front[0], listener_front[1], listener_front[2], listener_top[0],
              listener_top[1], listener_top[2]);
}

void SoundSlots::RotateListener(float ax, float ay, float az) {
  if (!running_) return;
  Matrix m = Identity();
  m = Multiply(Rotation(0, ax), m);
  m = Multiply(Rotation(1, ay), m);
  m = Multiply(Rotation(2, az), m);
  // Direction vectors times M: (0, 0, 1) picks row 2, (0, 1, 0) row 1.
  for (int j = 0; j < 3; ++j) {
    listener_front[j] = m[static_cast<size_t>(8 + j)];
    listener_top[j] = m[static_cast<size_t>(4 + j)];
  }
  SetListener(nullptr, nullptr, listener_front[0], listener_front[1], listener_front[2], listener_top[0],
              listener_top[1], listener_top[2]);
}

void SoundSlots::SetSoundDistanceFactor(float factor) { Set3DDistanceFactor(factor); }

void SoundSlots::SetSoundEnvironment(int32_t preset) {
  if (preset >= 1 && preset <= 26) {
    const ReverbPreset& p = kReverbPresets[preset - 1];
    SetReverbEnvironment(p.environment, p.volume, p.decay, p.damping);
  } else {
    SetReverbEnvironment(0, 0, 0, 0);
  }
}

void SoundSlots::SetSoundEnvironmentValues(int32_t preset, float volume, float decay_time, float damping) {
  if (preset >= 1 && preset <= 26) {
    SetReverbEnvironment(kReverbPresets[preset - 1].environment, volume, decay_time, damping);
  } else {
    SetReverbEnvironment(0, 0, 0, 0);
  }
}

void SoundSlots::SetSoundEnvironmentDetailed(int32_t preset, const ReverbProperties& values) {
  if (preset >= 1 && preset <= 26) {
    ReverbProperties properties = values;
    properties.environment = kReverbPresets[preset - 1].environment;
    SetReverbProperties(properties);
  } else {
    SetReverbEnvironment(0, 0, 0, 0);
  }
}

bool SoundSlots::StartRecordingSound(int32_t n, int32_t seconds) {
  if (seconds < 1) seconds = 5;
  // No recording longer than a sample can be.
  const int64_t frames = static_cast<int64_t>(seconds) * kRecordRate;
  if (frames > INT32_MAX / 4) {
    SetAudioError(audio_error::kBadParameter);
    return false;
  }
  if (recording_sample_) {
    StopRecording();
    FreeSample(recording_sample_);
    recording_sample_ = nullptr;
  }
  SampleHandle sample = AllocSample(-2, static_cast<int32_t>(frames), 0x30, kRecordRate, 255, 128, 255);
  if (sample == nullptr) return false;
  recording_slot_ = n;
  if (!StartRecording(sample, false)) {
    FreeSample(sample);
    Slot(n).sample = nullptr;
    recording_slot_ = 0;
    return false;
  }
  recording_sample_ = sample;
  return true;
}

int32_t SoundSlots::StopRecordingSound() {
  if (recording_sample_ == nullptr) {
    recording_slot_ = 0;
    return 0;
  }
  const int32_t recorded = static_cast<int32_t>(std::min<uint32_t>(GetRecordPosition(), static_cast<uint32_t>(recording_sample_->length)));
  StopRecording();
  const auto* values = reinterpret_cast<const int16_t*>(recording_sample_->data);
  int32_t skipped = 0;
  while (values && skipped < recorded && values[skipped] >= -kSilenceLevel && values[skipped] <= kSilenceLevel) ++skipped;
  SampleHandle kept = nullptr;
  if (values && skipped < recorded) {
    kept = AllocSample(-1, recorded - skipped, 0x30, kRecordRate, 255, 128, 0);
    if (kept) std::memcpy(kept->data, values + skipped, static_cast<size_t>(recorded - skipped) * 2);
    if (kept) PadSampleLoop(*kept);
  }
  FreeSample(recording_sample_);
  recording_sample_ = nullptr;
  const int32_t n = recording_slot_;
  recording_slot_ = 0;
  if (n < kFirstSound || n > kLastSound) {
    if (kept) FreeSample(kept);
    return 0;
  }
  if (kept == nullptr) {
    Slot(n).sample = nullptr;
    return 0;
  }
  TakeNewSample(n, kept, false, false);
  std::fill(std::begin(Slot(n).position), std::end(Slot(n).position), 0.0f);
  return n;
}

bool SoundSlots::SaveSoundAsWav(const std::string& path, int32_t n, std::string* refused) {
  const SoundSlot& s = Slot(n);
  // A failure of the file's sets errno; one of the sound's leaves it 0.
  errno = 0;
  if (s.sample == nullptr) return false;
  const uint32_t channels = s.sample->layout == sample_mode::kStereo ? 2 : 1;
  const uint32_t bits = s.sample->bits;
  const uint32_t block_align = channels * bits / 8;
  const int32_t rate = s.sample->default_frequency;
  // A header that cannot state the rate, or its bytes per second, makes a
  // file that no loader takes back.
  if (rate < 1 || uint64_t{static_cast<uint32_t>(rate)} * block_align > UINT32_MAX) {
    if (refused)
      *refused = "a WAV file cannot state its rate of " + std::to_string(rate) + " Hz in " + std::to_string(bits) +
                 "-bit " + (channels == 2 ? "stereo" : "mono");
    return false;
  }
  // The file says what the sample holds and holds all of it, so a sound
  // loads back as it was saved.
  std::vector<uint8_t> data;
  if (!ReadSampleBytes(s.sample, SampleByteSize(*s.sample), data)) {
    errno = 0;
    return false;
  }
  // 8-bit WAV data is unsigned; the sample's is signed.
  if (bits == 8) {
    for (uint8_t& b : data) b ^= 0x80;
  }
  const auto data_size = static_cast<uint32_t>(data.size());
  const uint32_t pad = data_size & 1;  // a chunk of odd size is padded to a whole word
  std::vector<uint8_t> file;
  file.reserve(44 + data_size + pad);
  PutText(file, "RIFF");
  PutLe(file, data_size + pad + 36, 4);
  PutText(file, "WAVE");
  PutText(file, "fmt ");
  PutLe(file, 16, 4);
  PutLe(file, 1, 2);
  PutLe(file, channels, 2);
  PutLe(file, static_cast<uint32_t>(rate), 4);
  PutLe(file, static_cast<uint32_t>(rate) * block_align, 4);
  PutLe(file, block_align, 2);
  PutLe(file, bits, 2);
  PutText(file, "data");
  PutLe(file, data_size, 4);
  file.insert(file.end(), data.begin(), data.end());
  if (pad) file.push_back(0);
  return platform::SaveFile(path, file);
}

bool SoundSlots::SoundToMemory(int32_t n, SoundMemory& out) {
  const SoundSlot& s = Slot(n);
  if (s.sample == nullptr) return false;
  const uint32_t mode = GetSampleMode(s.sample);
  out.bits = (mode & sample_mode::k16Bit) ? 16 : 8;
  out.frequency = static_cast<uint32_t>(s.sample->default_frequency);
  out.length = static_cast<uint32_t>(GetSampleLength(s.sample));
  const int channels = (mode & sample_mode::kStereo) ? 2 : 1;
  const int64_t size =
      std::min<int64_t>(static_cast<int64_t>(out.length) * out.bits / 8 * channels, SampleByteSize(*s.sample));
  if (!ReadSampleBytes(s.sample, size, out.data)) return false;
  // The block's samples are mono: a stereo sound gives all of itself, its
  // two sides mixed, not the first half of its pairs.
  if (channels == 2) out.data = MixPairsToMono(out.data, out.bits);
  return true;
}

bool SoundSlots::MemoryToSound(const SoundMemory& in, int32_t n) {
  if (in.bits != 8 && in.bits != 16) return false;
  const uint32_t mode = in.bits == 8 ? 0x28 : 0x30;
  const size_t frames = in.data.size() / (in.bits / 8);
  if (frames < 1 || frames > INT32_MAX / 4) return false;
  // A rate of 0, or one past what a sample holds, would play and save as
  // another (or as a file that no loader takes).
  if (in.frequency < 1 || in.frequency > INT32_MAX) return false;
  SampleHandle sample =
      AllocSample(-1, static_cast<int32_t>(frames), mode, static_cast<int32_t>(in.frequency), 255, 128, 0);
  if (sample == nullptr) return false;
  std::memcpy(sample->data, in.data.data(), frames * (in.bits / 8));
  PadSampleLoop(*sample);
  SoundSlot& s = Slot(n);
  const bool was_loaded = s.loaded;
  ReleaseSlotSample(n);
  s.sample = sample;
  s.owns_sample = true;
  if (!was_loaded) {
    s.channel = kChooseChannel;
    s.frequency = sample->default_frequency;
    s.library_volume = sample->default_volume;
    s.speed = s.frequency;
    s.loaded = true;
    s.library_3d = false;
    s.priority = false;
  }
  return true;
}

void SoundSlots::UpdateSound3D() {
  if (running_) Update3D();
}

void SoundSlots::PauseAllSounds() {
  for (int32_t n = 0; n < kSoundSlotCount; ++n) {
    if (Slot(n).loaded && Slot(n).playing) PauseSound(n);
  }
}

void SoundSlots::ResumeAllSounds() {
  // A sound the program paused itself stays paused, as `sound paused()` says.
  for (int32_t n = 0; n < kSoundSlotCount; ++n) {
    if (Slot(n).loaded && Slot(n).playing && !Slot(n).paused) ResumeSound(n);
  }
}

}  // namespace zv
