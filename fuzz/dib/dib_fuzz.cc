// Untrusted info blocks and pixel data (as an image file hands them over)
// drawn into a small surface and read back.
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "platform/dib/dib.h"

namespace {

using zv::platform::Dib;
using zv::platform::Rect;

zv::platform::SurfacePtr Target(uint8_t choice) {
  zv::platform::SurfaceDesc desc;
  desc.width = 48;
  desc.height = 40;
  desc.format = choice % 3 == 0   ? zv::platform::PixelFormat::Rgb565()
                : choice % 3 == 1 ? zv::platform::PixelFormat::Rgb888()
                                  : zv::platform::PixelFormat::Xrgb8888();
  return zv::platform::Surface::Create(desc);
}

int16_t Signed16(const uint8_t* p) { return static_cast<int16_t>(p[0] | p[1] << 8); }

}  // namespace

// Layout: 1 byte surface choice, 8 bytes destination rectangle (four signed
// 16-bit values), 2 bytes info length, the info block, then the pixels.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 11) return 0;
  zv::platform::SurfacePtr surface = Target(data[0]);
  const Rect dest{Signed16(data + 1), Signed16(data + 3), Signed16(data + 5), Signed16(data + 7)};
  const size_t info_length = static_cast<size_t>(data[9] | data[10] << 8);
  std::span<const uint8_t> rest(data + 11, size - 11);
  if (info_length > rest.size()) return 0;
  Dib dib;
  if (!zv::platform::ReadDibInfo(rest.first(info_length), &dib)) return 0;
  dib.bits = rest.subspan(info_length);
  const Rect whole{0, 0, dib.width, dib.Rows()};
  zv::platform::StretchDibBits(*surface, dest, dib, whole);
  zv::platform::StretchDibBits(*surface, Rect{0, 0, 48, 40}, dib, Rect{0, 0, dib.width / 2 + 1, dib.Rows()});
  std::vector<uint8_t> rows(zv::platform::DibStride(48, 24) * 40);
  zv::platform::GetDibBits(*surface, 0, 40, 24, rows);
  return 0;
}
