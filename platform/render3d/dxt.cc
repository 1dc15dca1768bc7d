#include "platform/render3d/dxt.h"

#include <array>
#include <cstring>

#include "platform/render3d/caps.h"

namespace zv::platform {
namespace {

constexpr size_t kMaxDxtImageBytes = size_t{1} << 29;

size_t BlockBytes(DxtFormat format) { return format == DxtFormat::kDxt1 ? 8 : 16; }

bool ValidFormat(DxtFormat format) {
  return format >= DxtFormat::kDxt1 && format <= DxtFormat::kDxt5;
}

uint32_t Read16(const uint8_t* p) { return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8; }
uint32_t Read32(const uint8_t* p) { return Read16(p) | Read16(p + 2) << 16; }

struct Rgb {
  uint32_t r, g, b;
};

Rgb Expand565(uint32_t c) {
  uint32_t r = (c >> 11) & 31, g = (c >> 5) & 63, b = c & 31;
  return Rgb{r << 3 | r >> 2, g << 2 | g >> 4, b << 3 | b >> 2};
}

uint32_t Pack(uint32_t a, Rgb c) { return a << 24 | c.r << 16 | c.g << 8 | c.b; }

Rgb Mix(Rgb x, Rgb y, uint32_t wx, uint32_t wy, uint32_t total) {
  return Rgb{(x.r * wx + y.r * wy) / total, (x.g * wx + y.g * wy) / total,
             (x.b * wx + y.b * wy) / total};
}

// The 16 colours of a colour block, alpha 255 except DXT1's transparent
// entry. `four_colour` forces the four-colour mode of the alpha formats.
void DecodeColourBlock(const uint8_t* block, bool four_colour, std::array<uint32_t, 16>& out) {
  uint32_t c0 = Read16(block), c1 = Read16(block + 2);
  Rgb e0 = Expand565(c0), e1 = Expand565(c1);
  std::array<uint32_t, 4> palette;
  palette[0] = Pack(255, e0);
  palette[1] = Pack(255, e1);
  if (four_colour || c0 > c1) {
    palette[2] = Pack(255, Mix(e0, e1, 2, 1, 3));
    palette[3] = Pack(255, Mix(e0, e1, 1, 2, 3));
  } else {
    palette[2] = Pack(255, Mix(e0, e1, 1, 1, 2));
    palette[3] = 0;  // transparent black
  }
  uint32_t indices = Read32(block + 4);
  for (int i = 0; i < 16; ++i) out[i] = palette[(indices >> (2 * i)) & 3];
}

void ApplyExplicitAlpha(const uint8_t* block, std::array<uint32_t, 16>& texels) {
  for (int i = 0; i < 16; ++i) {
    uint32_t nibble = (block[i / 2] >> (4 * (i % 2))) & 0xF;
    texels[i] = (texels[i] & 0x00FFFFFFu) | (nibble * 17) << 24;
  }
}

void ApplyInterpolatedAlpha(const uint8_t* block, std::array<uint32_t, 16>& texels) {
  uint32_t a0 = block[0], a1 = block[1];
  std::array<uint32_t, 8> alpha{a0, a1};
  if (a0 > a1) {
    for (uint32_t i = 1; i <= 6; ++i) alpha[i + 1] = ((7 - i) * a0 + i * a1) / 7;
  } else {
    for (uint32_t i = 1; i <= 4; ++i) alpha[i + 1] = ((5 - i) * a0 + i * a1) / 5;
    alpha[6] = 0;
    alpha[7] = 255;
  }
  uint64_t bits = 0;
  for (int i = 0; i < 6; ++i) bits |= static_cast<uint64_t>(block[2 + i]) << (8 * i);
  for (int i = 0; i < 16; ++i)
    texels[i] = (texels[i] & 0x00FFFFFFu) | alpha[(bits >> (3 * i)) & 7] << 24;
}

void DecodeBlock(DxtFormat format, const uint8_t* block, std::array<uint32_t, 16>& texels) {
  switch (format) {
    case DxtFormat::kDxt1: DecodeColourBlock(block, false, texels); break;
    case DxtFormat::kDxt2:
    case DxtFormat::kDxt3:
      DecodeColourBlock(block + 8, true, texels);
      ApplyExplicitAlpha(block, texels);
      break;
    case DxtFormat::kDxt4:
    case DxtFormat::kDxt5:
      DecodeColourBlock(block + 8, true, texels);
      ApplyInterpolatedAlpha(block, texels);
      break;
  }
}

}  // namespace

size_t DxtLevelBytes(DxtFormat format, int32_t width, int32_t height) {
  if (!ValidFormat(format) || width < 1 || height < 1 || width > kMaxDxtSide || height > kMaxDxtSide)
    return 0;
  size_t across = (static_cast<size_t>(width) + 3) / 4, down = (static_cast<size_t>(height) + 3) / 4;
  return across * down * BlockBytes(format);
}

bool DecodeDxt(DxtFormat format, int32_t width, int32_t height, std::span<const uint8_t> data,
               uint32_t* out, size_t pitch) {
  size_t needed = DxtLevelBytes(format, width, height);
  if (needed == 0 || data.size() < needed || out == nullptr || pitch < static_cast<size_t>(width))
    return false;
  const size_t block_bytes = BlockBytes(format);
  const uint8_t* block = data.data();
  std::array<uint32_t, 16> texels;
  for (int32_t by = 0; by < height; by += 4) {
    for (int32_t bx = 0; bx < width; bx += 4, block += block_bytes) {
      DecodeBlock(format, block, texels);
      for (int32_t y = 0; y < 4 && by + y < height; ++y)
        for (int32_t x = 0; x < 4 && bx + x < width; ++x)
          out[static_cast<size_t>(by + y) * pitch + static_cast<size_t>(bx + x)] = texels[y * 4 + x];
    }
  }
  return true;
}

std::shared_ptr<DxtImage> DxtImage::Create(DxtFormat format, int32_t width, int32_t height,
                                           int32_t levels) {
  if (DxtLevelBytes(format, width, height) == 0 || levels < 1) return nullptr;
  // The whole chain is at most 4/3 of the first level; refuse what no
  // surface could hold either.
  if (DxtLevelBytes(format, width, height) > kMaxDxtImageBytes) return nullptr;
  std::shared_ptr<DxtImage> image(new DxtImage());
  image->format_ = format;
  int32_t w = width, h = height;
  for (int32_t i = 0; i < levels; ++i) {
    image->levels_.push_back(Level{w, h, std::vector<uint8_t>(DxtLevelBytes(format, w, h))});
    if (w == 1 && h == 1 && i + 1 < levels) return nullptr;
    w = w > 1 ? w / 2 : 1;
    h = h > 1 ? h / 2 : 1;
  }
  return image;
}

SurfacePtr DxtImage::DecodeLevel(int32_t level) const {
  if (level < 0 || level >= LevelCount()) return nullptr;
  const Level& l = levels_[level];
  SurfaceDesc desc;
  desc.width = l.width;
  desc.height = l.height;
  desc.format = Argb8888();
  SurfacePtr surface = Surface::Create(desc);
  if (!surface) return nullptr;
  std::vector<uint32_t> pixels(static_cast<size_t>(l.width) * l.height);
  DecodeDxt(format_, l.width, l.height, l.blocks, pixels.data(), static_cast<size_t>(l.width));
  for (int32_t y = 0; y < l.height; ++y)
    std::memcpy(surface->Row(y), pixels.data() + static_cast<size_t>(y) * l.width,
                static_cast<size_t>(l.width) * 4);
  return surface;
}

}  // namespace zv::platform
