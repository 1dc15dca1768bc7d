#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "display/pixel_ops.h"
#include "display/shapes.h"
#include "tests/display/graphics_fixture.h"
#include "tests/support/thread_times.h"

namespace zv::test {
namespace {

namespace fs = std::filesystem;
using platform::Rect;

constexpr uint32_t kRed565 = 0xF800;
constexpr uint32_t kBlue565 = 0x001F;
constexpr uint32_t kWhite565 = 0xFFFF;

class DrawQueueTest : public GraphicsTest {
 protected:
  void SetUp() override { StartDrawing(); }

  void CreateBitmap(int32_t n, int32_t w, int32_t h) {
    Queue().QueueCreateBitmap(n, w, h);
    Drain();
    Queue().QueueSetCurrentBitmap(0);
    Drain();
  }
  platform::Surface& BitmapSurface(int32_t n) { return *graphics->Bitmaps().Surface(n); }

  // A picture file that cannot be read, in a folder that goes with the test.
  std::string UnreadablePicture() {
    scratch_ = fs::temp_directory_path() / ("zv_draw_queue_" + std::to_string(getpid()));
    fs::create_directories(scratch_);
    const std::string path = (scratch_ / "unreadable.bmp").string();
    std::ofstream(path) << "not a picture";
    return path;
  }
  void TearDown() override {
    if (!scratch_.empty()) fs::remove_all(scratch_);
  }

