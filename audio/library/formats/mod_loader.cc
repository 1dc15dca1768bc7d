// MOD modules: 31 samples, big-endian headers, 4-byte cells turned into the
// song's 5-byte cells, 8-bit signed sample data.

#include <algorithm>
#include <cctype>

#include "audio/library/formats/mod_player.h"
#include "audio/library/formats/song_engine.h"
#include "audio/library/formats/song_reader.h"
#include "audio/library/formats/song_tables.h"

namespace zv {
namespace {

constexpr size_t kSignatureOffset = 1080;
constexpr size_t kPatternOffset = 1084;
constexpr int kSampleCount = 31;
constexpr int kRows = 64;

// The channel count a signature gives; 0 when it is no MOD signature.
int ChannelsOfSignature(const SongReader& file) {
  if (file.Matches(kSignatureOffset, "M.K.") || file.Matches(kSignatureOffset, "M!K!") ||
      file.Matches(kSignatureOffset, "FLT4"))
    return 4;
  if (file.Matches(kSignatureOffset, "6CHN")) return 6;
  if (file.Matches(kSignatureOffset, "8CHN")) return 8;
  if (file.Matches(kSignatureOffset + 2, "CH")) {
    // The decimal number in the tag's first two characters (10CH, 32CH).
    const auto tag = file.Bytes(kSignatureOffset, 2);
    int count = 0;
    for (uint8_t c : tag) {
      if (!std::isdigit(c)) break;
      count = count * 10 + (c - '0');
    }
    // The song keeps 64 channels' settings; more, or none, is no module of ours.
    return count >= 1 && count <= 64 ? count : 0;
  }
  return 0;
}

// The note of an Amiga period: 1 + the first table entry at or below it.
uint8_t NoteOfPeriod(int32_t period) {
  const auto& table = song_tables::ModNoteTable();
  for (size_t i = 0; i < table.size(); ++i) {
    if (table[i] <= period) return static_cast<uint8_t>(i + 1);
  }
  return 0;
}

struct SampleHeader {
  uint32_t length = 0;  // bytes
  int32_t loop_start = 0, loop_length = 0;
};

void ReadSampleHeader(SongReader& file, SongSample& sample, SampleHeader& header) {
  char name[22];
  file.Read(name, sizeof(name));
  for (char& c : name) {
    const auto u = static_cast<unsigned char>(c);
    if (u < 32 || u > 127) c = 0;
  }
  sample.name.assign(name, strnlen(name, sizeof(name)));
  header.length = file.U16Big() * 2u;
  const uint8_t finetune = file.U8();
  const uint8_t volume = file.U8();
  header.loop_start = file.U16Big() * 2;
  header.loop_length = file.U16Big() * 2;
  sample.bits = 8;
  sample.middle_c_rate = FinetuneToC2Spd(finetune);
  sample.default_volume = volume;
  sample.library_volume = volume;
  sample.finetune = static_cast<int8_t>(finetune & 15);
}

// The sample's data, as much of it as the file holds (data the file does
// not hold cannot sound: the sample ends with the file), and its loop.
void ReadSampleData(Song& song, SongReader& file, const SampleHeader& header, SongSample& sample) {
  const int32_t length = SongEngine::TakeSampleFrames(song, std::min<size_t>(header.length, file.Remaining()));
  sample.data.assign(static_cast<size_t>(length), 0);
  for (int16_t& v : sample.data) v = static_cast<int16_t>(file.S8() * 256);
  sample.length = length;
  const int32_t loop_start = header.loop_start;
  int32_t loop_length = header.loop_length;
  sample.loop_start = loop_start;
  if (loop_start + loop_length > sample.length) loop_length = sample.length - loop_start;
  if (loop_length < 3 || loop_start >= sample.length) {
    sample.loop_mode = sample_loop::kOff;
    sample.loop_start = 0;
    sample.loop_length = sample.length;
  } else {
    sample.loop_mode = sample_loop::kNormal;
    sample.loop_length = loop_length;
  }
}

// Notes the patterns the song plays and the samples that a file of `size`
// bytes ends inside or before; they lie one after another.
void NoteCutParts(Song& song, int32_t patterns, size_t pattern_bytes, const SampleHeader (&headers)[kSampleCount],
                  size_t size) {
  size_t end = kPatternOffset;
  for (int32_t p = 0; p < patterns; ++p) song.cut.Note(SongCutParts::kPattern, end += pattern_bytes, size);
  for (const SampleHeader& header : headers) {
    end += header.length;
    if (header.length > 0) song.cut.Note(SongCutParts::kSample, end, size);
  }
}

}  // namespace

bool LoadModModule(Song& song, std::span<const uint8_t> image) {
  SongReader file(image);
  const int channels = ChannelsOfSignature(file);
  if (channels == 0) {
    song.engine.SetError(song_error::kBadFormat);
    return false;
  }
  song.format = SongFormat::kMod;
  song.tick_function = ModTick;
  song.master_volume = 256;
  song.initial_speed = 6;
  song.initial_tempo = 125;
  song.restart_order = 0;
  song.name = file.Text(20);

  SampleHeader headers[kSampleCount];
  for (SampleHeader& header : headers) {
    SongSample* sample = song.engine.NewSongSample(song);
    ReadSampleHeader(file, *sample, header);
  }
  song.sample_count = kSampleCount;

  // The list holds 128 orders; a larger length byte cannot be played.
  song.order_count = std::min<int32_t>(file.U8(), 128);
  file.U8();  // restart byte, not used
  int32_t highest = 0, highest_played = 0;
  for (int i = 0; i < 128; ++i) {
    song.orders[static_cast<size_t>(i)] = file.U8();
    highest = std::max<int32_t>(highest, song.orders[static_cast<size_t>(i)]);
    if (i < song.order_count) highest_played = std::max<int32_t>(highest_played, song.orders[static_cast<size_t>(i)]);
  }
  song.pattern_count = highest + 1;
  song.referenced_pattern_count = song.pattern_count;
  song.channel_count = channels;
  for (int i = 0; i < 64; ++i) {
    song.default_pan[static_cast<size_t>(i)] = ((i + 1) & 2) == 0 ? 64 : 191;
    song.default_channel_volume[static_cast<size_t>(i)] = 64;
  }

  file.Seek(kPatternOffset);
  song.patterns.resize(static_cast<size_t>(song.pattern_count));
  for (SongPattern& pattern : song.patterns) {
    pattern.rows = kRows;
    pattern.data.assign(static_cast<size_t>(kRows * channels * 5), 0);
    uint8_t* cell = pattern.data.data();
    for (int i = 0; i < kRows * channels; ++i, cell += 5) {
      const uint8_t b0 = file.U8(), b1 = file.U8(), b2 = file.U8(), b3 = file.U8();
      cell[0] = NoteOfPeriod(((b0 & 15) << 8) | b1);
      cell[1] = static_cast<uint8_t>((b0 & 0xF0) | (b2 >> 4));
      cell[2] = 0;
      cell[3] = b2 & 15;
      cell[4] = b3;
    }
  }

  // The sample data normally ends the file; junk after the patterns (orders
  // past the list's length may count patterns the file does not hold) is
  // passed over by taking the data from the end. A file that ends before
  // the patterns its song plays and its samples is cut short: what it holds
  // of its samples follows the patterns.
  size_t total = 0;
  for (const SampleHeader& header : headers) total += header.length;
  const size_t pattern_bytes = static_cast<size_t>(kRows * channels * 4);
  const size_t played_end = kPatternOffset + static_cast<size_t>(highest_played + 1) * pattern_bytes;
  if (file.Size() >= played_end + total) {
    file.Seek(file.Size() - total);
  } else {
    NoteCutParts(song, highest_played + 1, pattern_bytes, headers, file.Size());
    file.Seek(kPatternOffset + static_cast<size_t>(song.pattern_count) * pattern_bytes);
  }
  for (int i = 0; i < kSampleCount; ++i) ReadSampleData(song, file, headers[i], *song.samples[static_cast<size_t>(i)]);
  return true;
}

}  // namespace zv
