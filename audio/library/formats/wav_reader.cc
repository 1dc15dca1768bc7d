#include "audio/library/formats/wav_reader.h"

#include <algorithm>
#include <cstring>

#include "audio/library/audio_error.h"
#include "audio/library/load_shortfall.h"

namespace zv {
namespace {

// The most of a "fmt " chunk kept: enough for every extra field read.
constexpr uint32_t kMaxFormatBytes = 4096;
// Data lengths from here up are no length: a writer that streamed its file
// and could not go back to the header leaves all ones there, or nearly 2 GB.
constexpr uint32_t kUnstatedLength = 0x7F000000;

uint32_t Le32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
         (static_cast<uint32_t>(p[3]) << 24);
}

bool IdIs(const uint8_t* id, const char* text) { return std::memcmp(id, text, 4) == 0; }

int64_t FileLength(AudioFile* file) {
  const int32_t at = TellAudioFile(file);
  SeekAudioFile(file, 0, kSeekEnd);
  const int32_t length = TellAudioFile(file);
  SeekAudioFile(file, at, kSeekSet);
  return length;
}

void ReadCues(AudioFile* file, uint32_t size, WavCueList& cues) {
  uint8_t word[4];
  if (ReadAudioFile(word, 4, file) != 4) return;
  uint32_t count = Le32(word);
  if (count == 0) return;
  // No more records than the chunk and the file can hold.
  const int64_t left_in_file = std::max<int64_t>(FileLength(file) - TellAudioFile(file), 0);
  count = std::min<uint32_t>(count, size >= 4 ? (size - 4) / 24 : 0);
  count = static_cast<uint32_t>(std::min<int64_t>(count, left_in_file / 24));
  cues.points.assign(count, WavCuePoint{});
  for (uint32_t i = 0; i < count; ++i) {
    uint8_t record[24];
    if (ReadAudioFile(record, 24, file) != 24) {
      cues.points.resize(i);
      return;
    }
    cues.points[i].position = Le32(record + 20);
  }
}

void ReadLabels(AudioFile* file, int64_t list_data_at, uint32_t list_size, WavCueList& cues) {
  int64_t sub = 4;  // just behind the list type
  while (sub + 4 < list_size) {
    SeekAudioFile(file, static_cast<int32_t>(list_data_at + sub), kSeekSet);
    uint8_t header[8];
    if (ReadAudioFile(header, 8, file) != 8) return;
    const auto size = static_cast<int32_t>(Le32(header + 4));
    if (size < 0) return;
    if (IdIs(header, "labl") && size >= 4) {
      uint8_t id[4];
      if (ReadAudioFile(id, 4, file) != 4) return;
      const uint32_t cue = Le32(id);
      if (cue >= 1 && cue <= cues.points.size()) {
        WavCuePoint& point = cues.points[cue - 1];
        std::memset(point.label, 0, sizeof point.label);
        const int32_t text = std::min<int32_t>(size - 4, static_cast<int32_t>(sizeof point.label) - 1);
        ReadAudioFile(point.label, text, file);
      }
    }
    sub += 8 + static_cast<int64_t>(size) + (size & 1);
  }
}

}  // namespace

bool ParseRiffWave(AudioFile* file, std::vector<uint8_t>* format, int32_t* data_start, uint32_t* data_length,
                   WavCueList* cues, WavLoop* loop) {
  uint8_t head[12];
  SeekAudioFile(file, 0, kSeekSet);
  if (ReadAudioFile(head, 12, file) != 12 || !IdIs(head, "RIFF")) {
    SetAudioError(audio_error::kBadFormat);
    return false;
  }
  const uint32_t riff_size = Le32(head + 4);
  int32_t start = -1;
  uint32_t length = 0;
  bool have_format = false;
  if (format) format->clear();

  int64_t p = 4;
  while (p > 0 && p < riff_size) {
    const int64_t header_at = p + 8;
    if (header_at > INT32_MAX - 8) break;
    SeekAudioFile(file, static_cast<int32_t>(header_at), kSeekSet);
    uint8_t header[8];
    // A header beyond the end of a file cut short is no chunk.
    if (ReadAudioFile(header, 8, file) != 8) break;
    const uint32_t size = Le32(header + 4);
    const int64_t body_at = header_at + 8;
    if (IdIs(header, "fmt ") && format) {
      const uint32_t keep = std::min(size, kMaxFormatBytes);
      format->assign(std::max<uint32_t>(keep, 18), 0);
      ReadAudioFile(format->data(), static_cast<int32_t>(keep), file);
      have_format = true;
    } else if (IdIs(header, "cue ") && cues) {
      ReadCues(file, size, *cues);
    } else if (IdIs(header, "LIST")) {
      uint8_t type[4];
      if (ReadAudioFile(type, 4, file) == 4 && IdIs(type, "adtl") && cues && !cues->points.empty())
        ReadLabels(file, body_at, size, *cues);
    } else if (IdIs(header, "smpl")) {
      uint8_t sampler[60];
      if (loop && size >= 60 && ReadAudioFile(sampler, 60, file) == 60) {
        loop->start = Le32(sampler + 44);
        loop->end = Le32(sampler + 48);
      }
    } else if (IdIs(header, "data") && start == -1) {
      length = size;
      start = static_cast<int32_t>(body_at);
    }
    if (static_cast<int32_t>(size) < 0) break;
    p += 8 + static_cast<int64_t>(size) + (size & 1);
  }

  if (format && !have_format) {
    SetAudioError(audio_error::kBadFormat);
    return false;
  }
  if (start == -1) {
    if (format) format->clear();
    if (data_start) *data_start = 0;
    return false;
  }
  // The data cannot be longer than what the file holds after its start;
  // a file cut short inside them says what it lacks.
  const int64_t available = std::max<int64_t>(FileLength(file) - start, 0);
  if (length > available) {
    if (length < kUnstatedLength) NoteLoadShortfall("its sound data", length - static_cast<uint64_t>(available));
    length = static_cast<uint32_t>(available);
  }
  if (data_start) *data_start = start;
  if (data_length) *data_length = length;
  return true;
}

