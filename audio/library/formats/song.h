#pragma once

#include <algorithm>
#include <array>
#include <bitset>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace zv {

class Song;
class MidiSongData;

// Patterns, instruments and samples a song keeps: cells and the order list
// name them with bytes, so more could never be played.
constexpr int32_t kMaxSongTable = 256;

// The kind of a loaded song, as the song format code reports it.
enum class SongFormat : int8_t { kNone = 0, kMod = 1, kS3m = 2, kXm = 3, kIt = 4, kMidi = 5 };

// Loop modes of a sample, as the sound library numbers them.
namespace sample_loop {
constexpr uint8_t kOff = 1;
constexpr uint8_t kNormal = 2;
constexpr uint8_t kBidirectional = 4;
}  // namespace sample_loop

// One sample of a module: its sound, mono, kept as 16-bit values whatever
// the file held, and what the players read of it. `host_sample` is the
// sound library's record made from it (null until the library made one).
struct SongSample {
  std::string name;
  std::vector<int16_t> data;  // `length` frames
  int32_t length = 0;
  int32_t loop_start = 0;
  int32_t loop_length = 0;
  uint8_t loop_mode = sample_loop::kOff;
  uint8_t bits = 8;
  int32_t default_frequency = 44100;
  int32_t default_volume = 64;  // 0..64, the voices' scale
  // The volume (0..255) at which the library starts the sample, before a
  // player sets one: MOD gives its volume byte, which a note started with
  // no volume of its own (under a tremolo) plays at on its first tick.
  int32_t library_volume = 255;
  int32_t default_pan = 128;    // XM 0..255; IT: the file's byte (bit 7: use the low 7 bits)
  int32_t global_volume = 64;   // IT, 0..64
  int8_t relative_note = 0;     // XM
  int8_t finetune = 0;          // XM (-128..127)
  uint32_t middle_c_rate = 8363;
  int32_t sustain_start = 0;
  int32_t sustain_end = 0;
  uint8_t vibrato_speed = 0;
  uint8_t vibrato_depth = 0;
  uint8_t vibrato_rate = 0;
  uint8_t vibrato_type = 0;
  bool song_owned = false;  // freed with the song
  bool in_song = false;     // handed to a song by SetSongSample
  std::shared_ptr<void> host_sample;
};

// The sample that stands in for one a song does not have: no sound.
SongSample& InvalidSongSample();

// A 5-byte cell per channel per row (note, instrument, volume, effect,
// parameter); IT keeps its packed form instead.
struct SongPattern {
  uint32_t rows = 0;
  std::vector<uint8_t> data;
};

// Flags of an envelope in memory.
namespace envelope_flag {
constexpr uint8_t kOn = 1;
constexpr uint8_t kSustain = 2;
constexpr uint8_t kLoop = 4;
constexpr uint8_t kCarry = 8;
}  // namespace envelope_flag

struct EnvelopePoint {
  uint16_t tick = 0;
  int16_t value = 0;
};

struct SongEnvelope {
  uint8_t flags = 0;
  uint8_t count = 0;
  uint8_t loop_begin = 0;
  uint8_t loop_end = 0;
  uint8_t sustain_begin = 0;
  uint8_t sustain_end = 0;
  std::array<EnvelopePoint, 25> points{};
};

// An XM or IT instrument. XM uses the keyboard map, its 16 sample slots and
// the auto-vibrato fields; IT the keyboard table (note and 1-based sample
// per note) and the new-note and duplicate-check settings.
struct SongInstrument {
  std::string name;
  int32_t sample_count = 0;
  std::array<SongSample*, 16> samples{};  // XM
  std::array<uint8_t, 96> sample_map{};   // XM: sample slot per note
  std::array<uint8_t, 120> key_note{};    // IT
  std::array<uint8_t, 120> key_sample{};  // IT, 1-based, 0 none
  SongEnvelope volume_envelope;
  SongEnvelope pan_envelope;
  SongEnvelope pitch_envelope;  // IT
  int32_t fade_out = 0;
  int32_t global_volume = 128;
  int32_t default_pan = 128;  // IT: the file's byte (bit 7 set: not used)
  uint8_t nna = 0;
  uint8_t dct = 0;
  uint8_t dca = 0;
  int8_t pitch_pan_separation = 0;
  uint8_t pitch_pan_centre = 60;
  uint8_t random_volume = 0;
  uint8_t random_pan = 0;
  uint8_t vibrato_type = 0;  // XM
  uint8_t vibrato_sweep = 0;
  uint8_t vibrato_depth = 0;
  uint8_t vibrato_rate = 0;
};

// Update flags of a voice.
namespace voice_flag {
constexpr uint8_t kFrequency = 1;
constexpr uint8_t kVolume = 2;
constexpr uint8_t kPan = 4;
constexpr uint8_t kStart = 8;
constexpr uint8_t kSurroundOn = 16;
constexpr uint8_t kStop = 32;
constexpr uint8_t kSurroundOff = 64;
}  // namespace voice_flag

