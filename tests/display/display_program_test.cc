#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "compiler/compiler.h"
#include "display/display_commands.h"
#include "display/display_factory.h"
#include "platform/present/headless/headless_presenter.h"
#include "runtime/console/console_commands.h"
#include "runtime/startup.h"
#include "runtime/vm/opcodes/core_handlers.h"
#include "runtime/vm/program_file.h"

namespace zv {
namespace {

namespace fs = std::filesystem;

// Compiled BASIC run headless with the display's commands: what the program
// prints, and its exit status.
struct BasicRun {
  int status = -1;
  std::string printed;
  std::string errors;
};

class DisplayPrograms : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = fs::temp_directory_path() / ("zv_display_programs_" + std::to_string(getpid()));
    fs::create_directories(folder_);
  }
  void TearDown() override { fs::remove_all(folder_); }

  BasicRun Run(const std::string& source) {
    BasicRun run;
    CompileResult compiled = CompileSource(source);
    if (!compiled.ok) {
      run.errors = FormatCompileError(*compiled.error);
      return run;
    }
    std::vector<uint8_t> bytes = EncodeProgramFile(compiled.program);
    StartOptions options;
    options.executable_path = (folder_ / "game").string();
    options.headless = true;
    options.frames = 50;
    options.app_folder = folder_.string() + "/";
    StartServices services;
    services.user_state_folder = folder_.string() + "/";
    services.register_handlers = [](HandlerTable& table) {
      RegisterCoreHandlers(table);
      RegisterConsoleHandlers(table);
      RegisterDisplayHandlers(table);
    };
    services.make_display = [](platform::Window& window, Vm& vm) {
      return MakeDisplayServices(vm, window, std::make_unique<platform::HeadlessPresenter>());
    };
    services.compile = [bytes](const std::string& path, std::string*) {
      std::ofstream out(path, std::ios::binary);
      out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
      return static_cast<bool>(out);
    };
    // The console echoes each printed piece; an empty one ends the line.
    services.echo = [&run](std::string_view piece) {
      run.printed += piece.empty() ? std::string("\n") : std::string(piece);
    };
    services.error_out = [&run](std::string_view text) { run.errors += std::string(text); };
    run.status = RunRuntime(options, std::move(services));
    return run;
  }

  fs::path folder_;
};

TEST_F(DisplayPrograms, ModesAndScreenQueries) {
  BasicRun run = Run(
      "print screen width(); \" \"; screen height(); \" \"; screen depth()\n"
      "set display mode 800, 600, 32\n"
      "print screen width(); \" \"; screen height(); \" \"; screen depth()\n"
      "print screen invalid()\n"
      "print screen invalid()\n"
      "print display mode available(1024, 768, 24)\n"
      "print display mode available(1023, 768, 24)\n"
      "print screen in video memory()\n"
      "print software renderer()\n"
      "end\n");
  EXPECT_EQ(run.errors, "");
  EXPECT_EQ(run.status, kExitClean);
  EXPECT_EQ(run.printed, "640 480 16\n800 600 32\n1\n0\n1\n0\n1\n0\n");
}
// Every standard mode that is offered can be set, and the display then runs
// in it: the back buffer, 2D drawing and the 3D device alike.
TEST_F(DisplayPrograms, EveryOfferedModeCanBeSet) {
  BasicRun run = Run(
      "for d = 16 to 32 step 8\n"
      "  for s = 0 to 2\n"
      "    w = 640 : h = 480\n"
      "    if s = 1 then w = 800 : h = 600\n"
      "    if s = 2 then w = 1024 : h = 768\n"
      "    if display mode available(w, h, d) = 0 then print \"not offered \"; w; \"x\"; h; \"x\"; d\n"
      "    set display mode w, h, d\n"
      "    box 0, 0, 10, 10\n"
      "    sync\n"
      "    if screen width() <> w or screen depth() <> d then print \"not set \"; w; \"x\"; h; \"x\"; d\n"
      "  next s\n"
      "next d\n"
      "print \"done\"\n"
      "end\n");
  EXPECT_EQ(run.errors, "");
  EXPECT_EQ(run.status, kExitClean);
  EXPECT_EQ(run.printed, "done\n");
}

