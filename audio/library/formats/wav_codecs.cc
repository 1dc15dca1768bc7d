#include "audio/library/formats/wav_codecs.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>

namespace zv {
namespace {

uint16_t Le16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
uint32_t Le32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
         (static_cast<uint32_t>(p[3]) << 24);
}

void Put16(uint8_t* at, int32_t v) {
  const auto s = static_cast<uint16_t>(static_cast<int16_t>(std::clamp(v, -32768, 32767)));
  at[0] = static_cast<uint8_t>(s);
  at[1] = static_cast<uint8_t>(s >> 8);
}

// ---- Sample-by-sample formats ------------------------------------------------

// Each source value (`width` bytes) becomes one 16-bit value.
class PerValueDecoder : public WavDecoder {
 public:
  PerValueDecoder(uint32_t width, uint32_t block_align) : width_(width), align_(block_align) {}
  uint32_t DecodedSize(uint32_t source_bytes) const override { return source_bytes / width_ * 2; }
  uint32_t BlockAlign() const override { return align_; }
  size_t Decode(const uint8_t* source, size_t source_bytes, uint8_t* destination, size_t capacity) override {
    const size_t values = std::min(source_bytes / width_, capacity / 2);
    for (size_t i = 0; i < values; ++i) Put16(destination + i * 2, Value(source + i * width_));
    return values * 2;
  }

 protected:
  virtual int32_t Value(const uint8_t* at) const = 0;

 private:
  uint32_t width_;
  uint32_t align_;
};

class Pcm24Decoder final : public PerValueDecoder {
 public:
  explicit Pcm24Decoder(uint32_t align) : PerValueDecoder(3, align) {}
  int32_t Value(const uint8_t* p) const override {
    const int32_t v = static_cast<int32_t>(static_cast<uint32_t>(p[0]) << 8 | static_cast<uint32_t>(p[1]) << 16 |
                                           static_cast<uint32_t>(p[2]) << 24);
    return v >> 16;
  }
};

class Pcm32Decoder final : public PerValueDecoder {
 public:
  explicit Pcm32Decoder(uint32_t align) : PerValueDecoder(4, align) {}
  int32_t Value(const uint8_t* p) const override { return static_cast<int32_t>(Le32(p)) >> 16; }
};

int32_t FromUnit(double v) {
  if (!(v == v)) return 0;
  const double scaled = std::nearbyint(v * 32768.0);
  return scaled >= 32767.0 ? 32767 : scaled <= -32768.0 ? -32768 : static_cast<int32_t>(scaled);
}

class Float32Decoder final : public PerValueDecoder {
 public:
  explicit Float32Decoder(uint32_t align) : PerValueDecoder(4, align) {}
  int32_t Value(const uint8_t* p) const override {
    const uint32_t bits = Le32(p);
    float v;
    std::memcpy(&v, &bits, 4);
    return FromUnit(v);
  }
};

class Float64Decoder final : public PerValueDecoder {
 public:
  explicit Float64Decoder(uint32_t align) : PerValueDecoder(8, align) {}
  int32_t Value(const uint8_t* p) const override {
    const uint64_t bits = Le32(p) | static_cast<uint64_t>(Le32(p + 4)) << 32;
    double v;
    std::memcpy(&v, &bits, 8);
    return FromUnit(v);
  }
};

// G.711 expansions.
int32_t ALawToLinear(uint8_t a) {
  a ^= 0x55;
  int32_t t = a & 0x0F;
  const int seg = (a & 0x70) >> 4;
  t = seg ? (t * 2 + 1 + 32) << (seg + 2) : (t * 2 + 1) << 3;
  return (a & 0x80) ? t : -t;
}

int32_t MuLawToLinear(uint8_t u) {
  u = static_cast<uint8_t>(~u);
  int32_t t = ((u & 0x0F) << 3) + 0x84;
  t <<= (u & 0x70) >> 4;
  return (u & 0x80) ? 0x84 - t : t - 0x84;
}

class ALawDecoder final : public PerValueDecoder {
 public:
  explicit ALawDecoder(uint32_t align) : PerValueDecoder(1, align) {}
  int32_t Value(const uint8_t* p) const override { return ALawToLinear(*p); }
};

class MuLawDecoder final : public PerValueDecoder {
 public:
  explicit MuLawDecoder(uint32_t align) : PerValueDecoder(1, align) {}
  int32_t Value(const uint8_t* p) const override { return MuLawToLinear(*p); }
};

// ---- Block formats -------------------------------------------------------------

// A format of blocks of `block_align` bytes, each with a header per channel
// and then 4-bit codes; the last block of the data may be cut short.
class BlockDecoder : public WavDecoder {
 public:
  BlockDecoder(int channels, uint32_t block_align, uint32_t header_bytes)
      : channels_(channels), align_(block_align), header_(header_bytes * static_cast<uint32_t>(channels)) {}
  uint32_t BlockAlign() const override { return align_; }
  uint32_t DecodedSize(uint32_t source_bytes) const override {
    const uint64_t whole = source_bytes / align_;
    const uint32_t rest = source_bytes % align_;
    uint64_t frames = whole * FramesIn(align_);
    if (rest >= header_) frames += FramesIn(rest);
    return static_cast<uint32_t>(std::min<uint64_t>(frames * 2 * static_cast<uint64_t>(channels_), UINT32_MAX));
  }
  size_t Decode(const uint8_t* source, size_t source_bytes, uint8_t* destination, size_t capacity) override {
    size_t written = 0;
    for (size_t at = 0; at < source_bytes; at += align_) {
      const uint32_t bytes = static_cast<uint32_t>(std::min<size_t>(align_, source_bytes - at));
      if (bytes < header_) break;
      const size_t need = static_cast<size_t>(FramesIn(bytes)) * 2 * static_cast<size_t>(channels_);
      if (written + need > capacity) {
        // The last block only partly fits: decode it aside and keep its start.
        std::vector<uint8_t> block(need);
        DecodeBlock(source + at, bytes, block.data());
        std::memcpy(destination + written, block.data(), capacity - written);
        return capacity;
      }
      DecodeBlock(source + at, bytes, destination + written);
      written += need;
    }
    return written;
  }

