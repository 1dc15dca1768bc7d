#include "audio/library/formats/song_tables.h"

#include <cstddef>

namespace zv::song_tables {
namespace {

constexpr int32_t kBase[12] = {1712, 1616, 1524, 1440, 1356, 1280, 1208, 1140, 1076, 1016, 960, 906};

constexpr std::array<int32_t, 108> kModNotes = {
    6848, 6464, 6096, 5760, 5424, 5120, 4832, 4560, 4304, 4064, 3840, 3624,  //
    3424, 3232, 3048, 2880, 2712, 2560, 2416, 2280, 2152, 2032, 1920, 1812,  //
    1712, 1616, 1524, 1440, 1356, 1280, 1208, 1140, 1076, 1016, 960,  906,   //
    856,  808,  762,  720,  678,  640,  604,  570,  538,  508,  480,  453,   //
    428,  404,  381,  360,  339,  320,  302,  285,  269,  254,  240,  226,   //
    214,  202,  190,  180,  170,  160,  151,  143,  135,  127,  120,  113,   //
    107,  101,  95,   90,   85,   80,   75,   71,   67,   63,   60,   56,    //
    53,   50,   47,   45,   42,   40,   37,   35,   33,   31,   30,   28,    //
    26,   25,   23,   22,   21,   20,   18,   17,   16,   15,   15,   14};

constexpr int32_t kModLow[24] = {27392, 25856, 24384, 23040, 21696, 20480, 19328, 18240,
                                 17216, 16256, 15360, 14496, 13696, 12928, 12192, 11520,
                                 10848, 10240, 9664,  9120,  8608,  8128,  7680,  7248};

constexpr std::array<int8_t, 256> MakeFineSine() {
  // Nearest integer to 64 sin(2 pi i / 256), from a quarter wave.
  constexpr int8_t kQuarter[65] = {0,  2,  3,  5,  6,  8,  9,  11, 12, 14, 16, 17, 19, 20, 22, 23, 24,
                                   26, 27, 29, 30, 32, 33, 34, 36, 37, 38, 39, 41, 42, 43, 44, 45,
                                   46, 47, 48, 49, 50, 51, 52, 53, 54, 55, 56, 56, 57, 58, 59, 59,
                                   60, 60, 61, 61, 62, 62, 62, 63, 63, 63, 64, 64, 64, 64, 64, 64};
  std::array<int8_t, 256> t{};
  for (int i = 0; i < 256; ++i) {
    const int q = i & 127;
    const int v = q <= 64 ? kQuarter[q] : kQuarter[128 - q];
    t[static_cast<size_t>(i)] = static_cast<int8_t>(i < 128 ? v : -v);
  }
  return t;
}

}  // namespace

const std::array<uint8_t, 32> kSine32 = {0,   24,  49,  74,  97,  120, 141, 161, 180, 197, 212,
                                         224, 235, 244, 250, 253, 255, 253, 250, 244, 235, 224,
                                         212, 197, 180, 161, 141, 120, 97,  74,  49,  24};

const std::array<int8_t, 256> kFineSine = MakeFineSine();

int32_t S3mPeriod(int32_t note) {
  if (note < 0) note = 0;
  if (note > 131) note = 131;
  return (kBase[note % 12] * 16) >> (note / 12);
}

int32_t ItAmigaPeriod(int32_t note) {
  if (note < 0) note = 0;
  if (note > 143) note = 143;
  if (note < 12) return kBase[note] * 32;
  return S3mPeriod(note - 12);
}

int32_t ModPeriod(int32_t note) {
  if (note < 1) note = 1;
  if (note > 132) note = 132;
  if (note <= 24) return kModLow[note - 1];
  return kModNotes[static_cast<size_t>(note - 25)];
}

const std::array<int32_t, 108>& ModNoteTable() { return kModNotes; }

int32_t WaveValue(int32_t waveform, int32_t position, WaveRandom& random) {
  const int32_t index = position & 31;
  switch (waveform & 3) {
    case 0:
      return kSine32[static_cast<size_t>(index)];
    case 1: {
      const int32_t ramp = (index * 8) & 0xFF;
      return position < 0 ? 255 - ramp : ramp;
    }
    case 2:
      return 255;
    default:
      return random.Next();
  }
}

}  // namespace zv::song_tables
