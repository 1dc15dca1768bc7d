// XM modules: packed patterns of any row count, instruments of up to 16
// samples with a keyboard map and envelopes, delta-coded sample data.

#include <algorithm>

#include "audio/library/formats/song_engine.h"
#include "audio/library/formats/song_reader.h"
#include "audio/library/formats/xm_player.h"

namespace zv {
namespace {

constexpr uint32_t kPatternHeaderBytes = 9;
constexpr uint32_t kSampleHeaderBytes = 40;
// An instrument's size, name, type and sample count: all one without samples holds.
constexpr uint32_t kEmptyInstrumentBytes = 29;
constexpr int kMaxRows = 256;
constexpr int kMaxEnvelopePoints = 12;

void UnpackPattern(std::span<const uint8_t> packed, int channels, SongPattern& pattern) {
  SongReader in(packed);
  pattern.data.assign(static_cast<size_t>(pattern.rows) * static_cast<size_t>(channels) * 5, 0);
  if (packed.empty()) return;
  for (size_t cell = 0; cell < static_cast<size_t>(pattern.rows) * channels && !in.AtEnd(); ++cell) {
    uint8_t* c = &pattern.data[cell * 5];
    const uint8_t b = in.U8();
    if (b & 0x80) {
      if (b & 1) c[0] = in.U8();
      if (b & 2) c[1] = in.U8();
      if (b & 4) c[2] = in.U8();
      if (b & 8) c[3] = in.U8();
      if (b & 16) c[4] = in.U8();
    } else {
      c[0] = b;
      c[1] = in.U8();
      c[2] = in.U8();
      c[3] = in.U8();
      c[4] = in.U8();
    }
    if (c[0] == 97) c[0] = 255;
    if (c[1] > 128) c[1] = 0;
  }
}

void ReadEnvelopePoints(SongReader& file, SongEnvelope& envelope) {
  for (int i = 0; i < kMaxEnvelopePoints; ++i) {
    envelope.points[static_cast<size_t>(i)].tick = file.U16();
    envelope.points[static_cast<size_t>(i)].value = static_cast<int16_t>(file.U16());
  }
}

// The envelope as read, made safe to step: at most 12 points, indices
// inside them, and off with fewer than 2 points.
void FinishEnvelope(SongEnvelope& envelope, uint8_t count, uint8_t type) {
  envelope.count = std::min<uint8_t>(count, kMaxEnvelopePoints);
  envelope.flags = type & (envelope_flag::kOn | envelope_flag::kSustain | envelope_flag::kLoop);
  if (envelope.count < 2) envelope.flags = 0;
  const uint8_t last = envelope.count ? static_cast<uint8_t>(envelope.count - 1) : 0;
  envelope.sustain_begin = std::min(envelope.sustain_begin, last);
  envelope.sustain_end = envelope.sustain_begin;
  envelope.loop_begin = std::min(envelope.loop_begin, last);
  envelope.loop_end = std::min(envelope.loop_end, last);
  if (envelope.loop_begin > envelope.loop_end) envelope.flags &= static_cast<uint8_t>(~envelope_flag::kLoop);
  for (int i = 0; i < envelope.count; ++i)
    envelope.points[static_cast<size_t>(i)].value = std::clamp<int16_t>(envelope.points[static_cast<size_t>(i)].value, 0, 64);
}

struct SampleFile {
  uint32_t bytes = 0;
};

void ReadSampleHeader(Song& song, SongReader& file, SongSample& sample, SampleFile& where) {
  where.bytes = file.U32();
  uint32_t loop_start = file.U32();
  uint32_t loop_length = file.U32();
  sample.default_volume = std::min<int32_t>(file.U8(), 64);
  sample.finetune = file.S8();
  const uint8_t type = file.U8();
  sample.default_pan = file.U8();
  sample.relative_note = file.S8();
  file.U8();
  sample.name = file.Text(22);
  sample.bits = (type & 16) ? 16 : 8;
  uint32_t length = where.bytes;
  if (sample.bits == 16) {
    length /= 2;
    loop_start /= 2;
    loop_length /= 2;
  }
  // What the file can hold, within the song's budget.
  const size_t most = std::min<size_t>(file.Size(), 0x7FFFFFFF) / (sample.bits / 8);
  length = static_cast<uint32_t>(SongEngine::TakeSampleFrames(song, std::min<size_t>(length, most)));
  sample.length = static_cast<int32_t>(length);
  const uint8_t loop = type & 3;
  if (loop == 0 || loop_length == 0 || loop_start >= length) {
    sample.loop_mode = sample_loop::kOff;
    sample.loop_start = 0;
    sample.loop_length = sample.length;
  } else {
    sample.loop_mode = (loop & 2) ? sample_loop::kBidirectional : sample_loop::kNormal;
    sample.loop_start = static_cast<int32_t>(loop_start);
    sample.loop_length = static_cast<int32_t>(std::min(loop_length, length - loop_start));
  }
}

// Delta-coded signed data; what the file lacks is silence.
void ReadSampleData(SongReader& file, const SampleFile& where, SongSample& sample) {
  const size_t available = std::min<size_t>(where.bytes, file.Remaining());
  const size_t frames = sample.bits == 16 ? available / 2 : available;
  const auto length = static_cast<size_t>(sample.length);
  sample.data.assign(std::min(length, frames), 0);
  int32_t sum = 0;
  for (int16_t& v : sample.data) {
    sum += sample.bits == 16 ? static_cast<int16_t>(file.U16()) : file.S8();
    v = sample.bits == 16 ? static_cast<int16_t>(sum) : static_cast<int16_t>(static_cast<int8_t>(sum) * 256);
  }
  // Skip what was not kept, so the next sample starts where it should.
  file.Skip(where.bytes - (sample.bits == 16 ? sample.data.size() * 2 : sample.data.size()));
  if (sample.data.size() < length) {
    sample.length = static_cast<int32_t>(sample.data.size());
    if (sample.loop_start + sample.loop_length > sample.length) {
      sample.loop_mode = sample_loop::kOff;
      sample.loop_start = 0;
      sample.loop_length = sample.length;
    }
  }
}

}  // namespace

bool LoadXmModule(Song& song, std::span<const uint8_t> image) {
  SongReader file(image);
  if (!file.Matches(0, "Extended Module: ")) {
    song.engine.SetError(song_error::kBadFormat);
    return false;
  }
  song.format = SongFormat::kXm;
  song.tick_function = XmTick;
  song.master_volume = 256;
  song.initial_global_volume = 64;
  song.sample_count = 0;
  file.Seek(17);
  song.name = file.Text(20);
  file.Seek(37);
  if (file.U8() != 0x1A) {
    song.engine.SetError(song_error::kBadFormat);
    return false;
  }
  file.Seek(60);
  const uint32_t header_size = file.U32();
  song.order_count = std::min<int32_t>(file.U16(), 256);
  song.restart_order = static_cast<uint16_t>(std::min<int32_t>(file.U16(), 255));
  const uint16_t channels = file.U16();
  const uint16_t file_patterns = file.U16();
  const uint16_t instruments = file.U16();
  song.format_flags = file.U16();
  song.initial_speed = file.U16();
  song.initial_tempo = file.U16();
  // The song keeps 64 channels' settings.
  if (channels > 64) {
    song.engine.SetError(song_error::kBadFormat);
    return false;
  }
  song.channel_count = channels;
  song.default_pan.fill(128);
  song.default_channel_volume.fill(64);
  int32_t highest = -1;
  for (int i = 0; i < 256; ++i) {
    song.orders[static_cast<size_t>(i)] = file.U8();
    if (i < song.order_count) highest = std::max<int32_t>(highest, song.orders[static_cast<size_t>(i)]);
  }
  song.referenced_pattern_count = highest + 1;
  song.pattern_count =
      std::max<int32_t>(std::min<int32_t>(file_patterns, kMaxSongTable), song.referenced_pattern_count);
  song.patterns.resize(static_cast<size_t>(song.pattern_count));

  size_t at = 60 + static_cast<size_t>(header_size);
  SongPattern unused;
  for (int32_t p = 0; p < std::max<int32_t>(song.pattern_count, file_patterns); ++p) {
    // Patterns past the table are read over, to find the instruments.
    SongPattern& pattern = p < song.pattern_count ? song.patterns[static_cast<size_t>(p)] : unused;
    if (p >= file_patterns) {
      pattern.rows = 64;
      pattern.data.assign(64u * channels * 5, 0);
      continue;
    }
    file.Seek(at + 5);
    // Trackers write at most 256 rows; more cannot be a pattern of ours.
    pattern.rows = std::min<uint32_t>(file.U16(), kMaxRows);
    const uint16_t packed = file.U16();
    song.cut.Note(SongCutParts::kPattern, at + kPatternHeaderBytes + packed, file.Size());
    at += kPatternHeaderBytes;
    if (&pattern != &unused) UnpackPattern(file.Bytes(at, packed), channels, pattern);
    at += packed;
  }

  song.instrument_count = std::min<int32_t>(instruments, kMaxSongTable);
  song.instruments.resize(static_cast<size_t>(song.instrument_count));
  file.Seek(at);
  for (SongInstrument& instrument : song.instruments) {
    const size_t start = file.Tell();
    const uint32_t size = file.U32();
    instrument.name = file.Text(22);
    file.U8();
    const uint16_t count = file.U16();
    if (count > 16) {
      song.engine.SetError(song_error::kNoData);
      return false;
    }
    instrument.samples.fill(&InvalidSongSample());
    instrument.sample_count = count;
    if (count == 0) {
      song.cut.Note(SongCutParts::kInstrument, start + kEmptyInstrumentBytes, file.Size());
      file.Seek(start + size);
      continue;
    }
    song.cut.Note(SongCutParts::kInstrument, start + size, file.Size());
    file.U32();
    for (uint8_t& slot : instrument.sample_map) slot = file.U8();
    ReadEnvelopePoints(file, instrument.volume_envelope);
    ReadEnvelopePoints(file, instrument.pan_envelope);
    const uint8_t volume_points = file.U8();
    const uint8_t pan_points = file.U8();
    instrument.volume_envelope.sustain_begin = file.U8();
    instrument.volume_envelope.loop_begin = file.U8();
    instrument.volume_envelope.loop_end = file.U8();
    instrument.pan_envelope.sustain_begin = file.U8();
    instrument.pan_envelope.loop_begin = file.U8();
    instrument.pan_envelope.loop_end = file.U8();
    const uint8_t volume_type = file.U8();
    const uint8_t pan_type = file.U8();
    FinishEnvelope(instrument.volume_envelope, volume_points, volume_type);
    FinishEnvelope(instrument.pan_envelope, pan_points, pan_type);
    instrument.vibrato_type = file.U8();
    instrument.vibrato_sweep = file.U8();
    instrument.vibrato_depth = file.U8();
    instrument.vibrato_rate = file.U8();
    instrument.fade_out = file.U16() * 2;

    file.Seek(start + size);
    std::vector<SampleFile> where(count);
    for (int i = 0; i < count; ++i) {
      const size_t header = file.Tell();
      SongSample* sample = song.engine.NewSongSample(song);
      ReadSampleHeader(song, file, *sample, where[static_cast<size_t>(i)]);
      file.Seek(header + kSampleHeaderBytes);
      instrument.samples[static_cast<size_t>(i)] = sample;
    }
    // The samples' data follow their headers, one after another.
    uint64_t claimed = start + size + uint64_t{count} * kSampleHeaderBytes;
    for (int i = 0; i < count; ++i) {
      const SampleFile& sample_file = where[static_cast<size_t>(i)];
      claimed += sample_file.bytes;
      const uint64_t header_end = start + size + uint64_t{kSampleHeaderBytes} * (i + 1);
      song.cut.Note(SongCutParts::kSample, sample_file.bytes > 0 ? claimed : header_end, file.Size());
      ReadSampleData(file, sample_file, *instrument.samples[static_cast<size_t>(i)]);
    }
  }
  song.sample_count = static_cast<int32_t>(song.samples.size());
  return true;
}

}  // namespace zv
