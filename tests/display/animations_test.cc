#include <unistd.h>

#include <climits>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "display/bitmaps.h"
#include "runtime/attached/attached_data.h"
#include "tests/display/animation_fixture.h"

namespace zv::test {
namespace {

namespace op = animation_opcode;
namespace fs = std::filesystem;

// raw.avi: 16 x 12, ten frames a second; mjpeg.avi: 32 x 24, ten a second;
// mpeg1.mpg: 32 x 24, 25 a second.
class Animations : public AnimationTest {
 protected:
  void Load1(const std::string& clip = "raw.avi") { ASSERT_EQ(Load(ClipPath(clip), 1), 0); }
  // Clears the screen to black.
  void ClearScreen() { Fill(Back(), 0); }
};

TEST_F(Animations, LoadLearnsTheFrameSizeAndLeavesTheClipClosed) {
  Load1("mjpeg.avi");
  EXPECT_EQ(Ask(op::kAnimationExists, 1), 1);
  EXPECT_EQ(Ask(op::kAnimationPlaying, 1), 0);
  EXPECT_EQ(Ask(op::kAnimationPaused, 1), 0);
  EXPECT_EQ(Ask(op::kAnimationLooping, 1), 0);
  EXPECT_EQ(Ask(op::kAnimationPositionX, 1), 0);
  EXPECT_EQ(Ask(op::kAnimationPositionY, 1), 0);
  EXPECT_EQ(Ask(op::kAnimationWidth, 1), 32);
  EXPECT_EQ(Ask(op::kAnimationHeight, 1), 24);
  EXPECT_EQ(clips.Slot(1).stream, nullptr);
  EXPECT_EQ(clips.Slot(1).frame, nullptr);
  ClearScreen();
  Frame();
  EXPECT_EQ(Pixel(8, 8), 0u) << "a loaded clip draws nothing until played";
}

TEST_F(Animations, SlotsOutsideOneToThirtyTwoAndEmptySlots) {
  for (int32_t slot : {0, 33, -1}) {
    EXPECT_EQ(Load(ClipPath("raw.avi"), slot), animation_error::kSlot);
    EXPECT_EQ(Do(op::kPlayAnimation, {slot}), animation_error::kSlot);
    int32_t error = 0;
    EXPECT_EQ(Ask(op::kAnimationExists, slot, &error), -99);
    EXPECT_EQ(error, animation_error::kSlot);
  }
  EXPECT_EQ(Ask(op::kAnimationExists, 32), 0);
  for (uint32_t command : {op::kDeleteAnimation, op::kPlayAnimation, op::kStopAnimation, op::kPauseAnimation,
                           op::kResumeAnimation, op::kLoopAnimation})
    EXPECT_EQ(Do(command, {32}), animation_error::kNotLoaded) << command;
  EXPECT_EQ(Do(op::kPlaceAnimation, {32, 0, 0, 10, 10}), animation_error::kNotLoaded);
  for (uint32_t query : {op::kAnimationPlaying, op::kAnimationPaused, op::kAnimationLooping,
                         op::kAnimationPositionX, op::kAnimationPositionY, op::kAnimationWidth,
                         op::kAnimationHeight}) {
    int32_t error = 0;
    EXPECT_EQ(Ask(query, 32, &error), -99) << query;
    EXPECT_EQ(error, animation_error::kNotLoaded) << query;
  }
}

TEST_F(Animations, FilesThatCannotBePlayedDoNotLoad) {
  const std::string text = (fs::temp_directory_path() / ("zv_not_a_clip_" + std::to_string(getpid()))).string();
  std::ofstream(text) << "RIFF but not really a clip";
  for (const std::string& file : {ClipPath("missing.avi"), ClipPath("sound_only.wav"), text}) {
    EXPECT_EQ(Load(file, 3), animation_error::kLoadFailed) << file;
    EXPECT_EQ(Ask(op::kAnimationExists, 3), 0) << file;
  }
  fs::remove(text);
  // A failed load of a loaded slot leaves it empty.
  ASSERT_EQ(Load(ClipPath("raw.avi"), 3), 0);
  EXPECT_EQ(Load(ClipPath("missing.avi"), 3), animation_error::kLoadFailed);
  EXPECT_EQ(Ask(op::kAnimationExists, 3), 0);
}

TEST_F(Animations, PlayedClipShowsItsFramesInTimeAtItsOwnSizeThenStopsOnItsLastFrame) {
  Load1();
  ClearScreen();
  ASSERT_EQ(Do(op::kPlayAnimation, {1}), 0);
  EXPECT_EQ(Ask(op::kAnimationPlaying, 1), 1);
  for (int frame = 0; frame < 6; ++frame)
    for (int refresh = 0; refresh < 4; ++refresh) {
      Frame();  // 25 ms each: four refreshes per frame of the clip
      const int shown = (frame * 4 + refresh + 1) / 4 < 6 ? (frame * 4 + refresh + 1) / 4 : 5;
      ASSERT_EQ(Pixel(10, 10), kClipColours[shown]) << frame << "." << refresh;
      ASSERT_EQ(Pixel(0, 0), kWhite);
      ASSERT_EQ(Pixel(16, 10), 0u) << "drawn at its own size";
      ASSERT_EQ(Pixel(10, 12), 0u);
    }
  // 600 ms: the end. Nothing is copied in the frame that finds it, and the
  // last frame stays on the screen from then on.
  EXPECT_EQ(Ask(op::kAnimationPlaying, 1), 0);
  ClearScreen();
  Frame();
  EXPECT_EQ(Pixel(10, 10), kClipColours[5]);
  EXPECT_EQ(Ask(op::kAnimationPlaying, 1), 0);
  EXPECT_EQ(Ask(op::kAnimationExists, 1), 1);
}

TEST_F(Animations, PlayAtAndInRectPlaceAndStretchTheFrames) {
  Load1();
  ASSERT_EQ(Do(op::kPlayAnimationAt, {1, 100, 50}), 0);
  ClearScreen();
  Frame();
  EXPECT_EQ(Pixel(100, 50), kWhite);
  EXPECT_EQ(Pixel(110, 58), kClipColours[0]);
  EXPECT_EQ(Pixel(116, 58), 0u);
  EXPECT_EQ(Ask(op::kAnimationPositionX, 1), 100);
  EXPECT_EQ(Ask(op::kAnimationPositionY, 1), 50);
  EXPECT_EQ(Ask(op::kAnimationWidth, 1), 16);

  // Four times the size; a second play starts the clip over.
  ASSERT_EQ(Do(op::kPlayAnimationInRect, {1, 200, 100, 264, 148}), 0);
  ClearScreen();
  Frame();
  EXPECT_EQ(Pixel(200, 100), kWhite);
  EXPECT_EQ(Pixel(215, 111), kWhite);
  EXPECT_EQ(Pixel(216, 112), kClipColours[0]);
  EXPECT_EQ(Pixel(263, 147), kClipColours[0]);
  EXPECT_EQ(Pixel(264, 147), 0u);
  EXPECT_EQ(Ask(op::kAnimationWidth, 1), 64);
  EXPECT_EQ(Ask(op::kAnimationHeight, 1), 48);
  // A play without a rectangle keeps the last placement.
  ASSERT_EQ(Do(op::kPlayAnimation, {1}), 0);
  EXPECT_EQ(Ask(op::kAnimationPositionX, 1), 200);
  EXPECT_EQ(Ask(op::kAnimationWidth, 1), 64);
}

TEST_F(Animations, DestinationsBeyondTheDisplayAreClippedAndTheSourceCutInProportion) {
  Load1();
  // Twice the size (32 x 24), 10 pixels past the right edge and 6 above
  // the top: the source loses 5 columns and 3 rows.
  ASSERT_EQ(Do(op::kPlayAnimationInRect, {1, 618, -6, 650, 18}), 0);
  EXPECT_EQ(Ask(op::kAnimationPositionX, 1), 618);
  EXPECT_EQ(Ask(op::kAnimationPositionY, 1), 0);
  EXPECT_EQ(Ask(op::kAnimationWidth, 1), 22);
  EXPECT_EQ(Ask(op::kAnimationHeight, 1), 18);
  EXPECT_EQ(clips.Slot(1).source, (platform::Rect{0, 3, 11, 12}));
  ClearScreen();
  Frame();
  EXPECT_EQ(Pixel(618, 0), kClipColours[0]) << "the white rows 0-2 of the frame were cut";
  EXPECT_EQ(Pixel(639, 17), kClipColours[0]);

  // Left of 0: the source's left edge moves in.
  ASSERT_EQ(Do(op::kPlaceAnimation, {1, -8, 0, 24, 24}), 0);
  EXPECT_EQ(clips.Slot(1).source, (platform::Rect{4, 0, 16, 12}));
  EXPECT_EQ(Ask(op::kAnimationPositionX, 1), 0);
  EXPECT_EQ(Ask(op::kAnimationWidth, 1), 24);
  ClearScreen();
  Frame();
  EXPECT_EQ(Pixel(0, 0), kClipColours[0]) << "the white block lay in the cut columns";
  EXPECT_EQ(Pixel(23, 23), kClipColours[0]);
  EXPECT_EQ(Pixel(24, 0), 0u);
}

TEST_F(Animations, ExtremeAndEmptyRectanglesDrawNothingAndBreakNothing) {
  Load1();
  ASSERT_EQ(Do(op::kPlayAnimation, {1}), 0);
  const int32_t lo = INT32_MIN, hi = INT32_MAX;
  for (std::vector<int32_t> r : std::vector<std::vector<int32_t>>{
           {1, 10, 10, 10, 30}, {1, 0, 0, 0, 0}, {1, lo, lo, hi, hi}, {1, hi, hi, lo, lo}, {1, -5, 5, lo, 8}}) {
    ASSERT_EQ(Do(op::kPlaceAnimation, r), 0);
    ClearScreen();
    Frame();
    Ask(op::kAnimationWidth, 1);
  }
  ASSERT_EQ(Do(op::kPlaceAnimation, {1, 0, 0, 16, 12}), 0);
  Frame();  // 150 ms
  EXPECT_EQ(Pixel(10, 10), kClipColours[1]);
}

TEST_F(Animations, PlaceMovesARunningClip) {
  Load1();
  ASSERT_EQ(Do(op::kPlayAnimation, {1}), 0);
  ASSERT_EQ(Do(op::kPlaceAnimation, {1, 300, 200, 316, 212}), 0);
  ClearScreen();
  Frame();
  EXPECT_EQ(Pixel(310, 210), kClipColours[0]);
  EXPECT_EQ(Pixel(10, 10), 0u);
  // The placement is stored: a later play without a rectangle uses it.
  ASSERT_EQ(Do(op::kStopAnimation, {1}), 0);
  ASSERT_EQ(Do(op::kPlayAnimation, {1}), 0);
  EXPECT_EQ(Ask(op::kAnimationPositionX, 1), 300);
}

TEST_F(Animations, LoopingClipStartsAgainAndCopiesNothingInTheFrameOfItsEnd) {
  Load1();
  ASSERT_EQ(Do(op::kLoopAnimation, {1}), 0);
  EXPECT_EQ(Ask(op::kAnimationLooping, 1), 1);
  EXPECT_EQ(Ask(op::kAnimationPlaying, 1), 1);
  for (int i = 0; i < 23; ++i) Frame();  // 575 ms: the last frame
  EXPECT_EQ(Pixel(10, 10), kClipColours[5]);
  ClearScreen();
  Frame();  // 600 ms: the end; seek back, nothing copied
  EXPECT_EQ(Pixel(10, 10), 0u);
  Frame();
  EXPECT_EQ(Pixel(10, 10), kClipColours[0]);
  for (int i = 0; i < 4; ++i) Frame();
  EXPECT_EQ(Pixel(10, 10), kClipColours[1]);
  EXPECT_EQ(Ask(op::kAnimationPlaying, 1), 1);
  // A play makes it play once again.
  ASSERT_EQ(Do(op::kPlayAnimation, {1}), 0);
  EXPECT_EQ(Ask(op::kAnimationLooping, 1), 0);
  EXPECT_FALSE(clips.Slot(1).looping);
}

TEST_F(Animations, PauseHoldsTheFrameAndResumeGoesOnFromIt) {
  Load1();
  ASSERT_EQ(Do(op::kPlayAnimation, {1}), 0);
  for (int i = 0; i < 5; ++i) Frame();  // 125 ms: frame 1
  ASSERT_EQ(Do(op::kPauseAnimation, {1}), 0);
  EXPECT_EQ(Ask(op::kAnimationPaused, 1), 1);
  EXPECT_EQ(Ask(op::kAnimationPlaying, 1), 1);
  for (int i = 0; i < 20; ++i) Frame();
  EXPECT_EQ(Pixel(10, 10), kClipColours[1]) << "the paused frame is drawn again each frame";
  EXPECT_EQ(Do(op::kPauseAnimation, {1}), animation_error::kNothingRunning) << "not 2009";
  ASSERT_EQ(Do(op::kResumeAnimation, {1}), 0);
  EXPECT_EQ(Ask(op::kAnimationPaused, 1), 0);
  EXPECT_EQ(Do(op::kResumeAnimation, {1}), animation_error::kResumeFailed) << "it runs already";
  Frame();  // 150 ms of the clip
  EXPECT_EQ(Pixel(10, 10), kClipColours[1]);
  Frame();
  Frame();  // 200 ms
  EXPECT_EQ(Pixel(10, 10), kClipColours[2]);
}

TEST_F(Animations, StopClosesTheClipAndPlayStartsFromTheBeginning) {
  Load1();
  EXPECT_EQ(Do(op::kStopAnimation, {1}), animation_error::kNothingRunning) << "nothing is open after a load";
  ASSERT_EQ(Do(op::kLoopAnimation, {1}), 0);
  for (int i = 0; i < 10; ++i) Frame();
  EXPECT_EQ(Pixel(10, 10), kClipColours[2]);
  ASSERT_EQ(Do(op::kStopAnimation, {1}), 0);
  EXPECT_EQ(Ask(op::kAnimationPlaying, 1), 0);
  EXPECT_EQ(Ask(op::kAnimationLooping, 1), 0);
  EXPECT_EQ(clips.Slot(1).stream, nullptr);
  ClearScreen();
  Frame();
  EXPECT_EQ(Pixel(10, 10), 0u) << "a stopped clip leaves nothing on the screen";
  ASSERT_EQ(Do(op::kPlayAnimation, {1}), 0);
  Frame();
  EXPECT_EQ(Pixel(10, 10), kClipColours[0]);
}

TEST_F(Animations, EndedClipCanBePlayedAgainOrStopped) {
  Load1();
  ASSERT_EQ(Do(op::kPlayAnimation, {1}), 0);
  for (int i = 0; i < 30; ++i) Frame();
  ASSERT_EQ(Ask(op::kAnimationPlaying, 1), 0);
  EXPECT_EQ(Do(op::kPauseAnimation, {1}), animation_error::kNothingRunning);
  ASSERT_EQ(Do(op::kPlayAnimation, {1}), 0);
  Frame();
  EXPECT_EQ(Pixel(10, 10), kClipColours[0]);
  for (int i = 0; i < 30; ++i) Frame();
  EXPECT_EQ(Do(op::kStopAnimation, {1}), 0) << "the ended clip is still open";
}

TEST_F(Animations, PlayAndLoopReportAClipThatCannotBePlayed) {
  // A clip whose file went away after the load.
  const fs::path copy = fs::temp_directory_path() / ("zv_clip_" + std::to_string(getpid()) + ".avi");
  fs::copy_file(ClipPath("raw.avi"), copy, fs::copy_options::overwrite_existing);
  ASSERT_EQ(Load(copy.string(), 2), 0);
  fs::remove(copy);
  EXPECT_EQ(Do(op::kPlayAnimation, {2}), animation_error::kPlayFailed);
  EXPECT_EQ(Do(op::kLoopAnimation, {2}), animation_error::kPlayFailed);
  EXPECT_EQ(Do(op::kPlayAnimationAt, {2, 5, 5}), animation_error::kPlayFailed);
  EXPECT_EQ(Do(op::kLoopAnimationToBitmap, {2, 0, 0, 0, 16, 12}), animation_error::kPlayFailed);
  EXPECT_EQ(Ask(op::kAnimationPlaying, 2), 0);
  EXPECT_EQ(Ask(op::kAnimationLooping, 2), 0);
  EXPECT_EQ(Ask(op::kAnimationExists, 2), 1);
}

TEST_F(Animations, BitmapCommandsCheckTheBitmapAfterTheSlot) {
  Load1();
  EXPECT_EQ(Do(op::kPlayAnimationToBitmap, {5, 32, 0, 0, 16, 12}), animation_error::kNotLoaded);
  EXPECT_EQ(Do(op::kPlayAnimationToBitmap, {1, 32, 0, 0, 16, 12}), bitmap_error::kNumber);
  EXPECT_EQ(Do(op::kLoopAnimationToBitmap, {1, -1, 0, 0, 16, 12}), bitmap_error::kNumber);
  EXPECT_EQ(Do(op::kPlayAnimationToBitmap, {1, 4, 0, 0, 16, 12}), bitmap_error::kMissing);
  // Bitmap 0 is the screen.
  ASSERT_EQ(Do(op::kLoopAnimationToBitmap, {1, 0, 20, 20, 36, 32}), 0);
  EXPECT_EQ(Ask(op::kAnimationLooping, 1), 1);
  ClearScreen();
  Frame();
  EXPECT_EQ(Pixel(30, 30), kClipColours[0]);
}

TEST_F(Animations, FramesIntoASmallSurfaceAreClippedToIt) {
  Load1();
  platform::SurfaceDesc desc;
  desc.width = 20;
  desc.height = 10;
  desc.format = Back().Format();
  platform::SurfacePtr bitmap = platform::Surface::Create(desc);
  // Twice the size at (4, 2): 32 x 24 of which 16 x 8 fit.
  platform::Rect rect{4, 2, 36, 26};
  ASSERT_TRUE(clips.PlayAnimation(1, &rect, bitmap, true));
  clips.Control(1).loaded = true;
  Frame();
  auto at = [&](int32_t x, int32_t y) { return platform::UnpackRgb(desc.format, bitmap->PixelAt(x, y)); };
  EXPECT_EQ(at(4, 2), kWhite);
  EXPECT_EQ(at(19, 9), kClipColours[0]);
  EXPECT_EQ(at(3, 2), 0u);
  // A bitmap that goes while its clip plays ends the drawing, and resuming
  // into it fails.
  ASSERT_TRUE(clips.PauseAnimation(1));
  bitmap.reset();
  Frame();
  EXPECT_FALSE(clips.ResumeAnimation(1));
}

TEST_F(Animations, DisplayChangeEmptiesEverySlot) {
  Load1();
  ASSERT_EQ(Load(ClipPath("mjpeg.avi"), 32), 0);
  ASSERT_EQ(Do(op::kLoopAnimation, {1}), 0);
  Frame();
  ASSERT_NE(clips.Slot(1).stream, nullptr);
  SurfaceState& s = display.Surfaces();
  int32_t w = 800, h = 600, depth = 32, software = 0;
  ASSERT_TRUE(display.ChangeDisplayMode(w, h, depth, software, s.screen_width, s.screen_height, 16, 0));
  EXPECT_EQ(Ask(op::kAnimationExists, 1), 0);
  EXPECT_EQ(Ask(op::kAnimationExists, 32), 0);
  for (int32_t n = 0; n < ::zv::Animations::kSlots; ++n) {
    EXPECT_EQ(clips.Slot(n).stream, nullptr) << n;
    EXPECT_EQ(clips.Slot(n).frame, nullptr) << n;
    EXPECT_TRUE(clips.Slot(n).frame_target.expired()) << n;
  }
  // Loading again works on the new display.
  ASSERT_EQ(Load(ClipPath("raw.avi"), 1), 0);
  ASSERT_EQ(Do(op::kPlayAnimation, {1}), 0);
  Fill(Back(), 0);
  Frame();
  EXPECT_EQ(Pixel(10, 10), kClipColours[0]);
}

TEST_F(Animations, ShutdownReleasesEverySlot) {
  Load1();
  ASSERT_EQ(Do(op::kPlayAnimation, {1}), 0);
  owner.ReleaseAllAnimations();
  EXPECT_EQ(clips.Slot(1).stream, nullptr);
  EXPECT_FALSE(clips.Control(1).loaded);
}

TEST_F(Animations, DeleteEmptiesTheSlot) {
  Load1();
  ASSERT_EQ(Do(op::kPlayAnimation, {1}), 0);
  ASSERT_EQ(Do(op::kDeleteAnimation, {1}), 0);
  EXPECT_EQ(Ask(op::kAnimationExists, 1), 0);
  EXPECT_EQ(clips.Slot(1).stream, nullptr);
  EXPECT_EQ(Do(op::kDeleteAnimation, {1}), animation_error::kNotLoaded);
}

TEST_F(Animations, AttachedClipsAreFoundByTheirRecordName) {
  std::ifstream in(ClipPath("raw.avi"), std::ios::binary);
  std::vector<uint8_t> clip{std::istreambuf_iterator<char>(in), {}};
  // Records: the program (empty here), then the clip.
  std::vector<uint8_t> records;
  auto put32 = [&](uint32_t v) {
    for (int i = 0; i < 4; ++i) records.push_back(static_cast<uint8_t>(v >> (8 * i)));
  };
  auto put_record = [&](const std::string& name, const std::vector<uint8_t>& data) {
    put32(static_cast<uint32_t>(name.size() + 1));
    records.insert(records.end(), name.begin(), name.end());
    records.push_back(0);
    put32(static_cast<uint32_t>(data.size()));
    records.insert(records.end(), data.begin(), data.end());
  };
  put_record("c:\\game\\_exefile.dat", {});
  put_record("media\\intro.avi", clip);
  put32(0);
  put32(1000);
  const fs::path temp = fs::temp_directory_path() / ("zv_attached_" + std::to_string(getpid()));
  fs::create_directories(temp);
  {
    AttachedData attached(temp.string() + "/");
    std::string error;
    ASSERT_EQ(attached.LoadRecords(records, 1000, &error), AttachedData::LoadResult::kLoaded) << error;
    vm.attached_data = &attached;
    EXPECT_EQ(Load("MEDIA/Intro.avi", 4), 0);
    EXPECT_EQ(Ask(op::kAnimationWidth, 4), 16);
    EXPECT_EQ(Do(op::kPlayAnimation, {4}), 0);
    vm.attached_data = nullptr;
    clips.ReleaseAllAnimations();
  }
  fs::remove_all(temp);
}

}  // namespace
}  // namespace zv::test
