#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "display/codecs/dds_codec.h"
#include "platform/render3d/caps.h"
#include "platform/render3d/dxt.h"
#include "platform/render3d/texture.h"
#include "platform/surface/pixel_format.h"
#include "platform/surface/surface.h"

namespace zv {

class Engine3D;
struct TextureRecord;

// The texture loader: makes the device texture of a texture record from a
// bitmap file, any other image file (DDS keeps its levels), a surface or a
// solid colour, in a size and pixel format the device takes, and preloads
// it. Each making operation replaces the record's previous texture; one
// that fails leaves the record without a texture (the refresh excepted,
// which leaves it as it was).

// ---- The device's limits and formats ----------------------------------------------

// What textures are made for: the device's limits and formats (the
// software device's profile while there is no device), the display's pixel
// format and palette, and whether block-compressed formats are offered.
struct TextureTarget {
  platform::DeviceCaps caps;
  std::vector<platform::PixelFormat> formats;
  platform::PixelFormat back_buffer = platform::PixelFormat::Xrgb8888();
  platform::PalettePtr palette;
  bool dxt_available = false;
};
TextureTarget TextureTargetOf(Engine3D& e);

// Rounds the size to powers of two (2 to 1024) when the device needs them,
// keeps it inside the device's minimum (16 when it names none) and maximum,
// and makes it square when the device takes only square textures.
void ChooseTextureSize(const platform::DeviceCaps& caps, int32_t* width, int32_t* height);
// The first offered RGB format without alpha of `bits` (at least 8), else
// the last such format offered; nothing when none is.
std::optional<platform::PixelFormat> FindTextureFormatByDepth(std::span<const platform::PixelFormat> formats,
                                                              int bits);
bool FindExactTextureFormat(std::span<const platform::PixelFormat> formats, const platform::PixelFormat& wanted);

// The layout of a picture to be made a texture: block-compressed, or in a
// pixel format.
struct SourceFormat {
  std::optional<platform::DxtFormat> dxt;
  platform::PixelFormat format;
};
// The offered format that holds such a picture best: the same layout, or
// for block-compressed data a format with as many alpha bits and at least 4
// bits per colour. Nothing when no offered format will do.
std::optional<platform::PixelFormat> FindTextureFormatForDds(std::span<const platform::PixelFormat> formats,
                                                             const SourceFormat& source);
// The pixel value of opaque black: the colour key of textures.
uint32_t BlackPixelOf(const platform::PixelFormat& format);
// The pixel of a packed 0xRRGGBB colour: each channel scaled onto its field,
// the fields read off the masks from blue upwards.
uint32_t SolidColourPixel(const platform::PixelFormat& format, uint32_t colour);
// The block format a format digit names ('1' to '5'); DXT1 for any other.
platform::DxtFormat DxtFormatOfDigit(uint8_t digit);

// ---- Making a record's texture ---------------------------------------------------------

// A bitmap file (or any image file) stretched over a texture in the
// display's format, keyed on black when asked. False when the file cannot
// be read or the texture made.
bool LoadBitmapTexture(Engine3D& e, TextureRecord& t, const std::string& path, bool colour_key);
// The surface stretched over a texture in its own format (unless
// `by_depth` or the device lacks it: then by its depth), keyed on black
// when asked, compressed when asked. `image` >= 0 records the image record
// and the sizes the texture was made from.
bool MakeTextureFromSurface(Engine3D& e, TextureRecord& t, int32_t image, platform::Surface& source,
                            bool colour_key, bool compress, bool by_depth);
// Copies the width x height corner of the surface over the whole texture.
bool RefreshTextureFromSurface(Engine3D& e, TextureRecord& t, platform::Surface& source, int32_t width,
                               int32_t height);
// A 32 x 32 texture of one colour in the display's format.
bool MakeSolidColourTexture(Engine3D& e, TextureRecord& t, uint32_t colour);
// Any image file the codecs read, a DDS file with its own format and mip
// levels: 0 when made, negative when not.
int32_t LoadDdsTexture(Engine3D& e, TextureRecord& t, const std::string& path);
// The same from pictures already read: a DDS file's levels, or one picture.
int32_t LoadTextureFromPictures(Engine3D& e, TextureRecord& t, const codecs::MipmapChain& chain);
// A texture of `format` holding the chain's pictures, all its levels when
// `mipmapped`; negative when it cannot be made or filled.
int32_t CreateDdsTextureSurface(Engine3D& e, const codecs::MipmapChain& chain, const platform::PixelFormat& format,
                                bool mipmapped, platform::TexturePtr* out);
// Gives a texture without mip levels a chain of them (compressed with the
// digit's block format when the device takes it). Always 0.
int32_t BuildTextureMipmapsOf(Engine3D& e, TextureRecord& t, uint8_t format_digit);
// The texture copied into the device's DXT1 format or its best stand-in.
bool CompressTextureToDxt1(Engine3D& e, TextureRecord& t);
// The texture made again from its own picture, keyed on black, in the
// format of its depth.
bool RemakeHolderColourKeyed(Engine3D& e, TextureRecord& t);
// The texture again in a format the present device offers, from its own
// levels (after a display change).
bool RemakeTextureForDevice(Engine3D& e, TextureRecord& t, platform::Texture& old);
// Makes the device's sampled copy now; false without a texture.
bool PreloadTexture(Engine3D& e, TextureRecord& t);
void ReleaseHolderSurfaces(TextureRecord& t);
void ClearTextureCreationData(TextureRecord& t);

}  // namespace zv
