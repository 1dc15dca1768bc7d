#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/clipboard/clipboard.h"
#include "platform/clock/clock.h"
#include "platform/window/headless/headless_window.h"
#include "runtime/console/console_commands.h"
#include "runtime/display_seam.h"
#include "runtime/message_pump.h"
#include "runtime/runtime_state.h"
#include "runtime/vm/loader.h"
#include "runtime/vm/opcodes/core_handlers.h"
#include "tests/support/program_assembler.h"
#include "tests/support/recording_services.h"

namespace zv::test {

// Opcodes the runtime tests write programs with.
namespace op {
constexpr uint32_t kPrintInt = 301;
constexpr uint32_t kPrintFloat = 302;
constexpr uint32_t kPrintString = 303;
constexpr uint32_t kPrintBlank = 304;
constexpr uint32_t kPrintIntOnLine = 305;
constexpr uint32_t kPrintStringOnLine = 307;
constexpr uint32_t kInputInt = 351;
constexpr uint32_t kInputString = 352;
constexpr uint32_t kInputFloat = 355;
constexpr uint32_t kClearScreen = 212;
constexpr uint32_t kBox = 208;
constexpr uint32_t kDot = 215;
constexpr uint32_t kPasteImage = 242;
constexpr uint32_t kScanCode = 250;
constexpr uint32_t kLastKey = 228;
constexpr uint32_t kEntryBuffer = 428;
constexpr uint32_t kTimer = 260;
constexpr uint32_t kWait = 255;
constexpr uint32_t kWaitKey = 263;
constexpr uint32_t kWaitMouse = 265;
constexpr uint32_t kSync = 259;
constexpr uint32_t kManualRefresh = 403;
constexpr uint32_t kFrameRate = 407;
constexpr uint32_t kEnd = 213;
constexpr uint32_t kQuit = 217;
constexpr uint32_t kJump = 2;
constexpr uint32_t kAddInt = 81;
}  // namespace op

// A display that draws nothing and remembers what it was asked.
class RecordingDisplay : public DisplayServices {
 public:
  void QueueTextOutput(std::string_view text, int32_t& x, int32_t& y, TextFlow flow) override {
    texts.push_back({std::string(text), x, y, flow});
    DisplayServices::QueueTextOutput(text, x, y, flow);
  }
  void QueueInputLineText(std::string_view text, int32_t, int32_t) override { blots.emplace_back(text); }
  bool PresentFrame() override {
    ++presents;
    return true;
  }
  void RunDrawQueue() override {
    calls.push_back("RunDrawQueue");
    if (draw_queue_runs_out_of_memory) throw std::bad_alloc();
  }
  void DrawSprites() override { calls.push_back("DrawSprites"); }
  int32_t CurrentBitmap() override { return current_bitmap; }
  int32_t FindImageRecord(int32_t number) override { return number == 7 ? 3 : 0; }
  void QueuePasteImage(int32_t record, int32_t, int32_t) override {
    calls.push_back("QueuePasteImage " + std::to_string(record));
  }
  PictureArea Picture() override { return picture; }
  void SetWindowed(bool windowed) { windowed_ = windowed; }

  struct Text {
    std::string text;
    int32_t x, y;
    TextFlow flow;
  };
  std::vector<Text> texts;
  std::vector<std::string> blots;
  std::vector<std::string> calls;
  int presents = 0;
  int32_t current_bitmap = 0;
  bool draw_queue_runs_out_of_memory = false;
  PictureArea picture;
};

// The virtual machine inside a message pump, on a manual clock and a
// headless window whose events the test scripts; the console echoes into
// `output`.
class RuntimeTest : public ::testing::Test {
 protected:
  RuntimeTest()
      : clock(1000),
        window(clock),
        host(clock, window, display, clipboard),
        vm(handlers, host),
        pump(vm, host, state) {
    RegisterCoreHandlers(handlers);
    RegisterConsoleHandlers(handlers);
    vm.engine3d = &services.engine3d;
    vm.sound = &services.sound;
    vm.input = &services.input;
    vm.editor = &services.editor;
    vm.display = &display;
    vm.runtime = &state;
    state.window_handle = &window;
    state.console_echo = [this](std::string_view text) { output += text; };
  }

  void Load() { ASSERT_TRUE(InstallProgram(vm, assembler.Finish())); }
  // Loads the program and runs the pump until the run ends.
  void Run() {
    Load();
    pump.RunMessageLoop();
  }

  platform::ManualClock clock;
  platform::HeadlessWindow window;
  RecordingDisplay display;
  platform::MemoryClipboard clipboard;
  RuntimeHost host;
  HandlerTable handlers;
  RecordingServices services;
  Vm vm;
  RuntimeState state;
  MessagePump pump;
  ProgramAssembler assembler;
  std::string output;
};

}  // namespace zv::test
