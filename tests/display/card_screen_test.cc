#include "runtime/card_choice.h"
#include "tests/display/drawing_run.h"
#include "tests/display/graphics_fixture.h"

namespace zv::test {
namespace {

// The card-choice screens as the window shows them: painted through the
// display's presenter in the window's own font.
class CardScreenTest : public GraphicsTest {
 protected:
  DrawingRun Paint(int32_t width, int32_t height) {
    CardScreen screen = LayOutCardScreen(runtime.settings, width, height, drawing_adapter);
    drawing_adapter.PaintWindow(width, height, screen.boxes, screen.texts);
    DrawingRun run;
    const platform::Surface* frame = presenter.LastFrame();
    if (frame == nullptr) return run;
    run.width = frame->Width();
    run.height = frame->Height();
    for (int32_t y = 0; y < run.height; ++y)
      for (int32_t x = 0; x < run.width; ++x) run.frame.push_back(frame->PixelAt(x, y) & 0xFFFFFFu);
    return run;
  }
};

TEST_F(CardScreenTest, BothScreensLookAsTheirGoldens) {
  Settings& s = runtime.settings;
  s.cards = {"Primary Display Driver", "Second Card", "Third Card"};
  s.choice_screen_state = 1;
  EXPECT_EQ(CompareWithGolden(Paint(640, 480), "card_choice"), "");

  s.choice_screen_state = 2;
  s.chosen_card = "Second Card";
  s.working_depth = 32;
  s.probe = {32, true, true, false, true};
  const DrawingRun probe = Paint(640, 480);
  EXPECT_EQ(CompareWithGolden(probe, "card_probe"), "");
  // The boxes are drawn as the window's rectangles: a black edge around
  // each fill, so of the grey box only a one-pixel frame shows.
  const int32_t left = 320 - 150, middle = 30 + (480 - 24 - 30) / 2;
  EXPECT_EQ(probe.At(left + 2, middle), 0u);
  EXPECT_EQ(probe.At(left + 3, middle), 0x404040u);
  EXPECT_EQ(probe.At(left + 4, middle), 0u);
}

TEST_F(CardScreenTest, ABoxTallerThanTheWindowIsPaintedInPart) {
  runtime.settings.choice_screen_state = 2;
  // 200 high, centred in a client area of 176 less its margins: it runs
  // off the bottom.
  const DrawingRun run = Paint(640, 176);
  EXPECT_EQ(run.At(320 - 150 + 3, 100), 0x404040u);
}

}  // namespace
}  // namespace zv::test
