#include "tests/display/game/example_game.h"

#include <unistd.h>

#include <memory>
#include <vector>

#include "compiler/compiler.h"
#include "display/display_factory.h"
#include "platform/clock/clock.h"
#include "tests/support/test_paths.h"

namespace zv::test {

namespace fs = std::filesystem;

void ExampleGame::SetUp() {
  const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
  folder_ = fs::temp_directory_path() /
            ("zv_example_" + std::string(info->test_suite_name()) + "_" + std::to_string(getpid()));
  fs::create_directories(folder_);
}

void ExampleGame::TearDown() { fs::remove_all(folder_); }

DrawingRun ExampleGame::Play(const std::string& example, StartServices services, uint32_t frames,
                             const std::string& command_line,
                             const std::function<void(platform::HeadlessWindow&)>& script) {
  DrawingRun run;
  platform::ManualClock clock(1000);
  platform::HeadlessWindow window(clock);
  if (script) script(window);
  auto frame = std::make_shared<std::vector<uint32_t>>();
  StartOptions options;
  options.executable_path = (folder_ / "game").string();
  options.headless = true;
  options.frames = frames;
  options.command_line = command_line;
  options.app_folder = folder_.string() + "/";
  services.clock = &clock;
  services.window = &window;
  services.user_state_folder = folder_.string() + "/";
  services.make_display = [&](platform::Window& w, Vm& vm) {
    return MakeDisplayServices(vm, w, std::make_unique<CapturePresenter>(frame, &run.width, &run.height));
  };
  const std::string source = zv::test::SourcePath("examples/") + example;
  services.compile = [source, &run](const std::string& program, std::string*) {
    CompileResult compiled = CompileFile(source, program);
    if (!compiled.ok && compiled.error) run.errors = FormatCompileError(*compiled.error);
    return compiled.ok;
  };
  services.echo = [&run](std::string_view piece) { run.printed += std::string(piece); };
  services.error_out = [&run](std::string_view text) { run.errors += std::string(text); };
  const fs::path before = fs::current_path();
  fs::current_path(folder_);
  run.status = RunRuntime(options, std::move(services));
  fs::current_path(before);
  run.frame = *frame;
  return run;
}

int ExampleGame::Count(const DrawingRun& run, int32_t left, int32_t top, int32_t right, int32_t bottom,
                       const std::function<bool(uint32_t)>& test) {
  int count = 0;
  for (int32_t y = top; y < bottom; ++y)
    for (int32_t x = left; x < right; ++x) count += test(run.At(x, y)) ? 1 : 0;
  return count;
}

}  // namespace zv::test
