#include "engine3d/render/textures.h"

#include <algorithm>
#include <bit>

#include "display/display.h"
#include "engine3d/engine.h"

namespace zv {
namespace {

namespace p = platform;

constexpr int32_t kSolidTextureSize = 32;

// The device's texture format of the back buffer's layout, else the first
// one of its depth without alpha.
p::PixelFormat TextureFormatFor(Engine3D& e) {
  DisplayDevice3D* device = e.DisplayDevice();
  Display* screen = e.Screen();
  p::PixelFormat wanted = p::PixelFormat::Xrgb8888();
  if (screen && screen->Surfaces().back_buffer) wanted = screen->Surfaces().back_buffer->Format();
  if (!device) return wanted;
  const std::vector<p::PixelFormat>& formats = device->TextureFormats();
  if (std::find(formats.begin(), formats.end(), wanted) != formats.end()) return wanted;
  for (const p::PixelFormat& f : formats)
    if (!f.indexed && f.alpha_mask == 0 && f.bits == wanted.bits) return f;
  return formats.empty() ? wanted : formats.front();
}

// The colour as a pixel of the format: each channel scaled onto its width.
uint32_t PixelOf(const p::PixelFormat& format, uint32_t colour) {
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

}  // namespace

bool MakeSolidColourTexture(Engine3D& e, int32_t texture, uint32_t colour) {
  TextureRecord* t = e.pools.Texture(texture);
  if (!t) return false;
  t->surface.reset();
  p::TextureDesc desc;
  desc.width = desc.height = kSolidTextureSize;
  desc.format = TextureFormatFor(e);
  p::TexturePtr surface = p::Texture::Create(desc);
  if (!surface) return false;
  p::BltFx fx;
  fx.fill_color = PixelOf(desc.format, colour);
  surface->Blt(0, nullptr, nullptr, nullptr, p::kBltColorFill | p::kBltWait, &fx);
  if (p::Device3D* d = e.Device()) d->PreLoad(*surface);
  t->surface = std::move(surface);
  t->texture_width = t->texture_height = kSolidTextureSize;
  t->compressed = 0;
  return true;
}

int32_t GetColourTexture(Engine3D& e, uint32_t colour) {
  const std::string key = std::to_string(static_cast<int32_t>(colour));
  for (int32_t index : e.texture_cache) {
    TextureRecord* t = e.pools.Texture(index);
    if (t && !t->cache_key.empty() && t->cache_key == key) {
      ++t->references;
      return index;
    }
  }
  const int32_t index = e.pools.AllocTexture(e.Machine());
  if (index == kNoRecord) return 0;
  // A colour whose surface cannot be made still counts as made: the entry
  // stands, and the meshes draw untextured.
  MakeSolidColourTexture(e, index, colour);
  TextureRecord& t = e.pools.textures[index];
  t.cached = true;
  t.cache_key = key;
  t.references = 1;
  e.texture_cache.push_back(index);
  return index;
}

void ReleaseTexture(Engine3D& e, int32_t texture, bool force) {
  auto entry = std::find(e.texture_cache.begin(), e.texture_cache.end(), texture);
  TextureRecord* t = e.pools.Texture(texture);
  if (entry == e.texture_cache.end() || !t) return;
  if (--t->references > 0 && !force) return;
  e.texture_cache.erase(entry);
  e.pools.FreeTexture(texture);
}

bool TextureHasCacheEntry(Engine3D& e, int32_t texture) {
  const TextureRecord* t = e.pools.Texture(texture);
  return t && t->cached;
}

void ClearTextureCache(Engine3D& e) { e.texture_cache.clear(); }

}  // namespace zv
