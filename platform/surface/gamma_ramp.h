#pragma once

#include <array>
#include <cstdint>

namespace zv::platform {

// The gamma ramp of the displayed picture: per channel, 256 16-bit output
// levels indexed by the 8-bit input level. The presented colour of a channel
// value v is the top byte of entry v.
struct GammaRamp {
  std::array<uint16_t, 256> red{}, green{}, blue{};

  static GammaRamp Identity() {
    GammaRamp ramp;
    for (int i = 0; i < 256; ++i)
      ramp.red[i] = ramp.green[i] = ramp.blue[i] = static_cast<uint16_t>(i * 256);
    return ramp;
  }
  bool IsIdentity() const { return *this == Identity(); }
  // 0x00RRGGBB through the ramp.
  uint32_t Apply(uint32_t rgb) const {
    uint32_t r = red[(rgb >> 16) & 0xFF] >> 8;
    uint32_t g = green[(rgb >> 8) & 0xFF] >> 8;
    uint32_t b = blue[rgb & 0xFF] >> 8;
    return r << 16 | g << 8 | b;
  }
  friend bool operator==(const GammaRamp&, const GammaRamp&) = default;
};

}  // namespace zv::platform