struct EnvelopeState {
  int32_t tick = 0;
  int32_t point = 0;
  int32_t value16 = 0;  // 16.16
  int32_t value = 0;
  int32_t delta16 = 0;  // 16.16 per tick
  bool done = false;
};

struct SongChannel;

// A note sounding on one library channel. The engine keeps one per library
// channel; `spare` marks the stand-in that takes a note when no channel is
// free, so that the row is processed and nothing sounds.
struct SongVoice {
  SongChannel* owner = nullptr;
  int32_t channel_index = -1;  // library channel
  bool spare = false;
  SongSample* sample = nullptr;
  int32_t handle = -1;
  uint8_t instrument = 0;
  uint8_t note = 0;
  uint8_t sample_number = 0;
  bool background = false;
  uint8_t flags = 0;
  uint8_t nna = 0;
  uint8_t volume_envelope_flags = 0;
  int32_t period = 0;
  int32_t volume = 0;
  int32_t pan = 0;
  int32_t volume_delta = 0;
  int32_t period_delta = 0;
  int32_t pan_delta = 0;
  int32_t sample_volume_factor = 0;
  EnvelopeState envelopes[3];  // volume, pan, pitch
  bool fading = false;
  int32_t fade_volume = 0;
  int32_t autovibrato_position = 0;
  int32_t autovibrato_sweep = 0;
  bool key_released = false;
};

// One channel of a playing song: its voices (the first is the current one)
// and the effect memories of every format.
struct SongChannel {
  std::vector<SongVoice*> voices;
  uint8_t instrument = 0;
  uint8_t note = 0;
  uint8_t sample = 0;
  uint8_t real_note = 0;
  uint32_t note_period = 0;
  uint8_t last_effect = 0;
  int32_t note_volume = 0;
  int32_t pan = 0;
  int32_t volume_delta = 0;
  int32_t offset_memory = 0;
  int32_t channel_volume = 0;
  uint8_t portamento_memory = 0;
  uint8_t porta_down_memory = 0;
  uint8_t porta_up_memory = 0;
  uint8_t fine_porta_up_memory = 0;
  uint8_t fine_porta_down_memory = 0;
  uint8_t extra_fine_up_memory = 0;
  uint8_t extra_fine_down_memory = 0;
  uint8_t volume_slide_memory = 0;
  uint8_t pan_slide_memory = 0;
  uint8_t retrigger_volume = 0;
  uint8_t retrigger_interval = 0;
  uint8_t retrigger_counter = 0;
  uint32_t porta_target = 0;
  uint8_t porta_speed = 0;
  bool porta_done = false;
  int8_t vibrato_position = 0;
  uint8_t vibrato_speed = 0;
  uint8_t vibrato_depth = 0;
  uint8_t vibrato_type = 0;  // IT: 'H' or 'U'
  int8_t tremolo_position = 0;
  uint8_t tremolo_speed = 0;
  uint8_t tremolo_depth = 0;
  int32_t panbrello_position = 0;
  uint8_t panbrello_speed = 0;
  uint8_t panbrello_depth = 0;
  uint8_t tremor_counter = 0;
  uint8_t tremor_on = 0;
  uint8_t tremor_off = 0;
  uint8_t arpeggio_memory = 0;
  uint32_t loop_row = 0;
  uint32_t loop_count = 0;
  uint8_t channel_volume_slide_memory = 0;
  uint8_t s_memory = 0;
  uint8_t waveforms = 0;  // low nibble vibrato, high nibble tremolo
  uint8_t vibrato_waveform = 0;    // IT
  uint8_t tremolo_waveform = 0;    // IT
  uint8_t panbrello_waveform = 0;  // IT
  uint8_t fine_volume_memory = 0;
  uint8_t high_offset = 0;
  uint8_t volume_column_memory = 0;
  uint8_t porta_g_memory = 0;  // IT: the separate G memory
  bool has_instrument = false;  // XM: an instrument byte has been seen
  // The remembered voice state for a note delay.
  int32_t saved_volume = 0;
  int32_t saved_period = 0;
  int32_t saved_pan = 0;
};

// What the position ring holds for each mixed block.
struct SongPositionRecord {
  uint8_t order = 0;
  uint8_t row = 0;
  uint32_t time_ms = 0;
};

using SongCallback = void (*)(Song* song, uint8_t value);

constexpr uint32_t kEmptyDueTime = 0xFFFFFFFFu;

struct SongTimingRing {
  SongCallback callback = nullptr;
  int32_t step = 0;
  std::array<uint8_t, 256> values{};
  std::array<uint32_t, 256> due{};
  int32_t write = 0;
  int32_t read = 0;
  int32_t instrument = 0;  // the instrument ring's watched instrument (1-based)
  void Reset() {
    values.fill(0);
    due.fill(kEmptyDueTime);
    write = 0;
    read = 0;
  }
};

