// Compiled BASIC programs using memory blocks, run headless in-process.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <string>

#include "compiler/command_table.h"
#include "compiler/compiler.h"
#include "display/display_commands.h"
#include "display/display_factory.h"
#include "display/images.h"
#include "platform/present/headless/headless_presenter.h"
#include "runtime/console/console_commands.h"
#include "runtime/startup.h"
#include "runtime/vm/opcodes/core_handlers.h"
#include "runtime/vm/program_file.h"
#include "services/memory/memory_blocks.h"
#include "services/memory/memory_handlers.h"

namespace zv {
namespace {

namespace fs = std::filesystem;

// The runtime's release of the blocks when the display goes, as the app's
// input-services adapter passes it on.
class BlockReleasingInput final : public InputServices {
 public:
  explicit BlockReleasingInput(MemoryBlocks& memory) : memory_(memory) {}
  void FreeMemoryBlocks() override {
    ++frees;
    memory_.FreeMemoryBlocks();
  }
  int frees = 0;

 private:
  MemoryBlocks& memory_;
};

struct BasicRun {
  int status = -1;
  std::string printed;
  std::string errors;
};

class MemoryPrograms : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = fs::temp_directory_path() / ("zv_memory_programs_" + std::to_string(getpid()));
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
    options.frames = 100;
    options.app_folder = folder_.string() + "/";
    StartServices services;
    services.user_state_folder = folder_.string() + "/";
    services.input = &input;
    services.register_handlers = [](HandlerTable& table) {
      RegisterCoreHandlers(table);
      RegisterConsoleHandlers(table);
      RegisterDisplayHandlers(table);
      RegisterImageHandlers(table);
      RegisterMemoryHandlers(table);
    };
    services.make_display = [](platform::Window& window, Vm& vm) {
      return MakeDisplayServices(vm, window, std::make_unique<platform::HeadlessPresenter>());
    };
    services.on_loaded = [this](Vm& vm) { vm.memory_blocks = &memory; };
    services.compile = [bytes](const std::string& path, std::string*) {
      std::ofstream out(path, std::ios::binary);
      out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
      return static_cast<bool>(out);
    };
    services.echo = [&run](std::string_view piece) {
      run.printed += piece.empty() ? std::string("\n") : std::string(piece);
    };
    services.error_out = [&run](std::string_view text) { run.errors += std::string(text); };
    run.status = RunRuntime(options, std::move(services));
    return run;
  }

  fs::path folder_;
  MemoryBlocks memory;
  BlockReleasingInput input{memory};
};

TEST_F(MemoryPrograms, ReadWriteCopyAndDelete) {
  BasicRun run = Run(
      "make memblock 1, 16\n"
      "write memblock dword 1, 0, 305419896\n"
      "write memblock float 1, 4, -1.5\n"
      "write memblock word 1, 8, 65535\n"
      "write memblock byte 1, 10, 255\n"
      "print memblock size(1); \" \"; memblock dword(1, 0); \" \"; memblock float(1, 4)\n"
      "print memblock word(1, 8); \" \"; memblock byte(1, 10); \" \"; memblock byte(1, 0)\n"
      "copy memblock 1, 1, 0, 12, 4\n"
      "print memblock dword(1, 12)\n"
      "make memblock 2, 4\n"
      "copy memblock 1, 2, 8, 0, 4\n"
      "print memblock dword(2, 0)\n"
      "print memblock exists(2); \" \"; memblock pointer(2) > 0\n"
      "delete memblock 2\n"
      "print memblock exists(2)\n"
      "end\n");
  EXPECT_EQ(run.errors, "");
  EXPECT_EQ(run.status, kExitClean);
  EXPECT_EQ(run.printed, "16 305419896 -1.5\n65535 255 120\n305419896\n16777215\n1 1\n0\n");
  // The runtime released what the program left when the display went.
  EXPECT_EQ(input.frees, 1);
  EXPECT_EQ(memory.Table().Count(), 0);
}

TEST_F(MemoryPrograms, ErrorsEndTheRun) {
  BasicRun run = Run(
      "make memblock 1, 4\n"
      "print memblock dword(1, 0)\n"
      "print memblock dword(1, 1)\n"
      "print \"not reached\"\n"
      "end\n");
  EXPECT_EQ(run.status, kExitRuntimeError);
  EXPECT_EQ(run.printed, "0\n");
  EXPECT_NE(run.errors.find("Position lies outside the memory block"), std::string::npos) << run.errors;
}

class MemoryPixelPrograms : public MemoryPrograms, public ::testing::WithParamInterface<int> {};

INSTANTIATE_TEST_SUITE_P(Depths, MemoryPixelPrograms, ::testing::Values(16, 32));

TEST_P(MemoryPixelPrograms, BitmapsAndImagesRoundTripThroughBlocks) {
  const std::string depth = std::to_string(GetParam());
  BasicRun run = Run(
      "set display mode 640, 480, " + depth + "\n"
      "create bitmap 1, 9, 5\n"
      "ink rgb(255, 128, 0), 0\n"
      "box 1, 1, 6, 4\n"
      "ink rgb(0, 40, 255), 0\n"
      "dot 0, 0\n"
      "sync\n"
      "make memblock from bitmap 1, 1\n"
      "print memblock dword(1, 0); \" \"; memblock dword(1, 4); \" \"; memblock dword(1, 8); \" \"; memblock size(1)\n"
      "make bitmap from memblock 2, 1\n"
      "make image from memblock 7, 1\n"
      "make memblock from bitmap 2, 2\n"
      "make memblock from image 3, 7\n"
      "same = 1\n"
      "coloured = 0\n"
      "for i = 0 to memblock size(1) - 1\n"
      "  if memblock byte(1, i) <> memblock byte(2, i) then same = 0\n"
      "  if memblock byte(1, i) <> memblock byte(3, i) then same = 0\n"
      "  if i > 11 and memblock byte(1, i) > 0 then coloured = coloured + 1\n"
      "next i\n"
      "print same; \" \"; coloured > 0; \" \"; bitmap width(2); \" \"; image exists(7)\n"
      "end\n");
  EXPECT_EQ(run.errors, "");
  EXPECT_EQ(run.status, kExitClean);
  const int size = 12 + 9 * 5 * GetParam() / 8;
  EXPECT_EQ(run.printed, "9 5 " + depth + " " + std::to_string(size) + "\n1 1 9 1\n");
}

// The rows of the memory-block commands and their handlers agree: every
// opcode from 5101 to 5199 with a handler has a row, and every row of that
// range names a handler.
TEST(MemoryCommandRows, RowsAndHandlersAgree) {
  HandlerTable handlers;
  RegisterMemoryHandlers(handlers);
  std::set<int32_t> with_row;
  const CommandTable& table = CommandTable::Builtin();
  for (const auto* rows : {&table.Commands(), &table.Functions()}) {
    for (const CommandEntry& row : *rows) {
      if (row.code < 5101 || row.code > 5199) continue;
      with_row.insert(row.code);
      EXPECT_NE(handlers.Get(static_cast<uint32_t>(row.code)), nullptr) << row.name;
    }
  }
  for (int32_t code = 5101; code <= 5199; ++code) {
    if (handlers.Get(static_cast<uint32_t>(code))) {
      EXPECT_TRUE(with_row.count(code)) << code;
    }
  }
  EXPECT_EQ(with_row.size(), 23u);
}

}  // namespace
}  // namespace zv
