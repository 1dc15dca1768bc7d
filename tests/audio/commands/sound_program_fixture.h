#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "audio/commands/sound_commands.h"
#include "audio/commands/sound_commands_service.h"
#include "audio/library/mixer.h"
#include "compiler/compiler.h"
#include "runtime/vm/dispatch.h"
#include "runtime/vm/loader.h"
#include "runtime/vm/opcodes/core_handlers.h"
#include "runtime/vm/program_file.h"
#include "runtime/vm/vm.h"
#include "tests/audio/library/audio_test_util.h"
#include "tests/support/fake_host.h"

namespace zv::test {

// Compiled BASIC programs run in-process against the sound commands, with
// the sound system on the no-sound driver and mixing offline, so a test can
// hear what a program played.
class SoundProgramTest : public ::testing::Test {
 protected:
  explicit SoundProgramTest(SoundSystemOptions options = {nullptr, true})
      : service(options), vm(handlers, host) {
    RegisterCoreHandlers(handlers);
    RegisterSoundHandlers(handlers);
    vm.sound = &service;
  }

  void SetUp() override {
    service.StartSoundSystem();
    ASSERT_TRUE(service.Slots().Running());
    tone_ = TempPath("tone.wav");
    ASSERT_TRUE(WriteBytes(tone_, Wav16(std::vector<int16_t>(44100, 10000))));
    short_ = TempPath("short.wav");
    ASSERT_TRUE(WriteBytes(short_, Wav16(std::vector<int16_t>(300, 10000))));
  }

  void TearDown() override {
    service.StopSoundSystem();
    SetOfflineMixing(false);
    std::remove(tone_.c_str());
    std::remove(short_.c_str());
  }

  // Compiles and runs `source` to its end (or its first error). $TONE and
  // $SHORT in it stand for a one-second and a 300-sample sound file.
  bool Run(std::string source) {
    for (auto [key, value] : {std::pair<std::string, std::string>{"$TONE", tone_}, {"$SHORT", short_}}) {
      for (size_t at = source.find(key); at != std::string::npos; at = source.find(key)) source.replace(at, key.size(), value);
    }
    CompileResult compiled = CompileSource(source, "sound.kqa");
    if (!compiled.ok) {
      ADD_FAILURE() << FormatCompileError(*compiled.error);
      return false;
    }
    auto decoded = DecodeProgramFile(EncodeProgramFile(compiled.program));
    if (!std::holds_alternative<ProgramFile>(decoded) || !InstallProgram(vm, std::get<ProgramFile>(decoded))) {
      ADD_FAILURE() << "the program does not load";
      return false;
    }
    ResetVmState(vm);
    vm.errors = ErrorState{};
    host.quits = 0;
    for (int turn = 0; turn < 1000 && !vm.program_ended && host.quits == 0; ++turn) {
      RunVmLoop(vm);
      if (on_frame && !vm.program_ended) on_frame();
    }
    return true;
  }

  int32_t Int(uint32_t k) const { return vm.IntAt(Slot{slots::kIntVar + k}); }
  float Float(uint32_t k) const { return vm.FloatAt(Slot{slots::kFloatVar + k}); }
  int32_t Error() const { return vm.errors.code; }
  bool Warning() const { return vm.errors.warning; }

  // The next `frames` frames of the sound system's output.
  std::vector<int16_t> Hear(int32_t frames) {
    std::vector<int16_t> out(static_cast<size_t>(frames) * 2);
    EXPECT_TRUE(MixOffline(out.data(), frames));
    return out;
  }
  // The loudest left and right values of a stretch of output.
  static std::pair<int, int> Peak(const std::vector<int16_t>& out, size_t from_frame = 0) {
    int left = 0, right = 0;
    for (size_t i = from_frame * 2; i + 1 < out.size(); i += 2) {
      left = std::max(left, std::abs(static_cast<int>(out[i])));
      right = std::max(right, std::abs(static_cast<int>(out[i + 1])));
    }
    return {left, right};
  }

  // What happens between two turns of the machine (after each sync), as
  // the runtime's frame would do it; nothing when unset.
  std::function<void()> on_frame;

  SoundCommandsService service;
  HandlerTable handlers;
  FakeHost host;
  Vm vm;
  std::string tone_;
  std::string short_;
};

}  // namespace zv::test