// The four event rings, in this order.
namespace song_ring {
constexpr int kRow = 0;
constexpr int kOrder = 1;
constexpr int kZxx = 2;
constexpr int kInstrument = 3;
}  // namespace song_ring

class SongEngine;

// The parts of a song's file that the file ends inside or before: a file
// cut short loads what it holds, and these say what did not come.
struct SongCutParts {
  enum Part { kPattern, kInstrument, kSample, kTrack, kPartKinds };
  std::array<int32_t, kPartKinds> count{};
  uint64_t missing_bytes = 0;  // beyond the file's end, as far as its parts claim

  // Notes a part that the file claims up to byte `claimed_end` of its
  // `file_size`, where the file ends before that.
  void Note(Part part, uint64_t claimed_end, uint64_t file_size) {
    if (claimed_end <= file_size) return;
    ++count[part];
    missing_bytes = std::max(missing_bytes, claimed_end - file_size);
  }
  bool Any() const { return missing_bytes > 0; }
};

// A loaded module or MIDI song.
class Song {
 public:
  explicit Song(SongEngine& engine);
  ~Song();
  Song(const Song&) = delete;
  Song& operator=(const Song&) = delete;

  SongEngine& engine;
  SongFormat format = SongFormat::kNone;
  uint16_t compatible_version = 0;  // IT
  std::string name;
  std::vector<SongPattern> patterns;
  std::vector<SongSample*> samples;  // owned when the sample is song-owned
  std::vector<SongInstrument> instruments;
  std::vector<SongChannel> channels;  // while playing
  std::vector<int32_t> channel_list;  // library channels the notes occupy
  int32_t samples_left = 0;
  int32_t samples_per_tick = 0;
  int32_t order_count = 0;
  int32_t referenced_pattern_count = 0;
  int32_t pattern_count = 0;
  int32_t instrument_count = 0;
  int32_t sample_count = 0;
  int32_t channel_count = 0;
  int32_t initial_speed = 6;
  int32_t initial_tempo = 125;
  std::array<uint8_t, 64> default_pan{};
  std::array<uint8_t, 64> default_channel_volume{};
  uint8_t initial_global_volume = 64;
  // IT pattern decoding.
  uint32_t packed_position = 0;
  std::array<uint8_t, 64> last_note{}, last_instrument{}, last_volume{}, last_effect{},
      last_parameter{}, last_mask{};
  std::array<uint8_t, 64 * 5> row_cells{};
  int32_t master_volume = 256;
  float pan_separation = 1.0f;
  int32_t global_volume = 64;
  uint8_t global_slide_memory = 0;
  std::array<uint8_t, 256> orders{};
  uint16_t restart_order = 0;
  uint16_t format_flags = 0;
  bool paused = false;
  bool playing = false;
  bool finished = false;
  // Played without looping: at the end of a pass the song falls silent and
  // stops playing instead of going on from where its order list leads.
  bool play_once = false;
  // The orders entered in this pass. Coming back to one (a jump or break
  // backwards, or past the end of the list) means the song has played
  // through; so does running out of orders (`pass_ended`).
  std::bitset<256> entered_orders;
  bool pass_ended = false;
  int32_t tick = 0;
  int32_t speed = 6;
  int32_t tempo = 125;
  int32_t row = 0;
  int32_t order = 0;
  int32_t pattern_delay = 0;
  int32_t fine_pattern_delay = 0;
  int32_t next_row = -1;
  int32_t next_order = -1;
  uint32_t time_ms = 0;
  int32_t position_index = 0;
  int32_t voice_limit = 0;
  int32_t minimum_volume = 0;
  // Sample frames the loader may still make: a file cannot hold more sound
  // than its bytes (packed IT data at a bit a frame), however its headers
  // point into it.
  int64_t sample_frame_budget = 0;
  void (*reset_hook)(Song&) = nullptr;
  void (*tick_function)(Song&) = nullptr;
  std::vector<SongPositionRecord> positions;
  std::array<SongTimingRing, 4> rings;
  std::unique_ptr<MidiSongData> midi;
  SongCutParts cut;  // what the loader found missing from the file

  // The pattern that the order list names at the current order, or null.
  SongPattern* CurrentPattern();
  // The order list has run out: a pass ends, and play goes on at `order`
  // (the restart order, or 0 after a jump or break past the end).
  int32_t EndOfOrders(int32_t order, bool report_finished);
  // Called on tick 0 when the song has just taken a new order. False when
  // a song that plays once has come to its end and stopped: the tick must
  // not go on.
  bool EnterOrder();
  // The sample at a 0-based index, or the invalid sample.
  SongSample* SampleAt(int32_t index);
};

}  // namespace zv