 protected:
  // Frames a block of `bytes` bytes (header included) decodes to.
  virtual uint32_t FramesIn(uint32_t bytes) const = 0;
  virtual void DecodeBlock(const uint8_t* block, uint32_t bytes, uint8_t* out) = 0;

  int channels_;
  uint32_t align_;
  uint32_t header_;
};

constexpr int kImaIndex[16] = {-1, -1, -1, -1, 2, 4, 6, 8, -1, -1, -1, -1, 2, 4, 6, 8};
constexpr int kImaStep[89] = {
    7,     8,     9,     10,    11,    12,    13,    14,    16,    17,    19,    21,    23,    25,    28,
    31,    34,    37,    41,    45,    50,    55,    60,    66,    73,    80,    88,    97,    107,   118,
    130,   143,   157,   173,   190,   209,   230,   253,   279,   307,   337,   371,   408,   449,   494,
    544,   598,   658,   724,   796,   876,   963,   1060,  1166,  1282,  1411,  1552,  1707,  1878,  2066,
    2272,  2499,  2749,  3024,  3327,  3660,  4026,  4428,  4871,  5358,  5894,  6484,  7132,  7845,  8630,
    9493,  10442, 11487, 12635, 13899, 15289, 16818, 18500, 20350, 22385, 24623, 27086, 29794, 32767};

struct ImaChannel {
  int32_t predictor = 0;
  int32_t index = 0;
  int32_t Expand(int nibble) {
    const int32_t step = kImaStep[index];
    int32_t diff = step >> 3;
    if (nibble & 4) diff += step;
    if (nibble & 2) diff += step >> 1;
    if (nibble & 1) diff += step >> 2;
    predictor = std::clamp(nibble & 8 ? predictor - diff : predictor + diff, -32768, 32767);
    index = std::clamp(index + kImaIndex[nibble], 0, 88);
    return predictor;
  }
};

// IMA ADPCM as wave files store it: per channel a 4-byte header (first
// sample, step index), then runs of 4 bytes (8 codes) per channel in turn,
// low nibble first.
class ImaAdpcmDecoder final : public BlockDecoder {
 public:
  ImaAdpcmDecoder(int channels, uint32_t align) : BlockDecoder(channels, align, 4) {}

