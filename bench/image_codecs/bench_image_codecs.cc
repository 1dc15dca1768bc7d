// Loading a 1024 x 1024 picture from PNG, JPEG, BMP, TGA (plain and
// run-length), PCX and PSD files, ours next to FreeImage in the same run:
//
//   Ours/F               the file into a 32-bit surface (what "load image" does)
//   FreeImage/F          FreeImage_Load: the file into FreeImage's own bitmap
//   FreeImageSurface/F   FreeImage_Load, then its bitmap into a 32-bit surface
//   OursDecode/F         the file's bytes, already in memory, decoded into a
//                        picture in the file's own layout (no surface)
//   FreeImageDecode/F    FreeImage_LoadFromMemory on the same bytes
//
// Ours/F against FreeImageSurface/F compares whole loads that end in the
// same place; OursDecode/F against FreeImageDecode/F the decoders alone.
// Loading the same large file over and over lets the C library hand its
// freed blocks back to the system and take them again, so some rows pay
// for clearing fresh pages on every load; to see the decoders without that,
// run with GLIBC_TUNABLES=glibc.malloc.mmap_threshold=67108864:glibc.malloc.trim_threshold=268435456
// The files are written once per run into a private folder: ours write PNG,
// JPEG, BMP and TGA; the run-length TGA, the PCX and the PSD files (which
// nothing of ours writes) come from the small writers below.
#include <FreeImage.h>
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "display/codecs/file_bytes.h"
#include "display/codecs/image_codecs.h"

