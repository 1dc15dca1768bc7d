#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "display/codecs/decoded_picture.h"
#include "platform/render3d/dxt.h"
#include "platform/surface/surface.h"

namespace zv::codecs {

struct DecodeNotes;

// Where the last DDS load got to, for the error report.
namespace dds_step {
constexpr int32_t kNotOpened = 10001;
constexpr int32_t kBadMagic = 10002;
constexpr int32_t kNoSurface = 10003;
constexpr int32_t kNoLock = 10004;
constexpr int32_t kChainEnd = 10006;
}  // namespace dds_step

// A picture and its smaller levels, largest first: block-compressed in
// `compressed`, or else one surface per level in `levels`, each in the
// stored pixel format.
struct MipmapChain {
  platform::DxtImagePtr compressed;
  std::vector<platform::SurfacePtr> levels;

  int32_t LevelCount() const {
    return compressed ? compressed->LevelCount() : static_cast<int32_t>(levels.size());
  }
};

// A DDS file: DXT1 to DXT5, or uncompressed RGB of 16, 24 or 32 bits with
// any channel masks, with its stored mip levels. Nothing when the header is
// damaged or the file is shorter than its levels; `step` (when given) tells
// how far the load got.
std::optional<MipmapChain> ReadDds(std::span<const uint8_t> file, DecodeNotes* notes = nullptr);

// The first level of a DDS file as a 32-bit picture.
std::optional<DecodedPicture> DecodeDds(std::span<const uint8_t> file, DecodeNotes* notes = nullptr);

// The surface as a DXT-compressed DDS file: stretched to sides that are
// powers of two, with smaller levels down to the one whose shorter side is
// 4, each made from the level before it as stored, averaged in 2 x 2
// blocks. Empty when the surface cannot be coded.
std::vector<uint8_t> EncodeDds(const platform::Surface& surface, platform::DxtFormat format = platform::DxtFormat::kDxt1);

// The same chain at the surface's own size, block-compressed in `format`
// when `compress`, else in the surface's pixel format. Nothing when a level
// cannot be made.
std::optional<MipmapChain> MakeMipmappedTexture(const platform::Surface& source, platform::DxtFormat format,
                                                bool compress);

// Replaces every aligned 2 x 2 block of the surface by its average colour.
void BoxFilter2x2(platform::Surface& surface);

// The smallest of 2, 4, ..., 8192 that is at least `value`; 16384 above.
int32_t RoundUpToPowerOfTwo(int32_t value);
// The level count of a chain for these sides: the number of halvings of
// the shorter side while it is above 2 (0: the first level alone).
int32_t MipmapLevelCount(int32_t width, int32_t height);

}  // namespace zv::codecs
