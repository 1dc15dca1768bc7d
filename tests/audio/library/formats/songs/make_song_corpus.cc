// Writes the seed corpora of the song fuzz targets: small modules of each
// format that use the effects, envelopes and new-note actions the players
// know, and MIDI files with tempo changes. Run by hand when the seeds
// should change:  make_song_corpus <repository root>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "tests/audio/library/formats/songs/module_builder.h"

namespace zv::test {
namespace {

void Save(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                               static_cast<std::streamsize>(bytes.size()));
}

TestSample Wave(bool loop, int length = 256) {
  TestSample s;
  s.data = SquareWave(length, 16, 90);
  s.loop = loop;
  s.loop_start = loop ? 16 : 0;
  s.loop_length = loop ? length - 16 : 0;
  return s;
}

// Rows of one effect each, with notes between, on `channels` channels.
TestModule EffectModule(int channels, int first_effect, int last_effect, int note, int rows = 32) {
  TestModule m;
  m.channels = channels;
  m.orders = {0, 1, 0};
  m.patterns.emplace_back(rows, channels);
  m.patterns.emplace_back(rows, channels);
  m.samples = {Wave(true), Wave(false, 100)};
  int row = 0;
  for (int effect = first_effect; effect <= last_effect && row < rows; ++effect, ++row) {
    m.patterns[0].At(row, 0) = {note, 1 + row % 2, -1, effect, 0x21 + row * 7 % 200};
    m.patterns[0].At(row, 1 % channels) = {note + 5, 1, 40, effect, 0x13};
  }
  m.patterns[1].At(0, 0) = {note, 2, -1, first_effect, 0x10};
  return m;
}

TestEnvelope Envelope(bool sustain, bool loop, int top) {
  TestEnvelope e;
  e.on = true;
  e.sustain = sustain;
  e.loop = loop;
  e.points = {{0, top}, {4, top / 2}, {9, top}, {16, 0}};
  e.sustain_begin = e.sustain_end = 1;
  e.loop_begin = 1;
  e.loop_end = 2;
  return e;
}

void WriteMods(const std::string& dir) {
  Save(dir + "effects.mod", WriteMod(EffectModule(4, 0, 15, 49)));
  TestModule ext = EffectModule(4, 0xE, 0xE, 37, 16);
  for (int x = 0; x < 16; ++x) ext.patterns[0].At(x, 0) = {37, 1, -1, 0xE, x * 16 + 2};
  Save(dir + "extended.mod", WriteMod(ext));
  TestModule wide = EffectModule(10, 1, 5, 61);
  wide.mod_signature = "10CH";
  Save(dir + "ten_channels.mod", WriteMod(wide));
}

void WriteS3ms(const std::string& dir) {
  Save(dir + "effects.s3m", WriteS3m(EffectModule(4, 1, 26, 49)));
  TestModule s = EffectModule(2, 19, 19, 61, 16);
  for (int x = 0; x < 16; ++x) s.patterns[0].At(x, 0) = {61, 1, 30, 19, x * 16 + 1};
  s.stereo = false;
  s.samples[0].sixteen_bit = true;
  Save(dir + "s_commands.s3m", WriteS3m(s));
}

void WriteXms(const std::string& dir) {
  TestModule m = EffectModule(4, 0, 35, 49, 40);
  TestInstrument a, b;
  a.samples = {0};
  a.volume_envelope = Envelope(true, false, 64);
  a.pan_envelope = Envelope(false, true, 48);
  a.fade_out = 2000;
  a.vibrato_depth = 8;
  a.vibrato_rate = 4;
  a.vibrato_sweep = 3;
  b.samples = {1, 0};
  m.instruments = {a, b};
  m.patterns[0].At(20, 2) = {97, 0, 0x65, 0, 0};
  for (int v = 0; v < 12; ++v) m.patterns[1].At(v, 1) = {49 + v, 1, 0x10 + v * 0x10 + 3, 0, 0};
  Save(dir + "effects.xm", WriteXm(m));
  m.linear = false;
  m.samples[0].ping_pong = true;
  m.samples[1].sixteen_bit = true;
  Save(dir + "amiga.xm", WriteXm(m));
}

void WriteIts(const std::string& dir) {
  TestModule m = EffectModule(4, 1, 26, 60, 40);
  m.global_volume = 128;
  m.it_version = 0x214;
  m.samples[1].it_packed = true;
  TestInstrument a;
  a.volume_envelope = Envelope(true, false, 64);
  a.pan_envelope = Envelope(false, true, 20);
  a.pitch_envelope = Envelope(false, false, 12);
  a.nna = 1;
  a.dct = 1;
  a.dca = 2;
  a.fade_out = 128;
  TestInstrument b = a;
  b.nna = 3;
  b.sample = 2;
  m.instruments = {a, b};
  m.orders = {0, 254, 1, 255, 0};
  for (int x = 0; x < 16; ++x) m.patterns[1].At(x, 2) = {60 + x, 2, 200 + x, 19, x * 16 + 1};
  m.patterns[1].At(20, 0) = {255, 0, -1, 0, 0};
  m.patterns[1].At(21, 0) = {254, 0, -1, 0, 0};
  Save(dir + "instruments.it", WriteIt(m));
  m.instrument_mode = false;
  m.linear = false;
  m.it_version = 0x215;
  Save(dir + "samples.it", WriteIt(m));
}

void WriteMidis(const std::string& dir) {
  const std::vector<uint8_t> song = WriteMidi({
      {0, {0xC0, 5}},
      {0, {0xF0, 0x05, 0x7E, 0x7F, 0x09, 0x01, 0xF7}},
      {0, {0x90, 60, 100}},
      {24, {64, 90}},
      {24, {0xE0, 0x00, 0x50}},
      {24, {0x80, 60, 0}},
      {0, {0xFF, 0x51, 0x03, 0x07, 0xA1, 0x20}},
      {48, {0xB0, 7, 80}},
      {0, {0x99, 36, 120}},
      {48, {0x89, 36, 0}},
  });
  Save(dir + "tempo.mid", song);
  Save(dir + "riff.rmi", WrapRmi(song));
  Save(dir + "smpte.mid", WriteMidi({{0, {0x90, 64, 100}}, {50, {0x80, 64, 0}}}, 0xE728));
}

}  // namespace
}  // namespace zv::test

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_song_corpus <repository root>\n");
    return 2;
  }
  const std::string root = std::string(argv[1]) + "/fuzz/";
  zv::test::WriteMods(root + "mod/corpus/");
  zv::test::WriteS3ms(root + "s3m/corpus/");
  zv::test::WriteXms(root + "xm/corpus/");
  zv::test::WriteIts(root + "it/corpus/");
  zv::test::WriteMidis(root + "midi/corpus/");
  return 0;
}
