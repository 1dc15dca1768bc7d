#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <optional>

#include "platform/clock/clock.h"
#include "platform/window/headless/headless_window.h"
#include "runtime/startup.h"

#include "tests/display/drawing_run.h"

namespace zv::test {
namespace {

namespace fs = std::filesystem;

class DrawingPrograms : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = fs::temp_directory_path() / ("zv_drawing_programs_" + std::to_string(getpid()));
    fs::create_directories(folder_);
  }
  void TearDown() override { fs::remove_all(folder_); }

  DrawingRun Run(const std::string& source, ImageFiles* files = nullptr) {
    DrawingRun run = RunDrawing(source, folder_.string(), files);
    EXPECT_EQ(run.errors, "");
    return run;
  }

  fs::path folder_;
};

// Draw, then show the frame twice so that both buffers of the flip chain
// hold the drawing, then end. The mouse pointer is kept out of the picture:
// hidden, and the screen cleared of the one the first frame drew.
std::string Framed(const std::string& body) { return "sync on\nhide mouse\ncls\n" + body + "sync\nsync\nend\n"; }

TEST_F(DrawingPrograms, DotsLinesBoxesCirclesAndEllipses) {
  DrawingRun run = Run(Framed(
      "ink rgb(255,255,0), 0\n"
      "for i = 0 to 63\n"
      "  dot 20 + i * 2, 20\n"
      "next i\n"
      "ink rgb(255,0,0), 0\n"
      "line 10, 40, 300, 200\n"
      "line 639, 0, 0, 479\n"
      "line -500, 300, 1000, 300\n"
      "ink rgb(0,255,0), 0\n"
      "box 400, 40, 500, 100\n"
      "box -20, 420, 40, 500\n"
      "ink rgb(0,128,255), 0\n"
      "circle 320, 240, 100\n"
      "circle 630, 470, 40\n"
      "ink rgb(255,0,255), 0\n"
      "ellipse 160, 360, 120, 40\n"
      "ellipse 500, 240, 20, 150\n"));
  EXPECT_EQ(run.status, 0);
  ASSERT_EQ(run.width, 640);
  EXPECT_EQ(run.At(20, 20), 0xFFFF00u);
  EXPECT_EQ(run.At(21, 20), 0u);
  EXPECT_EQ(run.At(10, 40), 0xFF0000u);
  EXPECT_EQ(run.At(450, 70), 0x00FF00u);
  EXPECT_EQ(run.At(0, 479), 0x00FF00u);  // the clipped box
  EXPECT_EQ(run.At(0, 300), 0xFF0000u);  // the long line's visible part
  EXPECT_EQ(run.At(420, 240), 0x007DFFu);  // green 128 is 31 of 63 in 5-6-5
  EXPECT_EQ(CompareWithGolden(run, "shapes"), "");
}

TEST_F(DrawingPrograms, TextInSeveralFontsSizesAndStyles) {
  DrawingRun run = Run(Framed(
      "ink rgb(255,255,255), rgb(0,0,128)\n"
      "print \"The console prints in its own font\"\n"
      "set text font \"arial\"\n"
      "set text size 14\n"
      "text at 10, 60, \"Arial 14 normal\"\n"
      "set text size 24\n"
      "set text bold\n"
      "text at 10, 80, \"Arial 24 bold\"\n"
      "set text font \"times new roman\"\n"
      "set text italic\n"
      "text at 10, 120, \"Times New Roman 24 italic\"\n"
      "set text font \"courier new\"\n"
      "set text size 18\n"
      "set text bold italic\n"
      "text at 10, 160, \"Courier New 18 bold italic\"\n"
      "set text normal\n"
      "set text opaque\n"
      "ink rgb(255,255,0), rgb(128,0,0)\n"
      "text at 10, 200, \"Opaque on the paper\"\n"
      "set text transparent\n"
      "set text font \"No Such Font\"\n"
      "set text size 40\n"
      "center text at 320, 300, \"Centred fallback\"\n"
      "sync\n"
      "print text width(\"Centred fallback\"); \" \"; text height(\"x\"); \" \"; text size(); \" \"; text style(); \" \"; text background type()\n"
      "print text font$()\n"));
  EXPECT_EQ(run.status, 0);
  // The printed lines go to standard output as before.
  EXPECT_EQ(run.printed.substr(0, 35), "The console prints in its own font\n");
  EXPECT_NE(run.printed.find(" 40 0 0\nNo Such Font\n"), std::string::npos) << run.printed;
  EXPECT_EQ(CompareWithGolden(run, "text"), "");
}

