// Makes arbitrary bytes, read as a DDS file, into a texture the way a
// texture file is loaded (its stored levels in the device format that holds
// them), then gives it mip levels, keys it on black and samples every level
// of both copies the device draws from.
#include <cstdint>
#include <vector>

#include "display/codecs/dds_codec.h"
#include "engine3d/engine.h"
#include "engine3d/objects/object_record.h"
#include "engine3d/render/texture_loader.h"

namespace {

uint32_t Touch(zv::platform::Texture& texture, bool keyed) {
  uint32_t sum = 0;
  for (const zv::platform::SampledLevel& level : texture.Sampled(keyed))
    sum += level.texels[static_cast<size_t>(level.width) * level.height - 1];
  return sum;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static zv::Engine3D engine;  // unbound: the software device's profile
  const std::optional<zv::codecs::MipmapChain> chain =
      zv::codecs::ReadDds(std::span<const uint8_t>(data, size));
  if (!chain) return 0;
  zv::TextureRecord t;
  if (zv::LoadTextureFromPictures(engine, t, *chain) != 0 || !t.surface) return 0;
  volatile uint32_t seen = Touch(*t.surface, false);
  zv::BuildTextureMipmapsOf(engine, t, '1');
  if (zv::RemakeHolderColourKeyed(engine, t) && t.surface) seen = seen + Touch(*t.surface, true);
  (void)seen;
  return 0;
}
