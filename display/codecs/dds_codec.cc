#include "display/codecs/dds_codec.h"

#include <algorithm>
#include <cstring>

#include "display/codecs/byte_reader.h"
#include "display/codecs/codec_limits.h"
#include "display/codecs/dxt_encoder.h"
#include "platform/surface/blit.h"
#include "platform/surface/convert.h"

namespace zv::codecs {
namespace {

using platform::DxtFormat;
using platform::PixelFormat;
using platform::Surface;
using platform::SurfacePtr;

constexpr uint32_t kMagic = 0x20534444;  // "DDS "
constexpr uint32_t kDescriptionBytes = 124;
constexpr uint32_t kFlagMipmapCount = 0x20000;
constexpr uint32_t kWrittenFlags = 0x21007;
constexpr uint32_t kWrittenCaps = 0x401008;
constexpr uint32_t kPixelFourCc = 0x4;
constexpr uint32_t kPixelRgb = 0x40;
constexpr uint32_t kPixelAlpha = 0x1;
constexpr size_t kPixelFormatAt = 72;  // inside the description

struct DdsHeader {
  uint32_t flags = 0, height = 0, width = 0, mipmaps = 0;
  uint32_t pixel_flags = 0, four_cc = 0, bit_count = 0;
  uint32_t masks[4] = {};  // red, green, blue, alpha
};

uint32_t FourCc(DxtFormat f) {
  return 0x00545844u | static_cast<uint32_t>('0' + static_cast<int>(f)) << 24;  // "DXTn"
}

std::optional<DxtFormat> FormatOf(uint32_t four_cc) {
  for (int n = 1; n <= 5; ++n)
    if (four_cc == FourCc(static_cast<DxtFormat>(n))) return static_cast<DxtFormat>(n);
  return std::nullopt;
}

int32_t Half(int32_t side) { return side > 1 ? side / 2 : 1; }

// The most levels a chain of these sides can have (down to 1 x 1).
int32_t MostLevels(int32_t width, int32_t height) {
  int32_t levels = 1;
  for (int32_t side = std::max(width, height); side > 1; side /= 2) ++levels;
  return levels;
}

SurfacePtr MakeSurface(int32_t width, int32_t height, const PixelFormat& format) {
  platform::SurfaceDesc desc;
  desc.width = width;
  desc.height = height;
  desc.format = format;
  return Surface::Create(desc);
}

// Every pixel of the surface as 0xFFRRGGBB.
std::vector<uint32_t> ArgbPixels(const Surface& s) {
  std::vector<uint32_t> out(static_cast<size_t>(s.Width()) * s.Height());
  for (int32_t y = 0; y < s.Height(); ++y)
    for (int32_t x = 0; x < s.Width(); ++x)
      out[static_cast<size_t>(y) * s.Width() + x] = 0xFF000000u | platform::PixelValueToRgb(s, s.PixelAt(x, y));
  return out;
}

void StoreArgb(Surface& s, const std::vector<uint32_t>& argb) {
  const PixelFormat& f = s.Format();
  for (int32_t y = 0; y < s.Height(); ++y)
    for (int32_t x = 0; x < s.Width(); ++x) {
      const uint32_t p = argb[static_cast<size_t>(y) * s.Width() + x];
      s.SetPixelAt(x, y, platform::PackRgb(f, static_cast<uint8_t>(p >> 16), static_cast<uint8_t>(p >> 8),
                                           static_cast<uint8_t>(p)));
    }
}

// A stretched (nearest pixel) copy of `from` at width x height, in the
// format `format`.
SurfacePtr StretchCopy(Surface& from, int32_t width, int32_t height, const PixelFormat& format) {
  SurfacePtr to = MakeSurface(width, height, format);
  if (!to || platform::Failed(to->Blt(nullptr, &from, nullptr, platform::kBltWait))) return nullptr;
  return to;
}

bool EncodeLevel(platform::DxtImage& image, int32_t level, const Surface& from) {
  const std::vector<uint32_t> argb = ArgbPixels(from);
  return EncodeDxt(image.Format(), image.Width(level), image.Height(level), argb.data(),
                   static_cast<size_t>(from.Width()), image.LevelData(level));
}

// The stored level decoded into a surface of `format`.
SurfacePtr DecodeLevelAs(const platform::DxtImage& image, int32_t level, const PixelFormat& format) {
  SurfacePtr decoded = image.DecodeLevel(level);
  if (!decoded) return nullptr;
  SurfacePtr out = MakeSurface(decoded->Width(), decoded->Height(), format);
  if (!out) return nullptr;
  std::vector<uint32_t> argb = ArgbPixels(*decoded);
  StoreArgb(*out, argb);
  return out;
}

// The chain's first level holds `first`; every further level i is level
// i - 1 as stored, averaged in 2 x 2 blocks and stretched to its size.
bool FillChain(MipmapChain& chain, Surface& first, int32_t levels) {
  const PixelFormat format = first.Format();
  SurfacePtr working;
  if (chain.compressed) {
    if (!EncodeLevel(*chain.compressed, 0, first)) return false;
    working = DecodeLevelAs(*chain.compressed, 0, format);
  } else {
    chain.levels.push_back(StretchCopy(first, first.Width(), first.Height(), format));
    working = StretchCopy(first, first.Width(), first.Height(), format);
    if (!chain.levels.back()) return false;
  }
  for (int32_t i = 1; i < levels && working; ++i) {
    const int32_t w = Half(working->Width()), h = Half(working->Height());
    if (w < 2) break;
    BoxFilter2x2(*working);
    SurfacePtr level = StretchCopy(*working, w, h, format);
    if (!level) return false;
    if (chain.compressed) {
      if (!EncodeLevel(*chain.compressed, i, *level)) return false;
      working = DecodeLevelAs(*chain.compressed, i, format);
    } else {
      chain.levels.push_back(level);
      working = StretchCopy(*level, w, h, format);
    }
  }
  return working != nullptr;
}

void Put32(std::vector<uint8_t>& out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

std::optional<DdsHeader> ReadHeader(ByteReader& in, int32_t* step) {
  if (in.U32() != kMagic) {
    if (step) *step = dds_step::kBadMagic;
    return std::nullopt;
  }
  const size_t start = in.Position();
  DdsHeader h;
  in.Skip(4);
  h.flags = in.U32();
  h.height = in.U32();
  h.width = in.U32();
  in.Skip(8);
  h.mipmaps = in.U32();
  in.Seek(start + kPixelFormatAt + 4);
  h.pixel_flags = in.U32();
  h.four_cc = in.U32();
  h.bit_count = in.U32();
  for (uint32_t& m : h.masks) m = in.U32();
  in.Seek(start + kDescriptionBytes);
  if (!in.Ok()) {
    if (step) *step = dds_step::kNoSurface;
    return std::nullopt;
  }
  return h;
}

}  // namespace

int32_t RoundUpToPowerOfTwo(int32_t value) {
  for (int32_t side = 2; side <= 8192; side *= 2)
    if (side >= value) return side;
  return 16384;
}

int32_t MipmapLevelCount(int32_t width, int32_t height) {
  int32_t m = 0;
  for (int32_t v = std::min(width, height); v > 2; v /= 2) ++m;
  return m;
}

void BoxFilter2x2(Surface& surface) {
  const PixelFormat& f = surface.Format();
  if (f.indexed || f.depth) return;
  const platform::ChannelLayout l = platform::ChannelLayout::Of(f);
  const uint32_t red_max = (1u << l.red_bits) - 1, green_max = (1u << l.green_bits) - 1,
                 blue_max = (1u << l.blue_bits) - 1;
  const int32_t w = surface.Width(), h = surface.Height();
  for (int32_t y = 0; y < h; y += 2)
    for (int32_t x = 0; x < w; x += 2) {
      uint32_t red = 0, green = 0, blue = 0, samples = 0;
      for (int32_t j = y; j <= y + 1 && j < h; ++j)
        for (int32_t i = x; i <= x + 1 && i < w; ++i) {
          const uint32_t p = surface.PixelAt(i, j);
          red += (p >> l.red_shift) & red_max;
          green += (p >> l.green_shift) & green_max;
          blue += (p >> l.blue_shift) & blue_max;
          ++samples;
        }
      const uint32_t average = (red / samples) << l.red_shift | (green / samples) << l.green_shift |
                               (blue / samples) << l.blue_shift;
      for (int32_t j = y; j <= y + 1 && j < h; ++j)
        for (int32_t i = x; i <= x + 1 && i < w; ++i) surface.SetPixelAt(i, j, average);
    }
}

std::optional<MipmapChain> ReadDds(std::span<const uint8_t> file, DecodeNotes* notes) {
  int32_t* step = notes ? &notes->step : nullptr;
  ByteReader in(file);
  const std::optional<DdsHeader> h = ReadHeader(in, step);
  if (!h) return std::nullopt;
  if (step) *step = dds_step::kNoSurface;
  if (!SizeAllowed(h->width, h->height, notes)) return std::nullopt;
  const int32_t width = static_cast<int32_t>(h->width), height = static_cast<int32_t>(h->height);
  const int32_t stored = (h->flags & kFlagMipmapCount) && h->mipmaps > 1
                             ? static_cast<int32_t>(std::min<uint32_t>(h->mipmaps, 64))
                             : 1;
  const int32_t levels = std::min(stored, MostLevels(width, height));

  MipmapChain chain;
  std::optional<DxtFormat> dxt = (h->pixel_flags & kPixelFourCc) ? FormatOf(h->four_cc) : std::nullopt;
  if (dxt) {
    // Every level must be in the file before anything is made for it.
    size_t total = 0;
    for (int32_t i = 0, w = width, hh = height; i < levels; ++i, w = Half(w), hh = Half(hh))
      total += platform::DxtLevelBytes(*dxt, w, hh);
    if (in.Remaining() < total) return std::nullopt;
    chain.compressed = platform::DxtImage::Create(*dxt, width, height, levels);
    if (!chain.compressed) return std::nullopt;
    if (step) *step = dds_step::kNoLock;
    for (int32_t i = 0; i < levels; ++i) {
      std::span<uint8_t> to = chain.compressed->LevelData(i);
      const std::span<const uint8_t> from = in.Bytes(to.size());
      std::memcpy(to.data(), from.data(), to.size());
    }
  } else {
    if (!(h->pixel_flags & kPixelRgb) || (h->bit_count != 16 && h->bit_count != 24 && h->bit_count != 32))
      return std::nullopt;
    PixelFormat format{static_cast<int>(h->bit_count), h->masks[0], h->masks[1], h->masks[2],
                       (h->pixel_flags & kPixelAlpha) ? h->masks[3] : 0u, false, false};
    const size_t bytes = h->bit_count / 8;
    size_t total = 0;
    for (int32_t i = 0, w = width, hh = height; i < levels; ++i, w = Half(w), hh = Half(hh))
      total += static_cast<size_t>(w) * static_cast<size_t>(hh) * bytes;
    if (in.Remaining() < total) return std::nullopt;
    if (step) *step = dds_step::kNoLock;
    for (int32_t i = 0, w = width, hh = height; i < levels; ++i, w = Half(w), hh = Half(hh)) {
      SurfacePtr level = MakeSurface(w, hh, format);
      if (!level) return std::nullopt;
      for (int32_t y = 0; y < hh; ++y) {
        const std::span<const uint8_t> row = in.Bytes(static_cast<size_t>(w) * bytes);
        std::memcpy(level->Row(y), row.data(), row.size());
      }
      chain.levels.push_back(std::move(level));
    }
  }
  if (step) *step = dds_step::kChainEnd;
  return chain;
}

std::optional<DecodedPicture> DecodeDds(std::span<const uint8_t> file, DecodeNotes* notes) {
  std::optional<MipmapChain> chain = ReadDds(file, notes);
  if (!chain) return std::nullopt;
  SurfacePtr top = chain->compressed ? chain->compressed->DecodeLevel(0) : chain->levels.front();
  if (!top) return std::nullopt;
  DecodedPicture picture;
  picture.storage.resize(static_cast<size_t>(top->Width()) * top->Height() * 4);
  const PixelFormat& f = top->Format();
  uint8_t* out = picture.storage.data();
  for (int32_t y = 0; y < top->Height(); ++y)
    for (int32_t x = 0; x < top->Width(); ++x, out += 4) {
      const uint32_t rgb = platform::UnpackRgb(f, top->PixelAt(x, y));
      out[0] = static_cast<uint8_t>(rgb), out[1] = static_cast<uint8_t>(rgb >> 8), out[2] = static_cast<uint8_t>(rgb >> 16);
    }
  picture.DescribeTopDown32(top->Width(), top->Height());
  return picture;
}

std::optional<MipmapChain> MakeMipmappedTexture(const Surface& source, DxtFormat format, bool compress) {
  const int32_t w = source.Width(), h = source.Height();
  const int32_t levels = std::max<int32_t>(1, MipmapLevelCount(w, h));
  MipmapChain chain;
  SurfacePtr first = MakeSurface(w, h, source.Format());
  if (!first || platform::Failed(first->BltFast(0, 0, const_cast<Surface*>(&source), nullptr, 0))) return std::nullopt;
  if (compress) {
    chain.compressed = platform::DxtImage::Create(format, w, h, levels);
    if (!chain.compressed) return std::nullopt;
  }
  if (!FillChain(chain, *first, levels)) return std::nullopt;
  return chain;
}

std::vector<uint8_t> EncodeDds(const Surface& surface, DxtFormat format) {
  const int32_t w = RoundUpToPowerOfTwo(surface.Width()), h = RoundUpToPowerOfTwo(surface.Height());
  const int32_t m = MipmapLevelCount(w, h);
  const int32_t levels = std::max<int32_t>(1, m);
  MipmapChain chain;
  chain.compressed = platform::DxtImage::Create(format, w, h, levels);
  if (!chain.compressed) return {};
  SurfacePtr first = StretchCopy(const_cast<Surface&>(surface), w, h, surface.Format());
  if (!first || !FillChain(chain, *first, levels)) return {};

  std::vector<uint8_t> out;
  Put32(out, kMagic);
  const size_t start = out.size();
  out.resize(start + kDescriptionBytes, 0);
  auto set = [&](size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) out[start + at + static_cast<size_t>(i)] = static_cast<uint8_t>(v >> (8 * i));
  };
  set(0, kDescriptionBytes);
  set(4, kWrittenFlags);
  set(8, static_cast<uint32_t>(h));
  set(12, static_cast<uint32_t>(w));
  set(24, static_cast<uint32_t>(m));
  set(kPixelFormatAt, 32);
  set(kPixelFormatAt + 4, kPixelFourCc);
  set(kPixelFormatAt + 8, FourCc(format));
  set(104, kWrittenCaps);
  for (int32_t i = 0; i < chain.compressed->LevelCount(); ++i) {
    const std::span<const uint8_t> data = chain.compressed->LevelData(i);
    out.insert(out.end(), data.begin(), data.end());
  }
  return out;
}

}  // namespace zv::codecs
