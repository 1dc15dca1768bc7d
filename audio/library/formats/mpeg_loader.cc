#include "audio/library/formats/mpeg_loader.h"

#include <algorithm>
#include <cstring>
#include <optional>

#include "audio/library/audio_error.h"
#include "audio/library/formats/mpeg_frame_sync.h"
#include "audio/library/formats/mpeg_header.h"
#include "audio/library/formats/mpeg_info_frame.h"
#include "audio/library/load_shortfall.h"

namespace zv {
namespace {

// The first frame lies within this many bytes of the data start, confirmed
// by the header one frame later; behind more junk, by two.
constexpr int64_t kNearStart = 256;
constexpr int64_t kJunkReach = int64_t{64} << 10;
// The most decoded bytes a loaded sample may hold (frames are cut there).
constexpr int64_t kMaxDecodedBytes = INT32_MAX / 2;

bool Fail() {
  SetAudioError(audio_error::kBadFormat);
  return false;
}

// The 4 bytes at `offset` of the file, as frame searches read them.
MpegPeek FilePeek(AudioFile* file, int64_t base) {
  return [file, base](int64_t offset, uint8_t* bytes) {
    const int64_t at = base + offset;
    if (offset < 0 || at > INT32_MAX) return false;
    SeekAudioFile(file, static_cast<int32_t>(at), kSeekSet);
    return ReadAudioFile(bytes, 4, file) == 4;
  };
}

// Parses four header bytes with a decoder of its own, so that trying
// candidates does not lock the probe's decoder to a layer.
bool HeaderAt(AudioFile* file, int64_t offset, MpegHeader& header) {
  uint8_t bytes[4];
  return FilePeek(file, 0)(offset, bytes) && ReadMpegHeader(bytes, header);
}

int64_t FileLength(AudioFile* file) {
  SeekAudioFile(file, 0, kSeekEnd);
  return TellAudioFile(file);
}

// Where the ID3v2 tag at `at` ends (its header, body and footer), or
// nothing when no tag starts there.
std::optional<int64_t> Id3TagEnd(AudioFile* file, int64_t at) {
  if (at > INT32_MAX) return std::nullopt;
  SeekAudioFile(file, static_cast<int32_t>(at), kSeekSet);
  uint8_t tag[10] = {};
  if (ReadAudioFile(tag, 10, file) != 10 || std::memcmp(tag, "ID3", 3) != 0) return std::nullopt;
  const int64_t size = (tag[6] & 0x7f) * (1 << 21) + (tag[7] & 0x7f) * (1 << 14) + (tag[8] & 0x7f) * (1 << 7) +
                       (tag[9] & 0x7f);
  const int64_t footer = (tag[5] & 0x10) ? 10 : 0;
  return at + 10 + size + footer;
}

// Where the audio data starts: behind tags, or the RIFF "data" chunk.
void FindAudioData(AudioFile* file, MpegProbe& probe, WavCueList* cues) {
  SeekAudioFile(file, 0, kSeekSet);
  uint8_t head[4] = {};
  ReadAudioFile(head, 4, file);
  if (std::memcmp(head, "TAG", 3) == 0) {
    probe.data_start = 128;
  } else if (std::memcmp(head, "ID3", 3) == 0) {
    // Tags may follow one another (an editor adds its own in front).
    int64_t at = 0;
    for (int tags = 0; tags < 64; ++tags) {
      const std::optional<int64_t> end = Id3TagEnd(file, at);
      if (!end) break;
      at = *end;
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

// The first frame at or behind `start`, before `end`; -1 when there is none.
int64_t FindFirstFrame(AudioFile* file, int64_t start, int64_t end) {
  const MpegPeek peek = FilePeek(file, 0);
  const int64_t near = FindMpegFrame(peek, start, {end, kNearStart, 0, 1});
  return near >= 0 ? near : FindMpegFrame(peek, start + kNearStart, {end, kJunkReach, 0, 2});
}

std::vector<uint8_t> ReadFrame(AudioFile* file, int64_t at, const MpegHeader& header) {
  std::vector<uint8_t> frame(static_cast<size_t>(header.frame_size) + 4, 0);
  SeekAudioFile(file, static_cast<int32_t>(at), kSeekSet);
  ReadAudioFile(frame.data(), static_cast<int32_t>(frame.size()), file);
  return frame;
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
  probe.skip_start = probe.skip_end = 0;
  FindAudioData(file, probe, cues);
  const int64_t file_end = FileLength(file);
  const int64_t data_end =
      probe.data_length > 0 ? std::min<int64_t>(int64_t{probe.data_start} + probe.data_length, file_end) : file_end;

  int64_t start = FindFirstFrame(file, probe.data_start, data_end);
  MpegHeader first;
  if (start < 0 || !HeaderAt(file, start, first)) return Fail();
  std::vector<uint8_t> frame = ReadFrame(file, start, first);
  // An encoder's tag frame holds no sound: the stream starts behind it.
  if (const std::optional<MpegInfoFrame> info = ReadMpegInfoFrame(frame)) {
    start += static_cast<int64_t>(frame.size());
    if (!HeaderAt(file, start, first)) return Fail();
    frame = ReadFrame(file, start, first);
    if (info->gapless) {
      probe.skip_start = info->delay + kMpegDecoderDelay;
      probe.skip_end = std::max(info->padding - kMpegDecoderDelay, 0);
    }
  }
  probe.data_start = static_cast<int32_t>(start);
  probe.data_length = static_cast<int32_t>(std::min<int64_t>(std::max<int64_t>(data_end - start, 0), INT32_MAX));
  MpegHeader second;
  int32_t frame_size = (HeaderAt(file, start + 4 + first.frame_size, second) ? second : first).frame_size + 4;
  const int rate = first.sample_rate(), channels = first.channels;

  probe.decoder->previous_frame_size = -1;
  probe.decoder->synthesis_phase = 1;
  probe.mode &= ~(sample_mode::kUnsigned | sample_mode::kSigned | sample_mode::k8Bit | sample_mode::k16Bit |
                  sample_mode::kMono | sample_mode::kStereo);
  probe.mode |= sample_mode::k16Bit | sample_mode::kSigned | (channels == 1 ? sample_mode::kMono : sample_mode::kStereo);
  probe.rate = rate;

  // Decode the first frame as a trial.
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
  probe.decoder->locked_layer = first.layer;
  probe.block_size = 5000;
  const int64_t frames = probe.total_bytes / 2 / (channels == 2 ? 2 : 1);
  probe.length_ms = static_cast<int32_t>(std::min<double>(static_cast<double>(frames) / rate * 1000.0, INT32_MAX));
  return true;
}

int64_t CountMpegFrames(AudioFile* file, int32_t bytes_per_frame, MpegSeekTable* table) {
  const int32_t start = TellAudioFile(file);
  const int64_t end = FileLength(file) - start;
  if (table) table->offsets.clear();
  const MpegPeek peek = FilePeek(file, start);
  int64_t total = 0;
  int64_t offset = 0;
  uint32_t stream = 0;
  for (;;) {
    uint8_t bytes[4];
    if (!peek(offset, bytes)) break;
    // Each header is judged alone: no layer lock carries over.
    MpegHeader header;
    if (!ReadMpegHeader(bytes, header)) {
      // A damaged header loses its frame, not the rest of the stream.
      offset = stream == 0 ? -1 : FindMpegFrame(peek, offset + 1, {end, INT64_MAX, stream, 1});
      if (offset < 0) break;
      continue;
    }
    if (stream == 0) stream = header.word;
    // A frame the file ends inside cannot be decoded: the sound ends with
    // the last whole one, and a file so cut short says what it lacks.
    const int64_t frame_end = offset + 4 + header.frame_size;
    if (frame_end > end) {
      if (SameMpegStream(header.word, stream))
        NoteLoadShortfall("its last frame", static_cast<uint64_t>(frame_end - end));
      break;
    }
    if (table) {
      if (table->offsets.size() == table->offsets.capacity()) table->offsets.reserve(table->offsets.size() + 1000);
      table->offsets.push_back(static_cast<uint32_t>(offset));
    }
    total += bytes_per_frame;
    offset += header.frame_size + 4;
    if (start + offset > INT32_MAX) break;
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
  const bool stereo = (probe.mode & sample_mode::kStereo) != 0;
  const int64_t frame_bytes = stereo ? 4 : 2;
  // What the encoder added before and after the sound is left out, as its
  // tag frame asks (unless that would leave nothing).
  int64_t skip = probe.skip_start * frame_bytes;
  int64_t kept = total - skip - probe.skip_end * frame_bytes;
  if (kept <= 0) kept = total, skip = 0;
  kept = std::min(kept, kMaxDecodedBytes);
  const int64_t frames = kept / frame_bytes;
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
  const MpegPeek peek = [&input, got](int64_t offset, uint8_t* bytes) {
    if (offset < 0 || offset + 4 > got) return false;
    std::memcpy(bytes, input.data() + offset, 4);
    return true;
  };
  const uint32_t stream = probe.decoder->header.word;

  // The trial frame must leave no trace in the sound.
  MpegDecoder& decoder = *probe.decoder;
  RestartMpegDecoder(decoder);

  void* p1 = nullptr;
  void* p2 = nullptr;
  int32_t l1 = 0, l2 = 0;
  if (LockSample(sample, 0, static_cast<int32_t>(frames * frame_bytes), &p1, &p2, &l1, &l2) && p1) {
    auto* out = static_cast<uint8_t*>(p1);
    std::vector<int16_t> pcm(kMpegMaxFrameSamples);
    // `at` is where the next frame's sound goes in the sample: below 0 while
    // the encoder's delay is passed over.
    int64_t in = 0, at = -skip;
    while (in + 4 <= got && at < l1) {
      const std::span<const uint8_t> head(input.data() + in, 4);
      int size = 0;
      if (!ParseMpegHeader(decoder, head, nullptr, nullptr, &size)) {
        // A damaged header loses its frame, not the rest of the sound.
        in = FindMpegFrame(peek, in + 1, {got, INT64_MAX, stream, 1});
        if (in < 0) break;
        continue;
      }
      const int64_t end = in + 4 + size;
      if (end > static_cast<int64_t>(input.size())) break;
      int produced = 0;
      DecodeMpegFrame(decoder, std::span<const uint8_t>(input.data() + in, static_cast<size_t>(4 + size)), pcm,
                      produced);
      const int64_t from = std::max<int64_t>(-at, 0);
      const int64_t take = std::min<int64_t>(produced, l1 - at) - from;
      if (take > 0)
        std::memcpy(out + at + from, reinterpret_cast<const uint8_t*>(pcm.data()) + from, static_cast<size_t>(take));
      at += produced;
      in = end;
    }
    UnlockSample(sample, p1, p2, l1, l2);
  }
  SetSampleLoopPoints(sample, 0, sample->length - 1);
  return sample;
}

}  // namespace zv