 private:
  fs::path scratch_;
};

// ---- The queue ------------------------------------------------------------------------

TEST_F(DrawQueueTest, ScreenRecordsArePerformedOncePerBufferOfTheFlipChain) {
  Queue().QueueBox(10, 10, 20, 20);
  Pass();
  EXPECT_EQ(Back().PixelAt(15, 15), Ink());
  EXPECT_EQ(Queue().Pending(), 1);
  ASSERT_TRUE(display.PresentFrame());
  EXPECT_EQ(Back().PixelAt(15, 15), 0u);  // the other buffer
  Pass();
  EXPECT_EQ(Back().PixelAt(15, 15), Ink());
  EXPECT_EQ(Queue().Pending(), 0);
}

TEST_F(DrawQueueTest, BitmapRecordsArePerformedOnce) {
  CreateBitmap(3, 32, 32);
  Queue().QueueSetCurrentBitmap(3);
  Queue().QueueBox(0, 0, 4, 4);
  Pass();
  EXPECT_EQ(Queue().Pending(), 0);
  EXPECT_EQ(BitmapSurface(3).PixelAt(1, 1), Ink());
}

TEST_F(DrawQueueTest, ARecordDrawsWhereTheCurrentBitmapWasWhenItWasQueued) {
  CreateBitmap(2, 8, 8);
  Queue().QueueSetCurrentBitmap(2);
  Queue().QueueDot(1, 1);
  Queue().QueueSetCurrentBitmap(0);
  Drain();
  EXPECT_EQ(BitmapSurface(2).PixelAt(1, 1), Ink());
  EXPECT_EQ(Back().PixelAt(1, 1), 0u);
}

TEST_F(DrawQueueTest, StateRecordsRunOnceAndInQueueOrder) {
  Queue().QueueTextAt(0, 0, "A", false);
  Queue().QueueTextSize(40);
  Pass();
  EXPECT_EQ(graphics->Fonts().State().size, 40);
  EXPECT_EQ(graphics->Fonts().TextFont().Metrics().height, 16);  // "system" keeps its cell
  EXPECT_EQ(Queue().Pending(), 1);  // the text waits for its second pass
}

TEST_F(DrawQueueTest, ClearingTheQueueDropsEveryRecordUndrawn) {
  Queue().Clear();
  EXPECT_EQ(Queue().Pending(), 0);
  Queue().QueueBox(0, 0, 10, 10);
  Queue().QueueDot(3, 3);
  Queue().Clear();
  EXPECT_EQ(Queue().Pending(), 0);
  Pass();
  EXPECT_EQ(Back().PixelAt(3, 3), 0u);
}

TEST_F(DrawQueueTest, PrintingMovesTheTextCursor) {
  int32_t x = 0, y = 0;
  const int32_t width = graphics->Fonts().SystemFont().Measure("abc").width;
  ASSERT_GT(width, 0);
  graphics->QueueTextOutput("abc", x, y, TextFlow{true, false, true});
  EXPECT_EQ(x, width);
  EXPECT_EQ(y, 0);
  graphics->QueueTextOutput("abc", x, y, TextFlow{false, false, false});
  EXPECT_EQ(x, 0);
  EXPECT_EQ(y, 16);
  x = 640 - width;
  graphics->QueueTextOutput("abc", x, y, TextFlow{true, false, true});
  EXPECT_EQ(x, 0);
  EXPECT_EQ(y, 32);
  EXPECT_EQ(Queue().Pending(), 3);
}

// ---- The executor -------------------------------------------------------------------------

// While the window is away the screen is left undrawn, and only the screen.
TEST_F(DrawQueueTest, WithDrawingDisabledAPassDrawsNothingOnTheScreen) {
  runtime.window.drawing_enabled = false;
  Queue().QueueBox(0, 0, 8, 8);
  Queue().QueueCreateBitmap(1, 8, 8);
  Queue().QueueInkColours(0xFF0000, 0);
  Queue().QueueTextSize(30);
  Pass();
  NextFrame();
  Queue().QueueSetCurrentBitmap(1);
  Queue().QueueBox(0, 0, 8, 8);
  Pass();
  runtime.window.drawing_enabled = true;
  EXPECT_EQ(Queue().Pending(), 0);
  EXPECT_EQ(Back().PixelAt(2, 2), 0u);
  ASSERT_TRUE(graphics->Bitmaps().Surface(1));
  EXPECT_EQ(BitmapSurface(1).PixelAt(2, 2), kRed565);
  EXPECT_EQ(graphics->Fonts().State().size, 30);
}

TEST_F(DrawQueueTest, ARecordWithoutATargetIsSkippedAndReleased) {
  Queue().QueueSetCurrentBitmap(5);  // has no surface
  Queue().QueueDot(1, 1);
  Pass();
  EXPECT_EQ(Queue().Pending(), 0);
  EXPECT_EQ(vm.errors.code, 1002);
}

TEST_F(DrawQueueTest, AFailedScreenLoadWarnsOnlyOnItsLastPass) {
  Queue().QueueLoadBitmap(UnreadablePicture(), 0);
  Pass();
  EXPECT_EQ(vm.errors.code, 0);
  NextFrame();
  Pass();
  EXPECT_EQ(vm.errors.code, 1003);
  EXPECT_TRUE(vm.errors.warning);
}

TEST_F(DrawQueueTest, OnACoveredScreenOnlyWhatDoesNotDrawIsDoneAgain) {
  const std::string bad = UnreadablePicture();
  CreateBitmap(3, 8, 8);
  const uint32_t slot = 13000;
  Queue().QueueBox(10, 10, 20, 20);
  Queue().QueueTextAt(10, 30, "old", false);
  Queue().QueueLoadBitmap(bad, 0);
  Queue().QueueReadPixel(15, 15, slot);
  Pass();
  ASSERT_TRUE(display.PresentFrame());
  // The other buffer is covered whole; then come the records not drawn yet.
  DrawBox(Back(), Back().Bounds(), kBlue565);
  Queue().QueueBox(50, 50, 60, 60);
  Queue().QueueSetCurrentBitmap(3);
  Queue().QueueBox(0, 0, 8, 8);
  Queue().QueueSetCurrentBitmap(0);
  Queue().ScreenCovered();
  vm.SetInt(Slot{slot}, -1);
  Pass();
  EXPECT_EQ(CountPixels(Back(), kBlue565), 640 * 480 - 10 * 10);  // the new box alone
  EXPECT_EQ(Back().PixelAt(55, 55), Ink());
  EXPECT_EQ(BitmapSurface(3).PixelAt(4, 4), Ink());
  EXPECT_EQ(vm.errors.code, 1003);            // the load's last pass still warns
  EXPECT_EQ(vm.IntAt(Slot{slot}), -1);        // read on the first pass only
  EXPECT_EQ(Queue().Pending(), 1);            // the new screen box, for its second pass
}

TEST_F(DrawQueueTest, LoadingAMissingFileIsAnError) {
  Queue().QueueLoadBitmap("/no/such/folder/4x4.bmp", 1);
  Pass();
  EXPECT_EQ(vm.errors.code, 105);
}

TEST_F(DrawQueueTest, LoadingIntoANewBitmapMakesItCurrentWithThePicture) {
  const fs::path folder = fs::temp_directory_path() / ("zv_draw_load2_" + std::to_string(getpid()));
  fs::create_directories(folder);
  const std::string file = (folder / "12x6.bmp").string();
  std::ofstream(file) << "x";
  Queue().QueueLoadBitmap(file, 4);
  Drain();
  EXPECT_EQ(vm.errors.code, 0);
  ASSERT_TRUE(graphics->Bitmaps().Surface(4));
  EXPECT_EQ(graphics->CurrentBitmap(), 4);
  EXPECT_EQ(graphics->InfoOf(4).width, 12);
  EXPECT_EQ(graphics->InfoOf(4).height, 6);
  EXPECT_EQ(BitmapSurface(4).PixelAt(5, 5), files.pixel);
  // Loading onto the screen stretches the picture into its top-left corner.
  Queue().QueueLoadBitmap(file, 0);
  Drain();
  EXPECT_EQ(Back().PixelAt(11, 5), files.pixel);
  EXPECT_EQ(Back().PixelAt(12, 5), 0u);
  fs::remove_all(folder);
}

TEST_F(DrawQueueTest, AFileLoadsIntoTheScratchSlotKeyedOnBlack) {
  const fs::path folder = fs::temp_directory_path() / ("zv_draw_load3_" + std::to_string(getpid()));
  fs::create_directories(folder);
  const std::string file = (folder / "5x7.bmp").string();
  ASSERT_TRUE(graphics->LoadFileIntoBitmapSurface(BitmapTable::kScratch, file));
  ASSERT_TRUE(graphics->Bitmaps().Surface(BitmapTable::kScratch));
  EXPECT_EQ(graphics->InfoOf(BitmapTable::kScratch).height, 7);
  EXPECT_EQ(graphics->Bitmaps().Surface(BitmapTable::kScratch)->SrcColorKey(), (platform::ColorKey{0, 0}));
  EXPECT_FALSE(graphics->LoadFileIntoBitmapSurface(BitmapTable::kScratch, (folder / "none.bmp").string()));
  fs::remove_all(folder);
}

TEST_F(DrawQueueTest, CentredTextStartsHalfItsWidthLeftOfX) {
  CreateBitmap(1, 200, 40);
  CreateBitmap(2, 200, 40);
  Queue().QueueTextFont("arial", 0);
  Queue().QueueTextSize(20);
  Drain();
  const int32_t width = graphics->Fonts().TextFont().Measure("Middle").width;
  ASSERT_GT(width, 0);
  Queue().QueueSetCurrentBitmap(1);
  Queue().QueueTextAt(100, 5, "Middle", true);
  Queue().QueueSetCurrentBitmap(2);
  Queue().QueueTextAt(100 - width / 2, 5, "Middle", false);
  Drain();
  int32_t lit = 0;
  for (int32_t y = 0; y < 40; ++y)
    for (int32_t x = 0; x < 200; ++x) {
      ASSERT_EQ(BitmapSurface(1).PixelAt(x, y), BitmapSurface(2).PixelAt(x, y)) << x << "," << y;
      lit += BitmapSurface(1).PixelAt(x, y) != 0;
    }
  EXPECT_GT(lit, 20);
}

TEST_F(DrawQueueTest, LinesSetOnePixelPerStepIncludingBothEnds) {
  CreateBitmap(1, 32, 32);
  Queue().QueueSetCurrentBitmap(1);
  Queue().QueueLine(5, 5, 5, 5);
  Drain();
  EXPECT_EQ(CountPixels(BitmapSurface(1), Ink()), 1);
  Queue().QueueLine(0, 20, 10, 20);
  Drain();
  EXPECT_EQ(CountPixels(BitmapSurface(1), Ink()), 12);
}

TEST_F(DrawQueueTest, AVeryLongLineCostsOnlyItsVisiblePart) {
  // Every pixel of the whole lines would take many seconds of a processor
  // (tests/support/thread_times.h: what a loaded machine adds is not counted).
  const double seconds = test::RunningSecondsOf([&] {
    Queue().QueueLine(-2000000000, 100, 2000000000, 100);
    Queue().QueueLine(-2000000000, -2000000000, 2000000000, 2000000000);
    Drain();
  });
  std::printf("the long lines took %.3f s of a processor (bound 1 s)\n", seconds);
  EXPECT_LT(seconds, 1.0);
  for (int32_t x = 0; x < 640; ++x) ASSERT_EQ(Back().PixelAt(x, 100), Ink()) << x;
  EXPECT_EQ(Back().PixelAt(200, 200), Ink());
}

TEST_F(DrawQueueTest, ShapesPartlyOffTheScreenAreDrawnClipped) {
  Queue().QueueBox(-10, -10, 10, 10);
  Queue().QueueBox(630, 470, 700, 500);
  Queue().QueueDot(-1, 5);
  Queue().QueueDot(640, 5);
  Queue().QueueEllipse(0, 240, 30.0f, 30.0f);
  Drain();
  EXPECT_EQ(Back().PixelAt(0, 0), Ink());
  EXPECT_EQ(Back().PixelAt(9, 9), Ink());
  EXPECT_EQ(Back().PixelAt(10, 10), 0u);
  EXPECT_EQ(Back().PixelAt(639, 479), Ink());
  EXPECT_EQ(Back().PixelAt(30, 240), Ink());  // the circle's right-hand point
}

TEST_F(DrawQueueTest, ABoxWhoseCornersAreSwappedDrawsNothing) {
  Queue().QueueBox(20, 20, 10, 30);
  Drain();
  EXPECT_EQ(CountPixels(Back(), Ink()), 0);
}

TEST_F(DrawQueueTest, InkAndPaperBecomePixelsOfTheScreen) {
  EXPECT_EQ(Ink(), kWhite565);
  Queue().QueueInkColours(0xFF0000, 0x0000FF);
  Queue().QueueDot(1, 1);
  Queue().QueueClearScreen();
  Queue().QueueDot(2, 2);
  Drain();
  EXPECT_EQ(Ink(), kRed565);
  EXPECT_EQ(display.Presentation().background_colour, kBlue565);
  EXPECT_EQ(Back().PixelAt(1, 1), kBlue565);  // cleared after it was drawn
  EXPECT_EQ(Back().PixelAt(2, 2), kRed565);
  // The back-buffer clear of the display uses the paper too.
  display.ClearBackBuffer();
  EXPECT_EQ(Back().PixelAt(2, 2), kBlue565);
  // Colours are taken also while the program holds the screen locked.
  display.LockPixels();
  Queue().QueueInkColours(0x0000FF, 0);
  Drain();
  display.UnlockPixels();
  EXPECT_EQ(Ink(), kBlue565);
}

TEST_F(DrawQueueTest, ReadingAPixelStoresItsColourWhenTheQueueRuns) {
  const uint32_t slot = 13000;
  Queue().QueueInkColours(0x00FF00, 0);
  Queue().QueueDot(7, 8);
  Queue().QueueReadPixel(7, 8, slot);
  Queue().QueueReadPixel(700, 8, slot + 1);
  vm.SetInt(Slot{slot + 1}, -5);
  Drain();
  EXPECT_EQ(vm.IntAt(Slot{slot}), 0x00FF00);
  EXPECT_EQ(vm.IntAt(Slot{slot + 1}), -5);
}

TEST_F(DrawQueueTest, AClearToAColourFillsTheScreen) {
  Queue().QueueClearScreenEntry(0x0000FF);
  Drain();
  EXPECT_EQ(CountPixels(Back(), kBlue565), 640 * 480);
}

TEST_F(DrawQueueTest, TheColoursFollowTheScreenThroughADisplayChange) {
  Queue().QueueInkColours(0xFF0000, 0x0000FF);
  Drain();
  int32_t w = 640, h = 480, d = 32, software = 0;
  ASSERT_TRUE(display.ChangeDisplayMode(w, h, d, software, 640, 480, 16, 0));
  EXPECT_EQ(Ink(), 0xFF0000u);
  EXPECT_EQ(display.Presentation().background_colour, 0x0000FFu);
  Queue().QueueDot(3, 3);
  Drain();
  EXPECT_EQ(Back().PixelAt(3, 3), 0xFF0000u);
}

// ---- Bitmaps ------------------------------------------------------------------------------

TEST_F(DrawQueueTest, CreatingBitmapsChecksTheirNumbers) {
  Queue().QueueCreateBitmap(0, 10, 10);
  Pass();
  EXPECT_EQ(vm.errors.code, 1009);
  vm.errors.code = 0;
  Queue().QueueCreateBitmap(32, 10, 10);
  Pass();
  EXPECT_EQ(vm.errors.code, 1001);
  vm.errors.code = 0;
  Queue().QueueCreateBitmap(7, 0, 10);
  Pass();
  EXPECT_EQ(vm.errors.code, 1005);
  vm.errors.code = 0;
  Queue().QueueCreateBitmap(7, 30, 20);
  Pass();
  EXPECT_EQ(vm.errors.code, 0);
  EXPECT_EQ(graphics->CurrentBitmap(), 7);
  const BitmapInfo info = graphics->InfoOf(7);
  EXPECT_EQ(info.width, 30);
  EXPECT_EQ(info.height, 20);
  EXPECT_EQ(info.depth, 16);
}

TEST_F(DrawQueueTest, CopyingAWholeBitmapChecksItsSize) {
  CreateBitmap(1, 10, 10);
  CreateBitmap(2, 20, 20);
  Queue().QueueCopyBitmap(1, 1);
  Pass();
  EXPECT_EQ(vm.errors.code, 1007);
  vm.errors.code = 0;
  Queue().QueueCopyBitmap(2, 1);
  Pass();
  EXPECT_EQ(vm.errors.code, 1008);
  vm.errors.code = 0;
  FillSurfaceRect(BitmapSurface(1), Rect{0, 0, 10, 10}, kRed565);
  Queue().QueueCopyBitmap(1, 2);
  Queue().QueueCopyBitmap(1, 0);
  Drain();
  EXPECT_EQ(vm.errors.code, 0);
  EXPECT_EQ(BitmapSurface(2).PixelAt(9, 9), kRed565);
  EXPECT_EQ(BitmapSurface(2).PixelAt(10, 10), 0u);
  EXPECT_EQ(Back().PixelAt(9, 9), kRed565);
  Queue().QueueCopyBitmap(9, 0);
  Pass();
  EXPECT_EQ(vm.errors.code, 1002);
}

TEST_F(DrawQueueTest, CopyingARectangleStretchesAndChecksBothRectangles) {
  CreateBitmap(1, 10, 10);
  FillSurfaceRect(BitmapSurface(1), Rect{0, 0, 2, 2}, kRed565);
  Queue().QueueCopyBitmapRect(1, Rect{0, 0, 2, 2}, 0, Rect{100, 100, 120, 120});
  Drain();
  EXPECT_EQ(vm.errors.code, 0);
  EXPECT_EQ(CountPixels(Back(), kRed565), 400);
  Queue().QueueCopyBitmapRect(1, Rect{0, 0, 11, 2}, 0, Rect{0, 0, 5, 5});
  Pass();
  EXPECT_EQ(vm.errors.code, 1010);
  vm.errors.code = 0;
  Queue().QueueCopyBitmapRect(1, Rect{5, 0, 2, 2}, 0, Rect{0, 0, 5, 5});
  Pass();
  EXPECT_EQ(vm.errors.code, 1011);
}

TEST_F(DrawQueueTest, MirrorAndFlipSwapColumnsAndRowsAndTwiceRestore) {
  CreateBitmap(1, 5, 3);
  platform::Surface& s = BitmapSurface(1);
  s.SetPixelAt(0, 0, kRed565);
  s.SetPixelAt(2, 1, kBlue565);  // the middle column of an odd width
  Queue().QueueMirrorBitmap(1);
  Drain();
  EXPECT_EQ(s.PixelAt(4, 0), kRed565);
  EXPECT_EQ(s.PixelAt(0, 0), 0u);
  EXPECT_EQ(s.PixelAt(2, 1), kBlue565);
  Queue().QueueFlipBitmap(1);
  Drain();
  EXPECT_EQ(s.PixelAt(4, 2), kRed565);
  Queue().QueueFlipBitmap(1);
  Queue().QueueMirrorBitmap(1);
  Drain();
  EXPECT_EQ(s.PixelAt(0, 0), kRed565);
}

TEST_F(DrawQueueTest, BlurAndFadeCheckTheirValues) {
  CreateBitmap(1, 8, 8);
  Queue().QueueBlurBitmap(1, 9);
  Pass();
  EXPECT_EQ(vm.errors.code, 1012);
  vm.errors.code = 0;
  Queue().QueueFadeBitmap(1, 101);
  Pass();
  EXPECT_EQ(vm.errors.code, 1013);
  vm.errors.code = 0;
  FillSurfaceRect(BitmapSurface(1), Rect{0, 0, 8, 8}, kWhite565);
  Queue().QueueFadeBitmap(1, 0);
  Pass();
  EXPECT_EQ(vm.errors.code, 0);
  EXPECT_EQ(CountPixels(BitmapSurface(1), 0), 64);
}

TEST_F(DrawQueueTest, DeletingBitmapsChecksThem) {
  Queue().QueueDeleteBitmap(0);
  Pass();
  EXPECT_EQ(vm.errors.code, 1006);
  vm.errors.code = 0;
  Queue().QueueDeleteBitmap(3);
  Pass();
  EXPECT_EQ(vm.errors.code, 1002);
  vm.errors.code = 0;
  CreateBitmap(3, 4, 4);
  Queue().QueueSetCurrentBitmap(3);
  Queue().QueueDeleteBitmap(3);
  EXPECT_EQ(graphics->CurrentBitmap(), 0);  // at once
  Pass();
  EXPECT_EQ(vm.errors.code, 0);
  EXPECT_FALSE(graphics->Bitmaps().Surface(3));
}

TEST_F(DrawQueueTest, AFailedSaveLeavesTheEarlierFileAndReportsTheFailure) {
  const fs::path folder = fs::temp_directory_path() / ("zv_draw_save_" + std::to_string(getpid()));
  fs::create_directories(folder);
  const std::string file = (folder / "picture.png").string();
  std::ofstream(file) << "earlier";
  CreateBitmap(1, 4, 4);
  files.save_result = false;
  Queue().QueueSaveBitmap(file, 1);
  Pass();
  EXPECT_EQ(vm.errors.code, 1004);
  std::ifstream in(file);
  std::string content;
  std::getline(in, content);
  EXPECT_EQ(content, "earlier");
  // The default writer replaces the file only once the new one is whole.
  graphics->SetImageFiles(nullptr);
  vm.errors.code = 0;
  Queue().QueueSaveBitmap(file, 1);
  Pass();
  EXPECT_EQ(vm.errors.code, 0);
  EXPECT_GT(fs::file_size(file), 8u);
  fs::remove_all(folder);
}

TEST_F(DrawQueueTest, TheScreenSaveCopiesWhatIsVisible) {
  FillSurfaceRect(Back(), Rect{0, 0, 640, 480}, kRed565);
  display.PresentFrame();
  graphics->RequestScreenSave("shot.png");
  graphics->SaveScreenIfRequested();
  ASSERT_EQ(files.saved_paths.size(), 1u);
  EXPECT_EQ(files.saved_width, 640);
  graphics->SaveScreenIfRequested();
  EXPECT_EQ(files.saved_paths.size(), 1u);  // once per request
}

// ---- Images --------------------------------------------------------------------------------

TEST_F(DrawQueueTest, GrabbedImagesPasteClippedAndWithTheirColourKey) {
  FillSurfaceRect(Back(), Rect{0, 0, 4, 4}, kRed565);
  Back().SetPixelAt(1, 1, 0);  // black: the colour key
  const int32_t image = graphics->Pools().AllocImageRecord();
  Queue().QueueGrabImage(image, Rect{0, 0, 4, 4}, 0);
  EXPECT_EQ(graphics->Pools().images[image].width, 4);  // at once
  Queue().QueuePasteImage(image, 100, 100, false);
  Queue().QueuePasteImage(image, 638, 200, true);
  Queue().QueuePasteImage(image, -2, -2, false);
  Drain();
  EXPECT_EQ(vm.errors.code, 0);
  EXPECT_EQ(Back().PixelAt(101, 101), 0u);
  EXPECT_EQ(Back().PixelAt(102, 102), kRed565);
  EXPECT_EQ(Back().PixelAt(639, 200), kRed565);
  EXPECT_EQ(Back().PixelAt(0, 0), kRed565);
  Queue().QueueGrabImage(image, Rect{5, 5, 5, 9}, 0);
  Pass();
  EXPECT_EQ(vm.errors.code, 504);
  vm.errors.code = 0;
  Queue().QueueGrabImage(image, Rect{630, 0, 650, 9}, 0);
  Pass();
  EXPECT_EQ(vm.errors.code, 503);
}

TEST_F(DrawQueueTest, AQuarterTurnSwapsTheImagesSides) {
  const int32_t image = graphics->Pools().AllocImageRecord();
  Queue().QueueGrabImage(image, Rect{0, 0, 6, 2}, 0);
  Queue().QueueRotateImage(image, 90);
  Drain();
  const ImageRecord& record = graphics->Pools().images[image];
  EXPECT_EQ(record.width, 2);
  EXPECT_EQ(record.height, 6);
  ASSERT_TRUE(record.surface);
  EXPECT_EQ(record.surface->Width(), 2);
  Queue().QueuePasteImage(image, 10, 10, false);
  Drain();
  EXPECT_EQ(vm.errors.code, 0);
}

// ---- Text --------------------------------------------------------------------------------

TEST_F(DrawQueueTest, TextStateRecordsMakeTheTextFont) {
  Queue().QueueTextFont("Times New Roman", 0);
  Queue().QueueTextSize(30);
  Queue().QueueTextStyle(3);
  Queue().QueueTextOpaque(true);
  Drain();
  const TextState& state = graphics->Fonts().State();
  EXPECT_EQ(state.font_name, "Times New Roman");
  EXPECT_EQ(state.size, 30);
  EXPECT_EQ(state.style, 3);
  EXPECT_EQ(state.opaque, 1);
  EXPECT_EQ(graphics->Fonts().TextFont().Family(), "Liberation Serif");
  EXPECT_EQ(graphics->Fonts().TextFont().Metrics().height, 30);
}

TEST_F(DrawQueueTest, AFontNameIsCutToItsFieldsLength) {
  Queue().QueueTextFont(std::string(300, 'f'), 0);
  Drain();
  EXPECT_EQ(graphics->Fonts().State().font_name.size(), 255u);
  EXPECT_EQ(graphics->Fonts().TextFont().Family(), "DejaVu Sans");
}

TEST_F(DrawQueueTest, OpaqueTextFillsItsBoxWithThePaper) {
  Queue().QueueInkColours(0xFFFFFF, 0x0000FF);
  Queue().QueueTextOpaque(true);
  Queue().QueueTextAt(10, 10, "ab", false);
  Drain();
  const platform::Size size = graphics->Fonts().TextFont().Measure("ab");
  EXPECT_EQ(Back().PixelAt(10, 10), kBlue565);
  EXPECT_EQ(Back().PixelAt(10 + size.width - 1, 10 + size.height - 1), kBlue565);
  EXPECT_EQ(Back().PixelAt(10 + size.width, 10), 0u);
  EXPECT_GT(CountPixels(Back(), kWhite565), 5);
}

// A machine with many fonts, some listed twice and one with a long name.
class CrowdedFonts : public platform::TextService {
 public:
  platform::FontPtr CreateFont(const platform::FontRequest& request) override {
    return fallback_->CreateFont(request);
  }
  std::vector<std::string> ListFamilies() override {
    std::vector<std::string> names = {std::string(300, 'L'), "Twice", "Twice"};
    for (int i = 0; i < 600; ++i) names.push_back("Family " + std::to_string(i));
    return names;
  }

 private:
  std::unique_ptr<platform::TextService> fallback_ = platform::CreateTextService();
};

TEST(FontChecklist, ListsEveryFamilyOnceAndCutsLongNames) {
  TextFonts fonts(std::make_unique<CrowdedFonts>());
  Checklist list;
  list.entries[3].a = 42;
  fonts.ChecklistFontFamilies(list);
  EXPECT_TRUE(list.made);
  EXPECT_TRUE(list.texts_valid);
  EXPECT_FALSE(list.values_valid);
  ASSERT_EQ(list.count, 602);
  EXPECT_EQ(list.entries[0].text.size(), 255u);
  EXPECT_EQ(list.entries[1].text, "Twice");
  EXPECT_EQ(list.entries[2].text, "Family 0");
  EXPECT_EQ(list.entries[601].text, "Family 599");
  EXPECT_EQ(list.entries[3].a, 42);  // the values are not this list's
}

}  // namespace
}  // namespace zv::test
