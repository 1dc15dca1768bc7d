#include "display/codecs/png_codec.h"

#include <png.h>

#include <algorithm>
#include <cstring>

#include "display/codecs/codec_limits.h"
#include "display/codecs/surface_rows.h"

namespace zv::codecs {
namespace {

// Deflate gives at most 1032 bytes per byte of the file.
constexpr int64_t kInflatedBitsPerByte = 1032 * 8;
constexpr png_alloc_size_t kMaxChunkBytes = png_alloc_size_t{16} << 20;

struct MemoryReader {
  std::span<const uint8_t> data;
  size_t at = 0;
};

void ReadData(png_structp png, png_bytep out, png_size_t count) {
  auto* r = static_cast<MemoryReader*>(png_get_io_ptr(png));
  if (r->data.size() - r->at < count) png_error(png, "file ends early");
  std::memcpy(out, r->data.data() + r->at, count);
  r->at += count;
}

void WriteData(png_structp png, png_bytep data, png_size_t count) {
  auto* out = static_cast<std::vector<uint8_t>*>(png_get_io_ptr(png));
  try {
    out->insert(out->end(), data, data + count);
  } catch (...) {
    png_error(png, "out of memory");
  }
}
void FlushData(png_structp) {}
void Quiet(png_structp, png_const_charp) {}
// Jumps back without the library's default message on standard error.
[[noreturn]] void JumpBack(png_structp png, png_const_charp) { png_longjmp(png, 1); }

// Reads the header; the size comes back through `width` and `height`.
// Nothing here owns anything that a jump back would leak.
bool ReadHeader(png_structp png, png_infop info, uint32_t* width, uint32_t* height) {
  if (setjmp(png_jmpbuf(png))) return false;
  png_read_info(png, info);
  *width = png_get_image_width(png, info);
  *height = png_get_image_height(png, info);
  return true;
}

// Bits of one pixel as the file stores it (1 to 64).
int64_t StoredPixelBits(png_structp png, png_infop info) {
  return std::max(1, png_get_bit_depth(png, info) * png_get_channels(png, info));
}

// Asks for 8-bit blue, green, red rows of `width` pixels. The library makes
// its row buffers here, so the size must have been checked first.
bool PrepareRows(png_structp png, png_infop info, uint32_t width) {
  if (setjmp(png_jmpbuf(png))) return false;
  png_set_expand(png);
  png_set_strip_16(png);
  png_set_strip_alpha(png);
  png_set_gray_to_rgb(png);
  png_set_bgr(png);
  png_set_interlace_handling(png);
  png_read_update_info(png, info);
  return png_get_rowbytes(png, info) == static_cast<size_t>(width) * 3;
}

// Stops after the pixels: what follows them (text, times, private chunks)
// is of no use to a picture, and reading it could only cost memory.
bool ReadRows(png_structp png, png_bytepp rows) {
  if (setjmp(png_jmpbuf(png))) return false;
  png_read_image(png, rows);
  return true;
}

// Chunks that only carry text, colour profiles or palettes for other uses;
// some hold compressed data that would be unpacked for nothing.
constexpr png_byte kIgnoredChunks[] = "iCCP\0iTXt\0sPLT\0tEXt\0zTXt\0eXIf\0";

bool WriteRows(png_structp png, png_infop info, const platform::Surface* surface, png_bytepp rows,
               std::vector<uint8_t>* out) {
  if (setjmp(png_jmpbuf(png))) return false;
  png_set_write_fn(png, out, WriteData, FlushData);
  png_set_IHDR(png, info, static_cast<png_uint_32>(surface->Width()), static_cast<png_uint_32>(surface->Height()), 8,
               PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  png_write_image(png, rows);
  png_write_end(png, nullptr);
  return true;
}

}  // namespace

std::optional<DecodedPicture> DecodePng(std::span<const uint8_t> file, DecodeNotes* notes) {
  if (file.size() < 8 || png_sig_cmp(file.data(), 0, 8) != 0) return std::nullopt;
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, JumpBack, Quiet);
  if (!png) return std::nullopt;
  png_infop info = png_create_info_struct(png);
  if (!info) {
    png_destroy_read_struct(&png, nullptr, nullptr);
    return std::nullopt;
  }
  MemoryReader reader{file};
  png_set_read_fn(png, &reader, ReadData);
  // The sides are checked against the limits once the header is read, so
  // that a picture refused for its size is known as one.
  png_set_user_limits(png, PNG_UINT_31_MAX, PNG_UINT_31_MAX);
  png_set_chunk_malloc_max(png, kMaxChunkBytes);
  png_set_keep_unknown_chunks(png, PNG_HANDLE_CHUNK_NEVER, nullptr, 0);
  png_set_keep_unknown_chunks(png, PNG_HANDLE_CHUNK_NEVER, kIgnoredChunks,
                              static_cast<int>(sizeof kIgnoredChunks / 5));

  DecodedPicture picture;
  uint32_t w = 0, h = 0;
  bool ok = ReadHeader(png, info, &w, &h) &&
            FileCanHold(w, h, file.size(), kInflatedBitsPerByte / StoredPixelBits(png, info), notes) &&
            PrepareRows(png, info, w);
  if (ok) {
    picture.dib.width = static_cast<int32_t>(w);
    picture.dib.height = -static_cast<int32_t>(h);
    picture.dib.bit_count = 24;
    const size_t stride = platform::DibStride(picture.dib.width, 24);
    picture.storage.assign(stride * h, 0);
    std::vector<png_bytep> rows(h);
    for (uint32_t y = 0; y < h; ++y) rows[y] = picture.storage.data() + y * stride;
    ok = ReadRows(png, rows.data());
  }
  png_destroy_read_struct(&png, &info, nullptr);
  if (!ok) return std::nullopt;
  picture.dib.bits = picture.storage;
  return picture;
}

std::vector<uint8_t> EncodePng(const platform::Surface& surface) {
  const size_t stride = static_cast<size_t>(surface.Width()) * 3;
  std::vector<uint8_t> pixels(stride * static_cast<size_t>(surface.Height()));
  std::vector<png_bytep> rows(static_cast<size_t>(surface.Height()));
  for (int32_t y = 0; y < surface.Height(); ++y) {
    rows[static_cast<size_t>(y)] = pixels.data() + static_cast<size_t>(y) * stride;
    ReadRowRgb(surface, y, rows[static_cast<size_t>(y)]);
  }
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, JumpBack, Quiet);
  if (!png) return {};
  png_infop info = png_create_info_struct(png);
  if (!info) {
    png_destroy_write_struct(&png, nullptr);
    return {};
  }
  std::vector<uint8_t> out;
  const bool ok = WriteRows(png, info, &surface, rows.data(), &out);
  png_destroy_write_struct(&png, &info);
  if (!ok) out.clear();
  return out;
}

}  // namespace zv::codecs
