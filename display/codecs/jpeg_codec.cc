#include "display/codecs/jpeg_codec.h"

// jpeglib.h needs size_t and FILE declared first.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <csetjmp>
#include <jpeglib.h>
#include <jerror.h>

#include "display/codecs/codec_limits.h"
#include "display/codecs/surface_rows.h"

namespace zv::codecs {
namespace {

// Each 8x8 block of the luminance needs at least one bit of DC data, so a
// file holds at most 512 pixels per byte; twice that leaves room.
constexpr int64_t kPixelsPerByte = 1024;
// Progressive files of absurd scan counts are refused rather than decoded
// for minutes.
constexpr int kMaxScans = 1000;
constexpr long kMaxLibraryMemory = 1L << 30;
constexpr int kQuality = 100;

// The library's error manager with the jump back into the codec, and
// whether the file ended before its data did.
struct ErrorJump {
  jpeg_error_mgr manager;
  std::jmp_buf jump;
  bool data_ended = false;
};

[[noreturn]] void JpegErrorExit(j_common_ptr info) {
  std::longjmp(reinterpret_cast<ErrorJump*>(info->err)->jump, 1);
}
void Silent(j_common_ptr) {}

// The library goes on past the end of a file cut short, drawing the rest
// grey; it only says so in a warning, which is kept here. (The decoder reads
// ahead, so a file that lacks only its end marker says so too.)
void NoteWarning(j_common_ptr info, int level) {
  if (level < 0 && info->err->msg_code == JWRN_JPEG_EOF) reinterpret_cast<ErrorJump*>(info->err)->data_ended = true;
}

void CountScans(j_common_ptr info) {
  if (info->is_decompressor && reinterpret_cast<j_decompress_ptr>(info)->input_scan_number > kMaxScans)
    info->err->error_exit(info);
}

void PrepareErrors(ErrorJump& error) {
  jpeg_std_error(&error.manager);
  error.manager.error_exit = JpegErrorExit;
  error.manager.output_message = Silent;
  error.manager.emit_message = NoteWarning;
}

// The decoding steps run inside their own jump frames, which hold nothing
// that needs destroying; the caller owns the buffers and the decompressor.
bool ReadHeader(jpeg_decompress_struct* info, ErrorJump* error, jpeg_progress_mgr* progress,
                std::span<const uint8_t> file) {
  if (setjmp(error->jump)) return false;
  jpeg_create_decompress(info);
  info->mem->max_memory_to_use = kMaxLibraryMemory;
  progress->progress_monitor = CountScans;
  info->progress = progress;
  jpeg_mem_src(info, file.data(), static_cast<unsigned long>(file.size()));
  jpeg_read_header(info, TRUE);
  const bool cmyk = info->jpeg_color_space == JCS_CMYK || info->jpeg_color_space == JCS_YCCK;
  info->out_color_space = cmyk ? JCS_CMYK : JCS_EXT_BGR;
  jpeg_calc_output_dimensions(info);
  return true;
}

bool ReadRows(jpeg_decompress_struct* info, ErrorJump* error, uint8_t* pixels, size_t stride, int32_t* step) {
  if (setjmp(error->jump)) return false;
  jpeg_start_decompress(info);
  if (step) *step = jpeg_step::kDecompressionStarted;
  while (info->output_scanline < info->output_height) {
    JSAMPROW row = pixels + static_cast<size_t>(info->output_scanline) * stride;
    jpeg_read_scanlines(info, &row, 1);
  }
  jpeg_finish_decompress(info);
  return !error->data_ended;
}

// Adobe's CMYK is stored inverted: each ink's byte is 255 for none.
void CmykToBgrx(std::vector<uint8_t>& pixels) {
  for (size_t i = 0; i + 3 < pixels.size(); i += 4) {
    const unsigned c = pixels[i], m = pixels[i + 1], y = pixels[i + 2], k = pixels[i + 3];
    pixels[i] = static_cast<uint8_t>(y * k / 255);
    pixels[i + 1] = static_cast<uint8_t>(m * k / 255);
    pixels[i + 2] = static_cast<uint8_t>(c * k / 255);
    pixels[i + 3] = 0;
  }
}

bool WriteRows(jpeg_compress_struct* info, ErrorJump* error, const platform::Surface* surface, uint8_t* row,
               unsigned char** out, unsigned long* out_size) {
  if (setjmp(error->jump)) return false;
  jpeg_create_compress(info);
  jpeg_mem_dest(info, out, out_size);
  info->image_width = static_cast<JDIMENSION>(surface->Width());
  info->image_height = static_cast<JDIMENSION>(surface->Height());
  info->input_components = 3;
  info->in_color_space = JCS_RGB;
  jpeg_set_defaults(info);
  jpeg_set_quality(info, kQuality, TRUE);
  jpeg_start_compress(info, TRUE);
  while (info->next_scanline < info->image_height) {
    ReadRowRgb(*surface, static_cast<int32_t>(info->next_scanline), row);
    JSAMPROW rows[1] = {row};
    jpeg_write_scanlines(info, rows, 1);
  }
  jpeg_finish_compress(info);
  return true;
}

}  // namespace

std::optional<DecodedPicture> DecodeJpeg(std::span<const uint8_t> file, DecodeNotes* notes) {
  int32_t* step = notes ? &notes->step : nullptr;
  if (step) *step = jpeg_step::kInDecoder;
  jpeg_decompress_struct info;
  std::memset(&info, 0, sizeof info);
  ErrorJump error;
  PrepareErrors(error);
  info.err = &error.manager;
  jpeg_progress_mgr progress{};
  if (step) *step = jpeg_step::kErrorHandlingReady;

  DecodedPicture picture;
  bool ok = !file.empty() && ReadHeader(&info, &error, &progress, file);
  const int32_t w = ok ? static_cast<int32_t>(info.output_width) : 0;
  const int32_t h = ok ? static_cast<int32_t>(info.output_height) : 0;
  ok = ok && FileCanHold(w, h, file.size(), kPixelsPerByte, notes) &&
       (info.output_components == 3 || info.output_components == 4);
  if (ok) {
    picture.dib.width = w;
    picture.dib.height = -h;
    picture.dib.bit_count = static_cast<uint16_t>(info.output_components * 8);
    const size_t stride = platform::DibStride(w, picture.dib.bit_count);
    picture.storage.assign(stride * static_cast<size_t>(h), 0);
    ok = ReadRows(&info, &error, picture.storage.data(), stride, step);
    if (ok && picture.dib.bit_count == 32) CmykToBgrx(picture.storage);
  }
  jpeg_destroy_decompress(&info);
  if (!ok) {
    if (step) *step = jpeg_step::kLibraryError;
    return std::nullopt;
  }
  if (step) *step = jpeg_step::kDecodingFinished;
  picture.dib.bits = picture.storage;
  return picture;
}

std::vector<uint8_t> EncodeJpeg(const platform::Surface& surface) {
  if (surface.Width() > JPEG_MAX_DIMENSION || surface.Height() > JPEG_MAX_DIMENSION) return {};
  jpeg_compress_struct info;
  std::memset(&info, 0, sizeof info);
  ErrorJump error;
  PrepareErrors(error);
  info.err = &error.manager;
  std::vector<uint8_t> row(static_cast<size_t>(surface.Width()) * 3);
  unsigned char* out = nullptr;
  unsigned long out_size = 0;
  const bool ok = WriteRows(&info, &error, &surface, row.data(), &out, &out_size);
  jpeg_destroy_compress(&info);
  std::vector<uint8_t> bytes;
  if (ok && out) bytes.assign(out, out + out_size);
  std::free(out);
  return bytes;
}

}  // namespace zv::codecs
