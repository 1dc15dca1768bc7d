#include "runtime/startup.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <fstream>

#include "platform/clock/clock.h"
#include "platform/paths/temp_folder.h"
#include "platform/signals/stop_signals.h"
#include "platform/window/headless/headless_window.h"
#include "runtime/builder/record_writer.h"
#include "runtime/runtime_state.h"
#include "tests/runtime/runtime_fixture.h"

namespace zv {
namespace {

namespace fs = std::filesystem;
namespace op = test::op;

class StartupTest : public ::testing::Test {
 protected:
  StartupTest() : clock(5000), window(clock) {
    options.executable_path = "/opt/games/zentrovex";
    options.app_folder = folder.Path() + "/";
    services.clock = &clock;
    services.window = &window;
    services.engine3d = &recorded.engine3d;
    services.sound = &recorded.sound;
    services.input = &recorded.input;
    services.user_state_folder = folder.Path();
    services.echo = [this](std::string_view text) { out += text; };
    services.error_out = [this](std::string_view text) { err += text; };
    services.compile = [this](const std::string& program, std::string* error) {
      if (!compile_error.empty()) {
        *error = compile_error;
        return false;
      }
      std::vector<uint8_t> bytes = assembler.Bytes();
      std::ofstream(program, std::ios::binary)
          .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
      return true;
    };
  }

  int Run() { return RunRuntime(options, services); }

  // A game file: a stub and the assembled program as its first record.
  std::string WriteGame() {
    const std::string stub = folder.File("stub");
    std::ofstream(stub) << "stub";
    const std::string game = folder.File("game");
    std::FILE* f = std::fopen(game.c_str(), "wb");
    RecordWriter writer(f);
    EXPECT_TRUE(writer.WriteStub(stub, 0) && writer.AddRecord("_exefile.dat", assembler.Bytes()) && writer.Finish());
    std::fclose(f);
    return game;
  }