 protected:
  uint32_t FramesIn(uint32_t bytes) const override {
    const uint32_t groups = (bytes - header_) / (4 * static_cast<uint32_t>(channels_));
    return 1 + groups * 8;
  }
  void DecodeBlock(const uint8_t* block, uint32_t bytes, uint8_t* out) override {
    const int ch = channels_;
    ImaChannel state[2];
    for (int c = 0; c < ch; ++c) {
      state[c].predictor = static_cast<int16_t>(Le16(block + c * 4));
      state[c].index = std::min<int32_t>(block[c * 4 + 2], 88);
      Put16(out + c * 2, state[c].predictor);
    }
    const uint32_t frames = FramesIn(bytes);
    const uint8_t* codes = block + header_;
    for (uint32_t group = 0; 1 + group * 8 < frames; ++group) {
      for (int c = 0; c < ch; ++c) {
        const uint8_t* run = codes + (group * static_cast<uint32_t>(ch) + static_cast<uint32_t>(c)) * 4;
        for (int i = 0; i < 8; ++i) {
          const int nibble = (i & 1) ? run[i / 2] >> 4 : run[i / 2] & 0x0F;
          const uint32_t frame = 1 + group * 8 + static_cast<uint32_t>(i);
          Put16(out + (frame * static_cast<uint32_t>(ch) + static_cast<uint32_t>(c)) * 2, state[c].Expand(nibble));
        }
      }
    }
  }
};

constexpr int32_t kMsAdaptation[16] = {230, 230, 230, 230, 307, 409, 512, 614,
                                       768, 614, 512, 409, 307, 230, 230, 230};
constexpr int16_t kMsDefaultCoefficients[7][2] = {{256, 0},   {512, -256}, {0, 0},      {192, 64},
                                                   {240, 0},   {460, -208}, {392, -232}};

struct MsChannel {
  int32_t coefficient1 = 256;
  int32_t coefficient2 = 0;
  int32_t delta = 16;
  int32_t sample1 = 0;
  int32_t sample2 = 0;
  int32_t Expand(int nibble) {
    int64_t predictor = (static_cast<int64_t>(sample1) * coefficient1 + static_cast<int64_t>(sample2) * coefficient2) / 256;
    predictor += static_cast<int64_t>(nibble & 8 ? nibble - 16 : nibble) * delta;
    sample2 = sample1;
    sample1 = static_cast<int32_t>(std::clamp<int64_t>(predictor, -32768, 32767));
    delta = static_cast<int32_t>(static_cast<int64_t>(kMsAdaptation[nibble]) * delta >> 8);
    delta = std::clamp(delta, 16, 0x7fffffff / 768);
    return sample1;
  }
};

// Microsoft ADPCM: per channel a predictor index, then per channel the
// delta, then the two newest samples (second, then first, are output
// first), then codes, high nibble first, channels alternating.
class MsAdpcmDecoder final : public BlockDecoder {
 public:
  MsAdpcmDecoder(int channels, uint32_t align, std::vector<std::array<int16_t, 2>> coefficients)
      : BlockDecoder(channels, align, 7), coefficients_(std::move(coefficients)) {}

 protected:
  uint32_t FramesIn(uint32_t bytes) const override { return 2 + (bytes - header_) * 2 / static_cast<uint32_t>(channels_); }
  void DecodeBlock(const uint8_t* block, uint32_t bytes, uint8_t* out) override {
    const int ch = channels_;
    MsChannel state[2];
    for (int c = 0; c < ch; ++c) {
      const size_t predictor = std::min<size_t>(block[c], coefficients_.size() - 1);
      state[c].coefficient1 = coefficients_[predictor][0];
      state[c].coefficient2 = coefficients_[predictor][1];
      state[c].delta = static_cast<int16_t>(Le16(block + ch + c * 2));
      state[c].sample1 = static_cast<int16_t>(Le16(block + 3 * ch + c * 2));
      state[c].sample2 = static_cast<int16_t>(Le16(block + 5 * ch + c * 2));
    }
    uint32_t value = 0;
    for (int c = 0; c < ch; ++c) Put16(out + (value++) * 2, state[c].sample2);
    for (int c = 0; c < ch; ++c) Put16(out + (value++) * 2, state[c].sample1);
    const uint32_t total = FramesIn(bytes) * static_cast<uint32_t>(ch);
    for (uint32_t i = header_; i < bytes && value < total; ++i) {
      Put16(out + (value++) * 2, state[0].Expand(block[i] >> 4));
      if (value < total) Put16(out + (value++) * 2, state[ch - 1].Expand(block[i] & 0x0F));
    }
  }