bool OpenWavData(AudioFile* file, WavData& data, WavCueList* cues) {
  data.data_start = -1;
  data.decoder.reset();
  if (file == nullptr) return false;
  std::vector<uint8_t> chunk;
  if (!ParseRiffWave(file, &chunk, &data.data_start, &data.data_length, cues, &data.loop)) return false;
  WaveFormat format;
  // A sample's rate is a signed 32-bit number: a larger one would play as another.
  if (!ParseWaveFormat(chunk, format) || format.channels < 1 || format.channels > 2 || format.rate == 0 ||
      format.rate > INT32_MAX) {
    SetAudioError(audio_error::kBadFormat);
    return false;
  }
  int out_bits = format.bits;
  if (format.tag == wave_tag::kPcm && (format.bits == 8 || format.bits == 16)) {
    data.pcm_length = data.data_length;
  } else {
    data.decoder = MakeWavDecoder(format);
    if (!data.decoder) {
      SetAudioError(audio_error::kBadFormat);
      return false;
    }
    data.pcm_length = data.decoder->DecodedSize(data.data_length);
    out_bits = 16;
  }
  uint32_t mode = data.mode & ~(sample_mode::kUnsigned | sample_mode::kSigned | sample_mode::k8Bit |
                                sample_mode::k16Bit | sample_mode::kMono | sample_mode::kStereo);
  mode |= out_bits == 8 ? (sample_mode::k8Bit | sample_mode::kUnsigned) : (sample_mode::k16Bit | sample_mode::kSigned);
  mode |= format.channels == 1 ? sample_mode::kMono : sample_mode::kStereo;
  data.mode = mode;
  data.rate = static_cast<int32_t>(format.rate);
  data.block_align = format.block_align;
  return true;
}

bool ConvertWavData(WavDecoder& decoder, const uint8_t* source, uint32_t source_length, uint8_t* destination,
                    uint32_t& destination_length) {
  destination_length =
      static_cast<uint32_t>(decoder.Decode(source, source_length, destination, destination_length));
  return true;
}

SampleHandle LoadWavSample(AudioFile* file, uint32_t mode, int32_t index) {
  WavData data;
  data.mode = mode;
  if (!OpenWavData(file, data, nullptr)) return nullptr;
  const bool wide = (data.mode & sample_mode::k16Bit) != 0;
  const bool stereo = (data.mode & sample_mode::kStereo) != 0;
  const uint32_t frame = (wide ? 2u : 1u) * (stereo ? 2u : 1u);
  const int64_t frames = data.pcm_length / frame;
  if (frames < 1 || frames > INT32_MAX / 4) {
    SetAudioError(frames < 1 ? audio_error::kBadFormat : audio_error::kOutOfMemory);
    return nullptr;
  }
  SampleHandle sample =
      AllocSample(index, static_cast<int32_t>(frames), data.mode, data.rate, 255, stereo ? -1 : 128, 255);
  if (sample == nullptr) return nullptr;
  SetSampleLoopPoints(sample, 0, static_cast<int32_t>(frames) - 1);

  std::vector<uint8_t> source;
  if (data.decoder) {
    try {
      source.assign(data.data_length, 0);
    } catch (...) {
      SetAudioError(audio_error::kOutOfMemory);
      FreeSample(sample);
      return nullptr;
    }
  }
  SeekAudioFile(file, data.data_start, kSeekSet);
  void* p1 = nullptr;
  void* p2 = nullptr;
  int32_t l1 = 0, l2 = 0;
  uint32_t produced = 0;
  if (LockSample(sample, 0, static_cast<int32_t>(frames * frame), &p1, &p2, &l1, &l2) && p1) {
    auto* out = static_cast<uint8_t*>(p1);
    if (data.decoder) {
      const int32_t got = ReadAudioFile(source.data(), static_cast<int32_t>(source.size()), file);
      produced = static_cast<uint32_t>(l1);
      ConvertWavData(*data.decoder, source.data(), static_cast<uint32_t>(std::max(got, 0)), out, produced);
    } else {
      const int32_t want = static_cast<int32_t>(std::min<int64_t>(l1, data.data_length));
      const int32_t got = std::max(ReadAudioFile(out, want, file), 0);
      produced = static_cast<uint32_t>(got);
      // 8-bit wave data is unsigned; the sample holds it signed. Only what
      // was read is turned, so a data chunk cut short ends in silence.
      if (!wide) {
        for (int32_t i = 0; i < got; ++i) out[i] ^= 0x80;
      }
    }
    UnlockSample(sample, p1, p2, l1, l2);
  }
  const int64_t decoded_frames = produced / frame;
  if (data.decoder && decoded_frames >= 1 && decoded_frames < sample->length) {
    sample->length = static_cast<int32_t>(decoded_frames);
    sample->loop_length = std::min(sample->loop_length, sample->length);
  }
  if (data.loop.start == 0 && data.loop.end == 0) {
    SetSampleLoopPoints(sample, 0, sample->length - 1);
  } else {
    SetSampleLoopPoints(sample, static_cast<int32_t>(std::min<uint32_t>(data.loop.start, INT32_MAX)),
                        static_cast<int32_t>(std::min<uint32_t>(data.loop.end, INT32_MAX)));
    SetSampleLoopMode(sample, kLoopModeNormal);
  }
  return sample;
}

}  // namespace zv
