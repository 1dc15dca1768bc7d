#include "audio/library/streamer.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "audio/library/audio_error.h"
#include "audio/library/formats/file_layer.h"
#include "audio/library/formats/mpeg_loader.h"
#include "audio/library/formats/wav_reader.h"
#include "audio/library/library.h"
#include "audio/library/library_state.h"
#include "audio/library/mixer.h"
#include "audio/library/timing.h"
#include "platform/clock/stop_flag.h"

namespace zv {

enum class StreamSource { kCallback, kPcm, kMpeg };

struct StreamRecord {
  StreamRecord* next = this;
  StreamRecord* prev = this;
  std::vector<DspUnit*> units;  // sorted by priority
  SampleRecord* sample = nullptr;
  AudioFile* file = nullptr;
  uint32_t cpu_stamp = 0;
  StreamSource source = StreamSource::kCallback;
  StreamFillCallback fill = nullptr;
  StreamEndCallback on_end = nullptr;
  StreamSyncCallback on_sync = nullptr;
  void* end_user = nullptr;
  void* sync_user = nullptr;
  void* fill_user = nullptr;
  MpegSeekTable frames;
  int32_t frame_pcm_bytes = 0;  // decoded bytes of one MPEG frame
  WavCueList sync_points;
  std::atomic<int32_t> next_sync{0};
  int32_t current_half = 0;
  uint32_t mode = 0;
  std::atomic<ChannelHandle> channel{kChooseChannel};
  std::vector<uint8_t> read_buffer;
  std::vector<uint8_t> decode_buffer;
  int32_t decode_left = 0;
  int32_t decode_offset = 0;
  float byte_ratio = 1.0f;
  std::atomic<float> cpu_share{0.0f};
  int32_t buffer_ms = 0;
  int32_t length_ms = 0;
  int64_t decoded_length = 0;
  std::atomic<int32_t> end_countdown{-1};
  std::atomic<float> time_ms{0.0f};
  std::atomic<int32_t> position_ms{0};
  int32_t data_length = 0;
  int32_t data_start = 0;
  std::atomic<int32_t> pending_byte_seek{-1};
  std::atomic<int32_t> pending_ms_seek{-1};
  bool from_file = false;
  int32_t frame_align = 4;
  int32_t rate = 44100;
  std::atomic<bool> playing{false};
  std::atomic<bool> paused{false};
  std::atomic<bool> finished{false};
  std::unique_ptr<WavDecoder> wav_decoder;
  std::unique_ptr<MpegDecoder> mpeg_decoder;
};

namespace {

struct StreamerState {
  StreamRecord head;
  std::thread thread;
  platform::StopFlag stop;
  std::atomic<int32_t> cpu{0};
  DspUnit* clock_unit = nullptr;
  // Held by whoever walks or changes the list on the stream thread's side
  // (the stream thread for its whole pass, the caller's thread to link or
  // unlink); `links` is also held, briefly, by the mixer thread's clock.
  std::recursive_mutex walk;
  std::mutex links;
};

StreamerState& Streamer() {
  static StreamerState state;
  return state;
}

bool NullStream(StreamRecord* s) {
  if (s) return false;
  SetAudioError(audio_error::kBadParameter);
  return true;
}

int32_t FrameBytes(uint32_t mode) {
  return ((mode & sample_mode::k16Bit) ? 2 : 1) * ((mode & sample_mode::kStereo) ? 2 : 1);
}

uint32_t NormaliseStreamMode(uint32_t mode) { return NormaliseSampleMode(mode); }

void Unlink(StreamRecord& s) {
  StreamerState& st = Streamer();
  std::lock_guard walk(st.walk);
  std::lock_guard links(st.links);
  s.prev->next = s.next;
  s.next->prev = s.prev;
  s.next = s.prev = &s;
}

void Append(StreamRecord& s) {
  StreamerState& st = Streamer();
  std::lock_guard walk(st.walk);
  std::lock_guard links(st.links);
  s.prev->next = s.next;
  s.next->prev = s.prev;
  s.prev = st.head.prev;
  s.next = &st.head;
  st.head.prev->next = &s;
  st.head.prev = &s;
}

// ---- Sources --------------------------------------------------------------

// Plain or decoded wave data, or raw PCM. False at the end of the data.
bool ReadPcm(StreamRecord& s, uint8_t* destination, int32_t& count) {
  if (destination == nullptr) {
    count = 0;
    return false;
  }
  const int64_t end = static_cast<int64_t>(s.data_start) + s.data_length;
  const int64_t at = TellAudioFile(s.file);
  if (!s.wav_decoder) {
    bool more = true;
    if (at + count >= end) {
      count = static_cast<int32_t>(std::max<int64_t>(end - at, 0));
      more = false;
    }
    const int32_t got = std::max(ReadAudioFile(destination, count, s.file), 0);
    count = got;
    return more && got > 0;
  }
  if (s.read_buffer.empty()) {
    count = 0;
    return false;
  }
  const int32_t want = static_cast<int32_t>(std::min<int64_t>(static_cast<int64_t>(s.read_buffer.size()), std::max<int64_t>(end - at, 0)));
  const int32_t got = std::max(ReadAudioFile(s.read_buffer.data(), want, s.file), 0);
  if (got == 0) {
    count = 0;
    return false;
  }
  uint32_t produced = static_cast<uint32_t>(count);
  ConvertWavData(*s.wav_decoder, s.read_buffer.data(), static_cast<uint32_t>(got), destination, produced);
  count = static_cast<int32_t>(produced);
  return true;
}

// One MPEG frame, found by its header (confirmed by the next one after a
// resynchronisation). False at the end of the data.
bool ReadMpeg(StreamRecord& s, uint8_t* destination, int32_t& count) {
  const int32_t capacity = count;
  count = 0;
  if (destination == nullptr || s.read_buffer.size() < 8) return false;
  MpegDecoder& decoder = *s.mpeg_decoder;
  int size = 0;
  for (int attempt = 0;; ++attempt) {
    uint8_t* head = s.read_buffer.data();
    if (ReadAudioFile(head, 4, s.file) != 4) return false;
    decoder.frame_size = 0;
    bool valid = ParseMpegHeader(decoder, std::span<const uint8_t>(head, 4), nullptr, nullptr, &size) &&
                 size + 4 <= static_cast<int>(s.read_buffer.size());
    if (valid && attempt > 0) {
      const int32_t here = TellAudioFile(s.file);
      SeekAudioFile(s.file, size, kSeekCurrent);
      uint8_t next[4] = {};
      valid = ReadAudioFile(next, 4, s.file) == 4 && next[0] == 0xFF && (next[1] & 0xE0) == 0xE0;
      SeekAudioFile(s.file, here, kSeekSet);
    }
    if (valid) break;
    decoder.frame_size = 0;
    SeekAudioFile(s.file, -3, kSeekCurrent);
  }
  if (ReadAudioFile(s.read_buffer.data() + 4, size, s.file) != size) {
    decoder.frame_size = 0;
    return false;
  }
  int produced = 0;
  DecodeMpegFrame(decoder, std::span<const uint8_t>(s.read_buffer.data(), static_cast<size_t>(size) + 4),
                  std::span<int16_t>(reinterpret_cast<int16_t*>(destination), static_cast<size_t>(capacity) / 2),
                  produced);
  count = produced;
  return true;
}

bool ReadSource(StreamRecord& s, uint8_t* destination, int32_t& count) {
  return s.source == StreamSource::kMpeg ? ReadMpeg(s, destination, count) : ReadPcm(s, destination, count);
}

void SeekStreamBytes(StreamRecord& s, int32_t offset, bool reset_clock) {
  if (s.source == StreamSource::kPcm && s.frame_align > 0)
    offset = (offset - s.data_start) / s.frame_align * s.frame_align + s.data_start;
  SeekAudioFile(s.file, offset, kSeekSet);
  // Whatever the decoder holds belongs to other frames (the probe's trial
  // frame, the place left, the end before a loop): decoding starts afresh,
  // as the whole file loaded from this frame on would sound.
  if (s.mpeg_decoder) RestartMpegDecoder(*s.mpeg_decoder);
  if (reset_clock) {
    const float samples = static_cast<float>(offset - s.data_start) / static_cast<float>(FrameBytes(s.mode));
    s.time_ms = samples / s.byte_ratio / static_cast<float>(s.rate) * 1000.0f - static_cast<float>(GetOutputBufferMs());
  }
}

// The first of the frames to decode and throw away before frame `index`, so
// that its bit reservoir, overlap and synthesis history are what they are in
// the whole file: the frame before it, and before that frames enough to
// hold the most main data a frame may take from the frames before it.
size_t PrerollFrom(const MpegSeekTable& frames, size_t index) {
  // Bytes of a frame that are never main data: the header, a CRC and the
  // largest side information.
  constexpr uint32_t kOverhead = 4 + 2 + 32;
  // A stream of nearly empty frames needs no more than this.
  constexpr size_t kMostFrames = 64;
  if (index == 0) return 0;
  size_t first = index - 1;
  uint32_t main_data = 0;
  while (first > 0 && main_data < kMpegMaxReservoir && index - first < kMostFrames) {
    --first;
    const uint32_t size = frames.offsets[first + 1] - frames.offsets[first];
    main_data += size > kOverhead ? size - kOverhead : 0;
  }
  return first;
}

void SeekStreamMs(StreamRecord& s, int32_t ms) {
  if (s.source == StreamSource::kMpeg && (s.mode & sample_mode::kExactMpegLength) && !s.frames.offsets.empty() &&
      !s.decode_buffer.empty()) {
    // Frames are counted in what one of them decodes to, which is a full
    // decode buffer only for MPEG-1 stereo.
    const int64_t bytes = static_cast<int64_t>(ms / 1000.0 * s.rate) * FrameBytes(s.mode);
    const uint64_t per_frame =
        s.frame_pcm_bytes > 0 ? static_cast<uint64_t>(s.frame_pcm_bytes) : s.decode_buffer.size();
    const size_t index = static_cast<size_t>(
        std::min<uint64_t>(static_cast<uint64_t>(bytes) / per_frame, s.frames.offsets.size() - 1));
    const size_t first = PrerollFrom(s.frames, index);
    SeekStreamBytes(s, s.data_start + static_cast<int32_t>(s.frames.offsets[first]), true);
    for (size_t i = first; i < index; ++i) {
      int32_t count = static_cast<int32_t>(s.decode_buffer.size());
      if (!ReadMpeg(s, s.decode_buffer.data(), count)) break;
    }
    s.time_ms = static_cast<float>(ms);
    return;
  }
  const double share = s.length_ms > 0 ? static_cast<double>(ms) / s.length_ms : 0.0;
  SeekStreamBytes(s, s.data_start + static_cast<int32_t>(share * s.data_length), true);
}

// The fill callback of file and memory streams.
bool ReadStreamData(StreamRecord* stream, void* destination, int32_t bytes, void*) {
  StreamRecord& s = *stream;
  auto* out = static_cast<uint8_t*>(destination);
  int32_t left = bytes;
  int empty_ends = 0;
  while (left > 0 && s.playing) {
    bool ended = false;
    int32_t copied = 0;
    bool direct = false;
    if (s.decode_left == 0) {
      const int32_t byte_seek = s.pending_byte_seek.exchange(-1);
      if (byte_seek >= 0) SeekStreamBytes(s, byte_seek, true);
      const int32_t ms_seek = s.pending_ms_seek.exchange(-1);
      if (ms_seek >= 0) SeekStreamMs(s, ms_seek);
      if (!s.playing) break;
      if (left < static_cast<int32_t>(s.decode_buffer.size())) {
        int32_t count = static_cast<int32_t>(s.decode_buffer.size());
        ended = !ReadSource(s, s.decode_buffer.data(), count);
        s.decode_left = std::clamp(count, 0, static_cast<int32_t>(s.decode_buffer.size()));
        s.decode_offset = 0;
      } else {
        int32_t count = left;
        ended = !ReadSource(s, out, count);
        copied = std::clamp(count, 0, left);
        direct = true;
      }
    }
    if (!direct && s.decode_left > 0) {
      copied = std::min(left, s.decode_left);
      std::memcpy(out, s.decode_buffer.data() + s.decode_offset, static_cast<size_t>(copied));
      s.decode_offset += copied;
      s.decode_left -= copied;
      if (s.decode_left == 0) s.decode_offset = 0;
    }
    if (s.mode & sample_mode::kUnsigned) {
      if (s.mode & sample_mode::k16Bit) {
        for (int32_t i = 0; i + 1 < copied; i += 2) out[i + 1] ^= 0x80;
      } else {
        for (int32_t i = 0; i < copied; ++i) out[i] ^= 0x80;
      }
    }
    out += copied;
    left -= copied;
    if (!ended) continue;
    // A looping source that gives nothing at all would loop forever.
    empty_ends = copied == 0 ? empty_ends + 1 : 0;
    if (!(s.mode & sample_mode::kLoopNormal) || empty_ends > 1) {
      std::memset(out, 0, static_cast<size_t>(left));
      s.decode_left = 0;
      return false;
    }
    SeekStreamBytes(s, s.data_start, false);
  }
  return true;
}

void FillHalf(StreamRecord& s) {
  SampleRecord& sample = *s.sample;
  const int32_t half = sample.length / 2;
  const int32_t frame = SampleFrameBytes(sample);
  void* p1 = nullptr;
  void* p2 = nullptr;
  int32_t l1 = 0, l2 = 0;
  if (!sample.ops.lock(sample, s.current_half * half * frame, half * frame, &p1, &p2, &l1, &l2) || p1 == nullptr) return;
  if (s.end_countdown == -1) {
    if (!s.fill(&s, p1, l1, s.fill_user)) s.end_countdown = GetOutputBufferMs() + 20 + s.buffer_ms;
  } else {
    std::memset(p1, 0, static_cast<size_t>(l1));
  }
  void* buffer = p1;
  for (DspUnit* unit : s.units) {
    if (unit->active && unit->callback) buffer = unit->callback(p1, buffer, half, unit->user);
  }
  sample.ops.unlock(sample, p1, p2, l1, l2);
  s.current_half = 1 - s.current_half;
}

void StreamThreadMain() {
  StreamerState& st = Streamer();
  while (!st.stop.Stopped()) {
    float total = 0;
    {
      std::lock_guard walk(st.walk);
      std::vector<StreamRecord*> streams;
      for (StreamRecord* s = st.head.next; s != &st.head; s = s->next) streams.push_back(s);
      for (StreamRecord* s : streams) {
        if (s->fill && s->sample) {
          const uint32_t position = GetChannelPosition(s->channel);
          const uint32_t half = static_cast<uint32_t>(s->sample->length / 2);
          if ((position < half && s->current_half == 1) || (position >= half && s->current_half == 0)) {
            s->cpu_stamp = ReadPerfCounter();
            FillHalf(*s);
            const float elapsed_ms = static_cast<float>(ReadPerfCounter() - s->cpu_stamp) / 1000.0f;
            s->cpu_share = 0.8f * elapsed_ms / std::max(static_cast<float>(s->buffer_ms) / 2.0f, 1.0f) * 100.0f;
          }
        }
        total += s->cpu_share;
        if (s->end_countdown > 0) {
          s->end_countdown -= 10;
          if (s->end_countdown < 1) {
            s->end_countdown = 0;
            s->finished = true;
          }
        }
        if (s->finished) StopStream(s);
      }
    }
    st.cpu = static_cast<int32_t>(total);
    st.stop.Nap(10);
  }
  st.cpu = 0;
}

// Once per mixer block: moves every playing stream's clock on by 25 ms at
// the channel's speed and fires the cue points it passed.
void* StreamClockDsp(void*, void* buffer, int32_t, void*) {
  StreamerState& st = Streamer();
  std::lock_guard links(st.links);
  for (StreamRecord* s = st.head.next; s != &st.head; s = s->next) {
    if (!s->playing || s->paused || !s->sample) continue;
    const ChannelRecord* channel = ChannelAt(s->channel & 0xfff);
    const float frequency = channel ? static_cast<float>(channel->frequency) : 0.0f;
    s->time_ms = s->time_ms + frequency * 25.0f / static_cast<float>(std::max(s->sample->default_frequency, 1));
    int32_t position = std::max(static_cast<int32_t>(s->time_ms.load()), 0);
    if (s->length_ms != 0 && position > s->length_ms)
      position = (s->mode & sample_mode::kLoopNormal) ? position % s->length_ms : s->length_ms;
    s->position_ms = position;

    const auto& points = s->sync_points.points;
    const int32_t count = static_cast<int32_t>(points.size());
    if (count == 0) continue;
    const double at = static_cast<double>(frequency) * position / 1000.0;
    if (s->next_sync >= count && at < points.back().position) s->next_sync = 0;
    while (s->next_sync < count && points[static_cast<size_t>(s->next_sync)].position <= at) {
      const WavCuePoint& point = points[static_cast<size_t>(s->next_sync)];
      if (s->on_sync) s->on_sync(s, point.label, point.position, s->sync_user);
      ++s->next_sync;
    }
  }
  return buffer;
}

StreamRecord* FinishOpen(StreamRecord* s, AudioFile* file) {
  if (s == nullptr) CloseAudioFile(file);
  return s;
}

}  // namespace

void StartStreamer() {
  StreamerState& st = Streamer();
  if (!st.thread.joinable()) {
    st.stop.Reset();
    st.thread = CreateWorkerThread(StreamThreadMain);
  }
  if (st.clock_unit == nullptr) {
    st.clock_unit = CreateDspUnit(StreamClockDsp, kStreamClockUnitPriority, nullptr);
    SetDspUnitActive(st.clock_unit, true);
  }
}

void StopStreamer() {
  StreamerState& st = Streamer();
  st.stop.Stop();
  if (st.thread.joinable()) st.thread.join();
  if (st.clock_unit) {
    FreeDspUnit(st.clock_unit);
    st.clock_unit = nullptr;
  }
  while (st.head.next != &st.head) {
    StreamRecord* s = st.head.next;
    if (!StopStream(s)) Unlink(*s);
  }
}

int32_t GetStreamerCpu() { return Streamer().cpu; }

StreamRecord* CreateStream(StreamFillCallback fill, int32_t length_bytes, uint32_t mode, int32_t rate, void* user) {
  ClearAudioErrorOnLibraryThread();
  mode = NormaliseStreamMode(mode);
  if (rate < 1) rate = 1;
  const int32_t half = length_bytes / FrameBytes(mode);
  const bool stereo = (mode & sample_mode::kStereo) != 0;
  SampleRecord* sample = AllocSample(-2, half * 2, mode | sample_mode::kDriverCreated, rate, 255, stereo ? -1 : 128, 255);
  if (sample == nullptr) return nullptr;
  SetSampleName(*sample, "Streamer Sample");
  SetSampleLoopMode(sample, kLoopModeNormal);
  SetSampleLoopPoints(sample, 0, sample->length - 1);
  auto* s = new (std::nothrow) StreamRecord();
  if (s == nullptr) {
    FreeSample(sample);
    SetAudioError(audio_error::kOutOfMemory);
    return nullptr;
  }
  s->sample = sample;
  s->fill = fill;
  s->fill_user = user;
  s->mode = mode;
  s->rate = rate;
  s->buffer_ms = static_cast<int32_t>(static_cast<int64_t>(half) * 2000 / rate);
  return s;
}

StreamRecord* OpenStream(const char* name, uint32_t mode) { return OpenStreamEx(name, mode & ~sample_mode::kMemoryImage, 0); }
StreamRecord* OpenStreamFile(const char* name, uint32_t mode) { return OpenStream(name, mode); }
StreamRecord* OpenStreamRaw(const char* name, uint32_t mode) { return OpenStream(name, mode | sample_mode::kRaw); }

StreamRecord* OpenStreamEx(const void* source, uint32_t mode, int32_t length) {
  ClearAudioErrorOnLibraryThread();
  mode = NormaliseStreamMode(mode) | sample_mode::kDriverCreated;
  if (source == nullptr) {
    SetAudioError(audio_error::kBadParameter);
    return nullptr;
  }
  const bool memory = (mode & sample_mode::kMemoryImage) != 0;
  // Network names are not streamed: there is no network source.
  if (!memory && std::strncmp(static_cast<const char*>(source), "http://", 7) == 0) {
    SetAudioError(audio_error::kFileOpen);
    return nullptr;
  }
  AudioFile* file = OpenAudioFile(source, memory ? kAudioFileMemory : kAudioFileDisk, length);
  if (file == nullptr) {
    SetAudioError(audio_error::kFileOpen);
    return nullptr;
  }

  StreamSource kind = StreamSource::kPcm;
  int32_t rate = 44100, data_start = 0, data_length = 0, frame_align = 1, length_ms = 0;
  int64_t decoded = 0;
  int32_t frame_pcm_bytes = 0;
  size_t read_size = 0, decode_size = 0;
  std::unique_ptr<WavDecoder> wav_decoder;
  std::unique_ptr<MpegDecoder> mpeg_decoder;
  MpegSeekTable frames;
  WavCueList cues;
  if (mode & sample_mode::kRaw) {
    SeekAudioFile(file, 0, kSeekEnd);
    data_length = TellAudioFile(file);
    SeekAudioFile(file, 0, kSeekSet);
    decoded = data_length;
    frame_align = FrameBytes(mode);
  } else {
    MpegProbe probe;
    probe.mode = mode;
    WavData wav;
    wav.mode = mode;
    if (ProbeMpegFile(file, probe, (mode & sample_mode::kExactMpegLength) ? &frames : nullptr, &cues)) {
      kind = StreamSource::kMpeg;
      mode = probe.mode;
      rate = probe.rate;
      data_start = probe.data_start;
      data_length = probe.data_length;
      decoded = probe.total_bytes;
      length_ms = probe.length_ms;
      mpeg_decoder = std::move(probe.decoder);
      frame_pcm_bytes = probe.frame_bytes;
      read_size = static_cast<size_t>(probe.block_size);
      while (read_size < 2048) read_size *= 2;
      decode_size = 4608;
    } else if ((cues.points.clear(), OpenWavData(file, wav, &cues))) {
      mode = wav.mode;
      rate = std::max(wav.rate, 1);
      data_start = wav.data_start;
      data_length = static_cast<int32_t>(std::min<uint32_t>(wav.data_length, INT32_MAX));
      decoded = wav.pcm_length;
      frame_align = std::max(wav.block_align, 1);
      if (wav.decoder) {
        read_size = std::max<uint32_t>(wav.decoder->BlockAlign(), 1);
        while (read_size < 2048) read_size *= 2;
        const double ratio = decoded > 0 ? static_cast<double>(data_length) / static_cast<double>(decoded) : 1.0;
        decode_size = (static_cast<size_t>(static_cast<double>(read_size) / std::max(ratio, 0.0001)) + 1) * 3 / 2;
        wav_decoder = std::move(wav.decoder);
      }
    } else {
      CloseAudioFile(file);
      SetAudioError(audio_error::kBadFormat);
      return nullptr;
    }
  }

  const int32_t half_bytes = rate * 100 / 1000 * FrameBytes(mode);
  StreamRecord* s = FinishOpen(CreateStream(ReadStreamData, half_bytes, mode, rate, nullptr), file);
  if (s == nullptr) return nullptr;
  SetSampleName(*s->sample, memory ? "" : static_cast<const char*>(source));
  s->file = file;
  s->from_file = !memory;
  s->source = kind;
  s->data_start = data_start;
  s->data_length = data_length;
  s->decoded_length = decoded;
  s->frame_align = frame_align;
  s->frames = std::move(frames);
  s->frame_pcm_bytes = frame_pcm_bytes;
  s->sync_points = std::move(cues);
  s->wav_decoder = std::move(wav_decoder);
  s->mpeg_decoder = std::move(mpeg_decoder);
  s->byte_ratio = decoded > 0 ? static_cast<float>(static_cast<double>(data_length) / static_cast<double>(decoded)) : 1.0f;
  if (kind == StreamSource::kPcm && !s->wav_decoder) s->byte_ratio = 1.0f;
  try {
    s->read_buffer.assign(read_size, 0);
    s->decode_buffer.assign(decode_size, 0);
  } catch (...) {
    CloseStream(s);
    SetAudioError(audio_error::kOutOfMemory);
    return nullptr;
  }
  s->length_ms = length_ms;
  if (s->length_ms == 0 && decoded > 0)
    s->length_ms = static_cast<int32_t>(static_cast<double>(decoded / FrameBytes(mode)) / rate * 1000.0);
  return s;
}

ChannelHandle PlayStreamEx(ChannelHandle channel, StreamRecord* s, int32_t frequency, int32_t volume, int32_t pan,
                           const float* position, const float* velocity) {
  ClearAudioErrorOnLibraryThread();
  if (!Lib().initialised || Streamer().stop.Stopped()) {
    SetAudioError(audio_error::kNotInitialised);
    return kChooseChannel;
  }
  if (NullStream(s)) return kChooseChannel;
  if (s->playing) {
    if (!IsChannelPlaying(s->channel)) s->channel = PlaySample(s->channel & 0xfff, s->sample);
    return s->channel;
  }
  if (s->file && s->pending_byte_seek < 0 && s->pending_ms_seek < 0) SeekStreamBytes(*s, s->data_start, true);
  {
    void* p1 = nullptr;
    void* p2 = nullptr;
    int32_t l1 = 0, l2 = 0;
    SampleRecord& sample = *s->sample;
    if (sample.ops.lock(sample, 0, static_cast<int32_t>(SampleByteSize(sample)), &p1, &p2, &l1, &l2)) {
      if (p1) std::memset(p1, 0, static_cast<size_t>(l1));
      if (p2) std::memset(p2, 0, static_cast<size_t>(l2));
      sample.ops.unlock(sample, p1, p2, l1, l2);
    }
  }
  std::fill(s->read_buffer.begin(), s->read_buffer.end(), 0);
  std::fill(s->decode_buffer.begin(), s->decode_buffer.end(), 0);
  s->decode_left = s->decode_offset = 0;
  s->finished = false;
  s->cpu_share = 0;
  s->next_sync = 0;
  s->current_half = 0;
  s->end_countdown = -1;
  s->playing = true;
  FillHalf(*s);
  if (s->from_file) SleepMs(100);
  Append(*s);

  const ChannelHandle h = PlaySoundEx(channel, s->sample, frequency, volume, pan, position, velocity);
  if (h == kChooseChannel) {
    StopStream(s);
    SetAudioError(audio_error::kChannelStart);
    return kChooseChannel;
  }
  s->channel = h;
  SetChannelReserved(h, true);
  return h;
}

ChannelHandle PlayStream(ChannelHandle channel, StreamRecord* stream) {
  return PlayStreamEx(channel, stream, -1, -1, -1, nullptr, nullptr);
}

bool StopStream(StreamRecord* s) {
  if (!Lib().initialised) {
    SetAudioError(audio_error::kNotInitialised);
    return false;
  }
  if (NullStream(s)) return false;
  // Held for the whole stop, so the stream thread is never in the middle of
  // refilling this stream while it stops.
  std::lock_guard walk(Streamer().walk);
  if (s->channel != kChooseChannel) {
    StopChannel(s->channel);
    SetChannelReserved(s->channel & 0xfff, false);
  }
  const bool was_playing = s->playing.exchange(false);
  s->decode_left = s->decode_offset = 0;
  s->cpu_share = 0;
  s->channel = kChooseChannel;
  Unlink(*s);
  if (was_playing && s->on_end) s->on_end(s, nullptr, 0, s->end_user);
  s->time_ms = 0;
  s->position_ms = 0;
  return true;
}

bool CloseStream(StreamRecord* s) {
  if (NullStream(s)) return false;
  if (!StopStream(s)) Unlink(*s);
  s->on_end = nullptr;
  s->end_user = nullptr;
  CloseAudioFile(s->file);
  s->file = nullptr;
  for (DspUnit* unit : s->units) delete unit;
  FreeSample(s->sample);
  delete s;
  return true;
}

bool SetStreamEndCallback(StreamRecord* s, StreamEndCallback callback, void* user) {
  ClearAudioErrorOnLibraryThread();
  if (NullStream(s)) return false;
  s->on_end = callback;
  s->end_user = user;
  return true;
}

bool SetStreamSyncCallback(StreamRecord* s, StreamSyncCallback callback, void* user) {
  ClearAudioErrorOnLibraryThread();
  if (NullStream(s)) return false;
  std::lock_guard links(Streamer().links);
  s->on_sync = callback;
  s->sync_user = user;
  return true;
}

bool SetStreamPaused(StreamRecord* s, bool paused) {
  ClearAudioErrorOnLibraryThread();
  if (NullStream(s)) return false;
  s->paused = paused;
  SetChannelPaused(s->channel, paused);
  if (paused) s->cpu_share = 0;
  return true;
}

bool GetStreamPaused(StreamRecord* s) {
  ClearAudioErrorOnLibraryThread();
  return !NullStream(s) && s->paused;
}

bool SetStreamPosition(StreamRecord* s, int32_t position) {
  ClearAudioErrorOnLibraryThread();
  if (NullStream(s)) return false;
  if (position < 0 || position >= s->data_length) {
    SetAudioError(audio_error::kBadParameter);
    return false;
  }
  if (s->source == StreamSource::kPcm && s->frame_align > 0) position = position / s->frame_align * s->frame_align;
  s->pending_byte_seek = s->data_start + position;
  return true;
}

int32_t GetStreamPosition(StreamRecord* s) {
  ClearAudioErrorOnLibraryThread();
  if (NullStream(s) || s->file == nullptr) return 0;
  return TellAudioFile(s->file) - s->data_start;
}

bool SetStreamTime(StreamRecord* s, int32_t ms) {
  ClearAudioErrorOnLibraryThread();
  if (NullStream(s)) return false;
  if (ms > s->length_ms || ms < 0) {
    SetAudioError(audio_error::kBadParameter);
    return false;
  }
  s->pending_ms_seek = ms;
  return true;
}

int32_t GetStreamTime(StreamRecord* s) {
  ClearAudioErrorOnLibraryThread();
  if (NullStream(s)) return 0;
  if (s->sample == nullptr) {
    SetAudioError(audio_error::kBadParameter);
    return 0;
  }
  return s->position_ms;
}

int32_t GetStreamLength(StreamRecord* s) {
  ClearAudioErrorOnLibraryThread();
  return NullStream(s) ? 0 : s->data_length;
}

int32_t GetStreamLengthMs(StreamRecord* s) {
  ClearAudioErrorOnLibraryThread();
  return NullStream(s) ? 0 : s->length_ms;
}

SampleHandle GetStreamSample(StreamRecord* s) {
  ClearAudioErrorOnLibraryThread();
  return NullStream(s) ? nullptr : s->sample;
}

DspUnit* CreateStreamDspUnit(StreamRecord* s, DspCallback callback, int32_t priority, void* user) {
  ClearAudioErrorOnLibraryThread();
  if (NullStream(s)) return nullptr;
  auto* unit = new (std::nothrow) DspUnit();
  if (unit == nullptr) {
    SetAudioError(audio_error::kOutOfMemory);
    return nullptr;
  }
  unit->callback = callback;
  unit->priority = priority < 0 ? 0 : priority;
  unit->user = user;
  std::lock_guard walk(Streamer().walk);
  auto at = std::upper_bound(s->units.begin(), s->units.end(), unit->priority,
                             [](int32_t p, const DspUnit* u) { return p < u->priority; });
  s->units.insert(at, unit);
  return unit;
}

}  // namespace zv