// Bytes above 127 read in the code page of the chosen character set, in the
// text commands and, through the system font, on the console: Cyrillic,
// Greek and Central European phrases, and a line printed after each set.
TEST_F(DrawingPrograms, TextInNationalCharacterSets) {
  DrawingRun run = Run(Framed(
      "ink rgb(255,255,255), 0\n"
      "set text font \"arial\", 204\n"
      "set text size 24\n"
      "text at 10, 10, \"\xCF\xF0\xE8\xE2\xE5\xF2, \xEC\xE8\xF0\"\n"
      "set cursor 0, 300\n"
      "print \"\xCF\xF0\xE8\xE2\xE5\xF2\"\n"
      "set text font \"times new roman\", 161\n"
      "center text at 320, 60, \"\xCA\xE1\xEB\xE7\xEC\xDD\xF1\xE1\"\n"
      "print \"\xCA\xE1\xEB\xE7\xEC\xDD\xF1\xE1\"\n"
      "set text font \"courier new\", 238\n"
      "text at 10, 110, \"Za\xBF\xF3\xB3\xE6 g\xEA\x9Cl\xB9 ja\x9F\xF1\"\n"
      "print \"Za\xBF\xF3\xB3\xE6 g\xEA\x9Cl\xB9 ja\x9F\xF1\"\n"));
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(CompareWithGolden(run, "text_character_sets"), "");
}

// Text queued once is drawn into both buffers of the flip chain, the second
// time on the next frame: it must look the same both times, each piece in
// the font, size, style and colours it was queued with.
TEST_F(DrawingPrograms, ReplayedTextKeepsTheLookItWasQueuedWith) {
  const std::string drawing =
      "sync on\nhide mouse\ncls\nsync\n"
      "ink rgb(255,255,255), 0\n"
      "set text font \"arial\"\n"
      "set text size 30\n"
      "text at 10, 10, \"Arial 30\"\n"
      "set text font \"courier new\"\n"
      "set text size 14\n"
      "set text bold\n"
      "ink rgb(255,0,0), 0\n"
      "text at 10, 60, \"Courier 14 bold\"\n"
      "set text opaque\n"
      "ink rgb(0,255,0), rgb(0,0,255)\n"
      "print \"console\"\n"
      "set text normal\n"
      "set text transparent\n"
      "sync\n";
  DrawingRun first = Run(drawing + "end\n");
  DrawingRun replayed = Run(drawing + "sync\nend\n");
  ASSERT_EQ(first.width, replayed.width);
  int differing = 0;
  for (size_t i = 0; i < first.frame.size(); ++i) differing += first.frame[i] != replayed.frame[i];
  EXPECT_EQ(differing, 0);
  EXPECT_NE(first.Hash(), Run("sync on\nhide mouse\ncls\nsync\nsync\nend\n").Hash());  // something was drawn
}

