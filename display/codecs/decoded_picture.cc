#include "display/codecs/decoded_picture.h"

#include <array>

#include "display/codecs/pixel_rows.h"
#include "platform/surface/blit.h"

namespace zv::codecs {
namespace {

using platform::Dib;
using platform::PixelFormat;

// Pixel values of the surface's format for each 8-bit channel value, so
// that a pixel is three table look-ups and two ors.
struct ChannelTables {
  std::array<uint32_t, 256> red, green, blue;

  explicit ChannelTables(const PixelFormat& f) {
    for (int v = 0; v < 256; ++v) {
      const uint8_t b = static_cast<uint8_t>(v);
      red[v] = platform::PackRgb(f, b, 0, 0);
      green[v] = platform::PackRgb(f, 0, b, 0);
      blue[v] = platform::PackRgb(f, 0, 0, b);
    }
  }
  uint32_t Of(uint8_t r, uint8_t g, uint8_t b) const { return red[r] | green[g] | blue[b]; }
};

template <int kBytes>
void Put(uint8_t* out, int32_t x, uint32_t v) {
  platform::WritePixel(out + static_cast<size_t>(x) * kBytes, kBytes, v);
}

// One row of an uncompressed picture of 1, 4, 8, 24 or 32 bits.
template <int kBytes>
void ConvertRow(const Dib& dib, const uint8_t* in, uint8_t* out, const ChannelTables& t,
                const std::array<uint32_t, 256>& palette) {
  const int32_t w = dib.width;
  switch (dib.bit_count) {
    case 1:
      for (int32_t x = 0; x < w; ++x) Put<kBytes>(out, x, palette[(in[x >> 3] >> (7 - (x & 7))) & 1u]);
      break;
    case 4:
      for (int32_t x = 0; x < w; ++x) Put<kBytes>(out, x, palette[(in[x >> 1] >> ((x & 1) ? 0 : 4)) & 15u]);
      break;
    case 8:
      for (int32_t x = 0; x < w; ++x) Put<kBytes>(out, x, palette[in[x]]);
      break;
    case 24:
      for (int32_t x = 0; x < w; ++x, in += 3) Put<kBytes>(out, x, t.Of(in[2], in[1], in[0]));
      break;
    default:
      for (int32_t x = 0; x < w; ++x, in += 4) Put<kBytes>(out, x, t.Of(in[2], in[1], in[0]));
      break;
  }
}

// Whether the format's pixels hold blue, green and red bytes in that order
// (the files' own), so that 24- and 32-bit rows need no table.
bool FileByteOrder(const PixelFormat& f) {
  return f.bits == 32 && f.blue_mask == 0xFFu && f.green_mask == 0xFF00u && f.red_mask == 0xFF0000u;
}

// The common uncompressed pictures into 16-, 24- and 32-bit surfaces;
// false for anything else (the general copy takes those).
bool DrawFast(platform::Surface& dest, const Dib& dib) {
  const PixelFormat& f = dest.Format();
  if (f.indexed || f.depth || f.bits < 16) return false;
  if (dib.compression != platform::dib_compression::kRgb || dib.bit_count == 16) return false;
  const size_t stride = platform::DibStride(dib.width, dib.bit_count);
  const int32_t rows = dib.Rows();
  if (stride == 0 || dib.bits.size() / stride < static_cast<size_t>(rows)) return false;
  if (dest.Width() < dib.width || dest.Height() < rows) return false;

  if (FileByteOrder(f) && (dib.bit_count == 24 || dib.bit_count == 32)) {
    for (int32_t y = 0; y < rows; ++y) {
      const int32_t dib_row = dib.TopDown() ? y : rows - 1 - y;
      const uint8_t* in = dib.bits.data() + static_cast<size_t>(dib_row) * stride;
      if (dib.bit_count == 24)
        ExpandBgrRow(in, dest.Row(y), dib.width);
      else
        CopyBgrxRow(in, dest.Row(y), dib.width);
    }
    return true;
  }
  const ChannelTables tables(f);
  std::array<uint32_t, 256> palette{};
  palette.fill(tables.Of(0, 0, 0));
  for (size_t i = 0; i < dib.colours.size() && i < palette.size(); ++i) {
    const platform::DibColour& c = dib.colours[i];
    palette[i] = tables.Of(c.red, c.green, c.blue);
  }
  for (int32_t y = 0; y < rows; ++y) {
    const int32_t dib_row = dib.TopDown() ? y : rows - 1 - y;
    const uint8_t* in = dib.bits.data() + static_cast<size_t>(dib_row) * stride;
    uint8_t* out = dest.Row(y);
    switch (f.BytesPerPixel()) {
      case 2: ConvertRow<2>(dib, in, out, tables, palette); break;
      case 3: ConvertRow<3>(dib, in, out, tables, palette); break;
      default: ConvertRow<4>(dib, in, out, tables, palette); break;
    }
  }
  return true;
}

}  // namespace

bool DrawPictureInto(platform::Surface& dest, const DecodedPicture& picture) {
  if (DrawFast(dest, picture.dib)) return true;
  const platform::Rect whole = platform::RectOfSize(picture.Width(), picture.Height());
  return platform::StretchDibBits(dest, whole, picture.dib, whole) > 0;
}

platform::SurfacePtr DrawPicture(const DecodedPicture& picture, const SurfaceFactory& make) {
  if (!make) return nullptr;
  platform::SurfacePtr surface = make(picture.Width(), picture.Height());
  if (!surface || surface->Width() != picture.Width() || surface->Height() != picture.Height()) return nullptr;
  return DrawPictureInto(*surface, picture) ? surface : nullptr;
}

}  // namespace zv::codecs
