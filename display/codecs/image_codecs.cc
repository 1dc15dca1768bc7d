#include "display/codecs/image_codecs.h"

#include <cctype>
#include <cerrno>

#include "display/codecs/bmp_codec.h"
#include "display/codecs/codec_limits.h"
#include "display/codecs/dds_codec.h"
#include "display/codecs/file_bytes.h"
#include "display/codecs/jpeg_codec.h"
#include "display/codecs/pcx_codec.h"
#include "display/codecs/png_codec.h"
#include "display/codecs/psd_codec.h"
#include "display/codecs/tga_codec.h"
#include "display/codecs/tiff_codec.h"
#include "platform/paths/file_save.h"

namespace zv::codecs {

ImageFileType TypeOfName(std::string_view name) {
  if (name.size() < 3) return ImageFileType::kNone;
  std::string ext(name.substr(name.size() - 3));
  for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (ext == "jpg") return ImageFileType::kJpeg;
  if (ext == "bmp" || ext == "rle" || ext == "dib") return ImageFileType::kBmp;
  if (ext == "psd") return ImageFileType::kPsd;
  if (ext == "pcx") return ImageFileType::kPcx;
  if (ext == "tga") return ImageFileType::kTga;
  if (ext == "dds") return ImageFileType::kDds;
  if (ext == "png") return ImageFileType::kPng;
  if (ext == "tif") return ImageFileType::kTiff;
  return ImageFileType::kNone;
}

bool HasWriter(ImageFileType type) {
  switch (type) {
    case ImageFileType::kJpeg:
    case ImageFileType::kBmp:
    case ImageFileType::kTga:
    case ImageFileType::kDds:
    case ImageFileType::kPng: return true;
    default: return false;
  }
}

std::optional<DecodedPicture> DecodeImage(ImageFileType type, std::vector<uint8_t> file, DecodeNotes* notes) {
  switch (type) {
    case ImageFileType::kBmp: return DecodeBmp(std::move(file), notes);
    case ImageFileType::kTga: return DecodeTga(file, notes);
    default: return DecodeImageInPlace(type, file, notes);
  }
}

std::optional<DecodedPicture> DecodeImageInPlace(ImageFileType type, std::span<const uint8_t> file,
                                                 DecodeNotes* notes) {
  switch (type) {
    case ImageFileType::kJpeg: return DecodeJpeg(file, notes);
    case ImageFileType::kBmp: return DecodeBmpInPlace(file, notes);
    case ImageFileType::kPsd: return DecodePsd(file, notes);
    case ImageFileType::kPcx: return DecodePcx(file, notes);
    case ImageFileType::kTga: return DecodeTgaInPlace(file, notes);
    case ImageFileType::kDds: return DecodeDds(file, notes);
    case ImageFileType::kPng: return DecodePng(file, notes);
    case ImageFileType::kTiff: return DecodeTiff(file, notes);
    case ImageFileType::kNone: break;
  }
  return std::nullopt;
}

std::vector<uint8_t> EncodeImage(ImageFileType type, const platform::Surface& surface) {
  switch (type) {
    case ImageFileType::kJpeg: return EncodeJpeg(surface);
    case ImageFileType::kBmp: return EncodeBmp(surface);
    case ImageFileType::kTga:
      if (surface.Width() > 0xFFFF || surface.Height() > 0xFFFF) return {};
      return EncodeTga(surface);
    case ImageFileType::kDds: return EncodeDds(surface);
    case ImageFileType::kPng: return EncodePng(surface);
    default: return {};
  }
}

platform::SurfacePtr LoadImageFile(const std::string& path, const SurfaceFactory& make, DecodeNotes* notes) {
  const ImageFileType type = TypeOfName(path);
  if (type == ImageFileType::kNone) return nullptr;
  std::optional<FileContents> file = ReadFileContents(path, kMaxFileBytes);
  if (!file) {
    if (notes) notes->step = type == ImageFileType::kDds ? dds_step::kNotOpened : jpeg_step::kNotOpened;
    return nullptr;
  }
  const std::optional<DecodedPicture> picture = DecodeImageInPlace(type, file->Bytes(), notes);
  if (!picture) return nullptr;
  // A picture with storage of its own no longer needs the file; letting it
  // go before the surface is made keeps fewer large blocks alive at once.
  if (picture->OwnsPixels()) file.reset();
  return DrawPicture(*picture, make);
}

SaveOutcome SaveImageFile(const platform::Surface& surface, const std::string& path) {
  const ImageFileType type = TypeOfName(path);
  if (!HasWriter(type)) return SaveOutcome::kNoWriter;
  const std::vector<uint8_t> bytes = EncodeImage(type, surface);
  if (bytes.empty()) {
    // A picture the format cannot hold, or no memory to code it in.
    errno = type == ImageFileType::kTga && (surface.Width() > 0xFFFF || surface.Height() > 0xFFFF) ? EFBIG : ENOMEM;
    return SaveOutcome::kFailed;
  }
  if (!platform::SaveFile(path, bytes)) return SaveOutcome::kFailed;
  return SaveOutcome::kWritten;
}

}  // namespace zv::codecs
