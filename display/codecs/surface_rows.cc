#include "display/codecs/surface_rows.h"

#include <bit>

#include "platform/surface/blit.h"
#include "platform/surface/convert.h"

namespace zv::codecs {

int LowestSetBit(uint32_t mask) { return mask == 0 ? 1 : std::countr_zero(mask); }
int HighestSetBit(uint32_t mask) { return mask == 0 ? 1 : 31 - std::countl_zero(mask); }

MaskShifts ComputeMaskShifts(const platform::PixelFormat& format) {
  auto field = [](uint32_t mask, uint16_t& shift, uint16_t& bits) {
    shift = static_cast<uint16_t>(LowestSetBit(mask));
    bits = static_cast<uint16_t>(mask == 0 ? 0 : HighestSetBit(mask) - LowestSetBit(mask) + 1);
  };
  MaskShifts m;
  field(format.red_mask, m.red_shift, m.red_bits);
  field(format.green_mask, m.green_shift, m.green_bits);
  field(format.blue_mask, m.blue_shift, m.blue_bits);
  return m;
}

void ReadWriterRowBgr(const platform::Surface& surface, int32_t y, uint8_t* out) {
  const platform::PixelFormat& f = surface.Format();
  const int bytes = f.BytesPerPixel();
  const uint8_t* row = surface.Row(y);
  const int32_t w = surface.Width();
  if (f.indexed) {
    for (int32_t x = 0; x < w; ++x, out += 3) {
      const uint32_t rgb = platform::PixelValueToRgb(surface, row[x]);
      out[0] = static_cast<uint8_t>(rgb), out[1] = static_cast<uint8_t>(rgb >> 8), out[2] = static_cast<uint8_t>(rgb >> 16);
    }
    return;
  }
  const MaskShifts m = ComputeMaskShifts(f);
  auto widen = [bytes](uint32_t v, int bits) { return bytes == 2 ? v * (bits == 5 ? 8u : 4u) : v; };
  for (int32_t x = 0; x < w; ++x, out += 3) {
    const uint32_t p = platform::ReadPixel(row + static_cast<size_t>(x) * bytes, bytes);
    out[0] = static_cast<uint8_t>(widen((p & f.blue_mask) >> m.blue_shift, m.blue_bits));
    out[1] = static_cast<uint8_t>(widen((p & f.green_mask) >> m.green_shift, m.green_bits));
    out[2] = static_cast<uint8_t>(widen((p & f.red_mask) >> m.red_shift, m.red_bits));
  }
}

void ReadRowRgb(const platform::Surface& surface, int32_t y, uint8_t* out) {
  const int bytes = surface.Format().BytesPerPixel();
  const uint8_t* row = surface.Row(y);
  for (int32_t x = 0; x < surface.Width(); ++x, out += 3) {
    const uint32_t rgb = platform::PixelValueToRgb(surface, platform::ReadPixel(row + static_cast<size_t>(x) * bytes, bytes));
    out[0] = static_cast<uint8_t>(rgb >> 16), out[1] = static_cast<uint8_t>(rgb >> 8), out[2] = static_cast<uint8_t>(rgb);
  }
}

}  // namespace zv::codecs