// A window moved or resized while the program draws is shown again as it
// was, not flipped ahead of the program's frames: a flip there would put
// the next pass of whatever was half drawn into the buffer that already has
// it, and that drawing would blink for ever after. Each box here is drawn
// on a frame of its own (frames 100 ms apart on the test's clock) while the
// window moves, or changes size, three times; the program's last two
// frames, a still picture, show all forty boxes, as a run that nobody
// disturbs does. In full screen (a flip chain) and in a window.
TEST_F(DrawingPrograms, AWindowMovedOrResizedWhileTheProgramDrawsKeepsEveryDrawingInEveryFrame) {
  constexpr uint32_t kStart = 1000;
  const std::string drawing =
      "sync rate 10\n"
      "hide mouse\n"
      "cls\n"
      "ink rgb(255,255,0), 0\n"
      "for i = 0 to 39\n"
      "  box 10 + i * 15, 100, 20 + i * 15, 110\n"
      "next i\n"
      "sync\nsync\nsync\nend\n";
  auto yellow = [](const std::vector<uint32_t>& frame) { return std::count(frame.begin(), frame.end(), 0xFFFF00u); };
  // On the test's clock, with the window's events (kind) at 1.00, 2.05 and
  // 3.10 s, or none.
  auto run = [&](const std::string& source, std::optional<platform::WindowEventKind> kind) {
    platform::ManualClock clock{kStart};
    platform::HeadlessWindow window{clock};
    for (uint32_t at : {1000u, 2050u, 3100u})
      if (kind) window.Post({*kind, 640, 480}, kStart + at);
    DrawingRun done = RunDrawing(source, folder_.string(), nullptr, &clock, &window);
    EXPECT_EQ(done.errors, "");
    EXPECT_EQ(window.PendingEvents(), 0u);  // all three were taken
    return done;
  };
  for (const std::string mode : {"", "window on\n"}) {
    const DrawingRun still = run(mode + drawing, std::nullopt);
    ASSERT_EQ(still.status, 0);
    ASSERT_EQ(yellow(still.frame), 40 * 100) << mode;  // forty boxes of 10 by 10
    ASSERT_EQ(yellow(still.frame_before), yellow(still.frame)) << mode;
    for (platform::WindowEventKind kind : {platform::WindowEventKind::kMove, platform::WindowEventKind::kResize}) {
      SCOPED_TRACE(mode + (kind == platform::WindowEventKind::kMove ? "moved" : "resized"));
      const DrawingRun disturbed = run(mode + drawing, kind);
      EXPECT_EQ(yellow(disturbed.frame_before), yellow(still.frame));
      EXPECT_EQ(yellow(disturbed.frame), yellow(still.frame));
    }
  }
}

// With manual refresh the text records wait for the sync; the functions
// answer as the commands before them set the text all the same.
TEST_F(DrawingPrograms, TextFunctionsAnswerAsTheCommandsBeforeThemSetTheText) {
  DrawingRun run = Run(
      "sync on\n"
      "set text font \"arial\"\n"
      "sync\n"
      "w = text width(\"WWW\")\n"
      "set text size 40\n"
      "set text bold\n"
      "print text size(); text style(); text width(\"WWW\") > 3 * w\n"
      "sync\n"
      "print text size()\n"
      "print text width(\"\")\n"
      "end\n");
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.printed, "4021\n40\n0\n");
}

// Pictures named "WxH.bmp" load as a surface of that size: red, with a
// green first column.
class PatternFiles : public ImageFiles {
 public:
  platform::SurfacePtr Load(const std::string& path, const SurfaceMaker& make, std::string* /*why*/) override {
    int w = 0, h = 0;
    if (std::sscanf(path.substr(path.find_last_of('/') + 1).c_str(), "%dx%d", &w, &h) != 2) return nullptr;
    platform::SurfacePtr s = make(w, h);
    for (int y = 0; s && y < h; ++y)
      for (int x = 0; x < w; ++x) s->SetPixelAt(x, y, x == 0 ? 0x07E0 : 0xF800);
    return s;
  }
  bool Save(const platform::Surface&, const std::string&, std::string* = nullptr) override { return false; }
};

