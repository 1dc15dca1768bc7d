#pragma once

#include <string>
#include <vector>

#include "display/animation_commands.h"
#include "display/animations.h"
#include "tests/display/display_fixture.h"
#include "tests/support/test_paths.h"

namespace zv::test {

// Where the test clips live (tests/platform/video/clips).
inline std::string ClipPath(const std::string& name) { return zv::test::SourcePath("tests/platform/video/clips/") + name; }

// The colours of the six frames of every test clip; each frame also has a
// white block in its top-left quarter.
constexpr uint32_t kClipColours[] = {0xFF0000, 0x00FF00, 0x0000FF, 0xFFFF00, 0xFF00FF, 0x00FFFF};
constexpr uint32_t kWhite = 0xFFFFFF;

// The display's adapter, owning the animations as the real one does.
class AnimatedAdapter : public DisplayServiceAdapter {
 public:
  explicit AnimatedAdapter(Display& display) : DisplayServiceAdapter(display), animations(display) {}
  Animations* OwnedAnimations() override { return &animations; }
  void UpdateAnimations() override { animations.UpdateAnimations(); }
  void ReleaseAllAnimations() override { animations.ReleaseAllAnimations(); }
  Animations animations;
};

// A started display with the animation commands, on the fake host's clock.
class AnimationTest : public DisplayTest {
 protected:
  AnimationTest() : owner(display) {
    vm.display = &owner;
    RegisterAnimationHandlers(handlers);
  }
  void SetUp() override { Start(); }

  // Runs one command (integer operands) to its end; the error it raised.
  int32_t Do(uint32_t opcode, std::vector<int32_t> operands) {
    assembler = ProgramAssembler();
    std::vector<uint32_t> words;
    for (int32_t v : operands) words.push_back(I(v));
    assembler.Raw({opcode});
    for (uint32_t w : words) assembler.Raw({w});
    assembler.Op(kEndOp);
    Run();
    return vm.errors.code;
  }
  int32_t Load(const std::string& file, int32_t slot) {
    assembler = ProgramAssembler();
    uint32_t name = S(file), number = I(slot);
    assembler.Op(animation_opcode::kLoadAnimation, {name, number});
    assembler.Op(kEndOp);
    Run();
    return vm.errors.code;
  }
  // A query's answer; `error` gets the error it raised. The result starts
  // at -99 so an answer that was not stored shows.
  int32_t Ask(uint32_t opcode, int32_t slot, int32_t* error = nullptr) {
    assembler = ProgramAssembler();
    const uint32_t result = assembler.IntVar(0), number = I(slot), preset = I(-99);
    assembler.Op(kAssignInt, {result, preset});
    assembler.Op(opcode, {result, number});
    assembler.Op(kEndOp);
    Run();
    if (error) *error = vm.errors.code;
    return Int(result);
  }

  // One frame refresh, `ms` milliseconds after the last.
  void Frame(uint32_t ms = 25) {
    host.clock.Advance(ms);
    owner.UpdateAnimations();
  }
  uint32_t Pixel(int32_t x, int32_t y) { return platform::UnpackRgb(Back().Format(), Back().PixelAt(x, y)); }

  static constexpr uint32_t kAssignInt = 151;  // integer assignment: slot, value

  AnimatedAdapter owner;
  Animations& clips = owner.animations;
};

}  // namespace zv::test
