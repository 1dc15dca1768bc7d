#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <set>
#include <iterator>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "compiler/compiler.h"
#include "platform/registry/registry.h"
#include "platform/window/headless/headless_window.h"
#include "platform/shell/shell.h"
#include "runtime/console/console_commands.h"
#include "runtime/runtime_state.h"
#include "runtime/vm/dispatch.h"
#include "runtime/vm/loader.h"
#include "runtime/vm/opcodes/core_handlers.h"
#include "runtime/vm/program_file.h"
#include "services/files/array_file_commands.h"
#include "services/files/checklist_commands.h"
#include "services/files/file_commands.h"
#include "services/files/file_services.h"
#include "services/files/numbered_file_commands.h"
#include "services/memory/memory_blocks.h"
#include "services/memory/memory_handlers.h"
#include "services/system/system_commands.h"
#include "services/system/system_services.h"
#include "services/system/user_library_commands.h"
#include "tests/support/fake_host.h"

namespace zv::test {

namespace fs = std::filesystem;

// A host whose clipboard can also be read.
class ClipboardHost : public FakeHost {
 public:
  std::optional<std::string> GetClipboardText() override {
    if (!clipboard_available || !has_clipboard_text) return std::nullopt;
    return clipboard;
  }
  bool SetClipboardText(std::string_view text) override {
    has_clipboard_text = FakeHost::SetClipboardText(text) || has_clipboard_text;
    return clipboard_available;
  }
  bool has_clipboard_text = false;
};

// Compiled BASIC run in this process with the file, system and memory-block
// commands, inside a folder of its own that is the working folder while the
// test runs. What the program prints is gathered in `printed`.
class ServicesProgramTest : public ::testing::Test {
 protected:
  ServicesProgramTest()
      : folder_(fs::temp_directory_path() / ("zv_services_" + std::to_string(::getpid()) + "_" +
                                             ::testing::UnitTest::GetInstance()->current_test_info()->name())),
        files(shell),
        system(platform::Registry::InFolder((folder_ / ".registry").string()),
               SystemFolders{"/opt/game/game", (folder_ / ".system").string()}, &window),
        vm(handlers, host) {
    RegisterCoreHandlers(handlers);
    RegisterConsoleHandlers(handlers);
    RegisterMemoryHandlers(handlers);
    RegisterFileHandlers(handlers);
    RegisterNumberedFileHandlers(handlers);
    RegisterArrayFileHandlers(handlers);
    RegisterChecklistHandlers(handlers);
    RegisterSystemHandlers(handlers);
    RegisterUserLibraryHandlers(handlers);
    files.Bind(vm);
    system.Bind(vm);
    vm.memory_blocks = &blocks;
    vm.runtime = &state;
    state.console_echo = [this](std::string_view text) { printed += text; };
  }

  void SetUp() override {
    fs::remove_all(folder_);
    fs::create_directories(folder_);
    previous_folder_ = fs::current_path();
    fs::current_path(folder_);
  }
  void TearDown() override {
    files.CloseNumberedFiles();
    fs::current_path(previous_folder_);
    fs::remove_all(folder_);
  }

  // Compiles and runs the program to its end or its first error or warning;
  // false (with the reason reported) when it does not compile.
  bool Run(std::string_view source) {
    CompileResult compiled = CompileSource(source, "test.kqa");
    if (!compiled.ok) {
      ADD_FAILURE() << FormatCompileError(*compiled.error);
      return false;
    }
    auto decoded = DecodeProgramFile(EncodeProgramFile(compiled.program));
    if (!std::holds_alternative<ProgramFile>(decoded) || !InstallProgram(vm, std::get<ProgramFile>(decoded))) {
      ADD_FAILURE() << "the program did not load";
      return false;
    }
    host.quits = 0;
    printed.clear();
    ResetVmState(vm);
    system.ResetForRun();
    if (on_start) on_start();
    for (int turn = 0; turn < 10000 && !vm.program_ended && host.quits == 0; ++turn) RunVmLoop(vm);
    return true;
  }

  // The error or warning code the run ended on (0 for none).
  int32_t Code() const { return vm.errors.code; }
  bool Warned() const { return vm.errors.code != 0 && vm.errors.warning; }

  fs::path Folder() const { return folder_; }
  void WriteBytes(const std::string& name, std::string_view bytes) {
    std::ofstream out(folder_ / name, std::ios::binary);
    out << bytes;
  }
  std::string ReadBytes(const std::string& name) const {
    std::ifstream in(folder_ / name, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }

 private:
  fs::path folder_;
  fs::path previous_folder_;

 protected:
  HandlerTable handlers;
  ClipboardHost host;
  RuntimeState state;
  platform::RecordingShell shell;
  platform::ManualClock clock{0};
  platform::HeadlessWindow window{clock};
  FileServices files;
  SystemServices system;
  MemoryBlocks blocks;
  Vm vm;
  std::string printed;
  // Runs after the machine is reset, before the program starts.
  std::function<void()> on_start;
};

}  // namespace zv::test
