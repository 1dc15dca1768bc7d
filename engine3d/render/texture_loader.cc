#include "engine3d/render/texture_loader.h"

#include <algorithm>
#include <bit>

#include "display/codecs/codec_limits.h"
#include "display/codecs/file_bytes.h"
#include "display/codecs/image_codecs.h"
#include "display/display.h"
#include "engine3d/engine.h"

namespace zv {
namespace {

namespace p = platform;

constexpr int32_t kSolidTextureSide = 32;
constexpr int32_t kLargestRoundedSide = 1024;
constexpr int32_t kSmallestSideWithoutMinimum = 16;

// Sides of textures that must be powers of two: 2 to 1024.
int32_t RoundedTextureSide(int32_t side) {
  for (int32_t s = 2; s <= kLargestRoundedSide / 2; s *= 2)
    if (side <= s) return s;
  return kLargestRoundedSide;
}

int32_t ChainLength(int32_t width, int32_t height) {
  return std::bit_width(static_cast<uint32_t>(std::max({width, height, 1})));
}

p::TexturePtr NewTexture(Engine3D& e, int32_t width, int32_t height, const p::PixelFormat& format,
                         int32_t levels) {
  p::TextureDesc desc;
  desc.width = width;
  desc.height = height;
  desc.format = format;
  desc.levels = levels;
  if (p::Render3D* render = e.Render()) return render->CreateTexture(desc);
  return p::Texture::Create(desc);
}

// The display's palette on an 8-bit texture; nothing for other formats.
void GivePalette(p::Texture& texture, const TextureTarget& target) {
  if (texture.Format().indexed && target.palette) texture.SetPalette(target.palette);
}

void KeyOnBlack(p::Texture& texture) {
  const uint32_t black = BlackPixelOf(texture.Format());
  texture.SetColorKey(p::ColorKey{black, black});
}

// A copy of a texture keeps being keyed on black when the texture it copies was.
void CarryColourKey(const p::Texture& from, p::Texture& to) {
  if (from.SrcColorKey()) KeyOnBlack(to);
}

// The back buffer's format when the device offers it, else the format of
// its depth.
std::optional<p::PixelFormat> DisplayTextureFormat(const TextureTarget& target) {
  if (FindExactTextureFormat(target.formats, target.back_buffer)) return target.back_buffer;
  return FindTextureFormatByDepth(target.formats, target.back_buffer.bits);
}

// Surfaces that image files are decoded into: the display's format where
// textures can be made from it, else 32-bit colour.
codecs::SurfaceFactory PictureFactory(const TextureTarget& target) {
  const p::PixelFormat format = p::IsTextureFormat(target.back_buffer) && !target.back_buffer.indexed
                                    ? target.back_buffer
                                    : p::PixelFormat::Xrgb8888();
  return [format](int32_t width, int32_t height) {
    p::SurfaceDesc desc;
    desc.width = width;
    desc.height = height;
    desc.format = format;
    return p::Surface::Create(desc);
  };
}

// The pictures of an image file: a DDS file's stored levels in their own
// layout, any other file's picture as the one level.
std::optional<codecs::MipmapChain> ReadTexturePictures(const TextureTarget& target, const std::string& path) {
  if (codecs::TypeOfName(path) == codecs::ImageFileType::kDds) {
    std::optional<std::vector<uint8_t>> bytes = codecs::ReadFileBytes(path, codecs::kMaxFileBytes);
    if (!bytes) return std::nullopt;
    return codecs::ReadDds(*bytes);
  }
  p::SurfacePtr picture = codecs::LoadImageFile(path, PictureFactory(target));
  if (!picture) return std::nullopt;
  codecs::MipmapChain chain;
  chain.levels.push_back(std::move(picture));
  return chain;
}

SourceFormat SourceFormatOf(const codecs::MipmapChain& chain) {
  SourceFormat source;
  if (chain.compressed)
    source.dxt = chain.compressed->Format();
  else
    source.format = chain.levels.front()->Format();
  return source;
}

void NoteTextureSize(TextureRecord& t) {
  t.texture_width = t.surface ? t.surface->Width() : 0;
  t.texture_height = t.surface ? t.surface->Height() : 0;
}

}  // namespace

// ---- The device's limits and formats ----------------------------------------------------

TextureTarget TextureTargetOf(Engine3D& e) {
  TextureTarget target;
  p::Device3D* device = e.Device();
  target.caps = device ? device->Caps() : p::SoftwareDeviceCaps(p::DeviceKind::kHal);
  DisplayDevice3D* display_device = e.DisplayDevice();
  if (display_device && display_device->Exists() && !display_device->TextureFormats().empty())
    target.formats = display_device->TextureFormats();
  else
    target.formats = p::TextureFormats();
  target.dxt_available = e.Capabilities().dxt_available;
  if (Display* screen = e.Screen()) {
    if (screen->Surfaces().back_buffer) target.back_buffer = screen->Surfaces().back_buffer->Format();
    target.palette = screen->Surfaces().palette;
  }
  return target;
}

void ChooseTextureSize(const p::DeviceCaps& caps, int32_t* width, int32_t* height) {
  if (caps.triangle.texture & p::texture_caps::kPow2) {
    *width = RoundedTextureSide(*width);
    *height = RoundedTextureSide(*height);
  }
  if (caps.min_texture_width == 0) {
    *width = std::max(*width, kSmallestSideWithoutMinimum);
    *height = std::max(*height, kSmallestSideWithoutMinimum);
  } else {
    *width = std::max(*width, caps.min_texture_width);
    *height = std::max(*height, caps.min_texture_height);
  }
  if (caps.max_texture_width != 0) {
    *width = std::min(*width, caps.max_texture_width);
    *height = std::min(*height, caps.max_texture_height);
  }
  if (caps.triangle.texture & p::texture_caps::kSquareOnly) *width = *height = std::max(*width, *height);
}

std::optional<p::PixelFormat> FindTextureFormatByDepth(std::span<const p::PixelFormat> formats, int bits) {
  std::optional<p::PixelFormat> found;
  for (const p::PixelFormat& f : formats) {
    if (f.indexed || f.depth || f.alpha_mask != 0 || f.bits < 8) continue;
    found = f;
    if (f.bits == bits) break;
  }
  return found;
}

bool FindExactTextureFormat(std::span<const p::PixelFormat> formats, const p::PixelFormat& wanted) {
  return std::find(formats.begin(), formats.end(), wanted) != formats.end();
}

std::optional<p::PixelFormat> FindTextureFormatForDds(std::span<const p::PixelFormat> formats,
                                                      const SourceFormat& source) {
  auto bits = [](uint32_t mask) { return std::popcount(mask); };
  if (!source.dxt) {
    const p::PixelFormat& want = source.format;
    for (const p::PixelFormat& f : formats)
      if (!f.indexed && !f.depth && bits(f.red_mask) == bits(want.red_mask) &&
          bits(f.green_mask) == bits(want.green_mask) && bits(f.blue_mask) == bits(want.blue_mask) &&
          bits(f.alpha_mask) == bits(want.alpha_mask))
        return f;
    return std::nullopt;
  }
  // The device offers no block-compressed format and no premultiplied one,
  // so DXT data go into the uncompressed format that keeps their alpha.
  const p::DxtFormat dxt = *source.dxt;
  const int alpha = dxt == p::DxtFormat::kDxt1 ? 1 : dxt == p::DxtFormat::kDxt2 || dxt == p::DxtFormat::kDxt3 ? 4 : 8;
  const bool premultiplied = dxt == p::DxtFormat::kDxt2 || dxt == p::DxtFormat::kDxt4;
  constexpr bool kFormatsPremultiplied = false;
  auto colours_fit = [&](const p::PixelFormat& f) {
    return !f.indexed && !f.depth && premultiplied == kFormatsPremultiplied && bits(f.red_mask) >= 4 &&
           bits(f.green_mask) >= 4 && bits(f.blue_mask) >= 4;
  };
  for (const p::PixelFormat& f : formats)
    if (colours_fit(f) && bits(f.alpha_mask) == alpha) return f;
  std::optional<p::PixelFormat> most;
  for (const p::PixelFormat& f : formats)
    if (colours_fit(f) && (!most || bits(f.alpha_mask) > bits(most->alpha_mask))) most = f;
  return most;
}

uint32_t BlackPixelOf(const p::PixelFormat& format) {
  if (format.indexed || format.bits <= 8) return 0;
  return p::PackRgb(format, 0, 0, 0) | format.alpha_mask;
}

uint32_t SolidColourPixel(const p::PixelFormat& format, uint32_t colour) {
  auto width = [](uint32_t mask) { return static_cast<int>(std::bit_width(mask)); };
  const int blue = width(format.blue_mask);
  const int green = std::max(0, width(format.green_mask) - blue);
  const int red = std::max(0, width(format.red_mask) - blue - green);
  auto scale = [](int bits, uint32_t value) {
    return static_cast<uint32_t>(static_cast<double>((1u << bits) - 1u) / 255.0 * value);
  };
  return (scale(red, (colour >> 16) & 0xFF) << (blue + green)) | (scale(green, (colour >> 8) & 0xFF) << blue) |
         scale(blue, colour & 0xFF);
}

p::DxtFormat DxtFormatOfDigit(uint8_t digit) {
  if (digit >= '1' && digit <= '5') return static_cast<p::DxtFormat>(digit - '0');
  return p::DxtFormat::kDxt1;
}

// ---- Making a record's texture -------------------------------------------------------------

bool LoadBitmapTexture(Engine3D& e, TextureRecord& t, const std::string& path, bool colour_key) {
  const TextureTarget target = TextureTargetOf(e);
  p::SurfacePtr picture = codecs::LoadImageFile(path, PictureFactory(target));
  if (!picture) return false;
  ReleaseHolderSurfaces(t);
  int32_t width = picture->Width(), height = picture->Height();
  ChooseTextureSize(target.caps, &width, &height);
  const std::optional<p::PixelFormat> format = DisplayTextureFormat(target);
  if (!format) return false;
  p::TexturePtr texture = NewTexture(e, width, height, *format, 1);
  if (!texture) return false;
  GivePalette(*texture, target);
  if (p::Failed(texture->Blt(0, nullptr, picture.get(), nullptr, p::kBltWait))) return false;
  if (colour_key) KeyOnBlack(*texture);
  t.surface = std::move(texture);
  t.mipmapped = 0;
  NoteTextureSize(t);
  PreloadTexture(e, t);
  return true;
}

bool MakeTextureFromSurface(Engine3D& e, TextureRecord& t, int32_t image, p::Surface& source, bool colour_key,
                            bool compress, bool by_depth) {
  const TextureTarget target = TextureTargetOf(e);
  int32_t width = source.Width(), height = source.Height();
  ChooseTextureSize(target.caps, &width, &height);
  std::optional<p::PixelFormat> format;
  if (!by_depth && FindExactTextureFormat(target.formats, source.Format()))
    format = source.Format();
  else
    format = FindTextureFormatByDepth(target.formats, source.Format().bits == 0 ? 16 : source.Format().bits);
  p::TexturePtr texture = format ? NewTexture(e, width, height, *format, 1) : nullptr;
  if (!texture) {
    ReleaseHolderSurfaces(t);
    return false;
  }
  GivePalette(*texture, target);
  p::BltFx black;
  texture->Blt(0, nullptr, nullptr, nullptr, p::kBltColorFill | p::kBltWait, &black);
  // A copy that fails leaves the texture black.
  texture->Blt(0, nullptr, &source, nullptr, p::kBltWait);
  if (image != -1) {
    t.source_image = image;
    t.source_width = source.Width();
    t.source_height = source.Height();
  }
  // `source` may be a level of the texture being replaced: it goes last.
  t.surface = std::move(texture);
  if (colour_key) KeyOnBlack(*t.surface);
  t.mipmapped = 0;
  t.compressed = 0;
  if (compress) {
    t.compressed = 1;
    CompressTextureToDxt1(e, t);
  }
  PreloadTexture(e, t);
  if (image != -1) NoteTextureSize(t);
  return true;
}

bool RefreshTextureFromSurface(Engine3D& e, TextureRecord& t, p::Surface& source, int32_t width, int32_t height) {
  if (!t.surface) return false;
  const p::Rect from = p::RectOfSize(width, height);
  if (p::Failed(t.surface->Blt(0, nullptr, &source, &from, p::kBltWait))) return false;
  // Smaller levels follow the new picture, so that no distance shows the
  // old one.
  for (int32_t level = 1; level < t.surface->LevelCount(); ++level)
    t.surface->Blt(level, nullptr, &source, &from, p::kBltWait);
  PreloadTexture(e, t);
  return true;
}

bool MakeSolidColourTexture(Engine3D& e, TextureRecord& t, uint32_t colour) {
  const TextureTarget target = TextureTargetOf(e);
  int32_t width = kSolidTextureSide, height = kSolidTextureSide;
  ChooseTextureSize(target.caps, &width, &height);
  const std::optional<p::PixelFormat> format = DisplayTextureFormat(target);
  p::TexturePtr texture = format ? NewTexture(e, width, height, *format, 1) : nullptr;
  if (!texture) {
    ReleaseHolderSurfaces(t);
    return false;
  }
  GivePalette(*texture, target);
  p::BltFx fill;
  fill.fill_color = SolidColourPixel(*format, colour);
  texture->Blt(0, nullptr, nullptr, nullptr, p::kBltColorFill | p::kBltWait, &fill);
  t.surface = std::move(texture);
  t.compressed = 0;
  t.mipmapped = 0;
  NoteTextureSize(t);
  PreloadTexture(e, t);
  return true;
}

int32_t LoadDdsTexture(Engine3D& e, TextureRecord& t, const std::string& path) {
  const std::optional<codecs::MipmapChain> chain = ReadTexturePictures(TextureTargetOf(e), path);
  ReleaseHolderSurfaces(t);
  if (!chain) return -1;
  return LoadTextureFromPictures(e, t, *chain);
}

int32_t LoadTextureFromPictures(Engine3D& e, TextureRecord& t, const codecs::MipmapChain& chain) {
  const TextureTarget target = TextureTargetOf(e);
  ReleaseHolderSurfaces(t);
  if (chain.LevelCount() < 1) return -1;
  // A layout no offered format can hold is refused here rather than made
  // into a texture of some other layout.
  const std::optional<p::PixelFormat> format = FindTextureFormatForDds(target.formats, SourceFormatOf(chain));
  if (!format) return -1;
  p::TexturePtr texture;
  if (CreateDdsTextureSurface(e, chain, *format, chain.LevelCount() > 1, &texture) < 0) return -1;
  t.surface = std::move(texture);
  t.mipmapped = t.surface->LevelCount() > 1 ? 1 : 0;
  t.compressed = 0;
  NoteTextureSize(t);
  PreloadTexture(e, t);
  return 0;
}

int32_t CreateDdsTextureSurface(Engine3D& e, const codecs::MipmapChain& chain, const p::PixelFormat& format,
                                bool mipmapped, p::TexturePtr* out) {
  if (chain.LevelCount() < 1) return -1;
  const TextureTarget target = TextureTargetOf(e);
  int32_t width = chain.compressed ? chain.compressed->Width(0) : chain.levels.front()->Width();
  int32_t height = chain.compressed ? chain.compressed->Height(0) : chain.levels.front()->Height();
  ChooseTextureSize(target.caps, &width, &height);
  const int32_t levels = mipmapped ? std::min(chain.LevelCount(), ChainLength(width, height)) : 1;
  p::TexturePtr texture = NewTexture(e, width, height, format, levels);
  if (!texture) return -1;
  GivePalette(*texture, target);
  for (int32_t level = 0; level < levels; ++level) {
    const p::Result r = chain.compressed
                            ? texture->BltFromDxt(level, nullptr, *chain.compressed, level)
                            : texture->Blt(level, nullptr, chain.levels[static_cast<size_t>(level)].get(), nullptr,
                                           p::kBltWait);
    if (p::Failed(r)) return -2;
  }
  *out = std::move(texture);
  return 0;
}

int32_t BuildTextureMipmapsOf(Engine3D& e, TextureRecord& t, uint8_t format_digit) {
  if (!t.surface || t.mipmapped != 0 || t.surface->LevelCount() > 1) return 0;
  const TextureTarget target = TextureTargetOf(e);
  const std::optional<codecs::MipmapChain> chain =
      codecs::MakeMipmappedTexture(t.surface->LevelSurface(0), DxtFormatOfDigit(format_digit), target.dxt_available);
  if (!chain) return 0;
  std::optional<p::PixelFormat> format = t.surface->Format();
  if (chain->compressed) format = FindTextureFormatForDds(target.formats, SourceFormatOf(*chain));
  p::TexturePtr texture;
  if (!format || CreateDdsTextureSurface(e, *chain, *format, true, &texture) < 0) return 0;
  CarryColourKey(*t.surface, *texture);
  t.surface = std::move(texture);
  t.mipmapped = t.surface->LevelCount() > 1 ? 1 : 0;
  PreloadTexture(e, t);
  return 0;
}

bool CompressTextureToDxt1(Engine3D& e, TextureRecord& t) {
  if (!t.surface) return false;
  const TextureTarget target = TextureTargetOf(e);
  SourceFormat dxt1;
  dxt1.dxt = p::DxtFormat::kDxt1;
  const std::optional<p::PixelFormat> format = FindTextureFormatForDds(target.formats, dxt1);
  p::TexturePtr texture = format ? NewTexture(e, t.surface->Width(), t.surface->Height(), *format, 1) : nullptr;
  if (!texture || p::Failed(texture->Blt(0, nullptr, &t.surface->LevelSurface(0), nullptr, p::kBltWait)))
    return false;
  CarryColourKey(*t.surface, *texture);
  t.surface = std::move(texture);
  t.mipmapped = 0;
  return true;
}

bool RemakeHolderColourKeyed(Engine3D& e, TextureRecord& t) {
  if (!t.surface) return false;
  const p::TexturePtr own = t.surface;  // the picture outlives its replacement's making
  return MakeTextureFromSurface(e, t, -1, own->LevelSurface(0), true, false, true);
}

bool RemakeTextureForDevice(Engine3D& e, TextureRecord& t, p::Texture& old) {
  const TextureTarget target = TextureTargetOf(e);
  int32_t width = old.Width(), height = old.Height();
  ChooseTextureSize(target.caps, &width, &height);
  std::optional<p::PixelFormat> format = old.Format();
  if (!FindExactTextureFormat(target.formats, *format)) format = FindTextureFormatByDepth(target.formats, format->bits);
  const int32_t levels = std::min(old.LevelCount(), ChainLength(width, height));
  p::TexturePtr texture = format ? NewTexture(e, width, height, *format, levels) : nullptr;
  if (!texture) return false;
  GivePalette(*texture, target);
  for (int32_t level = 0; level < levels; ++level)
    texture->Blt(level, nullptr, &old.LevelSurface(level), nullptr, p::kBltWait);
  CarryColourKey(old, *texture);
  t.surface = std::move(texture);
  t.mipmapped = t.surface->LevelCount() > 1 ? 1 : 0;
  NoteTextureSize(t);
  PreloadTexture(e, t);
  return true;
}

bool PreloadTexture(Engine3D& e, TextureRecord& t) {
  p::Device3D* device = e.Device();
  return t.surface && device && p::Succeeded(device->PreLoad(*t.surface));
}

void ReleaseHolderSurfaces(TextureRecord& t) { t.surface.reset(); }

void ClearTextureCreationData(TextureRecord& t) {
  t.source_image = 0;
  t.source_width = t.source_height = 0;
  t.texture_width = t.texture_height = 0;
}

}  // namespace zv
