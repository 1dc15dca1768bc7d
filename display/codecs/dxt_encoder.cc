#include "display/codecs/dxt_encoder.h"

#include <algorithm>
#include <array>
#include <cstdlib>

namespace zv::codecs {
namespace {

using platform::DxtFormat;

struct Texel {
  int r, g, b, a;
};

Texel Unpack(uint32_t p) {
  return Texel{static_cast<int>(p >> 16 & 255), static_cast<int>(p >> 8 & 255), static_cast<int>(p & 255),
               static_cast<int>(p >> 24)};
}

uint16_t To565(const Texel& t) {
  return static_cast<uint16_t>((t.r >> 3) << 11 | (t.g >> 2) << 5 | (t.b >> 3));
}

Texel From565(uint16_t c) {
  const int r = c >> 11 & 31, g = c >> 5 & 63, b = c & 31;
  return Texel{r << 3 | r >> 2, g << 2 | g >> 4, b << 3 | b >> 2, 255};
}

int Distance(const Texel& x, const Texel& y) {
  const int dr = x.r - y.r, dg = x.g - y.g, db = x.b - y.b;
  return dr * dr + dg * dg + db * db;
}

void Put16(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}

// The block's two texels that lie furthest apart along the direction in
// which its colours vary most (found by a few power-iteration steps on
// their covariance), so that two-colour blocks keep both colours exactly.
void ChooseEndpoints(const std::array<Texel, 16>& block, Texel& high, Texel& low) {
  double mean[3] = {0, 0, 0};
  for (const Texel& t : block) mean[0] += t.r, mean[1] += t.g, mean[2] += t.b;
  for (double& m : mean) m /= 16.0;
  double cov[3][3] = {};
  for (const Texel& t : block) {
    const double d[3] = {t.r - mean[0], t.g - mean[1], t.b - mean[2]};
    for (int i = 0; i < 3; ++i)
      for (int j = 0; j < 3; ++j) cov[i][j] += d[i] * d[j];
  }
  // Start along the channel that varies most.
  const int widest = cov[0][0] >= cov[1][1] && cov[0][0] >= cov[2][2] ? 0 : cov[1][1] >= cov[2][2] ? 1 : 2;
  double axis[3] = {0, 0, 0};
  axis[widest] = 1;
  for (int step = 0; step < 8; ++step) {
    double next[3] = {};
    for (int i = 0; i < 3; ++i)
      for (int j = 0; j < 3; ++j) next[i] += cov[i][j] * axis[j];
    const double length = std::max({std::abs(next[0]), std::abs(next[1]), std::abs(next[2])});
    if (length < 1e-9) break;
    for (int i = 0; i < 3; ++i) axis[i] = next[i] / length;
  }
  double most = -1e300, least = 1e300;
  high = low = block[0];
  for (const Texel& t : block) {
    const double p = t.r * axis[0] + t.g * axis[1] + t.b * axis[2];
    if (p > most) most = p, high = t;
    if (p < least) least = p, low = t;
  }
}

void EncodeColourBlock(const std::array<Texel, 16>& block, uint8_t* out) {
  Texel high, low;
  ChooseEndpoints(block, high, low);
  uint16_t c0 = To565(high), c1 = To565(low);
  if (c0 < c1) std::swap(c0, c1);
  Put16(out, c0);
  Put16(out + 2, c1);
  uint32_t indices = 0;
  if (c0 != c1) {
    const Texel e0 = From565(c0), e1 = From565(c1);
    const std::array<Texel, 4> palette = {
        e0, e1, Texel{(2 * e0.r + e1.r) / 3, (2 * e0.g + e1.g) / 3, (2 * e0.b + e1.b) / 3, 255},
        Texel{(e0.r + 2 * e1.r) / 3, (e0.g + 2 * e1.g) / 3, (e0.b + 2 * e1.b) / 3, 255}};
    for (int i = 0; i < 16; ++i) {
      int best = 0, best_distance = Distance(block[i], palette[0]);
      for (int k = 1; k < 4; ++k) {
        const int d = Distance(block[i], palette[k]);
        if (d < best_distance) best = k, best_distance = d;
      }
      indices |= static_cast<uint32_t>(best) << (2 * i);
    }
  }
  Put16(out + 4, indices & 0xFFFFu);
  Put16(out + 6, indices >> 16);
}

void EncodeExplicitAlpha(const std::array<Texel, 16>& block, uint8_t* out) {
  for (int i = 0; i < 16; i += 2)
    out[i / 2] = static_cast<uint8_t>((block[i].a >> 4) | (block[i + 1].a >> 4) << 4);
}

void EncodeInterpolatedAlpha(const std::array<Texel, 16>& block, uint8_t* out) {
  int a0 = 0, a1 = 255;
  for (const Texel& t : block) a0 = std::max(a0, t.a), a1 = std::min(a1, t.a);
  out[0] = static_cast<uint8_t>(a0);
  out[1] = static_cast<uint8_t>(a1);
  uint64_t bits = 0;
  if (a0 > a1) {
    std::array<int, 8> alpha{a0, a1};
    for (int i = 1; i <= 6; ++i) alpha[i + 1] = ((7 - i) * a0 + i * a1) / 7;
    for (int i = 0; i < 16; ++i) {
      int best = 0;
      for (int k = 1; k < 8; ++k)
        if (std::abs(block[i].a - alpha[k]) < std::abs(block[i].a - alpha[best])) best = k;
      bits |= static_cast<uint64_t>(best) << (3 * i);
    }
  }
  for (int i = 0; i < 6; ++i) out[2 + i] = static_cast<uint8_t>(bits >> (8 * i));
}

}  // namespace

bool EncodeDxt(DxtFormat format, int32_t width, int32_t height, const uint32_t* pixels, size_t pitch,
               std::span<uint8_t> out) {
  const size_t needed = platform::DxtLevelBytes(format, width, height);
  if (needed == 0 || out.size() != needed || pixels == nullptr || pitch < static_cast<size_t>(width)) return false;
  const size_t block_bytes = format == DxtFormat::kDxt1 ? 8 : 16;
  uint8_t* at = out.data();
  std::array<Texel, 16> block;
  for (int32_t by = 0; by < height; by += 4)
    for (int32_t bx = 0; bx < width; bx += 4, at += block_bytes) {
      for (int32_t y = 0; y < 4; ++y)
        for (int32_t x = 0; x < 4; ++x) {
          const size_t sy = static_cast<size_t>(std::min(by + y, height - 1));
          const size_t sx = static_cast<size_t>(std::min(bx + x, width - 1));
          block[static_cast<size_t>(y * 4 + x)] = Unpack(pixels[sy * pitch + sx]);
        }
      switch (format) {
        case DxtFormat::kDxt1: EncodeColourBlock(block, at); break;
        case DxtFormat::kDxt2:
        case DxtFormat::kDxt3:
          EncodeExplicitAlpha(block, at);
          EncodeColourBlock(block, at + 8);
          break;
        case DxtFormat::kDxt4:
        case DxtFormat::kDxt5:
          EncodeInterpolatedAlpha(block, at);
          EncodeColourBlock(block, at + 8);
          break;
      }
    }
  return true;
}

}  // namespace zv::codecs
