#include "tests/display/drawing_run.h"

#include <png.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "compiler/compiler.h"
#include "display/display_commands.h"
#include "display/display_factory.h"
#include "display/display_service_adapter.h"
#include "display/graphics.h"
#include "platform/surface/png_writer.h"
#include "runtime/console/console_commands.h"
#include "runtime/startup.h"
#include "runtime/vm/opcodes/core_handlers.h"
#include "runtime/vm/program_file.h"
#include "tests/support/test_paths.h"

namespace zv::test {
namespace {

namespace fs = std::filesystem;

// The golden PNG as 0x00RRGGBB pixels; false when it cannot be read.
bool ReadPng(const std::string& path, int32_t* width, int32_t* height, std::vector<uint32_t>* pixels) {
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&image, path.c_str())) return false;
  image.format = PNG_FORMAT_BGRA;
  pixels->assign(static_cast<size_t>(image.width) * image.height, 0);
  if (!png_image_finish_read(&image, nullptr, pixels->data(), 0, nullptr)) {
    png_image_free(&image);
    return false;
  }
  *width = static_cast<int32_t>(image.width);
  *height = static_cast<int32_t>(image.height);
  for (uint32_t& p : *pixels) p &= 0x00FFFFFFu;
  return true;
}

std::string GoldenPath(const std::string& name) {
  return zv::test::SourcePath("tests/display/goldens/") + name + ".png";
}

}  // namespace

bool CapturePresenter::Show(const platform::Surface& picture) {
  if (before_) std::swap(*before_, *last_);
  *width_ = picture.Width();
  *height_ = picture.Height();
  last_->resize(static_cast<size_t>(picture.Width()) * picture.Height());
  for (int32_t y = 0; y < picture.Height(); ++y) {
    const auto* row = reinterpret_cast<const uint32_t*>(picture.Row(y));
    for (int32_t x = 0; x < picture.Width(); ++x)
      (*last_)[static_cast<size_t>(y) * picture.Width() + x] = row[x] & 0x00FFFFFFu;
  }
  return true;
}

platform::Size CapturePresenter::ClientSize() const {
  const platform::Surface* frame = LastFrame();
  return frame ? platform::Size{frame->Width(), frame->Height()} : platform::Size{1024, 768};
}

uint64_t DrawingRun::Hash() const {
  uint64_t h = 1469598103934665603ull;
  for (uint32_t p : frame)
    for (int i = 0; i < 3; ++i) {
      h ^= (p >> (8 * i)) & 0xFFu;
      h *= 1099511628211ull;
    }
  return h;
}

DrawingRun RunDrawing(const std::string& source, const std::string& folder, ImageFiles* files,
                      platform::Clock* clock, platform::Window* window) {
  DrawingRun run;
  CompileResult compiled = CompileSource(source);
  if (!compiled.ok) {
    run.errors = FormatCompileError(*compiled.error);
    return run;
  }
  const std::vector<uint8_t> bytes = EncodeProgramFile(compiled.program);
  auto frame = std::make_shared<std::vector<uint32_t>>();
  auto frame_before = std::make_shared<std::vector<uint32_t>>();
  StartOptions options;
  options.executable_path = folder + "/game";
  options.headless = true;
  options.frames = 400;
  options.app_folder = folder + "/";
  StartServices services;
  services.clock = clock;
  services.window = window;
  services.user_state_folder = folder + "/";
  services.register_handlers = [](HandlerTable& table) {
    RegisterCoreHandlers(table);
    RegisterConsoleHandlers(table);
    RegisterDisplayHandlers(table);
  };
  services.make_display = [&](platform::Window& shown, Vm& vm) {
    std::unique_ptr<DisplayServices> display = MakeDisplayServices(
        vm, shown, std::make_unique<CapturePresenter>(frame, &run.width, &run.height, frame_before));
    if (auto* adapter = dynamic_cast<DisplayServiceAdapter*>(display.get()); adapter && files)
      adapter->graphics()->SetImageFiles(files);
    return display;
  };
  services.compile = [bytes](const std::string& path, std::string*) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out);
  };
  services.echo = [&run](std::string_view piece) { run.printed += std::string(piece); };
  services.error_out = [&run](std::string_view text) { run.errors += std::string(text); };
  const fs::path before = fs::current_path();
  fs::current_path(folder);
  run.status = RunRuntime(options, std::move(services));
  fs::current_path(before);
  run.frame = *frame;
  run.frame_before = *frame_before;
  return run;
}

std::string CompareWithGolden(const DrawingRun& run, const std::string& name) {
  if (run.frame.empty()) return "no frame was presented";
  const std::string path = GoldenPath(name);
  if (const char* update = std::getenv("ZV_UPDATE_GOLDENS"); update && std::string(update) == "1") {
    platform::SurfaceDesc desc;
    desc.width = run.width;
    desc.height = run.height;
    desc.format = platform::PixelFormat::Xrgb8888();
    platform::SurfacePtr surface = platform::Surface::Create(desc);
    for (int32_t y = 0; y < run.height; ++y)
      for (int32_t x = 0; x < run.width; ++x) surface->SetPixelAt(x, y, run.At(x, y));
    return platform::WriteSurfacePng(*surface, path) ? std::string() : "cannot write " + path;
  }
  int32_t width = 0, height = 0;
  std::vector<uint32_t> golden;
  if (!ReadPng(path, &width, &height, &golden)) return "cannot read " + path;
  if (width != run.width || height != run.height) return "the golden has another size";
  size_t differing = 0;
  std::string first;
  for (int32_t y = 0; y < height; ++y)
    for (int32_t x = 0; x < width; ++x) {
      const uint32_t want = golden[static_cast<size_t>(y) * width + x], got = run.At(x, y);
      if (want == got) continue;
      if (differing++ == 0) {
        char text[96];
        std::snprintf(text, sizeof text, "first at (%d, %d): want %06X, got %06X", x, y, want, got);
        first = text;
      }
    }
  return differing == 0 ? std::string() : std::to_string(differing) + " pixels differ; " + first;
}

}  // namespace zv::test
