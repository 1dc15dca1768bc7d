#include "platform/surface/png_writer.h"

#include <png.h>
#include <stdio.h>
#include <unistd.h>

#include <csetjmp>
#include <cstdio>
#include <vector>

#include "platform/paths/file_save.h"
#include "platform/surface/convert.h"

namespace zv::platform {
namespace {

// A failed write is the caller's to report, with its cause: libpng only
// leaves by longjmp and prints nothing of its own.
void LeaveQuietly(png_structp png, png_const_charp) { png_longjmp(png, 1); }
void IgnoreWarning(png_structp, png_const_charp) {}

// libpng reports errors by longjmp; nothing with a destructor may live in
// the frame that calls setjmp, so the rows are prepared by the caller.
bool WriteRows(std::FILE* file, int32_t width, int32_t height, std::vector<png_bytep>& rows) {
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, LeaveQuietly, IgnoreWarning);
  if (png == nullptr) return false;
  png_infop info = png_create_info_struct(png);
  if (info == nullptr) {
    png_destroy_write_struct(&png, nullptr);
    return false;
  }
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    return false;
  }
  png_init_io(png, file);
  png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), 8,
               PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
               PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  png_write_image(png, rows.data());
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return true;
}

}  // namespace

bool WriteSurfacePng(const Surface& surface, const std::string& path, const GammaRamp* gamma) {
  const int32_t w = surface.Width(), h = surface.Height();
  std::vector<uint32_t> xrgb(static_cast<size_t>(w) * h);
  ConvertToXrgb(surface, xrgb.data(), w, gamma);
  std::vector<uint8_t> rgb(xrgb.size() * 3);
  for (size_t i = 0; i < xrgb.size(); ++i) {
    rgb[i * 3] = static_cast<uint8_t>(xrgb[i] >> 16);
    rgb[i * 3 + 1] = static_cast<uint8_t>(xrgb[i] >> 8);
    rgb[i * 3 + 2] = static_cast<uint8_t>(xrgb[i]);
  }
  std::vector<png_bytep> rows(static_cast<size_t>(h));
  for (int32_t y = 0; y < h; ++y) rows[static_cast<size_t>(y)] = rgb.data() + static_cast<size_t>(y) * w * 3;

  auto save = FileSave::Begin(path);
  if (!save) return false;
  const int fd = ::dup(save->Fd());
  std::FILE* file = fd < 0 ? nullptr : ::fdopen(fd, "wb");
  if (file == nullptr) {
    if (fd >= 0) ::close(fd);
    return false;
  }
  bool ok = WriteRows(file, w, h, rows);
  ok = std::fclose(file) == 0 && ok;
  return ok && save->Finish();
}

}  // namespace zv::platform
