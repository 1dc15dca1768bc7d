#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "display/codecs/codec_limits.h"
#include "display/codecs/decoded_picture.h"
#include "platform/surface/surface.h"

namespace zv::codecs {

// The codec a file name asks for, by its last three letters in any case
// ("jpeg" and "tiff" name none).
enum class ImageFileType { kNone, kJpeg, kBmp, kPsd, kPcx, kTga, kDds, kPng, kTiff };

ImageFileType TypeOfName(std::string_view name);

// Whether the type has a writer (PSD, PCX and TIFF files are only read).
bool HasWriter(ImageFileType type);

// The picture of a file's contents in the given type; nothing when it
// cannot be decoded. `notes` (when given) receive the JPEG and DDS
// loaders' progress codes and a refusal of a picture too large.
std::optional<DecodedPicture> DecodeImage(ImageFileType type, std::vector<uint8_t> file, DecodeNotes* notes = nullptr);

// The same for contents the caller keeps: the picture may point into
// `file` (uncompressed BMP and TGA pictures are drawn straight from it), so
// `file` must outlive it.
std::optional<DecodedPicture> DecodeImageInPlace(ImageFileType type, std::span<const uint8_t> file,
                                                 DecodeNotes* notes = nullptr);

// The file contents that store the surface in the given type; empty when
// the type has no writer or the surface cannot be coded.
std::vector<uint8_t> EncodeImage(ImageFileType type, const platform::Surface& surface);

// Loads the file into a new surface made by `make`; null when the name
// matches no codec or the file cannot be read or decoded.
platform::SurfacePtr LoadImageFile(const std::string& path, const SurfaceFactory& make, DecodeNotes* notes = nullptr);

enum class SaveOutcome { kWritten, kNoWriter, kFailed };
// Why a name gives kNoWriter, as a failure's cause.
inline constexpr char kWritableFormats[] =
    "a picture can be written only as a .bmp, .dib, .rle, .jpg, .png, .tga or .dds file";

// Writes the surface in the format its name asks for, replacing an earlier
// file only once the new one is complete. After kFailed errno says why.
SaveOutcome SaveImageFile(const platform::Surface& surface, const std::string& path);

}  // namespace zv::codecs
