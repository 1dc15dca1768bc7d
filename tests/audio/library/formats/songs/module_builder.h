#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace zv::test {

// Small module files written in code, for the players' tests and the fuzz
// targets' seeds. Each writer takes the same description and writes its
// format's bytes.

// One cell. `note` is in the format's own numbering: MOD 1..108 (index in
// the Amiga note table, plus 1), S3M 1..(oct*12+semi+1) with 255 note off,
// XM 1..96 with 97 key off, IT 0..119 with 254 cut and 255 off; -1 none.
// `volume` -1 is none, otherwise the column's value (S3M and IT 0..64, XM
// the raw column byte).
struct TestCell {
  int note = -1;
  int instrument = 0;
  int volume = -1;
  int effect = 0;  // MOD/XM 0..35; S3M/IT 1 = A .. 26 = Z
  int parameter = 0;
};

struct TestPattern {
  int rows = 64;
  int channels = 4;
  std::vector<TestCell> cells;
  TestPattern(int rows_, int channels_) : rows(rows_), channels(channels_), cells(rows_ * channels_) {}
  TestCell& At(int row, int channel) { return cells[static_cast<size_t>(row * channels + channel)]; }
  const TestCell& At(int row, int channel) const { return cells[static_cast<size_t>(row * channels + channel)]; }
};

struct TestSample {
  std::string name = "sample";
  std::vector<int16_t> data;  // written as 8-bit unless sixteen_bit
  bool sixteen_bit = false;
  bool loop = false;
  bool ping_pong = false;
  int loop_start = 0;
  int loop_length = 0;
  int volume = 64;
  int finetune = 0;        // MOD nibble, XM signed byte
  int relative_note = 0;   // XM
  int middle_c_rate = 8363;  // S3M, IT
  int pan = 128;           // XM
  int global_volume = 64;  // IT
  int default_pan = 0;     // IT byte (bit 7: used)
  int vibrato_speed = 0, vibrato_depth = 0, vibrato_rate = 0, vibrato_type = 0;  // IT
  bool it_packed = false;  // IT: written in packed blocks (8-bit only)
};

struct TestEnvelope {
  bool on = false, sustain = false, loop = false;
  std::vector<std::pair<int, int>> points;  // tick, value
  int sustain_begin = 0, sustain_end = 0, loop_begin = 0, loop_end = 0;
};

struct TestInstrument {
  std::string name = "instrument";
  std::vector<int> samples;  // XM: the samples (indices into TestModule::samples) it holds
  int fade_out = 0;
  TestEnvelope volume_envelope, pan_envelope, pitch_envelope;
  int nna = 0, dct = 0, dca = 0;  // IT
  int global_volume = 128;        // IT
  int default_pan = 0;            // IT byte (bit 7 set: not used)
  int sample = 1;                 // IT: sample for every note (1-based)
  int vibrato_type = 0, vibrato_sweep = 0, vibrato_depth = 0, vibrato_rate = 0;  // XM
};

struct TestModule {
  std::string name = "test song";
  int channels = 4;
  int speed = 6;
  int tempo = 125;
  int global_volume = 64;  // S3M 0..64, IT 0..128
  int mix_volume = 128;    // IT
  bool linear = true;      // XM, IT
  bool instrument_mode = true;  // IT
  bool stereo = true;      // S3M
  int restart = 0;
  int it_version = 0x200;
  std::vector<int> orders;
  std::vector<TestPattern> patterns;
  std::vector<TestSample> samples;
  std::vector<TestInstrument> instruments;
  std::string mod_signature = "M.K.";
};

std::vector<uint8_t> WriteMod(const TestModule& module);
std::vector<uint8_t> WriteS3m(const TestModule& module);
std::vector<uint8_t> WriteXm(const TestModule& module);
std::vector<uint8_t> WriteIt(const TestModule& module);
// A standard MIDI file of one track (format 0); `events` are raw track bytes
// after the delta times (delta, bytes...), the end of track is added.
struct TestMidiEvent {
  uint32_t delta = 0;
  std::vector<uint8_t> bytes;
};
std::vector<uint8_t> WriteMidi(const std::vector<TestMidiEvent>& events, int division = 96, int format = 0);
// The same wrapped as a RIFF MIDI file.
std::vector<uint8_t> WrapRmi(const std::vector<uint8_t>& smf);

// A square wave of `length` frames, for samples that must be heard.
std::vector<int16_t> SquareWave(int length, int period = 32, int amplitude = 100);

}  // namespace zv::test
