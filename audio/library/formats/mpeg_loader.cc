#include "audio/library/formats/mpeg_loader.h"

#include <algorithm>
#include <cstring>

#include "audio/library/audio_error.h"
#include "audio/library/formats/mpeg_header.h"

namespace zv {
namespace {

constexpr int kSyncTries = 256;
// The most decoded bytes a loaded sample may hold (frames are cut there).
constexpr int64_t kMaxDecodedBytes = INT32_MAX / 2;

bool Fail() {
  SetAudioError(audio_error::kBadFormat);
  return false;
}

// Parses four header bytes with a decoder of its own, so that trying
// candidates does not lock the probe's decoder to a layer.
bool HeaderAt(AudioFile* file, int64_t offset, int* rate, int* channels, int* frame_size, int* layer = nullptr) {
  if (offset < 0 || offset > INT32_MAX) return false;
  SeekAudioFile(file, static_cast<int32_t>(offset), kSeekSet);
  uint8_t bytes[4];
  if (ReadAudioFile(bytes, 4, file) != 4) return false;
  auto scratch = std::make_unique<MpegDecoder>();
  if (!ParseMpegHeader(*scratch, bytes, rate, channels, frame_size)) return false;
  if (layer) *layer = scratch->header.layer;
  return true;
}

int64_t FileLength(AudioFile* file) {
  SeekAudioFile(file, 0, kSeekEnd);
  return TellAudioFile(file);
}

// Where the audio data starts: behind tags, or the RIFF "data" chunk.
void FindAudioData(AudioFile* file, MpegProbe& probe, WavCueList* cues) {
  SeekAudioFile(file, 0, kSeekSet);
  uint8_t head[4] = {};
  ReadAudioFile(head, 4, file);
  if (std::memcmp(head, "TAG", 3) == 0) {
    probe.data_start = 128;
  } else if (std::memcmp(head, "ID3", 3) == 0) {
    SeekAudioFile(file, 3, kSeekSet);
    uint8_t tag[7] = {};
    ReadAudioFile(tag, 7, file);
    const int64_t size = (tag[3] & 0x7f) * (1 << 21) + (tag[4] & 0x7f) * (1 << 14) + (tag[5] & 0x7f) * (1 << 7) +
                         (tag[6] & 0x7f);
    int64_t at = 10 + size;
    // Further tags, each a 3-byte id, 2 bytes, and a 2-byte size of 7-bit groups.
    for (int more = 0; more < 64; ++more) {
      SeekAudioFile(file, static_cast<int32_t>(std::min<int64_t>(at, INT32_MAX)), kSeekSet);
      uint8_t next[7] = {};
      if (ReadAudioFile(next, 7, file) != 7 || std::memcmp(next, "ID3", 3) != 0) break;
      at += 7 + next[5] * 128 + next[6];
    }
    probe.data_start = static_cast<int32_t>(std::min<int64_t>(at, INT32_MAX));
  } else {
    int32_t start = 0;
    uint32_t length = 0;
    if (ParseRiffWave(file, nullptr, &start, &length, cues, nullptr)) {
      probe.data_start = start;
      probe.data_length = static_cast<int32_t>(std::min<uint32_t>(length, INT32_MAX));
    } else {
      probe.data_start = 0;
    }
  }
}

}  // namespace

bool ProbeMpegFile(AudioFile* file, MpegProbe& probe, MpegSeekTable* table, WavCueList* cues) {
  if (file == nullptr) return Fail();
  // Made here, on the caller's thread, when a program first opens an MPEG
  // file, so that no stream's thread stops to make them while it plays.
  InitDecoderTables();
  probe.decoder = std::make_unique<MpegDecoder>();
  probe.data_start = 0;
  probe.data_length = 0;
  FindAudioData(file, probe, cues);

  int rate = 0, channels = 0, first_size = 0, layer = 0;
  bool synced = false;
  for (int tries = 0; tries < kSyncTries; ++tries) {
    if (HeaderAt(file, probe.data_start, &rate, &channels, &first_size, &layer)) {
      synced = true;
      break;
    }
    ++probe.data_start;
  }
  if (!synced) return Fail();
  int second_size = 0;
  if (!HeaderAt(file, int64_t{probe.data_start} + 4 + first_size, nullptr, nullptr, &second_size)) return Fail();
  int32_t frame_size = second_size + 4;

  const int64_t available = std::max<int64_t>(FileLength(file) - probe.data_start, 0);
  if (probe.data_length <= 0 || probe.data_length > available)
    probe.data_length = static_cast<int32_t>(std::min<int64_t>(available, INT32_MAX));

  probe.decoder->previous_frame_size = -1;
  probe.decoder->synthesis_phase = 1;
  probe.mode &= ~(sample_mode::kUnsigned | sample_mode::kSigned | sample_mode::k8Bit | sample_mode::k16Bit |
                  sample_mode::kMono | sample_mode::kStereo);
  probe.mode |= sample_mode::k16Bit | sample_mode::kSigned | (channels == 1 ? sample_mode::kMono : sample_mode::kStereo);
  probe.rate = rate;

  // Decode the first frame as a trial.
  std::vector<uint8_t> frame(static_cast<size_t>(first_size) + 4, 0);
  SeekAudioFile(file, probe.data_start, kSeekSet);
  ReadAudioFile(frame.data(), static_cast<int32_t>(frame.size()), file);
  std::vector<int16_t> scratch(kMpegMaxFrameSamples);
  int produced = 0;
  if (!DecodeMpegFrame(*probe.decoder, frame, scratch, produced)) return Fail();
  probe.frame_bytes = produced > 0 ? produced : (channels == 2 ? 2112 : 1056);

  frame_size += frame_size & 1;
  probe.frame_size = frame_size;
  if (probe.mode & sample_mode::kExactMpegLength) {
    SeekAudioFile(file, probe.data_start, kSeekSet);
    probe.total_bytes = CountMpegFrames(file, probe.frame_bytes, table);
    probe.decoder->total_decoded_bytes = static_cast<int>(std::min<int64_t>(probe.total_bytes, INT32_MAX));
  } else {
    probe.total_bytes = probe.frame_bytes + static_cast<int64_t>(static_cast<double>(probe.frame_bytes) /
                                                                 frame_size * probe.data_length);
  }
  probe.decoder->locked_layer = layer;
  probe.block_size = 5000;
  const int64_t frames = probe.total_bytes / 2 / (channels == 2 ? 2 : 1);
  probe.length_ms = static_cast<int32_t>(std::min<double>(static_cast<double>(frames) / rate * 1000.0, INT32_MAX));
  return true;
}

int64_t CountMpegFrames(AudioFile* file, int32_t bytes_per_frame, MpegSeekTable* table) {
  const int32_t start = TellAudioFile(file);
  if (table) table->offsets.clear();
  int64_t total = 0;
  int64_t offset = 0;
  auto scratch = std::make_unique<MpegDecoder>();
  for (;;) {
    uint8_t bytes[4];
    if (ReadAudioFile(bytes, 4, file) != 4) break;
    // A fresh decoder state for every header: no layer lock carries over.
    scratch->locked_layer = 0;
    scratch->frame_size = 0;
    int size = 0;
    if (!ParseMpegHeader(*scratch, bytes, nullptr, nullptr, &size)) break;
    if (table) {
      if (table->offsets.size() == table->offsets.capacity()) table->offsets.reserve(table->offsets.size() + 1000);
      table->offsets.push_back(static_cast<uint32_t>(offset));
    }
    total += bytes_per_frame;
    offset += size + 4;
    if (start + offset > INT32_MAX) break;
    SeekAudioFile(file, size, kSeekCurrent);
  }
  SeekAudioFile(file, start, kSeekSet);
  return total;
}

SampleHandle LoadMpegSample(AudioFile* file, uint32_t mode, int32_t index) {
  MpegProbe probe;
  probe.mode = mode;
  if (!ProbeMpegFile(file, probe, nullptr, nullptr)) return nullptr;
  int64_t total = probe.total_bytes;
  if (!(probe.mode & sample_mode::kExactMpegLength)) {
    SeekAudioFile(file, probe.data_start, kSeekSet);
    total = CountMpegFrames(file, probe.frame_bytes, nullptr);
  }
  if (total <= 0) {
    Fail();
    return nullptr;
  }
  total = std::min(total, kMaxDecodedBytes);
  const bool stereo = (probe.mode & sample_mode::kStereo) != 0;
  const int64_t frames = total / 2 / (stereo ? 2 : 1);
  if (frames < 1) {
    Fail();
    return nullptr;
  }
  SampleHandle sample =
      AllocSample(index, static_cast<int32_t>(frames), probe.mode, probe.rate, 255, stereo ? -1 : 128, 255);
  if (sample == nullptr) return nullptr;
  SetSampleLoopPoints(sample, 0, static_cast<int32_t>(frames) - 1);

  std::vector<uint8_t> input;
  try {
    input.assign(static_cast<size_t>(probe.data_length) + 1000, 0);
  } catch (...) {
    SetAudioError(audio_error::kOutOfMemory);
    FreeSample(sample);
    return nullptr;
  }
  SeekAudioFile(file, probe.data_start, kSeekSet);
  const int32_t got = std::max(ReadAudioFile(input.data(), probe.data_length, file), 0);

  // The trial frame must leave no trace in the sound.
  MpegDecoder& decoder = *probe.decoder;
  RestartMpegDecoder(decoder);

  void* p1 = nullptr;
  void* p2 = nullptr;
  int32_t l1 = 0, l2 = 0;
  if (LockSample(sample, 0, static_cast<int32_t>(frames * (stereo ? 4 : 2)), &p1, &p2, &l1, &l2) && p1) {
    auto* out = static_cast<uint8_t*>(p1);
    std::vector<int16_t> pcm(kMpegMaxFrameSamples);
    int64_t in = 0, written = 0;
    while (in + 4 <= got && written < l1) {
      const std::span<const uint8_t> head(input.data() + in, 4);
      int size = 0;
      if (!ParseMpegHeader(decoder, head, nullptr, nullptr, &size)) break;
      const int64_t end = in + 4 + size;
      if (end > static_cast<int64_t>(input.size())) break;
      int produced = 0;
      DecodeMpegFrame(decoder, std::span<const uint8_t>(input.data() + in, static_cast<size_t>(4 + size)), pcm,
                      produced);
      const int64_t take = std::min<int64_t>(produced, l1 - written);
      if (take > 0) std::memcpy(out + written, pcm.data(), static_cast<size_t>(take));
      written += take;
      in = end;
    }
    UnlockSample(sample, p1, p2, l1, l2);
  }
  SetSampleLoopPoints(sample, 0, sample->length - 1);
  return sample;
}

}  // namespace zv
