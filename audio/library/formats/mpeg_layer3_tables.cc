#include "audio/library/formats/mpeg_layer3_tables.h"

#include <cmath>
#include <numbers>

namespace zv::mpeg {
namespace {

constexpr double kPi = std::numbers::pi;

constexpr ScaleFactorBands kBands[9] = {
    // 44100
    {{0, 4, 8, 12, 16, 20, 24, 30, 36, 44, 52, 62, 74, 90, 110, 134, 162, 196, 238, 288, 342, 418, 576},
     {0, 4, 8, 12, 16, 22, 30, 40, 52, 66, 84, 106, 136, 192}},
    // 48000
    {{0, 4, 8, 12, 16, 20, 24, 30, 36, 42, 50, 60, 72, 88, 106, 128, 156, 190, 230, 276, 330, 384, 576},
     {0, 4, 8, 12, 16, 22, 28, 38, 50, 64, 80, 100, 126, 192}},
    // 32000
    {{0, 4, 8, 12, 16, 20, 24, 30, 36, 44, 54, 66, 82, 102, 126, 156, 194, 240, 296, 364, 448, 550, 576},
     {0, 4, 8, 12, 16, 22, 30, 42, 58, 78, 104, 138, 180, 192}},
    // 22050
    {{0, 6, 12, 18, 24, 30, 36, 44, 54, 66, 80, 96, 116, 140, 168, 200, 238, 284, 336, 396, 464, 522, 576},
     {0, 4, 8, 12, 18, 24, 32, 42, 56, 74, 100, 132, 174, 192}},
    // 24000
    {{0, 6, 12, 18, 24, 30, 36, 44, 54, 66, 80, 96, 114, 136, 162, 194, 232, 278, 330, 394, 464, 540, 576},
     {0, 4, 8, 12, 18, 26, 36, 48, 62, 80, 104, 136, 180, 192}},
    // 16000
    {{0, 6, 12, 18, 24, 30, 36, 44, 54, 66, 80, 96, 116, 140, 168, 200, 238, 284, 336, 396, 464, 522, 576},
     {0, 4, 8, 12, 18, 26, 36, 48, 62, 80, 104, 134, 174, 192}},
    // 11025
    {{0, 6, 12, 18, 24, 30, 36, 44, 54, 66, 80, 96, 116, 140, 168, 200, 238, 284, 336, 396, 464, 522, 576},
     {0, 4, 8, 12, 18, 26, 36, 48, 62, 80, 104, 134, 174, 192}},
    // 12000
    {{0, 6, 12, 18, 24, 30, 36, 44, 54, 66, 80, 96, 116, 140, 168, 200, 238, 284, 336, 396, 464, 522, 576},
     {0, 4, 8, 12, 18, 26, 36, 48, 62, 80, 104, 134, 174, 192}},
    // 8000
    {{0, 12, 24, 36, 48, 60, 72, 88, 108, 132, 160, 192, 232, 280, 336, 400, 476, 566, 568, 570, 572, 574, 576},
     {0, 8, 16, 24, 36, 52, 72, 96, 124, 160, 162, 164, 166, 192}},
};

constexpr double kAliasCoefficients[8] = {-0.6, -0.535, -0.33, -0.185, -0.095, -0.041, -0.0142, -0.0037};

}  // namespace

const int kPretab[22] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 3, 3, 3, 2, 0};

const ScaleFactorBands& BandsFor(int rate_index) {
  return kBands[rate_index >= 0 && rate_index < 9 ? rate_index : 0];
}

Layer3Tables::Layer3Tables() {
  for (int i = 0; i <= kMaxMagnitude; ++i) power43[i] = static_cast<float>(std::pow(i, 4.0 / 3.0));
  for (int q = -kGainOffset; q < 64; ++q) gain[q + kGainOffset] = static_cast<float>(std::exp2(q / 4.0));

  for (int i = 0; i < 8; ++i) {
    const double root = std::sqrt(1.0 + kAliasCoefficients[i] * kAliasCoefficients[i]);
    alias_cs[i] = static_cast<float>(1.0 / root);
    alias_ca[i] = static_cast<float>(kAliasCoefficients[i] / root);
  }

  // Block type 0: normal; 1: start; 2: short (12 points); 3: stop.
  for (int i = 0; i < 36; ++i) {
    const double sine36 = std::sin(kPi / 36.0 * (i + 0.5));
    window[0][i] = static_cast<float>(sine36);
    double start, stop;
    if (i < 18) {
      start = sine36;
    } else if (i < 24) {
      start = 1.0;
    } else if (i < 30) {
      start = std::sin(kPi / 12.0 * (i - 18 + 0.5));
    } else {
      start = 0.0;
    }
    if (i < 6) {
      stop = 0.0;
    } else if (i < 12) {
      stop = std::sin(kPi / 12.0 * (i - 6 + 0.5));
    } else if (i < 18) {
      stop = 1.0;
    } else {
      stop = sine36;
    }
    window[1][i] = static_cast<float>(start);
    window[3][i] = static_cast<float>(stop);
    window[2][i] = i < 12 ? static_cast<float>(std::sin(kPi / 12.0 * (i + 0.5))) : 0.0f;
  }

  for (int k = 0; k < 18; ++k) {
    for (int j = 0; j < 20; ++j) {
      dct18[k][j] = j < 18 ? static_cast<float>(std::cos(kPi / 72.0 * (2 * j + 1) * (2 * k + 1))) : 0.0f;
    }
  }
  for (int k = 0; k < 6; ++k) {
    for (int j = 0; j < 6; ++j) {
      dct6[k][j] = static_cast<float>(std::cos(kPi / 24.0 * (2 * j + 1) * (2 * k + 1)));
    }
  }

  for (int p = 0; p < 7; ++p) {
    const double s = std::sin(p * kPi / 12.0), c = std::cos(p * kPi / 12.0);
    intensity_left[p] = static_cast<float>(s / (s + c));
    intensity_right[p] = static_cast<float>(c / (s + c));
  }
  for (int n = 0; n < 32; ++n) {
    lsf_intensity[0][n] = static_cast<float>(std::exp2(-n / 4.0));
    lsf_intensity[1][n] = static_cast<float>(std::exp2(-n / 2.0));
  }

  for (int r = 0; r < 9; ++r) {
    const int* s = kBands[r].short_start;
    for (int sfb = 0; sfb < 13; ++sfb) {
      const int width = s[sfb + 1] - s[sfb];
      for (int w = 0; w < 3; ++w) {
        for (int j = 0; j < width; ++j) {
          const int frequency = s[sfb] + j;
          const int sb = frequency / 6, k = frequency % 6;
          short_order[r][sb * 18 + w * 6 + k] = static_cast<std::uint16_t>(3 * s[sfb] + w * width + j);
        }
      }
    }
  }
}

const Layer3Tables& GetLayer3Tables() {
  static const Layer3Tables tables;
  return tables;
}

}  // namespace zv::mpeg