 private:
  std::vector<std::array<int16_t, 2>> coefficients_;
};

std::vector<std::array<int16_t, 2>> MsCoefficients(const WaveFormat& f) {
  std::vector<std::array<int16_t, 2>> table;
  // Extra bytes: samples per block (2), coefficient count (2), pairs.
  if (f.extra.size() >= 4) {
    const size_t count = Le16(f.extra.data() + 2);
    for (size_t i = 0; i < count && 4 + i * 4 + 4 <= f.extra.size(); ++i) {
      const uint8_t* p = f.extra.data() + 4 + i * 4;
      table.push_back({static_cast<int16_t>(Le16(p)), static_cast<int16_t>(Le16(p + 2))});
    }
  }
  if (table.size() < 7) {
    table.clear();
    for (const auto& pair : kMsDefaultCoefficients) table.push_back({pair[0], pair[1]});
  }
  return table;
}

}  // namespace

bool ParseWaveFormat(const std::vector<uint8_t>& chunk, WaveFormat& f) {
  if (chunk.size() < 16) return false;
  const uint8_t* p = chunk.data();
  f.tag = Le16(p);
  f.channels = Le16(p + 2);
  f.rate = Le32(p + 4);
  f.bytes_per_second = Le32(p + 8);
  f.block_align = Le16(p + 12);
  f.bits = Le16(p + 14);
  f.extra.clear();
  if (chunk.size() >= 18) {
    const size_t extra = std::min<size_t>(Le16(p + 16), chunk.size() - 18);
    f.extra.assign(p + 18, p + 18 + extra);
  }
  if (f.tag == wave_tag::kExtensible && f.extra.size() >= 22) {
    // Valid bits (2), channel mask (4), then the sub-format GUID, whose
    // first two bytes are the tag it stands for.
    f.tag = Le16(f.extra.data() + 6);
  }
  return true;
}

std::unique_ptr<WavDecoder> MakeWavDecoder(const WaveFormat& f) {
  if (f.channels < 1 || f.channels > 2 || f.rate == 0 || f.block_align == 0) return nullptr;
  const int ch = f.channels;
  switch (f.tag) {
    case wave_tag::kPcm:
      if (f.bits == 24 && f.block_align == 3 * ch) return std::make_unique<Pcm24Decoder>(f.block_align);
      if (f.bits == 32 && f.block_align == 4 * ch) return std::make_unique<Pcm32Decoder>(f.block_align);
      return nullptr;
    case wave_tag::kFloat:
      if (f.bits == 32 && f.block_align == 4 * ch) return std::make_unique<Float32Decoder>(f.block_align);
      if (f.bits == 64 && f.block_align == 8 * ch) return std::make_unique<Float64Decoder>(f.block_align);
      return nullptr;
    case wave_tag::kALaw:
      return f.block_align == ch ? std::make_unique<ALawDecoder>(f.block_align) : nullptr;
    case wave_tag::kMuLaw:
      return f.block_align == ch ? std::make_unique<MuLawDecoder>(f.block_align) : nullptr;
    case wave_tag::kImaAdpcm:
      if (f.bits != 4 || f.block_align < 8 * ch || f.block_align % (4 * ch) != 0) return nullptr;
      return std::make_unique<ImaAdpcmDecoder>(ch, f.block_align);
    case wave_tag::kMsAdpcm:
      if (f.bits != 4 || f.block_align < 7 * ch + 1) return nullptr;
      return std::make_unique<MsAdpcmDecoder>(ch, f.block_align, MsCoefficients(f));
    default:
      return nullptr;
  }
}

}  // namespace zv
