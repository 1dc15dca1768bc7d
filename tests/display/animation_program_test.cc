#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "compiler/compiler.h"
#include "display/animation_commands.h"
#include "display/bitmap_commands.h"
#include "display/display_commands.h"
#include "display/display_factory.h"
#include "platform/clock/clock.h"
#include "runtime/console/console_commands.h"
#include "runtime/startup.h"
#include "runtime/vm/opcodes/core_handlers.h"
#include "runtime/vm/program_file.h"
#include "tests/support/test_paths.h"

namespace zv {
namespace {

const uint32_t kRed = 0xFF0000, kGreen = 0x00FF00, kBlue = 0x0000FF, kYellow = 0xFFFF00, kMagenta = 0xFF00FF,
               kCyan = 0x00FFFF, kWhite = 0xFFFFFF, kBlack = 0;

std::string Clip(const std::string& name) { return zv::test::SourcePath("tests/platform/video/clips/") + name; }

struct Point {
  int32_t x, y;
};

// Keeps the colour at a few points of every frame shown.
class ProbePresenter final : public platform::Presenter {
 public:
  ProbePresenter(std::vector<Point> points, std::shared_ptr<std::vector<std::vector<uint32_t>>> frames)
      : points_(std::move(points)), frames_(std::move(frames)) {}
  platform::DisplayMode Desktop() const override { return platform::DisplayMode{1024, 768, 32}; }
  void SetFullScreen(bool full_screen) override { full_screen_ = full_screen; }
  bool FullScreen() const override { return full_screen_; }

 protected:
  bool Show(const platform::Surface& picture) override {
    std::vector<uint32_t> colours;
    for (Point p : points_) colours.push_back(picture.PixelAt(p.x, p.y) & 0xFFFFFFu);
    frames_->push_back(std::move(colours));
    return true;
  }
  platform::Size ClientSize() const override { return platform::Size{640, 480}; }

 private:
  std::vector<Point> points_;
  std::shared_ptr<std::vector<std::vector<uint32_t>>> frames_;
  bool full_screen_ = true;
};

// A compiled program run headless on a virtual clock: 25 ms a frame.
struct ClipRun {
  int status = -1;
  std::string printed, errors;
  // Per frame shown, the colour at each probe point.
  std::vector<std::vector<uint32_t>> frames;