TEST_F(DisplayPrograms, PixelLock) {
  BasicRun run = Run(
      "print pixels pointer()\n"
      "lock pixels\n"
      "print pixels width(); \" \"; pixels height(); \" \"; pixels depth(); \" \"; pixels pitch()\n"
      "print pixels pointer()\n"
      "unlock pixels\n"
      "print pixels pointer(); \" \"; pixels pitch()\n"
      "end\n");
  EXPECT_EQ(run.errors, "");
  EXPECT_EQ(run.status, kExitClean);
  std::vector<std::string> lines;
  for (size_t start = 0, end; (end = run.printed.find('\n', start)) != std::string::npos; start = end + 1)
    lines.push_back(run.printed.substr(start, end - start));
  ASSERT_EQ(lines.size(), 4u) << run.printed;
  EXPECT_EQ(lines[0], "-1");
  EXPECT_EQ(lines[1], "640 480 16 1280");
  EXPECT_NE(lines[2], "-1");
  EXPECT_NE(lines[2], "0");
  EXPECT_EQ(lines[3], "-1 -1");
}

TEST_F(DisplayPrograms, CardRendererMemoryAndActivity) {
  BasicRun run = Run(
      "use software renderer\n"
      "print software renderer(); \" \"; screen in video memory()\n"
      "use hardware renderer\n"
      "print software renderer(); \" \"; screen in video memory()\n"
      "disable tnl\n"
      "print tnl in use()\n"
      "enable tnl\n"
      "evict managed textures\n"
      "checklist graphics cards\n"
      "set graphics card \"Primary Display Driver\"\n"
      "print current graphics card$()\n"
      "print free video memory() > 0; \" \"; free texture memory() > 0; \" \"; free system memory() > 0\n"
      "always active on\n"
      "always active off\n"
      // Frames per second are counted on the real clock: a slow (sanitizer)
      // build may already have a count, so only its range is checked.
      "print screen fps() >= 0\n"
      "end\n");
  EXPECT_EQ(run.errors, "");
  EXPECT_EQ(run.status, kExitClean);
  EXPECT_EQ(run.printed, "1 0\n0 1\n0\nPrimary Display Driver\n1 1 1\n1\n");
}

TEST_F(DisplayPrograms, WindowCommands) {
  BasicRun run = Run(
      "window on\n"
      "set window layout 0, 1, 1\n"
      "set window title \"Game\"\n"
      "set window position 100, 50\n"
      "set window size 320, 240\n"
      "hide window\n"
      "show window\n"
      "minimise window\n"
      "maximise window\n"
      "restore window\n"
      "print screen width(); \" \"; screen depth()\n"
      "window off\n"
      "print screen width()\n"
      "end\n");
  EXPECT_EQ(run.errors, "");
  EXPECT_EQ(run.status, kExitClean);
  EXPECT_EQ(run.printed, "640 16\n640\n");
}

TEST_F(DisplayPrograms, BadModesAndCardsEndTheRun) {
  BasicRun depth = Run("set display mode 640, 480, 8\nprint 1\nend\n");
  EXPECT_EQ(depth.status, kExitRuntimeError);
  EXPECT_NE(depth.errors.find("Runtime Error"), std::string::npos) << depth.errors;
  EXPECT_EQ(depth.printed, "");

  BasicRun card = Run("set graphics card \"No Such Card\"\nprint 1\nend\n");
  EXPECT_EQ(card.status, kExitRuntimeError);
  EXPECT_NE(card.errors.find("Warning"), std::string::npos) << card.errors;
}

}  // namespace
}  // namespace zv
