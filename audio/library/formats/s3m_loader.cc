// S3M modules: up to 32 file channels mapped onto the song's channels,
// packed 64-row patterns, unsigned sample data.

#include <algorithm>

#include "audio/library/formats/s3m_player.h"
#include "audio/library/formats/song_engine.h"
#include "audio/library/formats/song_reader.h"

namespace zv {
namespace {

constexpr int kRows = 64;
constexpr uint8_t kUnmapped = 255;
constexpr size_t kSampleHeaderBytes = 80;
constexpr uint8_t kSampleType = 1;  // an instrument that holds a sample (not an AdLib one)

struct S3mSampleFile {
  size_t data_offset = 0;
};

void ReadSampleHeader(Song& song, SongReader& file, size_t at, SongSample& sample, S3mSampleFile& where) {
  file.Seek(at + 13);
  const uint32_t high = file.U8();
  const uint32_t low = file.U16();
  where.data_offset = static_cast<size_t>((high << 16) + low) * 16;
  uint32_t length = file.U32();
  const uint32_t loop_begin = file.U32();
  const uint32_t loop_end = file.U32();
  sample.default_volume = file.U8();
  file.Skip(2);
  const uint8_t flags = file.U8();
  sample.middle_c_rate = file.U16();
  file.Seek(at + 48);
  sample.name = file.Text(28);
  sample.bits = (flags & 4) ? 16 : 8;
  const size_t bytes_per_frame = sample.bits / 8;
  // What the file claims for it: its header, and the data of one that holds a sample.
  uint64_t claimed_end = at + kSampleHeaderBytes;
  const auto type = file.Bytes(at, 1);
  if (!type.empty() && type[0] == kSampleType && length > 0)
    claimed_end = std::max<uint64_t>(claimed_end, where.data_offset + uint64_t{length} * bytes_per_frame);
  song.cut.Note(SongCutParts::kSample, claimed_end, file.Size());
  // Data the file does not hold cannot sound; the sample ends with the file.
  const size_t available = where.data_offset < file.Size() ? (file.Size() - where.data_offset) / bytes_per_frame : 0;
  length = static_cast<uint32_t>(SongEngine::TakeSampleFrames(song, std::min<size_t>(length, available)));
  sample.length = static_cast<int32_t>(length);
  const uint32_t loop_length = loop_end > loop_begin ? loop_end - loop_begin : 0;
  if (!(flags & 1) || loop_length < 3 || loop_begin >= length) {
    sample.loop_mode = sample_loop::kOff;
    sample.loop_start = 0;
    sample.loop_length = sample.length;
  } else {
    sample.loop_mode = sample_loop::kNormal;
    sample.loop_start = static_cast<int32_t>(loop_begin);
    sample.loop_length = static_cast<int32_t>(std::min(loop_length, length - loop_begin));
  }
}

void ReadSampleData(SongReader& file, const S3mSampleFile& where, SongSample& sample) {
  sample.data.assign(static_cast<size_t>(sample.length), 0);
  file.Seek(where.data_offset);
  for (int16_t& v : sample.data) {
    if (sample.bits == 16)
      v = static_cast<int16_t>(file.U16() ^ 0x8000);
    else
      v = static_cast<int16_t>((file.U8() ^ 0x80) << 8);
  }
}

uint8_t NoteOfFile(uint8_t b) {
  if (b == 0xFE) return 255;
  if (b == 0xFF) return 0;
  return static_cast<uint8_t>((b >> 4) * 12 + (b & 15) + 1);
}

void UnpackPattern(Song& song, SongReader& file, size_t at, const uint8_t* channel_map, int channels,
                   SongPattern& pattern) {
  pattern.rows = kRows;
  pattern.data.assign(static_cast<size_t>(kRows * channels * 5), 0);
  if (at == 0) return;  // no data: an empty pattern
  // Its packed length, its own two bytes at least.
  file.Seek(at);
  song.cut.Note(SongCutParts::kPattern, at + std::max<uint16_t>(file.U16(), 2), file.Size());
  file.Seek(at + 2);
  for (int row = 0; row < kRows && !file.AtEnd(); ++row) {
    for (;;) {
      const uint8_t flag = file.U8();
      if (flag == 0) break;
      uint8_t cell[5] = {};
      if (flag & 0x20) {
        cell[0] = NoteOfFile(file.U8());
        cell[1] = file.U8();
      }
      if (flag & 0x40) cell[2] = static_cast<uint8_t>(file.U8() + 1);
      if (flag & 0x80) {
        cell[3] = file.U8();
        cell[4] = file.U8();
      }
      const uint8_t channel = channel_map[flag & 31];
      if (channel == kUnmapped) continue;
      std::copy(cell, cell + 5, &pattern.data[(static_cast<size_t>(row) * channels + channel) * 5]);
    }
  }
}

}  // namespace

bool LoadS3mModule(Song& song, std::span<const uint8_t> image) {
  SongReader file(image);
  if (!file.Matches(44, "SCRM")) {
    song.engine.SetError(song_error::kBadFormat);
    return false;
  }
  song.format = SongFormat::kS3m;
  song.tick_function = S3mTick;
  song.master_volume = 256;
  song.initial_speed = 6;
  song.initial_tempo = 125;
  song.initial_global_volume = 64;
  song.restart_order = 0;

  song.name = file.Text(28);
  file.Seek(32);
  const uint16_t order_count = file.U16();
  const uint16_t instrument_count = file.U16();
  const uint16_t file_pattern_count = file.U16();
  const uint16_t flags = file.U16();
  const uint16_t version = file.U16();
  if ((flags & 0x40) || (version & 0xFFF) == 0x300) song.format_flags |= 1;
  file.Seek(48);
  song.initial_global_volume = file.U8();
  song.initial_speed = file.U8();
  song.initial_tempo = file.U8();
  const uint8_t master = file.U8();
  file.U8();  // ultra-click
  const uint8_t pan_table = file.U8();

  uint8_t channel_map[32];
  file.Seek(64);
  song.channel_count = 0;
  for (int i = 0; i < 32; ++i) {
    const uint8_t setting = file.U8();
    if (setting < 16) {
      channel_map[i] = static_cast<uint8_t>(song.channel_count);
      song.default_pan[static_cast<size_t>(song.channel_count)] = setting < 8 ? 0 : 255;
      ++song.channel_count;
    } else {
      channel_map[i] = kUnmapped;
    }
  }
  song.default_channel_volume.fill(64);

  // The order list holds 256 entries; markers (254) and the end (255) go.
  file.Seek(96);
  int32_t kept = 0;
  int32_t highest = -1;
  for (int i = 0; i < order_count; ++i) {
    const uint8_t entry = file.U8();
    if (entry >= 0xFE || kept >= 256) continue;
    song.orders[static_cast<size_t>(kept++)] = entry;
    highest = std::max<int32_t>(highest, entry);
  }
  song.order_count = kept;
  song.referenced_pattern_count = highest + 1;

  std::vector<size_t> instrument_at(instrument_count), pattern_at(file_pattern_count);
  for (size_t& at : instrument_at) at = static_cast<size_t>(file.U16()) * 16;
  for (size_t& at : pattern_at) at = static_cast<size_t>(file.U16()) * 16;
  if (pan_table == 0xFC) {
    for (int i = 0; i < 32; ++i) {
      const uint8_t pan = file.U8();
      if (channel_map[i] != kUnmapped && (pan & 0x20))
        song.default_pan[channel_map[i]] = static_cast<uint8_t>((pan & 15) * 16);
    }
  }
  if (!(master & 0x80)) std::fill(song.default_pan.begin(), song.default_pan.begin() + 32, 128);

  const size_t samples = std::min<size_t>(instrument_count, kMaxSongTable);
  std::vector<S3mSampleFile> where(samples);
  for (size_t i = 0; i < samples; ++i) {
    SongSample* sample = song.engine.NewSongSample(song);
    ReadSampleHeader(song, file, instrument_at[i], *sample, where[i]);
  }
  song.sample_count = static_cast<int32_t>(samples);

  song.pattern_count =
      std::max<int32_t>(std::min<int32_t>(file_pattern_count, kMaxSongTable), song.referenced_pattern_count);
  song.patterns.resize(static_cast<size_t>(song.pattern_count));
  for (int32_t p = 0; p < song.pattern_count; ++p) {
    const size_t at = p < file_pattern_count ? pattern_at[static_cast<size_t>(p)] : 0;
    UnpackPattern(song, file, at, channel_map, song.channel_count, song.patterns[static_cast<size_t>(p)]);
  }
  for (size_t i = 0; i < samples; ++i) ReadSampleData(file, where[i], *song.samples[i]);
  return true;
}

}  // namespace zv