TEST_F(DrawingPrograms, BitmapsCreatedLoadedCopiedMirroredFlippedBlurredAndFaded) {
  std::ofstream(folder_ / "40x30.bmp") << "picture";
  PatternFiles files;
  DrawingRun run = Run(Framed(
                           "create bitmap 1, 64, 48\n"
                           "set current bitmap 1\n"
                           "ink rgb(255,255,255), rgb(0,0,255)\n"
                           "cls\n"
                           "box 0, 0, 16, 16\n"
                           "line 0, 47, 63, 0\n"
                           "set current bitmap 0\n"
                           "copy bitmap 1, 0\n"
                           "create bitmap 2, 64, 48\n"
                           "copy bitmap 1, 2\n"
                           "mirror bitmap 2\n"
                           "copy bitmap 2, 0, 0, 64, 48, 0, 100, 0, 164, 48\n"
                           "flip bitmap 2\n"
                           "copy bitmap 2, 0, 0, 64, 48, 0, 200, 0, 264, 48\n"
                           "copy bitmap 1, 0, 0, 32, 24, 0, 0, 100, 128, 196\n"
                           "blur bitmap 1, 5\n"
                           "copy bitmap 1, 0, 0, 64, 48, 0, 300, 0, 364, 48\n"
                           "fade bitmap 2, 50\n"
                           "copy bitmap 2, 0, 0, 64, 48, 0, 400, 0, 464, 48\n"
                           "load bitmap \"40x30.bmp\", 3\n"
                           "set current bitmap 0\n"
                           "copy bitmap 3, 0, 0, 40, 30, 0, 500, 300, 580, 360\n"
                           "set cursor 0, 420\n"
                           "print bitmap width(3); \" \"; bitmap height(3); \" \"; bitmap mirrored(2); \" \"; bitmap flipped(2)\n"
                           "print bitmap exists(0); bitmap exists(1); bitmap exists(9)\n"
                           "delete bitmap 1\n"
                           "sync\n"
                           "print bitmap exists(1); \" \"; current bitmap(); \" \"; current bitmap width()\n"),
                       &files);
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.printed, "40 30 1 1\n110\n0 0 640\n");
  EXPECT_EQ(run.At(0, 0), 0xFFFFFFu);     // the box copied to the screen
  EXPECT_EQ(run.At(62, 0), 0xFFFFFFu);    // the line stops at its last whole step
  EXPECT_EQ(run.At(163, 0), 0xFFFFFFu);   // mirrored: the box now at the right
  EXPECT_EQ(run.At(263, 47), 0xFFFFFFu);  // mirrored and flipped
  EXPECT_EQ(run.At(500, 300), 0x00FF00u); // the loaded picture's green column, stretched
  EXPECT_EQ(run.At(501, 359), 0x00FF00u);
  EXPECT_EQ(run.At(502, 300), 0xFF0000u);
  EXPECT_EQ(CompareWithGolden(run, "bitmaps"), "");
}

TEST_F(DrawingPrograms, BitmapErrorsEndTheRunWhenTheQueueRuns) {
  DrawingRun run = RunDrawing("create bitmap 0, 10, 10\nsync\nprint 1\nend\n", folder_.string());
  EXPECT_EQ(run.status, kExitRuntimeError);
  EXPECT_NE(run.errors.find("Runtime Error"), std::string::npos) << run.errors;
  // A size that is no size says so.
  DrawingRun empty = RunDrawing("create bitmap 1, 0, 0\nsync\nprint 1\nend\n", folder_.string());
  EXPECT_EQ(empty.status, kExitRuntimeError);
  EXPECT_NE(empty.errors.find("Could not create the bitmap: its size, 0 by 0, is not at least 1 by 1."),
            std::string::npos)
      << empty.errors;
  DrawingRun missing = RunDrawing("print bitmap width(5)\nend\n", folder_.string());
  EXPECT_EQ(missing.status, kExitRuntimeError);
  EXPECT_EQ(missing.printed, "");
  DrawingRun gamma = RunDrawing("set gamma ramp 256, 512, 0\nend\n", folder_.string());
  EXPECT_EQ(gamma.status, kExitRuntimeError);
  EXPECT_NE(gamma.errors.find("Warning"), std::string::npos) << gamma.errors;
}

TEST_F(DrawingPrograms, TheSameProgramGivesTheSameFrameEveryRun) {
  const std::string program = Framed(
      "randomize 7\n"
      "for i = 1 to 300\n"
      "  ink rgb(rnd(255), rnd(255), rnd(255)), 0\n"
      "  line rnd(640), rnd(480), rnd(640), rnd(480)\n"
      "  circle rnd(640), rnd(480), rnd(60)\n"
      "next i\n"
      "set text font \"arial\"\n"
      "set text size 30\n"
      "text at 100, 100, \"Same every time\"\n");
  DrawingRun first = Run(program), second = Run(program);
  ASSERT_FALSE(first.frame.empty());
  EXPECT_EQ(first.Hash(), second.Hash());
}

TEST_F(DrawingPrograms, AScreenSaveWritesTheVisibleFrame) {
  const fs::path shot = folder_ / "saved.png";
  DrawingRun run = Run(Framed(
      "ink rgb(255,0,0), 0\n"
      "box 0, 0, 50, 50\n"
      "sync\nsync\n"
      "save bitmap \"saved.png\"\n"));
  EXPECT_EQ(run.status, 0);
  EXPECT_TRUE(fs::exists(shot));
}

}  // namespace
}  // namespace zv::test
