#include "audio/library/mixer.h"

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstring>
#include <memory>
#include <new>
#include <thread>
#include <vector>

#include "audio/library/audio_error.h"
#include "audio/library/dsp_unit.h"
#include "audio/library/library.h"
#include "audio/library/library_state.h"
#include "audio/library/mix_routines.h"
#include "audio/library/packed_blocks.h"
#include "audio/library/reverb.h"
#include "audio/library/song_hooks.h"
#include "audio/library/sound3d.h"
#include "audio/library/timing.h"
#include "platform/clock/stop_flag.h"

namespace zv {
namespace {

constexpr int32_t kMinFrequency = 100;
constexpr int32_t kMaxFrequency = 705600;

struct MixerState {
  int32_t mix_rate = 44100;
  int32_t block_length = 0;
  int32_t total_length = 0;
  int32_t block_count = 0;
  // The work buffer, in frames of the chosen family (from the default new
  // alignment of 16 bytes).
  std::unique_ptr<std::byte[]> work;
  std::atomic<int32_t> next_block{0};
  int32_t block_start_bytes = 0;
  platform::StopFlag stop;
  std::atomic<bool> finished{true};
  std::thread thread;
  CpuLoad load;
  std::atomic<float> cpu{0.0f};
  VoiceLink idle;
  DspUnit* clear_unit = nullptr;
  DspUnit* mix_unit = nullptr;
  DspUnit* song_unit = nullptr;
  DspUnit* output_unit = nullptr;
  DspUnit* reverb_unit = nullptr;
  SoftwareReverb reverb;
  std::vector<float> reverb_send;  // what the channels send into the reverb this block
  std::vector<float> reverb_wet;   // the tail it makes, before it joins the work frames
  bool offline = false;
  int32_t generation = 0;
  std::vector<int16_t> pending;  // offline: what is left of the last block
  size_t pending_at = 0;
};

MixerState& Mixer() {
  static MixerState state;
  return state;
}

// ---- Built-in DSP units ---------------------------------------------------

void* ClearCallback(void*, void* buffer, int32_t frames, void*) {
  ClearFrames(buffer, frames);
  return buffer;
}

void* SongCallback(void*, void* buffer, int32_t frames, void*) {
  if (GetSongHooks().mix_songs) GetSongHooks().mix_songs(buffer, frames);
  return buffer;
}

void* ReverbCallback(void*, void* buffer, int32_t frames, void*) {
  MixerState& m = Mixer();
  const size_t values = static_cast<size_t>(frames) * 2;
  if (m.reverb.Active() && values <= m.reverb_send.size() && values <= m.reverb_wet.size()) {
    std::fill(m.reverb_wet.begin(), m.reverb_wet.begin() + static_cast<ptrdiff_t>(values), 0.0f);
    m.reverb.Process(m.reverb_wet.data(), m.reverb_send.data(), frames);
    AddFloatFrames(buffer, m.reverb_wet.data(), frames);
  }
  return buffer;
}

void* OutputCallback(void*, void* buffer, int32_t frames, void*) {
  SampleRecord* out = Lib().mix_buffer;
  if (out == nullptr) return buffer;
  void* p1 = nullptr;
  void* p2 = nullptr;
  int32_t l1 = 0, l2 = 0;
  if (!out->ops.lock(*out, Mixer().block_start_bytes, frames * 4, &p1, &p2, &l1, &l2)) return buffer;
  ClipCopyFrames(static_cast<int16_t*>(p1), buffer, l1 / 4);
  ClipCopyFrames(static_cast<int16_t*>(p2), OffsetFrames(buffer, l1 / 4), l2 / 4);
  out->ops.unlock(*out, p1, p2, l1, l2);
  return buffer;
}

// ---- Software sample operations -------------------------------------------

bool SoftwareCreateData(SampleRecord& s) {
  MixerGuard guard(MixerMutex());
  delete[] s.data;
  s.data = nullptr;
  const int64_t bytes = SampleByteSize(s) + 16;
  s.data = new (std::nothrow) uint8_t[static_cast<size_t>(bytes)]();
  if (s.data == nullptr) {
    SetAudioError(audio_error::kOutOfMemory);
    return false;
  }
  s.has_saved_frame = false;
  return true;
}

void SoftwareReleaseData(SampleRecord& s) {
  MixerGuard guard(MixerMutex());
  delete[] s.data;
  s.data = nullptr;
}

template <typename T>
void RunningSum(T* values, int64_t count) {
  T sum = 0;
  for (int64_t i = 0; i < count; ++i) {
    sum = static_cast<T>(sum + values[i]);
    values[i] = sum;
  }
}

bool SoftwareUpload(SampleRecord& s, const void* source, size_t source_bytes, uint32_t mode) {
  if (s.data == nullptr || source == nullptr) {
    SetAudioError(audio_error::kBadParameter);
    return false;
  }
  MixerGuard guard(MixerMutex());
  RestoreSampleLoopGuard(s);
  const int64_t bytes = SampleByteSize(s);
  const int64_t values = s.length * static_cast<int64_t>(s.layout == sample_mode::kStereo ? 2 : 1);
  const bool wide = s.bits == 16;
  if (mode & (sample_mode::kPacked | sample_mode::kPackedDouble)) {
    const bool double_delta = (mode & sample_mode::kPackedDouble) != 0;
    const auto* in = static_cast<const uint8_t*>(source);
    if (wide) {
      DecodePackedBlocks16(in, source_bytes, reinterpret_cast<int16_t*>(s.data), values);
    } else {
      DecodePackedBlocks8(in, source_bytes, reinterpret_cast<int8_t*>(s.data), values, double_delta);
    }
  } else {
    const size_t n = static_cast<size_t>(std::min<int64_t>(bytes, static_cast<int64_t>(source_bytes)));
    std::memcpy(s.data, source, n);
    std::memset(s.data + n, 0, static_cast<size_t>(bytes) - n);
  }
  if (mode & sample_mode::kDelta) {
    if (wide) {
      RunningSum(reinterpret_cast<int16_t*>(s.data), values);
    } else {
      RunningSum(reinterpret_cast<int8_t*>(s.data), values);
    }
  }
  if (mode & sample_mode::kUnsigned) {
    if (wide) {
      auto* w = reinterpret_cast<uint16_t*>(s.data);
      for (int64_t i = 0; i < values; ++i) w[i] ^= 0x8000;
    } else {
      for (int64_t i = 0; i < values; ++i) s.data[i] ^= 0x80;
    }
  }
  PadSampleLoop(s);
  return true;
}

bool SoftwareLock(SampleRecord& s, int32_t offset, int32_t length, void** p1, void** p2, int32_t* l1, int32_t* l2) {
  const int64_t size = SampleByteSize(s);
  if (length > size) length = static_cast<int32_t>(size);
  if (s.data == nullptr || offset < 0 || offset >= size || length < 0) {
    *p1 = *p2 = nullptr;
    *l1 = *l2 = 0;
    return false;
  }
  *p1 = s.data + offset;
  if (offset + static_cast<int64_t>(length) > size) {
    *l1 = static_cast<int32_t>(size - offset);
    *p2 = s.data;
    *l2 = length - *l1;
  } else {
    *l1 = length;
    *p2 = nullptr;
    *l2 = 0;
  }
  return true;
}

bool SoftwareUnlock(SampleRecord& s, void*, void*, int32_t, int32_t) {
  PadSampleLoop(s);
  return true;
}

// ---- Software channel operations ------------------------------------------

void ComputeGains(SoftwareVoice& v) {
  if (v.pan == -1) {
    v.left_gain = v.right_gain = v.volume;
  } else {
    v.right_gain = v.volume * v.pan / 255;
    v.left_gain = v.volume * (255 - v.pan) / 255;
  }
}

bool VoicePrepare(ChannelRecord&, SampleRecord*) { return true; }

bool VoiceStart(DspUnit* unit, ChannelRecord& c, SampleRecord* sample) {
  MixerGuard guard(MixerMutex());
  SoftwareVoice& v = c.voice;
  if (sample && static_cast<int64_t>(v.start_position) >= static_cast<int64_t>(sample->loop_start) + sample->loop_length)
    v.start_position = 0;
  v.position = v.start_position;
  v.fraction = 0;
  v.direction = 1;
  v.start_position = 0;
  v.ramp_left = v.ramp_right = 0;
  v.ramp_count = 0;
  v.ramp_step_left = v.ramp_step_right = 0;
  v.sample = sample;
  v.loop_mode = c.loop_mode;
  v.sounding = 1;
  v.reverb_send = ReverbSendGain(c.level_scale);
  if (!v.in_list) {
    DspUnit* owner = unit ? unit : Mixer().mix_unit;
    if (owner) c.AppendTo(owner->channels);
  }
  return true;
}

void VoiceStop(ChannelRecord& c) {
  MixerGuard guard(MixerMutex());
  SoftwareVoice& v = c.voice;
  v.position = v.fraction = 0;
  v.in_list = 0;
  v.sample = nullptr;
  v.sounding = 0;
  c.AppendTo(Mixer().idle);
}

void VoiceSetFrequency(ChannelRecord& c, int32_t hz) {
  MixerGuard guard(MixerMutex());
  SoftwareVoice& v = c.voice;
  v.frequency = std::clamp(hz, kMinFrequency, kMaxFrequency);
  const int64_t rate = std::max(Mixer().mix_rate, 1);
  v.step_int = static_cast<uint32_t>(v.frequency / rate);
  v.step_frac = static_cast<uint32_t>((static_cast<uint64_t>(v.frequency % rate) << 32) / static_cast<uint64_t>(rate));
}

void VoiceSetVolume(ChannelRecord& c, int32_t volume) {
  MixerGuard guard(MixerMutex());
  SoftwareVoice& v = c.voice;
  if (!v.mute) v.volume = volume;
  if (v.pan == -1) {
    v.left_gain = v.right_gain = volume;
  } else {
    v.right_gain = volume * v.pan / 255;
    v.left_gain = volume * (255 - v.pan) / 255;
  }
  v.half_volume = volume / 2;
}

void VoiceSetPan(ChannelRecord& c, int32_t pan) {
  MixerGuard guard(MixerMutex());
  c.voice.pan = pan;
  ComputeGains(c.voice);
}

bool VoiceSetPaused(ChannelRecord&, bool) { return true; }

uint32_t VoiceGetPosition(ChannelRecord& c) {
  MixerGuard guard(MixerMutex());
  return c.voice.position;
}

float VoiceGetLevel(ChannelRecord& c) {
  MixerGuard guard(MixerMutex());
  const SoftwareVoice& v = c.voice;
  const SampleRecord* s = v.sample;
  if (c.paused || v.mute || s == nullptr || s->data == nullptr || s->length < 1) return 0.0f;
  const int channels = s->layout == sample_mode::kStereo ? 2 : 1;
  const int64_t at = std::min<int64_t>(v.position, s->length - 1);
  const float scale = s->bits == 16 ? 32768.0f : 128.0f;
  float sum = 0;
  int n = 0;
  for (int64_t frame = at; frame <= at + 1; ++frame) {
    for (int ch = 0; ch < channels; ++ch) {
      const int64_t i = frame * channels + ch;
      const float value = s->bits == 16 ? reinterpret_cast<const int16_t*>(s->data)[i]
                                        : static_cast<float>(reinterpret_cast<const int8_t*>(s->data)[i]);
      sum += (value < 0 ? -value : value) / scale;
      ++n;
    }
  }
  return sum / static_cast<float>(n) * static_cast<float>(v.volume) / 255.0f;
}

bool VoiceIsPlaying(ChannelRecord& c) {
  MixerGuard guard(MixerMutex());
  return c.voice.sample != nullptr;
}

bool VoiceSetLevelScale(ChannelRecord& c, float mix) {
  MixerGuard guard(MixerMutex());
  c.voice.reverb_send = ReverbSendGain(mix);
  return true;
}

// ---- The thread -------------------------------------------------------------

void MixerThreadMain() {
  MixerState& m = Mixer();
  AudioLibraryState& lib = Lib();
  while (!m.stop.Stopped() && lib.mixer_channel.sample == nullptr) m.stop.Nap(1);
  m.next_block = 0;
  const int32_t blocks = m.block_count;
  while (!m.stop.Stopped()) {
    ChannelRecord& out = lib.mixer_channel;
    const uint32_t position = out.ops.get_position(out) % static_cast<uint32_t>(m.total_length);
    const int32_t playing = static_cast<int32_t>(position) / m.block_length;
    const int32_t last = playing == 0 ? blocks - 1 : playing - 1;
    while (!m.stop.Stopped() && m.next_block != playing) {
      const int32_t next = m.next_block;
      if (next > last && (last != 0 || next == 1)) break;
      m.load.block_start = ReadPerfCounter();
      MixBlock(next * m.block_length, m.block_length);
      m.next_block = (next + 1) % blocks;
      m.cpu = UpdateCpuLoad(m.load, 0.9f);
    }
    m.stop.Nap(10);
  }
}

}  // namespace

std::recursive_mutex& MixerMutex() {
  static std::recursive_mutex mutex;
  return mutex;
}

bool SetupMixer(int32_t mix_rate) {
  MixerState& m = Mixer();
  AudioLibraryState& lib = Lib();
  m.mix_rate = mix_rate;
  m.block_length = (mix_rate * 25 / 1000 + 3) / 4 * 4;
  if (m.block_length < 4) m.block_length = 4;
  const int32_t setting = lib.buffer_setting > 0 ? lib.buffer_setting : 100;
  m.total_length = std::max(m.block_length * (setting / 25), m.block_length * 2);
  m.block_count = m.total_length / m.block_length;
  if (!SelectMixer(lib.mixer_type, mix_rate)) return false;
  lib.mixer_type = SelectedMixerType();
  m.work.reset(new (std::nothrow) std::byte[static_cast<size_t>(m.total_length) * WorkFrameBytes()]());
  if (m.work == nullptr) {
    SetAudioError(audio_error::kOutOfMemory);
    return false;
  }
  m.next_block = 0;
  m.pending.clear();
  m.pending_at = 0;
  m.load = CpuLoad{};
  m.cpu = 0;
  {
    MixerGuard guard(MixerMutex());
    m.idle.Reset();
  }
  m.clear_unit = CreateDspUnit(ClearCallback, kClearUnitPriority, nullptr);
  m.mix_unit = CreateDspUnit(ChannelMixCallback, kChannelMixUnitPriority, nullptr);
  m.song_unit = CreateDspUnit(SongCallback, kSongUnitPriority, nullptr);
  m.output_unit = CreateDspUnit(OutputCallback, kOutputUnitPriority, nullptr);
  m.reverb_unit = CreateDspUnit(ReverbCallback, kReverbUnitPriority, nullptr);
  if (!m.clear_unit || !m.mix_unit || !m.song_unit || !m.output_unit || !m.reverb_unit) {
    SetAudioError(audio_error::kOutOfMemory);
    return false;
  }
  {
    MixerGuard guard(MixerMutex());
    // Every start of the library is dry until an environment is set.
    m.reverb = SoftwareReverb{};
    m.reverb.Configure(mix_rate);
    m.reverb_send.assign(static_cast<size_t>(m.total_length) * 2, 0.0f);
    m.reverb_wet.assign(static_cast<size_t>(m.total_length) * 2, 0.0f);
  }
  m.mix_unit->user = m.mix_unit;
  for (DspUnit* unit : {m.clear_unit, m.mix_unit, m.song_unit, m.output_unit, m.reverb_unit})
    SetDspUnitActive(unit, true);
  return true;
}

void ShutdownMixer() {
  MixerState& m = Mixer();
  MixerGuard guard(MixerMutex());
  FreeAllDspUnits();
  ++m.generation;
  m.clear_unit = m.mix_unit = m.song_unit = m.output_unit = m.reverb_unit = nullptr;
  m.reverb_send.clear();
  m.reverb_wet.clear();
  m.idle.Reset();
  m.work.reset();
  m.pending.clear();
}

bool StartMixerThread() {
  MixerState& m = Mixer();
  if (m.thread.joinable()) return true;
  m.stop.Reset();
  m.finished = false;
  m.thread = CreateWorkerThread(MixerThreadMain);
  if (!m.thread.joinable()) {
    m.finished = true;
    return false;
  }
  return true;
}

void StopMixerThread() {
  MixerState& m = Mixer();
  m.stop.Stop();
  if (m.thread.joinable()) m.thread.join();
  m.finished = true;
}

void MixBlock(int32_t sample_offset, int32_t sample_count) {
  MixerState& m = Mixer();
  MixerGuard guard(MixerMutex());
  if (Lib().mixer_channel.sample == nullptr || m.work == nullptr) return;
  if (sample_offset < 0 || sample_count <= 0 || sample_offset + sample_count > m.total_length) return;
  m.block_start_bytes = sample_offset * 4;
  RunDspChain(OffsetFrames(m.work.get(), sample_offset), sample_count);
}

void ClearMixBuffers() {
  MixerState& m = Mixer();
  MixerGuard guard(MixerMutex());
  ClearFrames(m.work.get(), m.total_length);
  SampleRecord* out = Lib().mix_buffer;
  if (out == nullptr) return;
  void* p1 = nullptr;
  void* p2 = nullptr;
  int32_t l1 = 0, l2 = 0;
  if (out->ops.lock(*out, 0, m.total_length * 4, &p1, &p2, &l1, &l2)) {
    if (p1) std::memset(p1, 0, static_cast<size_t>(l1));
    if (p2) std::memset(p2, 0, static_cast<size_t>(l2));
    out->ops.unlock(*out, p1, p2, l1, l2);
  }
}

void AttachSoftwareSampleOps(SampleRecord& sample) {
  sample.ops = SampleOps{SoftwareCreateData, SoftwareReleaseData, SoftwareUpload, SoftwareLock, SoftwareUnlock};
}

void AttachSoftwareChannelOps(ChannelRecord& channel) {
  channel.ops = ChannelOps{VoicePrepare,     VoiceStart,       VoiceStop,        VoiceSetFrequency, VoiceSetVolume,
                           VoiceSetPan,      VoiceSetPaused,   VoiceGetPosition, VoiceGetLevel,     VoiceIsPlaying,
                           SetVoice3DAttributes, GetVoice3DAttributes, VoiceSetLevelScale};
  MixerGuard guard(MixerMutex());
  channel.voice = SoftwareVoice{};
  channel.AppendTo(Mixer().idle);
}

int32_t GetMixerGeneration() {
  MixerGuard guard(MixerMutex());
  return Mixer().generation;
}

int32_t GetMixBlockLength() { return Mixer().block_length; }
int32_t GetMixBufferLength() { return Mixer().total_length; }
int32_t GetMixBlockCount() { return Mixer().block_count; }
int32_t GetMixerNextBlock() { return Mixer().next_block; }

int32_t GetOutputBufferMs() {
  const MixerState& m = Mixer();
  return m.mix_rate > 0 ? static_cast<int32_t>(static_cast<int64_t>(m.total_length) * 1000 / m.mix_rate) : 0;
}

float GetMixerCpuLoad() { return Mixer().cpu; }

DspUnit* GetClearUnit() { return Mixer().clear_unit; }
DspUnit* GetChannelMixUnit() { return Mixer().mix_unit; }
DspUnit* GetSongUnit() { return Mixer().song_unit; }
DspUnit* GetOutputUnit() { return Mixer().output_unit; }

void SetMixerReverb(int32_t environment, float level, float decay_time, float damping) {
  MixerGuard guard(MixerMutex());
  Mixer().reverb.Set(environment, level, decay_time, damping);
}

void GetMixerReverb(int32_t* environment, float* level, float* decay_time, float* damping) {
  MixerGuard guard(MixerMutex());
  Mixer().reverb.Get(environment, level, decay_time, damping);
}

float* GetReverbSendBus(int32_t frames) {
  MixerState& m = Mixer();
  if (!m.reverb.Active() || frames <= 0 || static_cast<size_t>(frames) * 2 > m.reverb_send.size()) return nullptr;
  return m.reverb_send.data();
}

void MixVoiceList(void* buffer, VoiceLink& list, int32_t frames) {
  MixerGuard guard(MixerMutex());
  MixVoices(buffer, list, frames);
}

void MoveVoiceToList(ChannelRecord& channel, VoiceLink& list) {
  MixerGuard guard(MixerMutex());
  channel.AppendTo(list);
  channel.voice.in_list = 1;
}

void ReturnVoiceToIdleList(ChannelRecord& channel) {
  MixerGuard guard(MixerMutex());
  channel.AppendTo(Mixer().idle);
  channel.voice.in_list = 0;
}

bool MixBuffers(void* destination, const void* data, int32_t length, int32_t frequency, int32_t volume, int32_t pan,
                uint32_t mode) {
  mode = NormaliseSampleMode(mode);
  if (!Lib().initialised) {
    SetAudioError(audio_error::kNotInitialised);
    return false;
  }
  if (destination == nullptr || data == nullptr || length <= 0) {
    SetAudioError(audio_error::kBadParameter);
    return false;
  }
  if (!(mode & (sample_mode::k8Bit | sample_mode::k16Bit)) || !(mode & (sample_mode::kMono | sample_mode::kStereo)))
    return false;
  // A copy with a spare frame, so interpolation past the end reads silence.
  SampleRecord sample;
  sample.bits = (mode & sample_mode::k16Bit) ? 16 : 8;
  sample.layout = static_cast<uint8_t>((mode & sample_mode::kStereo) ? sample_mode::kStereo : sample_mode::kMono);
  sample.length = sample.loop_length = length;
  sample.loop_mode = kLoopModeOff;
  sample.default_frequency = 8363;
  std::vector<uint8_t> copy(static_cast<size_t>(SampleByteSize(sample)) + 16, 0);
  std::memcpy(copy.data(), data, static_cast<size_t>(SampleByteSize(sample)));
  sample.data = copy.data();

  ChannelRecord voice;
  voice.voice.sample = &sample;
  voice.voice.loop_mode = kLoopModeOff;
  voice.voice.volume = std::clamp(volume, 0, 255);
  voice.voice.pan = pan == -1 ? -1 : std::clamp(pan, 0, 255);
  ComputeGains(voice.voice);
  voice.voice.ramp_left = voice.voice.left_gain * 256;
  voice.voice.ramp_right = voice.voice.right_gain * 256;
  const int64_t rate = std::max(Mixer().mix_rate, 1);
  const int32_t hz = std::clamp(frequency, kMinFrequency, kMaxFrequency);
  voice.voice.step_int = static_cast<uint32_t>(hz / rate);
  voice.voice.step_frac = static_cast<uint32_t>((static_cast<uint64_t>(hz % rate) << 32) / static_cast<uint64_t>(rate));
  VoiceLink list;
  voice.AppendTo(list);
  MixVoices(destination, list, length);
  voice.Unlink();
  sample.data = nullptr;
  return true;
}

void SetOfflineMixing(bool offline) { Mixer().offline = offline; }
bool OfflineMixing() { return Mixer().offline; }

bool MixOffline(int16_t* out, int32_t frames) {
  MixerState& m = Mixer();
  if (!m.offline || !Lib().initialised || out == nullptr || frames < 0 || m.thread.joinable()) return false;
  SampleRecord* buffer = Lib().mix_buffer;
  while (frames > 0) {
    if (m.pending_at >= m.pending.size()) {
      const int32_t block = m.next_block;
      MixBlock(block * m.block_length, m.block_length);
      m.next_block = (block + 1) % m.block_count;
      void* p1 = nullptr;
      void* p2 = nullptr;
      int32_t l1 = 0, l2 = 0;
      m.pending.assign(static_cast<size_t>(m.block_length) * 2, 0);
      m.pending_at = 0;
      if (buffer->ops.lock(*buffer, block * m.block_length * 4, m.block_length * 4, &p1, &p2, &l1, &l2)) {
        if (p1) std::memcpy(m.pending.data(), p1, static_cast<size_t>(l1));
        if (p2) std::memcpy(reinterpret_cast<uint8_t*>(m.pending.data()) + l1, p2, static_cast<size_t>(l2));
        buffer->ops.unlock(*buffer, p1, p2, l1, l2);
      }
    }
    const size_t take = std::min<size_t>(static_cast<size_t>(frames) * 2, m.pending.size() - m.pending_at);
    std::memcpy(out, m.pending.data() + m.pending_at, take * sizeof(int16_t));
    m.pending_at += take;
    out += take;
    frames -= static_cast<int32_t>(take / 2);
  }
  return true;
}

}  // namespace zv