namespace {

namespace fs = std::filesystem;
using namespace zv;

constexpr int32_t kSide = 1024;

platform::SurfacePtr MakeSurface(int32_t w, int32_t h) {
  platform::SurfaceDesc desc;
  desc.width = w;
  desc.height = h;
  desc.format = platform::PixelFormat::Xrgb8888();
  return platform::Surface::Create(desc);
}

// Ramps and a pattern: few long runs, like a photograph.
uint32_t PixelAt(int32_t x, int32_t y) {
  return static_cast<uint32_t>((x * 3 + y) & 255) << 16 | static_cast<uint32_t>((y * 5) & 255) << 8 |
         static_cast<uint32_t>((x ^ y) & 255);
}
uint8_t Red(int32_t x, int32_t y) { return static_cast<uint8_t>(PixelAt(x, y) >> 16); }
uint8_t Green(int32_t x, int32_t y) { return static_cast<uint8_t>(PixelAt(x, y) >> 8); }
uint8_t Blue(int32_t x, int32_t y) { return static_cast<uint8_t>(PixelAt(x, y)); }

void Put16(std::vector<uint8_t>& out, uint32_t v) {
  out.push_back(static_cast<uint8_t>(v));
  out.push_back(static_cast<uint8_t>(v >> 8));
}
void Put16Be(std::vector<uint8_t>& out, uint32_t v) {
  out.push_back(static_cast<uint8_t>(v >> 8));
  out.push_back(static_cast<uint8_t>(v));
}
void Put32Be(std::vector<uint8_t>& out, uint32_t v) {
  Put16Be(out, v >> 16);
  Put16Be(out, v & 0xFFFFu);
}

// Targa type 10: 24-bit run-length packets, bottom row first, one row per
// run of packets.
std::vector<uint8_t> RleTga() {
  std::vector<uint8_t> out = {0, 0, 10, 0, 0, 0, 0, 0, 0, 0, 0, 0};
  Put16(out, kSide);
  Put16(out, kSide);
  out.push_back(24);
  out.push_back(0);
  for (int32_t y = kSide - 1; y >= 0; --y) {
    int32_t x = 0;
    while (x < kSide) {
      int32_t run = 1;
      while (x + run < kSide && run < 128 && PixelAt(x + run, y) == PixelAt(x, y)) ++run;
      if (run > 1) {
        out.push_back(static_cast<uint8_t>(0x80 | (run - 1)));
        out.insert(out.end(), {Blue(x, y), Green(x, y), Red(x, y)});
        x += run;
        continue;
      }
      int32_t literal = 1;
      while (x + literal < kSide && literal < 128 && PixelAt(x + literal, y) != PixelAt(x + literal - 1, y)) ++literal;
      out.push_back(static_cast<uint8_t>(literal - 1));
      for (int32_t i = 0; i < literal; ++i) out.insert(out.end(), {Blue(x + i, y), Green(x + i, y), Red(x + i, y)});
      x += literal;
    }
  }
  return out;
}

// PCX version 5: three 8-bit planes (red, green, blue) per line, each
// run-length coded on its own.
std::vector<uint8_t> Pcx() {
  std::vector<uint8_t> out = {10, 5, 1, 8};
  Put16(out, 0);
  Put16(out, 0);
  Put16(out, kSide - 1);
  Put16(out, kSide - 1);
  Put16(out, 72);
  Put16(out, 72);
  out.resize(65, 0);  // the 16-colour palette and a reserved byte
  out.push_back(3);
  Put16(out, kSide);  // bytes per line (even)
  Put16(out, 1);
  out.resize(128, 0);
  std::vector<uint8_t> plane(kSide);
  for (int32_t y = 0; y < kSide; ++y)
    for (int p = 0; p < 3; ++p) {
      for (int32_t x = 0; x < kSide; ++x) plane[x] = p == 0 ? Red(x, y) : p == 1 ? Green(x, y) : Blue(x, y);
      for (int32_t x = 0; x < kSide;) {
        int32_t run = 1;
        while (x + run < kSide && run < 63 && plane[x + run] == plane[x]) ++run;
        if (run > 1 || plane[x] >= 0xC0) out.push_back(static_cast<uint8_t>(0xC0 | run));
        out.push_back(plane[x]);
        x += run;
      }
    }
  return out;
}

// One PackBits row.
void PackBits(const std::vector<uint8_t>& row, std::vector<uint8_t>& out) {
  size_t x = 0;
  while (x < row.size()) {
    size_t run = 1;
    while (x + run < row.size() && run < 128 && row[x + run] == row[x]) ++run;
    if (run > 1) {
      out.push_back(static_cast<uint8_t>(257 - run));
      out.push_back(row[x]);
      x += run;
      continue;
    }
    size_t literal = 1;
    while (x + literal < row.size() && literal < 128 && row[x + literal] != row[x + literal - 1]) ++literal;
    out.push_back(static_cast<uint8_t>(literal - 1));
    out.insert(out.end(), row.begin() + static_cast<std::ptrdiff_t>(x),
               row.begin() + static_cast<std::ptrdiff_t>(x + literal));
    x += literal;
  }
}

// Photoshop: RGB, 8 bits per channel, PackBits-compressed channels (as
// Photoshop saves them).
std::vector<uint8_t> Psd() {
  std::vector<uint8_t> out = {'8', 'B', 'P', 'S'};
  Put16Be(out, 1);
  out.resize(out.size() + 6, 0);
  Put16Be(out, 3);
  Put32Be(out, kSide);
  Put32Be(out, kSide);
  Put16Be(out, 8);
  Put16Be(out, 3);
  for (int section = 0; section < 3; ++section) Put32Be(out, 0);
  Put16Be(out, 1);
  std::vector<std::vector<uint8_t>> rows;
  std::vector<uint8_t> row(kSide);
  for (int c = 0; c < 3; ++c)
    for (int32_t y = 0; y < kSide; ++y) {
      for (int32_t x = 0; x < kSide; ++x) row[x] = c == 0 ? Red(x, y) : c == 1 ? Green(x, y) : Blue(x, y);
      rows.emplace_back();
      PackBits(row, rows.back());
    }
  for (const auto& r : rows) Put16Be(out, static_cast<uint32_t>(r.size()));
  for (const auto& r : rows) out.insert(out.end(), r.begin(), r.end());
  return out;
}

// The folder of this run's files, removed at exit.
struct Folder {
  fs::path path = fs::temp_directory_path() / ("zv_bench_codecs_" + std::to_string(getpid()));
  Folder() { fs::create_directories(path); }
  ~Folder() { fs::remove_all(path); }
};

// `name` is the file name in the folder; its extension picks the codec.
const std::string& FileOf(const std::string& name) {
  static const Folder folder;
  static std::map<std::string, std::string> files;
  auto it = files.find(name);
  if (it != files.end()) return it->second;
  const std::string path = (folder.path / name).string();
  std::vector<uint8_t> bytes;
  if (name == "rle.tga") bytes = RleTga();
  if (name == "picture.pcx") bytes = Pcx();
  if (name == "picture.psd") bytes = Psd();
  if (bytes.empty()) {
    platform::SurfacePtr s = MakeSurface(kSide, kSide);
    for (int32_t y = 0; y < kSide; ++y)
      for (int32_t x = 0; x < kSide; ++x) s->SetPixelAt(x, y, PixelAt(x, y));
    codecs::SaveImageFile(*s, path);
  } else {
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                static_cast<std::streamsize>(bytes.size()));
  }
  return files[name] = path;
}

