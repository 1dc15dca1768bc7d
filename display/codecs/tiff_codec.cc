#include "display/codecs/tiff_codec.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>

#include "display/codecs/codec_limits.h"
#include "display/codecs/tiff_library.h"

namespace zv::codecs {
namespace {

// The file in memory as the TIFF library reads it.
struct MemoryFile {
  std::span<const uint8_t> data;
  toff_t at = 0;
};

tmsize_t ReadProc(thandle_t handle, void* buffer, tmsize_t size) {
  auto* f = static_cast<MemoryFile*>(handle);
  if (size < 0 || f->at >= f->data.size()) return 0;
  const size_t n = std::min<size_t>(static_cast<size_t>(size), f->data.size() - f->at);
  std::memcpy(buffer, f->data.data() + f->at, n);
  f->at += n;
  return static_cast<tmsize_t>(n);
}
tmsize_t WriteProc(thandle_t, void*, tmsize_t) { return 0; }
toff_t SeekProc(thandle_t handle, toff_t offset, int whence) {
  auto* f = static_cast<MemoryFile*>(handle);
  uint64_t base = 0;
  if (whence == SEEK_CUR) base = f->at;
  if (whence == SEEK_END) base = f->data.size();
  const uint64_t target = base + offset;
  if (target < base) return static_cast<toff_t>(-1);
  f->at = target;
  return f->at;
}
int CloseProc(thandle_t) { return 0; }
toff_t SizeProc(thandle_t handle) { return static_cast<MemoryFile*>(handle)->data.size(); }
int Quiet(TIFF*, void*, const char*, const char*, va_list) { return 1; }

// The largest single buffer the library may take while it reads.
constexpr tmsize_t kMaxLibraryBuffer = tmsize_t{256} << 20;

struct TiffCloser {
  void operator()(TIFF* t) const { Tiff().TIFFClose(t); }
};
struct OptionsFree {
  void operator()(TIFFOpenOptions* o) const { Tiff().TIFFOpenOptionsFree(o); }
};

// The RGBA reader multiplies the colours by an unassociated (straight)
// alpha. A picture keeps the colours its file gives, as in every other
// format, so such an alpha is described to the reader as already applied.
void KeepStraightColours(TIFF* tiff) {
  uint16_t count = 0;
  uint16_t* kinds = nullptr;
  if (!Tiff().TIFFGetField(tiff, TIFFTAG_EXTRASAMPLES, &count, &kinds) || count == 0 ||
      kinds[0] != EXTRASAMPLE_UNASSALPHA)
    return;
  std::vector<uint16_t> as_applied(kinds, kinds + count);
  as_applied[0] = EXTRASAMPLE_ASSOCALPHA;
  Tiff().TIFFSetField(tiff, TIFFTAG_EXTRASAMPLES, count, as_applied.data());
}

}  // namespace

std::optional<DecodedPicture> DecodeTiff(std::span<const uint8_t> file, DecodeNotes* notes) {
  MemoryFile memory{file};
  std::unique_ptr<TIFFOpenOptions, OptionsFree> options(Tiff().TIFFOpenOptionsAlloc());
  if (!options) return std::nullopt;
  Tiff().TIFFOpenOptionsSetMaxSingleMemAlloc(options.get(), kMaxLibraryBuffer);
  Tiff().TIFFOpenOptionsSetErrorHandlerExtR(options.get(), Quiet, nullptr);
  Tiff().TIFFOpenOptionsSetWarningHandlerExtR(options.get(), Quiet, nullptr);
  std::unique_ptr<TIFF, TiffCloser> tiff(Tiff().TIFFClientOpenExt(
      "memory", "rm", &memory, ReadProc, WriteProc, SeekProc, CloseProc, SizeProc, nullptr, nullptr, options.get()));
  if (!tiff) return std::nullopt;
  uint32_t width = 0, height = 0;
  if (!Tiff().TIFFGetField(tiff.get(), TIFFTAG_IMAGEWIDTH, &width) ||
      !Tiff().TIFFGetField(tiff.get(), TIFFTAG_IMAGELENGTH, &height))
    return std::nullopt;
  if (!SizeAllowed(width, height, notes)) return std::nullopt;
  char message[1024];
  if (!Tiff().TIFFRGBAImageOK(tiff.get(), message)) return std::nullopt;
  KeepStraightColours(tiff.get());

  // The reader stops at the first strip or tile it cannot decode (a file cut
  // short is refused, as in every format), and the raster's memory is taken
  // only as strips fill it.
  DecodedPicture picture;
  const size_t bytes = static_cast<size_t>(width) * height * 4;
  try {
    picture.raster = std::make_unique_for_overwrite<uint8_t[]>(bytes);
  } catch (const std::bad_alloc&) {
    return std::nullopt;
  }
  uint8_t* const pixels = picture.raster.get();
  if (!Tiff().TIFFReadRGBAImageOriented(tiff.get(), width, height, reinterpret_cast<uint32_t*>(pixels),
                                        ORIENTATION_TOPLEFT, 1))
    return std::nullopt;
  // The library's pixels hold red in the low byte; a 32-bit picture wants
  // blue there.
  for (size_t i = 0; i < bytes; i += 4) std::swap(pixels[i], pixels[i + 2]);
  picture.DescribeTopDown32(static_cast<int32_t>(width), static_cast<int32_t>(height), {pixels, bytes});
  return picture;
}

}  // namespace zv::codecs
