#include "audio/library/sample.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "audio/library/audio_error.h"
#include "audio/library/channel.h"
#include "audio/library/formats/file_layer.h"
#include "audio/library/formats/mpeg_loader.h"
#include "audio/library/formats/wav_reader.h"
#include "audio/library/library_state.h"
#include "audio/library/load_shortfall.h"
#include "audio/library/mixer.h"
#include "audio/library/song_hooks.h"

namespace zv {
namespace {

bool DriverHasHardware() { return Lib().driver && Lib().driver->hardware_available != 0; }

bool NullSample(SampleHandle sample) {
  if (sample) return false;
  SetAudioError(audio_error::kBadParameter);
  return true;
}

uint32_t ReadFrame(const uint8_t* at, int32_t width) {
  uint32_t v = 0;
  std::memcpy(&v, at, static_cast<size_t>(width));
  return v;
}

void WriteFrame(uint8_t* at, int32_t width, uint32_t v) { std::memcpy(at, &v, static_cast<size_t>(width)); }

// Loads by the readers: WAV first, then MPEG; `which` limits it to one.
enum class Reader { kAny, kWav, kMpeg };

SampleHandle LoadFrom(int32_t index, const void* name, uint32_t mode, int32_t length, Reader which) {
  ClearAudioErrorOnLibraryThread();
  ClearLoadShortfall();
  if (name == nullptr || ((mode & sample_mode::kMemoryImage) && length < 1)) {
    SetAudioError(audio_error::kBadParameter);
    return nullptr;
  }
  const bool memory = (mode & sample_mode::kMemoryImage) != 0;
  AudioFile* file = OpenAudioFile(name, memory ? kAudioFileMemory : kAudioFileDisk, length);
  if (file == nullptr) {
    SetAudioError(audio_error::kFileOpen);
    return nullptr;
  }
  if (!DriverHasHardware()) mode &= ~sample_mode::kHardware;
  SampleHandle sample = nullptr;
  if (!(mode & sample_mode::kRaw)) {
    if (which != Reader::kMpeg) sample = LoadWavSample(file, mode, index);
    // What a reader that gave up found missing is no part of the file's load.
    if (!sample) ClearLoadShortfall();
    if (!sample && which != Reader::kWav) sample = LoadMpegSample(file, mode, index);
    if (!sample) {
      ClearLoadShortfall();
      SetAudioError(audio_error::kBadFormat);
    }
    if (sample && memory) SetSampleName(*sample, "Memory file");
    if (sample && !memory) SetSampleName(*sample, static_cast<const char*>(name));
    CloseAudioFile(file);
    return sample;
  }

  SeekAudioFile(file, 0, kSeekEnd);
  const int32_t size = TellAudioFile(file);
  SeekAudioFile(file, 0, kSeekSet);
  if (size <= 0) {
    SetAudioError(audio_error::kEmptyFile);
    CloseAudioFile(file);
    return nullptr;
  }
  int32_t frames = size;
  if (mode & sample_mode::kStereo) frames /= 2;
  if (mode & sample_mode::k16Bit) frames /= 2;
  if (frames < 1) {
    SetAudioError(audio_error::kEmptyFile);
    CloseAudioFile(file);
    return nullptr;
  }
  sample = AllocSample(index, frames, mode, 44100, 255, 128, 255);
  if (sample) {
    SetSampleLoopPoints(sample, 0, frames - 1);
    SetSampleName(*sample, memory ? "Memory file" : static_cast<const char*>(name));
    sample->middle_c_rate = 8363;
    sample->tuning = 0;
    std::vector<uint8_t> buffer;
    try {
      buffer.resize(static_cast<size_t>(size));
    } catch (...) {
      SetAudioError(audio_error::kOutOfMemory);
      FreeSample(sample);
      CloseAudioFile(file);
      return nullptr;
    }
    const int32_t got = ReadAudioFile(buffer.data(), size, file);
    sample->ops.upload(*sample, buffer.data(), static_cast<size_t>(std::max(got, 0)), mode);
  }
  CloseAudioFile(file);
  return sample;
}

}  // namespace

uint32_t NormaliseSampleMode(uint32_t mode) {
  if (mode & sample_mode::k2D) mode &= ~sample_mode::kHardware;
  if (mode & sample_mode::k16Bit) mode &= ~sample_mode::k8Bit;
  if (mode & sample_mode::kStereo) mode &= ~sample_mode::kMono;
  return mode;
}

int32_t SampleFrameBytes(const SampleRecord& s) {
  return (s.bits == 16 ? 2 : 1) * (s.layout == sample_mode::kStereo ? 2 : 1);
}

int64_t SampleByteSize(const SampleRecord& s) { return static_cast<int64_t>(s.length) * SampleFrameBytes(s); }

void SetSampleName(SampleRecord& sample, const char* name) {
  std::memset(sample.name, 0, sizeof sample.name);
  if (name) std::strncpy(sample.name, name, sizeof sample.name - 1);
}

SampleHandle AllocSampleSlot(int32_t index, uint32_t mode) {
  AudioLibraryState& lib = Lib();
  if (!lib.sample_table_made && index != -2) {
    SetAudioError(audio_error::kNotInitialised);
    return nullptr;
  }
  mode = NormaliseSampleMode(mode);
  if (index != -2) {
    if (index < -1) {
      SetAudioError(audio_error::kBadParameter);
      return nullptr;
    }
    if (index == -1) {
      auto free_entry = std::find(lib.samples.begin(), lib.samples.end(), nullptr);
      index = static_cast<int32_t>(free_entry - lib.samples.begin());
    }
    while (index >= static_cast<int32_t>(lib.samples.size())) lib.samples.resize(lib.samples.size() + 256, nullptr);
    if (lib.samples[static_cast<size_t>(index)]) FreeSample(lib.samples[static_cast<size_t>(index)]);
  }
  auto* s = new (std::nothrow) SampleRecord();
  if (s == nullptr) {
    SetAudioError(audio_error::kOutOfMemory);
    return nullptr;
  }
  s->index = index;
  s->is_2d = (mode & sample_mode::k2D) ? 1 : 0;
  s->driver_created = (mode & sample_mode::kDriverCreated) ? 1 : 0;
  if ((mode & sample_mode::kHardware) && !s->is_2d && lib.driver) {
    lib.driver->attach_sample_ops(*s);
  } else {
    AttachSoftwareSampleOps(*s);
  }
  if (index >= 0) lib.samples[static_cast<size_t>(index)] = s;
  return s;
}

SampleHandle AllocSample(int32_t index, int32_t length, uint32_t mode, int32_t frequency, int32_t volume, int32_t pan,
                         int32_t priority) {
  ClearAudioErrorOnLibraryThread();
  if (length < 1) {
    SetAudioError(audio_error::kBadParameter);
    return nullptr;
  }
  if (!DriverHasHardware()) mode &= ~sample_mode::kHardware;
  SampleHandle s = AllocSampleSlot(index, mode);
  if (s == nullptr) return nullptr;
  mode = NormaliseSampleMode(mode);
  s->loop_mode = (mode & sample_mode::kLoopBidi)     ? kLoopModeBidi
                 : (mode & sample_mode::kLoopOff)    ? kLoopModeOff
                 : (mode & sample_mode::kLoopNormal) ? kLoopModeNormal
                                                     : kLoopModeOff;
  s->bits = (mode & sample_mode::k8Bit) ? 8 : (mode & sample_mode::k16Bit) ? 16 : 8;
  s->layout = static_cast<uint8_t>((mode & sample_mode::kMono) ? sample_mode::kMono
                                   : (mode & sample_mode::kStereo) ? sample_mode::kStereo
                                                                   : sample_mode::kMono);
  if (mode & sample_mode::kHardware) s->hardware = 1;
  s->length = s->loop_length = length;
  s->loop_start = 0;
  s->default_frequency = frequency;
  s->default_volume = volume;
  s->default_pan = pan;
  s->default_priority = priority;
  s->stream_link = nullptr;
  s->owned_by_song = 0;
  if (!s->ops.create_data(*s)) {
    FreeSample(s);
    return nullptr;
  }
  return s;
}

void FreeSample(SampleHandle sample) {
  if (sample == nullptr) return;
  AudioLibraryState& lib = Lib();
  for (int32_t i = 0; i < lib.total_channels && lib.channels; ++i) {
    ChannelRecord& c = lib.channels[i];
    if (c.sample == sample || c.voice.sample == sample) {
      if (lib.initialised) {
        StopChannel(i);
      } else {
        c.ops.stop(c);
        c.sample = nullptr;
        c.priority = 0;
      }
    }
  }
  if (lib.mixer_channel.sample == sample) {
    lib.mixer_channel.ops.stop(lib.mixer_channel);
    lib.mixer_channel.sample = nullptr;
  }
  if (sample->owned_by_song && GetSongHooks().forget_sample) GetSongHooks().forget_sample(sample);
  sample->ops.release_data(*sample);
  if (sample->index >= 0 && sample->index < static_cast<int32_t>(lib.samples.size()) &&
      lib.samples[static_cast<size_t>(sample->index)] == sample) {
    lib.samples[static_cast<size_t>(sample->index)] = nullptr;
  }
  delete sample;
}

SampleHandle LoadSample(int32_t index, const void* name, uint32_t mode, int32_t length) {
  return LoadFrom(index, name, mode, length, Reader::kAny);
}

SampleHandle LoadRawSample(int32_t index, const char* name, uint32_t mode) {
  return LoadFrom(index, name, (mode | sample_mode::kRaw) & ~sample_mode::kMemoryImage, 0, Reader::kAny);
}

SampleHandle LoadSampleWav(int32_t index, const char* name, uint32_t mode) {
  return LoadFrom(index, name, mode & ~(sample_mode::kRaw | sample_mode::kMemoryImage), 0, Reader::kWav);
}

SampleHandle LoadSampleMpeg(int32_t index, const char* name, uint32_t mode) {
  return LoadFrom(index, name, mode & ~(sample_mode::kRaw | sample_mode::kMemoryImage), 0, Reader::kMpeg);
}

SampleHandle LoadSampleWavMemory(int32_t index, const void* image, uint32_t mode, int32_t length) {
  return LoadFrom(index, image, (mode | sample_mode::kMemoryImage) & ~sample_mode::kRaw, length, Reader::kWav);
}

SampleHandle LoadSampleMpegMemory(int32_t index, const void* image, uint32_t mode, int32_t length) {
  return LoadFrom(index, image, (mode | sample_mode::kMemoryImage) & ~sample_mode::kRaw, length, Reader::kMpeg);
}

bool UploadSampleData(SampleHandle sample, const void* data, size_t data_bytes, uint32_t mode) {
  ClearAudioErrorOnLibraryThread();
  if (NullSample(sample)) return false;
  return sample->ops.upload(*sample, data, data_bytes, NormaliseSampleMode(mode));
}

bool LockSample(SampleHandle sample, int32_t offset, int32_t length, void** part1, void** part2, int32_t* length1,
                int32_t* length2) {
  ClearAudioErrorOnLibraryThread();
  auto clear = [&] {
    if (part1) *part1 = nullptr;
    if (part2) *part2 = nullptr;
    if (length1) *length1 = 0;
    if (length2) *length2 = 0;
  };
  if (NullSample(sample) || !part1 || !part2 || !length1 || !length2) {
    clear();
    SetAudioError(audio_error::kBadParameter);
    return false;
  }
  const int64_t byte_size = static_cast<int64_t>(sample->length) * 2 * 2;
  if (offset < 0 || offset > byte_size) {
    clear();
    SetAudioError(audio_error::kBadParameter);
    return false;
  }
  return sample->ops.lock(*sample, offset, length, part1, part2, length1, length2);
}

bool UnlockSample(SampleHandle sample, void* part1, void* part2, int32_t length1, int32_t length2) {
  ClearAudioErrorOnLibraryThread();
  if (NullSample(sample)) return false;
  return sample->ops.unlock(*sample, part1, part2, length1, length2);
}

void RestoreSampleLoopGuard(SampleRecord& s) {
  if (s.data == nullptr || !s.has_saved_frame) return;
  const int32_t width = SampleFrameBytes(s);
  if (s.saved_frame_at >= 0 && s.saved_frame_at <= s.length)
    WriteFrame(s.data + static_cast<size_t>(s.saved_frame_at) * width, width, s.saved_frame);
  s.has_saved_frame = false;
}

void PadSampleLoop(SampleRecord& s) {
  if (s.data == nullptr) return;
  MixerGuard guard(MixerMutex());
  RestoreSampleLoopGuard(s);
  const int32_t width = SampleFrameBytes(s);
  const int64_t after = static_cast<int64_t>(s.loop_start) + s.loop_length;
  // The data holds one frame (16 bytes) beyond the length: the guard frame
  // may lie there, never further.
  if (after < 0 || after > s.length) return;
  uint8_t* guard_at = s.data + static_cast<size_t>(after) * width;
  // The frame is kept in every mode, also when silenced for a sound that
  // does not loop: a loop that ends inside the sample must not cost it a
  // frame of its data.
  s.saved_frame = ReadFrame(guard_at, width);
  s.saved_frame_at = static_cast<int32_t>(after);
  s.has_saved_frame = true;
  if (s.loop_mode == kLoopModeOff) {
    WriteFrame(guard_at, width, 0);
    return;
  }
  const int64_t source = s.loop_mode == kLoopModeBidi ? after - 1 : s.loop_start;
  if (source >= 0 && source < s.length) WriteFrame(guard_at, width, ReadFrame(s.data + source * width, width));
}

bool SetSampleLoopMode(SampleHandle sample, int32_t mode) {
  ClearAudioErrorOnLibraryThread();
  if (NullSample(sample)) return false;
  if (mode != kLoopModeOff && mode != kLoopModeNormal && mode != kLoopModeBidi) return false;
  {
    MixerGuard guard(MixerMutex());
    RestoreSampleLoopGuard(*sample);
    sample->loop_mode = static_cast<uint8_t>(mode);
  }
  PadSampleLoop(*sample);
  return true;
}

bool SetSampleLoopPoints(SampleHandle sample, int32_t first, int32_t last) {
  ClearAudioErrorOnLibraryThread();
  if (NullSample(sample)) return false;
  if (first < 0 || last < 0 || first >= sample->length || last >= sample->length || first >= last) {
    SetAudioError(audio_error::kBadParameter);
    return false;
  }
  {
    MixerGuard guard(MixerMutex());
    RestoreSampleLoopGuard(*sample);
    sample->loop_start = first;
    sample->loop_length = last - first + 1;
  }
  PadSampleLoop(*sample);
  return true;
}

bool GetSampleLoopPoints(SampleHandle sample, int32_t* start, int32_t* end) {
  ClearAudioErrorOnLibraryThread();
  if (NullSample(sample)) return false;
  if (start) *start = sample->loop_start;
  if (end) *end = sample->loop_start + sample->loop_length - 1;
  return true;
}

bool SetSampleDefaults(SampleHandle sample, int32_t frequency, int32_t volume, int32_t pan, int32_t priority) {
  ClearAudioErrorOnLibraryThread();
  if (NullSample(sample)) return false;
  if (frequency > 0) sample->default_frequency = frequency;
  if (volume > 0) sample->default_volume = volume;
  if (pan > 0) sample->default_pan = pan;
  if (priority > 0) sample->default_priority = priority;
  return true;
}

bool GetSampleDefaults(SampleHandle sample, int32_t* frequency, int32_t* volume, int32_t* pan, int32_t* priority) {
  ClearAudioErrorOnLibraryThread();
  if (NullSample(sample)) return false;
  if (frequency) *frequency = sample->default_frequency;
  if (volume) *volume = sample->default_volume;
  if (pan) *pan = sample->default_pan;
  if (priority) *priority = sample->default_priority;
  return true;
}

uint32_t GetSampleMode(SampleHandle sample) {
  ClearAudioErrorOnLibraryThread();
  if (NullSample(sample)) return 0;
  return sample->loop_mode | (sample->bits == 16 ? sample_mode::k16Bit : sample_mode::k8Bit) | sample->layout;
}

int32_t GetSampleLength(SampleHandle sample) {
  ClearAudioErrorOnLibraryThread();
  if (NullSample(sample)) return 0;
  return sample->length;
}

const char* GetSampleName(SampleHandle sample) {
  ClearAudioErrorOnLibraryThread();
  if (NullSample(sample)) return nullptr;
  return sample->name;
}

bool SetSampleMinMaxDistance(SampleHandle sample, float min_distance, float max_distance) {
  ClearAudioErrorOnLibraryThread();
  if (!Lib().initialised) {
    SetAudioError(audio_error::kNotInitialised);
    return false;
  }
  if (NullSample(sample)) return false;
  if (!(min_distance >= 0.0f) || !(max_distance >= 0.0f) || max_distance < min_distance) {
    SetAudioError(audio_error::kBadParameter);
    return false;
  }
  sample->min_distance = min_distance;
  sample->max_distance = max_distance;
  return true;
}

}  // namespace zv