void Ours(benchmark::State& state, const std::string& name) {
  const std::string& path = FileOf(name);
  if (!codecs::LoadImageFile(path, MakeSurface)) return state.SkipWithError("ours cannot load it");
  for (auto _ : state) benchmark::DoNotOptimize(codecs::LoadImageFile(path, MakeSurface));
}

void FreeImage(benchmark::State& state, const std::string& name) {
  const std::string& path = FileOf(name);
  const FREE_IMAGE_FORMAT format = FreeImage_GetFileType(path.c_str(), 0);
  for (auto _ : state) {
    FIBITMAP* bitmap = FreeImage_Load(format, path.c_str(), 0);
    if (!bitmap) return state.SkipWithError("FreeImage cannot load it");
    benchmark::DoNotOptimize(bitmap);
    FreeImage_Unload(bitmap);
  }
}

void FreeImageSurface(benchmark::State& state, const std::string& name) {
  const std::string& path = FileOf(name);
  const FREE_IMAGE_FORMAT format = FreeImage_GetFileType(path.c_str(), 0);
  for (auto _ : state) {
    FIBITMAP* bitmap = FreeImage_Load(format, path.c_str(), 0);
    if (!bitmap) return state.SkipWithError("FreeImage cannot load it");
    platform::SurfacePtr surface = MakeSurface(static_cast<int32_t>(FreeImage_GetWidth(bitmap)),
                                               static_cast<int32_t>(FreeImage_GetHeight(bitmap)));
    FreeImage_ConvertToRawBits(surface->Row(0), bitmap, surface->Pitch(), 32, 0xFF0000, 0xFF00, 0xFF, TRUE);
    benchmark::DoNotOptimize(surface);
    FreeImage_Unload(bitmap);
  }
}

std::vector<uint8_t> BytesOf(const std::string& name) {
  return codecs::ReadFileBytes(FileOf(name), size_t{1} << 30).value_or(std::vector<uint8_t>{});
}

void OursDecode(benchmark::State& state, const std::string& name) {
  const std::vector<uint8_t> bytes = BytesOf(name);
  const codecs::ImageFileType type = codecs::TypeOfName(name);
  if (!codecs::DecodeImageInPlace(type, bytes)) return state.SkipWithError("ours cannot decode it");
  for (auto _ : state) benchmark::DoNotOptimize(codecs::DecodeImageInPlace(type, bytes));
}

void FreeImageDecode(benchmark::State& state, const std::string& name) {
  std::vector<uint8_t> bytes = BytesOf(name);
  FIMEMORY* memory = FreeImage_OpenMemory(bytes.data(), static_cast<DWORD>(bytes.size()));
  const FREE_IMAGE_FORMAT format = FreeImage_GetFileTypeFromMemory(memory, 0);
  for (auto _ : state) {
    FreeImage_SeekMemory(memory, 0, SEEK_SET);
    FIBITMAP* bitmap = FreeImage_LoadFromMemory(format, memory, 0);
    if (!bitmap) {
      state.SkipWithError("FreeImage cannot decode it");
      break;
    }
    benchmark::DoNotOptimize(bitmap);
    FreeImage_Unload(bitmap);
  }
  FreeImage_CloseMemory(memory);
}

#define ZV_FORMAT(label, file)                                                                    \
  BENCHMARK_CAPTURE(Ours, label, std::string(file))->Unit(benchmark::kMillisecond);             \
  BENCHMARK_CAPTURE(FreeImage, label, std::string(file))->Unit(benchmark::kMillisecond);        \
  BENCHMARK_CAPTURE(FreeImageSurface, label, std::string(file))->Unit(benchmark::kMillisecond); \
  BENCHMARK_CAPTURE(OursDecode, label, std::string(file))->Unit(benchmark::kMillisecond);       \
  BENCHMARK_CAPTURE(FreeImageDecode, label, std::string(file))->Unit(benchmark::kMillisecond)

ZV_FORMAT(png, "picture.png");
ZV_FORMAT(jpg, "picture.jpg");
ZV_FORMAT(bmp, "picture.bmp");
ZV_FORMAT(tga, "picture.tga");
ZV_FORMAT(tga_rle, "rle.tga");
ZV_FORMAT(pcx, "picture.pcx");
ZV_FORMAT(psd, "picture.psd");

}  // namespace

BENCHMARK_MAIN();
