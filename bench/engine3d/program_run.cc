#include "bench/engine3d/program_run.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <vector>

#include "compiler/compiler.h"
#include "display/display_commands.h"
#include "display/display_factory.h"
#include "display/images.h"
#include "engine3d/engine.h"
#include "engine3d/engine_handlers.h"
#include "runtime/console/console_commands.h"
#include "runtime/startup.h"
#include "runtime/vm/opcodes/core_handlers.h"
#include "runtime/vm/program_file.h"

namespace zv::bench {
namespace {

namespace fs = std::filesystem;

// Frames are shown nowhere.
class NoPresenter final : public platform::Presenter {
 public:
  platform::DisplayMode Desktop() const override { return platform::DisplayMode{1024, 768, 32}; }
  void SetFullScreen(bool full_screen) override { full_screen_ = full_screen; }
  bool FullScreen() const override { return full_screen_; }

 protected:
  bool Show(const platform::Surface&) override { return true; }
  platform::Size ClientSize() const override { return platform::Size{640, 480}; }

 private:
  bool full_screen_ = false;
};

}  // namespace

std::optional<std::string> RunProgram(const std::string& source, const std::map<std::string, std::string>& files,
                                      const std::string& screenshot) {
  CompileResult compiled = CompileSource(source);
  if (!compiled.ok) return std::nullopt;
  const std::vector<uint8_t> bytes = EncodeProgramFile(compiled.program);
  const fs::path folder = fs::temp_directory_path() / ("zv_bench_engine3d_" + std::to_string(getpid()));
  fs::create_directories(folder);
  for (const auto& [name, contents] : files) std::ofstream(folder / name, std::ios::binary) << contents;
  Engine3D engine;
  std::string printed, errors;
  StartOptions options;
  options.executable_path = (folder / "game").string();
  options.headless = true;
  options.app_folder = folder.string() + "/";
  options.screenshot = screenshot;
  StartServices services;
  services.user_state_folder = folder.string() + "/";
  services.engine3d = &engine;
  services.register_handlers = [](HandlerTable& table) {
    RegisterCoreHandlers(table);
    RegisterConsoleHandlers(table);
    RegisterDisplayHandlers(table);
    RegisterImageHandlers(table);
    RegisterEngine3DHandlers(table);
  };
  services.make_display = [](platform::Window& window, Vm& vm) {
    return MakeDisplayServices(vm, window, std::make_unique<NoPresenter>());
  };
  services.compile = [bytes](const std::string& path, std::string*) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out);
  };
  services.echo = [&](std::string_view piece) { printed += std::string(piece); };
  services.error_out = [&](std::string_view text) { errors += std::string(text); };
  const fs::path before = fs::current_path();
  fs::current_path(folder);
  const int status = RunRuntime(options, std::move(services));
  fs::current_path(before);
  fs::remove_all(folder);
  if (status != 0 || !errors.empty()) return std::nullopt;
  return printed;
}

bool RecordFrameTime(benchmark::State& state, const std::optional<std::string>& printed, int frames) {
  const int ms = printed ? std::atoi(printed->c_str()) : 0;
  if (ms <= 0) {
    state.SkipWithError("the program did not run");
    return false;
  }
  state.SetIterationTime(ms / 1000.0 / frames);
  state.counters["fps"] = frames * 1000.0 / ms;
  return true;
}

}  // namespace zv::bench
