// IT modules: instruments with keyboard tables and three envelopes,
// samples plain or packed, patterns kept in their packed form.

#include <algorithm>

#include "audio/library/formats/it_player.h"
#include "audio/library/formats/it_sample_unpack.h"
#include "audio/library/formats/song_engine.h"
#include "audio/library/formats/song_reader.h"

namespace zv {
namespace {

constexpr int kEnvelopeNodes = 25;
// An empty pattern: 64 rows, each only its end byte.
constexpr uint32_t kEmptyRows = 64;
// A pattern's packed length, its rows and four bytes unused.
constexpr size_t kPatternHeaderBytes = 8;

void ReadEnvelope(SongReader& file, SongEnvelope& envelope, bool pitch) {
  const uint8_t flags = file.U8();
  envelope.count = std::min<uint8_t>(file.U8(), kEnvelopeNodes);
  envelope.loop_begin = file.U8();
  envelope.loop_end = file.U8();
  envelope.sustain_begin = file.U8();
  envelope.sustain_end = file.U8();
  for (int i = 0; i < kEnvelopeNodes; ++i) {
    EnvelopePoint& p = envelope.points[static_cast<size_t>(i)];
    p.value = file.S8();
    p.tick = file.U16();
  }
  file.U8();
  envelope.flags = 0;
  if (flags & 1) envelope.flags |= envelope_flag::kOn;
  if (flags & 2) envelope.flags |= envelope_flag::kLoop;
  if (flags & 4) envelope.flags |= envelope_flag::kSustain;
  if (flags & 8) envelope.flags |= envelope_flag::kCarry;
  if (envelope.count < 2 || (pitch && (flags & 0x80))) envelope.flags &= static_cast<uint8_t>(~envelope_flag::kOn);
  // Loop points outside the nodes would step past them.
  const uint8_t last = envelope.count ? static_cast<uint8_t>(envelope.count - 1) : 0;
  if (envelope.loop_begin > last || envelope.loop_end > last)
    envelope.flags &= static_cast<uint8_t>(~envelope_flag::kLoop);
  if (envelope.sustain_begin > last || envelope.sustain_end > last)
    envelope.flags &= static_cast<uint8_t>(~envelope_flag::kSustain);
}

bool ReadInstrument(SongReader& file, size_t at, SongInstrument& instrument) {
  if (!file.Matches(at, "IMPI")) return false;
  file.Seek(at + 16);
  file.U8();
  instrument.nna = file.U8() & 3;
  instrument.dct = file.U8() & 3;
  instrument.dca = file.U8() % 3;
  instrument.fade_out = file.U16();
  instrument.pitch_pan_separation = file.S8();
  instrument.pitch_pan_centre = file.U8();
  instrument.global_volume = std::min<int32_t>(file.U8(), 128);
  instrument.default_pan = file.U8();
  instrument.random_volume = file.U8();
  instrument.random_pan = file.U8();
  file.U16();
  instrument.sample_count = file.U8();
  file.U8();
  instrument.name = file.Text(26);
  file.Skip(2);
  file.U8();
  file.U8();
  file.Skip(2);
  for (int n = 0; n < 120; ++n) {
    instrument.key_note[static_cast<size_t>(n)] = std::min<uint8_t>(file.U8(), 119);
    instrument.key_sample[static_cast<size_t>(n)] = file.U8();
  }
  ReadEnvelope(file, instrument.volume_envelope, false);
  ReadEnvelope(file, instrument.pan_envelope, false);
  ReadEnvelope(file, instrument.pitch_envelope, true);
  for (int i = 0; i < instrument.volume_envelope.count; ++i) {
    EnvelopePoint& p = instrument.volume_envelope.points[static_cast<size_t>(i)];
    p.value = std::clamp<int16_t>(p.value, 0, 64);
  }
  return true;
}

struct SampleFile {
  size_t offset = 0;
  bool packed = false;
};

bool ReadSampleHeader(Song& song, SongReader& file, size_t at, uint16_t version, SongSample& sample,
                      SampleFile& where) {
  if (!file.Matches(at, "IMPS")) return false;
  file.Seek(at + 16);
  file.U8();
  sample.global_volume = std::min<int32_t>(file.U8(), 64);
  const uint8_t flags = file.U8();
  sample.default_volume = std::min<int32_t>(file.U8(), 64);
  sample.name = file.Text(26);
  const uint8_t convert = file.U8();
  sample.default_pan = file.U8();
  uint32_t length = file.U32();
  const uint32_t loop_begin = file.U32();
  const uint32_t loop_end = file.U32();
  sample.middle_c_rate = file.U32();
  if (sample.middle_c_rate == 0) sample.middle_c_rate = 8363;
  sample.sustain_start = static_cast<int32_t>(std::min<uint32_t>(file.U32(), 0x7FFFFFFF));
  sample.sustain_end = static_cast<int32_t>(std::min<uint32_t>(file.U32(), 0x7FFFFFFF));
  where.offset = file.U32();
  sample.vibrato_speed = file.U8();
  sample.vibrato_depth = file.U8();
  sample.vibrato_rate = file.U8();
  sample.vibrato_type = file.U8();
  sample.bits = (flags & 2) ? 16 : 8;
  // Packed data is marked per sample; the version only tells which packing.
  where.packed = (flags & 8) && version >= 0x214;
  (void)convert;
  // What the file claims for the data of a sample that has some.
  if ((flags & 1) && length > 0) {
    const uint64_t claimed_end = where.packed
                                     ? ItPackedSampleEnd(file.Bytes(0, file.Size()), where.offset, length, flags & 2)
                                     : where.offset + uint64_t{length} * (sample.bits / 8);
    song.cut.Note(SongCutParts::kSample, claimed_end, file.Size());
  }
  // No more frames than the file could hold: plain data at its width, packed
  // data at one bit a frame at best.
  const size_t remaining = where.offset < file.Size() ? file.Size() - where.offset : 0;
  const size_t most = where.packed ? remaining * 8 : remaining / (sample.bits / 8);
  length = static_cast<uint32_t>(SongEngine::TakeSampleFrames(song, std::min<size_t>(length, most)));
  sample.length = static_cast<int32_t>(length);
  const uint32_t loop_length = loop_end > loop_begin ? loop_end - loop_begin : 0;
  if (!(flags & 16) || loop_length == 0 || loop_begin >= length) {
    sample.loop_mode = sample_loop::kOff;
    sample.loop_start = 0;
    sample.loop_length = sample.length;
  } else {
    sample.loop_mode = (flags & 64) ? sample_loop::kBidirectional : sample_loop::kNormal;
    sample.loop_start = static_cast<int32_t>(loop_begin);
    sample.loop_length = static_cast<int32_t>(std::min(loop_length, length - loop_begin));
  }
  where.packed = where.packed && length > 0;
  return true;
}

void ReadSampleData(SongReader& file, const SampleFile& where, uint16_t version, uint8_t convert_signed,
                    SongSample& sample) {
  const auto frames = static_cast<size_t>(sample.length);
  if (where.packed) {
    UnpackItSample(file.Bytes(where.offset, file.Size()), sample.bits == 16, version == 0x215, sample.data, frames);
    return;
  }
  sample.data.assign(frames, 0);
  file.Seek(where.offset);
  const bool is_signed = convert_signed & 1;
  for (int16_t& v : sample.data) {
    if (sample.bits == 16) {
      const uint16_t raw = file.U16();
      v = static_cast<int16_t>(is_signed ? raw : raw ^ 0x8000);
    } else {
      const uint8_t raw = file.U8();
      v = static_cast<int16_t>(static_cast<int8_t>(is_signed ? raw : raw ^ 0x80) * 256);
    }
  }
}

}  // namespace

bool LoadItModule(Song& song, std::span<const uint8_t> image) {
  SongReader file(image);
  SongEngine& engine = song.engine;
  if (!file.Matches(0, "IMPM")) {
    engine.SetError(song_error::kBadFormat);
    return false;
  }
  song.format = SongFormat::kIt;
  song.tick_function = ItTick;
  song.reset_hook = ItReset;
  song.channel_count = 64;
  song.master_volume = 256;
  file.Seek(4);
  song.name = file.Text(26);
  file.Seek(32);
  const uint16_t order_entries = file.U16();
  const uint16_t instruments = file.U16();
  const uint16_t samples = file.U16();
  const uint16_t file_patterns = file.U16();
  file.U16();
  song.compatible_version = file.U16();
  song.format_flags = file.U16();
  file.U16();
  song.initial_global_volume = static_cast<uint8_t>(std::min<int32_t>(file.U8(), 128));
  song.master_volume = file.U8() * 2;
  song.initial_speed = file.U8();
  song.initial_tempo = file.U8();
  file.U8();
  file.U8();
  file.Seek(64);
  for (uint8_t& pan : song.default_pan) pan = file.U8();
  for (uint8_t& volume : song.default_channel_volume) volume = std::min<uint8_t>(file.U8(), 64);
  // The order list holds 256 entries; trailing ends (255) are cut.
  int32_t count = 0;
  for (int i = 0; i < order_entries; ++i) {
    const uint8_t entry = file.U8();
    if (i < 256) {
      song.orders[static_cast<size_t>(i)] = entry;
      if (entry != 255) count = i + 1;
    }
  }
  song.order_count = count;
  std::vector<size_t> instrument_at(instruments), sample_at(samples), pattern_at(file_patterns);
  for (size_t& at : instrument_at) at = file.U32();
  for (size_t& at : sample_at) at = file.U32();
  for (size_t& at : pattern_at) at = file.U32();

  song.instrument_count = std::min<int32_t>(instruments, kMaxSongTable);
  song.instruments.resize(static_cast<size_t>(song.instrument_count));
  for (size_t i = 0; i < song.instruments.size(); ++i) {
    if (!ReadInstrument(file, instrument_at[i], song.instruments[i])) {
      engine.SetError(song_error::kBadFormat);
      return false;
    }
  }

  const size_t kept_samples = std::min<size_t>(samples, kMaxSongTable);
  std::vector<SampleFile> where(kept_samples);
  std::vector<uint8_t> convert(kept_samples);
  for (size_t i = 0; i < kept_samples; ++i) {
    SongSample* sample = engine.NewSongSample(song);
    if (!ReadSampleHeader(song, file, sample_at[i], song.compatible_version, *sample, where[i])) {
      engine.SetError(song_error::kBadFormat);
      return false;
    }
    convert[i] = image.size() > sample_at[i] + 46 ? image[sample_at[i] + 46] : 0;
  }
  song.sample_count = static_cast<int32_t>(kept_samples);

  int32_t highest = -1;
  for (int32_t i = 0; i < song.order_count; ++i) {
    if (song.orders[static_cast<size_t>(i)] < 254) highest = std::max<int32_t>(highest, song.orders[static_cast<size_t>(i)]);
  }
  song.referenced_pattern_count = highest + 1;
  song.pattern_count =
      std::max<int32_t>(std::min<int32_t>(file_patterns, kMaxSongTable), song.referenced_pattern_count);
  song.patterns.resize(static_cast<size_t>(song.pattern_count));
  for (int32_t p = 0; p < song.pattern_count; ++p) {
    SongPattern& pattern = song.patterns[static_cast<size_t>(p)];
    const size_t at = p < file_patterns ? pattern_at[static_cast<size_t>(p)] : 0;
    if (at == 0) {
      pattern.rows = kEmptyRows;
      pattern.data.assign(kEmptyRows, 0);
      continue;
    }
    file.Seek(at);
    const uint16_t length = file.U16();
    song.cut.Note(SongCutParts::kPattern, at + kPatternHeaderBytes + length, file.Size());
    pattern.rows = file.U16();
    const auto data = file.Bytes(at + kPatternHeaderBytes, length);
    pattern.data.assign(data.begin(), data.end());
  }

  for (size_t i = 0; i < kept_samples; ++i) {
    SongSample& sample = *song.samples[i];
    if (sample.length > 0) ReadSampleData(file, where[i], song.compatible_version, convert[i], sample);
  }
  return true;
}

}  // namespace zv