  platform::TempFolder folder;
  platform::ManualClock clock;
  platform::HeadlessWindow window;
  test::RecordingServices recorded;
  StartOptions options;
  StartServices services;
  test::ProgramAssembler assembler;
  std::string out, err, compile_error;
};

TEST_F(StartupTest, ACleanRunPrintsAndEndsWithStatusZero) {
  assembler.Op(op::kPrintString, {assembler.StringConst("hello")});
  assembler.Op(op::kEnd);
  EXPECT_EQ(Run(), kExitClean);
  EXPECT_EQ(out, "hello\n");
  EXPECT_EQ(err, "");
  EXPECT_TRUE(window.MessageBoxes().empty());
  EXPECT_EQ(window.Title(), "/opt/games/zentrovex");
}

TEST_F(StartupTest, ARuntimeErrorEndsWithTheMessageAndAnErrorBox) {
  assembler.Line(7);
  assembler.Op(op::kFrameRate, {assembler.IntConst(5000)});
  assembler.Op(op::kEnd);
  EXPECT_EQ(Run(), kExitRuntimeError);
  EXPECT_EQ(err.rfind("Runtime Error : ", 0), 0u) << err;
  ASSERT_EQ(window.MessageBoxes().size(), 1u);
  EXPECT_EQ(window.MessageBoxes()[0].title, "Error In Program");
  EXPECT_EQ(window.MessageBoxes()[0].icon, platform::MessageBoxIcon::kError);
  // The box says what standard error says, its line and command too.
  EXPECT_NE(err.find(" (line 7"), std::string::npos) << err;
  EXPECT_EQ(window.MessageBoxes()[0].text + "\n", err);
}

TEST_F(StartupTest, TheErrorBoxComesBeforeTheExitPrompt) {
  assembler.Op(op::kFrameRate, {assembler.IntConst(5000)});
  services.on_loaded = [](Vm& vm) {
    vm.runtime->exit_prompt_on = true;
    vm.runtime->exit_prompt_title = "Bye";
    vm.runtime->exit_prompt_text = "Thanks for playing";
  };
  Run();
  ASSERT_EQ(window.MessageBoxes().size(), 2u);
  EXPECT_EQ(window.MessageBoxes()[1].title, "Bye");
}

TEST_F(StartupTest, AProgramThatDoesNotCompileDoesNotStart) {
  compile_error = "hello.kqa:3: unknown command";
  EXPECT_EQ(Run(), kExitStartFailed);
  EXPECT_NE(err.find("hello.kqa:3: unknown command"), std::string::npos);
  EXPECT_TRUE(std::find(recorded.log.begin(), recorded.log.end(), "Input.ShutdownInput") != recorded.log.end());
}

TEST_F(StartupTest, AFailedInputStartIsReportedAsSystemError10007) {
  recorded.input.init_result = false;
  assembler.Op(op::kEnd);
  EXPECT_EQ(Run(), kExitStartFailed);
  EXPECT_EQ(err.rfind("System Error : ", 0), 0u) << err;
  EXPECT_EQ(window.MessageBoxes().size(), 1u);
}

TEST_F(StartupTest, ABuiltGameRunsItsAttachedProgram) {
  assembler.Op(op::kPrintString, {assembler.StringConst("from the game")});
  assembler.Op(op::kEnd);
  options.executable_path = WriteGame();
  options.standalone = true;
  bool standalone_seen = false;
  services.on_loaded = [&](Vm& vm) { standalone_seen = vm.attached_data != nullptr; };
  EXPECT_EQ(Run(), kExitClean) << err;
  EXPECT_EQ(out, "from the game\n");
  EXPECT_TRUE(standalone_seen);
}

TEST_F(StartupTest, ADamagedGameSaysSoAndDoesNotStart) {
  assembler.Op(op::kEnd);
  options.executable_path = WriteGame();
  options.standalone = true;
  fs::resize_file(options.executable_path, fs::file_size(options.executable_path) - 9);
  std::ofstream(options.executable_path, std::ios::app | std::ios::binary).write("\0\0\0\0\x04\0\0\0\x01", 9);
  EXPECT_EQ(Run(), kExitStartFailed);
  EXPECT_NE(err.find("attached data damaged"), std::string::npos) << err;
}

TEST_F(StartupTest, TheCommandLineReachesTheProgramWhole) {
  assembler.Op(op::kEnd);
  options.command_line = std::string(300, 'a');
  size_t seen = 0;
  services.on_loaded = [&](Vm& vm) { seen = vm.command_line.size(); };
  Run();
  EXPECT_EQ(seen, 300u);
}

TEST_F(StartupTest, TheTemporaryFolderIsGoneAfterTheRun) {
  assembler.Op(op::kEnd);
  std::string temp_folder;
  services.on_loaded = [&](Vm& vm) { temp_folder = vm.runtime->temp_folder; };
  Run();
  ASSERT_FALSE(temp_folder.empty());
  EXPECT_FALSE(fs::exists(temp_folder));
}

TEST_F(StartupTest, TheWindowIsNamedAfterTheProgramUntilItNamesItself) {
  assembler.Op(op::kEnd);
  options.title = "/home/andr\xC3\xA9/stars.kqa";  // as the file system spells it, in UTF-8
  Run();
  EXPECT_EQ(window.Title(), "/home/andr\xE9/stars.kqa");  // as a program would
}

TEST_F(StartupTest, AStopSignalEndsAnEndlessRunAndRemovesItsTemporaryFolder) {
  auto top = assembler.NewLabel();
  assembler.Bind(top);
  assembler.Op(op::kSync);
  assembler.Op(op::kJump, {assembler.Target(top)});
  platform::CatchStopSignals();
  std::string temp_folder;
  services.on_loaded = [&](Vm& vm) {
    temp_folder = vm.runtime->temp_folder;
    std::raise(SIGTERM);
  };
  EXPECT_EQ(Run(), kExitClean);
  EXPECT_EQ(platform::StopSignal(), SIGTERM);
  platform::ClearStopSignal();
  std::signal(SIGTERM, SIG_DFL);
  EXPECT_TRUE(window.MessageBoxes().empty());
  ASSERT_FALSE(temp_folder.empty());
  EXPECT_FALSE(fs::exists(temp_folder));
}

TEST_F(StartupTest, TheFrameLimitEndsAnEndlessProgramCleanly) {
  auto top = assembler.NewLabel();
  assembler.Bind(top);
  assembler.Op(op::kSync);
  assembler.Op(op::kJump, {assembler.Target(top)});
  options.frames = 3;
  EXPECT_EQ(Run(), kExitClean);
}

// A print shows at once with automatic refresh: one frame of the program
// is the print's, and what it printed reaches the console.
TEST_F(StartupTest, OneFrameIsTheProgramsFirstAndKeepsWhatItPrinted) {
  assembler.Op(op::kPrintString, {assembler.StringConst("hi")});
  assembler.Op(op::kPrintString, {assembler.StringConst("next frame")});
  assembler.Op(op::kEnd);
  options.frames = 1;
  EXPECT_EQ(Run(), kExitClean);
  EXPECT_EQ(out, "hi\n");
}

TEST_F(StartupTest, StopsTheSubsystemsInOrder) {
  assembler.Op(op::kEnd);
  Run();
  auto at = [&](const std::string& call) {
    return std::find(recorded.log.begin(), recorded.log.end(), call) - recorded.log.begin();
  };
  EXPECT_LT(at("Input.InitInput"), at("Sound.InitMusicSystem"));
  EXPECT_LT(at("Sound.StartSoundSystem"), at("Input.AcquireInputDevices"));
  EXPECT_LT(at("Input.CloseFtpConnection"), at("Sound.DeleteAllMusic"));
  EXPECT_LT(at("Sound.DeleteAllMusic"), at("Sound.ShutdownMusicSystem"));
  EXPECT_LT(at("Sound.StopSoundSystem"), at("Input.ShutdownInput"));
}

}  // namespace
}  // namespace zv
