#include "tests/engine3d/engine_run.h"

#include <png.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>

#include "compiler/command_table.h"
#include "compiler/compiler.h"
#include "display/display_commands.h"
#include "display/display_factory.h"
#include "display/images.h"
#include "display/sprites_commands.h"
#include "engine3d/engine.h"
#include "engine3d/engine_handlers.h"
#include "platform/surface/png_writer.h"
#include "runtime/console/console_commands.h"
#include "runtime/startup.h"
#include "runtime/vm/opcodes/core_handlers.h"
#include "runtime/vm/program_file.h"
#include "tests/support/test_paths.h"

namespace zv::test {
namespace {

namespace fs = std::filesystem;

// A presenter without a device that keeps a copy of every frame shown.
class CapturePresenter final : public platform::Presenter {
 public:
  CapturePresenter(EngineRun& run, const Engine3D& engine) : run_(run), engine_(engine) {}
  platform::DisplayMode Desktop() const override { return platform::DisplayMode{1024, 768, 32}; }
  void SetFullScreen(bool full_screen) override { full_screen_ = full_screen; }
  bool FullScreen() const override { return full_screen_; }

 protected:
  bool Show(const platform::Surface& picture) override {
    run_.live_textures.push_back(engine_.pools.textures.Count());
    run_.width = picture.Width();
    run_.height = picture.Height();
    run_.frame.resize(static_cast<size_t>(picture.Width()) * picture.Height());
    // The picture shown is in 32-bit colour.
    for (int32_t y = 0; y < picture.Height(); ++y) {
      const auto* row = reinterpret_cast<const uint32_t*>(picture.Row(y));
      for (int32_t x = 0; x < picture.Width(); ++x)
        run_.frame[static_cast<size_t>(y) * picture.Width() + x] = row[x] & 0x00FFFFFFu;
    }
    return true;
  }
  platform::Size ClientSize() const override { return platform::Size{640, 480}; }

 private:
  EngineRun& run_;
  const Engine3D& engine_;
  bool full_screen_ = false;
};

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

}  // namespace

size_t EngineRun::CountOtherThan(uint32_t colour) const {
  size_t n = 0;
  for (uint32_t p : frame) n += p != colour;
  return n;
}

std::vector<double> EngineRun::PrintedNumbers() const {
  std::vector<double> values;
  std::istringstream lines(printed);
  for (std::string line; std::getline(lines, line);) values.push_back(std::stod(line));
  return values;
}

EngineRun RunEngineProgram(const std::string& source, const std::string& folder, uint32_t frames,
                           EngineRunHooks hooks) {
  EngineRun run;
  CompileResult compiled = CompileSource(source);
  if (!compiled.ok) {
    run.errors = FormatCompileError(*compiled.error);
    return run;
  }
  const std::vector<uint8_t> bytes = EncodeProgramFile(compiled.program);
  Engine3D engine;
  StartOptions options;
  options.executable_path = folder + "/game";
  options.headless = true;
  options.frames = frames;
  options.app_folder = folder + "/";
  StartServices services;
  services.user_state_folder = folder + "/";
  services.engine3d = &engine;
  // Error places name their command, as in a run from the editor.
  services.commands = &BuiltinCommandCatalog();
  services.register_handlers = [](HandlerTable& table) {
    RegisterCoreHandlers(table);
    RegisterConsoleHandlers(table);
    RegisterDisplayHandlers(table);
    RegisterImageHandlers(table);
    RegisterSpriteHandlers(table);
    RegisterEngine3DHandlers(table);
  };
  services.make_display = [&](platform::Window& window, Vm& vm) {
    return MakeDisplayServices(vm, window, std::make_unique<CapturePresenter>(run, engine));
  };
  services.compile = [bytes](const std::string& path, std::string*) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out);
  };
  services.echo = [&run](std::string_view piece) { run.printed += std::string(piece); };
  services.error_out = [&run](std::string_view text) { run.errors += std::string(text); };
  services.on_loaded = std::move(hooks.on_loaded);
  services.on_stopped = std::move(hooks.on_stopped);
  const fs::path before = fs::current_path();
  fs::current_path(folder);
  run.status = RunRuntime(options, std::move(services));
  fs::current_path(before);
  return run;
}

std::string CompareWithGolden(const EngineRun& run, const std::string& name) {
  if (run.frame.empty()) return "no frame was presented";
  const std::string path = zv::test::SourcePath("tests/engine3d/goldens/") + name + ".png";
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