  // The colours at probe `probe` from the first frame where it is not
  // black on.
  std::vector<uint32_t> FromFirstPicture(size_t probe) const {
    std::vector<uint32_t> out;
    for (const auto& f : frames)
      if (!out.empty() || f[probe] != kBlack) out.push_back(f[probe]);
    return out;
  }
};

ClipRun RunProgram(const std::string& source, std::vector<Point> probes) {
  ClipRun run;
  CompileResult compiled = CompileSource(source);
  if (!compiled.ok) {
    run.errors = FormatCompileError(*compiled.error);
    return run;
  }
  const std::vector<uint8_t> bytes = EncodeProgramFile(compiled.program);
  auto frames = std::make_shared<std::vector<std::vector<uint32_t>>>();
  const std::string folder = ::testing::TempDir();
  platform::ManualClock clock(1000);
  StartOptions options;
  options.executable_path = folder + "game";
  options.headless = true;
  options.frames = 300;
  options.app_folder = folder;
  StartServices services;
  services.clock = &clock;
  services.user_state_folder = folder;
  services.register_handlers = [](HandlerTable& table) {
    RegisterCoreHandlers(table);
    RegisterConsoleHandlers(table);
    RegisterDisplayHandlers(table);
    RegisterBitmapHandlers(table);
    RegisterAnimationHandlers(table);
  };
  services.make_display = [&](platform::Window& window, Vm& vm) {
    return MakeDisplayServices(vm, window, std::make_unique<ProbePresenter>(probes, frames));
  };
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
  run.frames = *frames;
  return run;
}

bool Near(uint32_t a, uint32_t b) {
  for (int shift : {0, 8, 16}) {
    int d = static_cast<int>((a >> shift) & 0xFF) - static_cast<int>((b >> shift) & 0xFF);
    if (std::abs(d) > 40) return false;
  }
  return true;
}

// `colours` repeated `times[i]` times each, in order.
std::vector<uint32_t> Runs(std::vector<uint32_t> colours, std::vector<int> times) {
  std::vector<uint32_t> out;
  for (size_t i = 0; i < colours.size(); ++i) out.insert(out.end(), static_cast<size_t>(times[i]), colours[i]);
  return out;
}

::testing::AssertionResult StartsWith(const std::vector<uint32_t>& got, const std::vector<uint32_t>& want) {
  for (size_t i = 0; i < want.size(); ++i) {
    if (i >= got.size()) return ::testing::AssertionFailure() << "only " << got.size() << " frames";
    if (!Near(got[i], want[i]))
      return ::testing::AssertionFailure() << "frame " << i << ": got " << std::hex << got[i] << ", want " << want[i];
  }
  return ::testing::AssertionSuccess();
}

TEST(AnimationPrograms, PlayOnceAtAPlaceThenItsLastFrameStays) {
  ClipRun run = RunProgram(
      "sync on\n"
      "load animation \"" + Clip("raw.avi") + "\", 1\n"
      "print animation width(1); \" \"; animation height(1); \" \"; animation exists(1); \" \"; animation playing(1)\n"
      "play animation 1, 300, 200\n"
      "print animation position x(1); \" \"; animation position y(1); \" \"; animation playing(1)\n"
      "for i = 1 to 30\n"
      "sync\n"
      "next i\n"
      "print animation playing(1); \" \"; animation looping(1); \" \"; animation exists(1)\n"
      "end\n",
      {{305, 205}, {300, 200}, {316, 205}});
  EXPECT_EQ(run.errors, "");
  EXPECT_EQ(run.status, kExitClean);
  EXPECT_EQ(run.printed, "16 12 1 0\n300 200 1\n0 0 1\n");
  // Ten frames a second, four refreshes of 25 ms each; the first refresh
  // comes 25 ms after the play.
  EXPECT_TRUE(StartsWith(run.FromFirstPicture(0),
                         Runs({kRed, kGreen, kBlue, kYellow, kMagenta, kCyan}, {3, 4, 4, 4, 4, 10})));
  for (const auto& frame : run.frames) {
    EXPECT_TRUE(frame[1] == kBlack || frame[1] == kWhite) << "the white corner sits at the place given";
    EXPECT_EQ(frame[2], kBlack) << "nothing beyond the clip's own width";
  }
}

TEST(AnimationPrograms, LoopPauseResumeAndStopIntoAStretchedRectangle) {
  ClipRun run = RunProgram(
      "sync on\n"
      "load animation \"" + Clip("mjpeg.avi") + "\", 2\n"
      "loop animation to bitmap 2, 0, 100, 100, 164, 148\n"
      "print animation looping(2); \" \"; animation playing(2); \" \"; animation width(2)\n"
      "for i = 1 to 30\n"
      "cls\n"
      "sync\n"
      "next i\n"
      "pause animation 2\n"
      "print animation paused(2); \" \"; animation playing(2)\n"
      "for i = 1 to 8\n"
      "cls\n"
      "sync\n"
      "next i\n"
      "resume animation 2\n"
      "print animation paused(2)\n"
      "for i = 1 to 8\n"
      "cls\n"
      "sync\n"
      "next i\n"
      "stop animation 2\n"
      "print animation playing(2); \" \"; animation looping(2)\n"
      "for i = 1 to 4\n"
      "cls\n"
      "sync\n"
      "next i\n"
      "end\n",
      {{150, 140}, {104, 104}});
  EXPECT_EQ(run.errors, "");
  EXPECT_EQ(run.status, kExitClean);
  EXPECT_EQ(run.printed, "1 1 64\n1 1\n0\n0 0\n");
  // 30 frames: the six clip frames (3, 4, 4, 4, 4, 4 refreshes), the end
  // (nothing copied onto the cleared screen), then from the start again
  // (3 red, 3 green). The pause at 150 ms of clip time holds frame 1 for 8
  // frames; the resume goes on from 150 ms; the stop leaves nothing.
  const std::vector<uint32_t> want =
      Runs({kRed, kGreen, kBlue, kYellow, kMagenta, kCyan, kBlack, kRed, kGreen, kBlue, kYellow, kBlack},
           {3, 4, 4, 4, 4, 4, 1, 3, 3 + 8 + 1, 4, 3, 4});
  EXPECT_TRUE(StartsWith(run.FromFirstPicture(0), want));
  for (const auto& frame : run.frames) EXPECT_TRUE(frame[1] == kBlack || Near(frame[1], kWhite));
}

TEST(AnimationPrograms, MpegClipStretchedAcrossTheCornerIsClipped) {
  ClipRun run = RunProgram(
      "sync on\n"
      "load animation \"" + Clip("mpeg1.mpg") + "\", 3\n"
      "play animation 3, 620, 460, 684, 508\n"
      "print animation position x(3); \" \"; animation position y(3); \" \"; animation width(3); \" \"; "
      "animation height(3)\n"
      "for i = 1 to 14\n"
      "sync\n"
      "next i\n"
      "print animation playing(3)\n"
      "end\n",
      {{630, 476}, {621, 461}, {639, 479}});
  EXPECT_EQ(run.errors, "");
  EXPECT_EQ(run.status, kExitClean);
  EXPECT_EQ(run.printed, "620 460 20 20\n0\n");
  // 25 frames a second against refreshes every 25 ms.
  EXPECT_TRUE(StartsWith(run.FromFirstPicture(0),
                         Runs({kRed, kGreen, kBlue, kYellow, kMagenta, kCyan}, {1, 2, 1, 2, 1, 6})));
  EXPECT_TRUE(StartsWith(run.FromFirstPicture(1), Runs({kWhite}, {12})));
  EXPECT_TRUE(StartsWith(run.FromFirstPicture(2), Runs({kRed}, {1})));
}

TEST(AnimationPrograms, ClipPlaysIntoABitmapClippedToIt) {
  ClipRun run = RunProgram(
      "sync on\n"
      "create bitmap 1, 64, 48\n"
      "set current bitmap 0\n"
      "sync\n"
      "load animation \"" + Clip("raw.avi") + "\", 1\n"
      "play animation to bitmap 1, 1, 48, 40, 80, 64\n"
      "print animation width(1); \" \"; animation height(1)\n"
      "for i = 1 to 6\n"
      "copy bitmap 1, 0\n"
      "sync\n"
      "next i\n"
      "end\n",
      {{50, 42}, {60, 46}, {47, 42}});
  EXPECT_EQ(run.errors, "");
  EXPECT_EQ(run.status, kExitClean);
  EXPECT_EQ(run.printed, "32 24\n");
  EXPECT_TRUE(StartsWith(run.FromFirstPicture(0), Runs({kWhite}, {5})));
  EXPECT_TRUE(StartsWith(run.FromFirstPicture(1), Runs({kRed}, {3})));
  for (const auto& frame : run.frames) EXPECT_EQ(frame[2], kBlack);
}

TEST(AnimationPrograms, PlaceMovesAPlayingClipAndDeleteEmptiesTheSlot) {
  ClipRun run = RunProgram(
      "sync on\n"
      "load animation \"" + Clip("raw.avi") + "\", 1\n"
      "play animation 1, 100, 100\n"
      "for i = 1 to 4\n"
      "cls\n"
      "sync\n"
      "next i\n"
      "place animation 1, 400, 300, 432, 324\n"
      "print animation position x(1); \" \"; animation position y(1); \" \"; animation width(1); \" \"; "
      "animation height(1)\n"
      "for i = 1 to 4\n"
      "cls\n"
      "sync\n"
      "next i\n"
      "delete animation 1\n"
      "print animation exists(1)\n"
      "for i = 1 to 4\n"
      "cls\n"
      "sync\n"
      "next i\n"
      "place animation 1, 0, 0, 16, 12\n"
      "print 1\n"
      "end\n",
      {{105, 105}, {425, 320}});
  EXPECT_EQ(run.status, kExitRuntimeError);
  EXPECT_NE(run.errors.find("Animation does not exist"), std::string::npos) << run.errors;
  EXPECT_EQ(run.printed, "400 300 32 24\n0\n");
  // From its first picture on, the clip shows at its first place (F), then
  // only at the new one, stretched to twice its size (N), then, deleted,
  // nowhere.
  std::string where;
  for (const auto& f : run.frames) {
    if (where.empty() && f[0] == kBlack) continue;
    where += f[0] != kBlack ? (f[1] != kBlack ? 'B' : 'F') : (f[1] != kBlack ? 'N' : '-');
  }
  EXPECT_EQ(where, "FFFFNNNN-----");
}

TEST(AnimationPrograms, FailuresEndTheRunWithTheirErrors) {
  ClipRun missing = RunProgram("load animation \"" + Clip("missing.avi") + "\", 1\nprint 1\nend\n", {{0, 0}});
  EXPECT_EQ(missing.status, kExitRuntimeError);
  // The failed load is one of the errors reported as a warning.
  EXPECT_NE(missing.errors.find("Runtime Warning : Could not load the animation \"" + Clip("missing.avi") + "\"."),
            std::string::npos)
      << missing.errors;
  EXPECT_EQ(missing.printed, "");

  ClipRun empty = RunProgram("play animation 7\nprint 1\nend\n", {{0, 0}});
  EXPECT_EQ(empty.status, kExitRuntimeError);
  EXPECT_NE(empty.errors.find("Animation does not exist"), std::string::npos) << empty.errors;
  EXPECT_EQ(empty.printed, "");
}

TEST(AnimationPrograms, DisplayChangeEmptiesTheSlots) {
  ClipRun run = RunProgram(
      "load animation \"" + Clip("raw.avi") + "\", 1\n"
      "loop animation 1\n"
      "sync\n"
      "set display mode 800, 600, 32\n"
      "print animation exists(1)\n"
      "end\n",
      {{0, 0}});
  EXPECT_EQ(run.errors, "");
  EXPECT_EQ(run.printed, "0\n");
}

}  // namespace
}  // namespace zv
