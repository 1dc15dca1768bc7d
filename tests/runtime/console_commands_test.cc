#include "runtime/console/console_commands.h"

#include "tests/runtime/runtime_fixture.h"

namespace zv {
namespace {

namespace op = test::op;

class ConsoleTest : public test::RuntimeTest {
 protected:
  // Runs the program once through the pump, ended by the end command.
  void RunWithEnd() {
    assembler.Op(op::kEnd);
    Run();
  }
};

TEST_F(ConsoleTest, PrintWritesNumbersAndTextAndEndsTheLine) {
  assembler.Op(op::kPrintInt, {assembler.IntConst(-42)});
  assembler.Op(op::kPrintFloat, {assembler.FloatConst(1.5f)});
  assembler.Op(op::kPrintFloat, {assembler.FloatConst(1e7f)});
  assembler.Op(op::kPrintString, {assembler.StringConst("hello")});
  assembler.Op(op::kPrintBlank);
  RunWithEnd();
  EXPECT_EQ(output, "-42\n1.5\n1e+007\nhello\n\n");
  ASSERT_EQ(display.texts.size(), 5u);
  EXPECT_EQ(display.texts[4].text, " ");
  EXPECT_EQ(state.console.text_cursor_x, 0);
  EXPECT_EQ(state.console.text_cursor_y, 5 * kNullFontHeight);
}

TEST_F(ConsoleTest, PrintOnTheLineAdvancesAndWrapsAtTheScreenWidth) {
  assembler.Op(op::kPrintStringOnLine, {assembler.StringConst("ab")});
  assembler.Op(op::kPrintIntOnLine, {assembler.IntConst(7)});
  assembler.Op(op::kPrintStringOnLine, {assembler.StringConst(std::string(80, 'x'))});
  RunWithEnd();
  EXPECT_EQ(output, "ab7" + std::string(80, 'x'));
  // 3 characters, then 80 more reach the 640-pixel width: the next line.
  EXPECT_EQ(state.console.text_cursor_x, 0);
  EXPECT_EQ(state.console.text_cursor_y, kNullFontHeight);
  EXPECT_TRUE(display.texts[0].flow.advance && display.texts[0].flow.wrap);
}

TEST_F(ConsoleTest, PrintingIntoABitmapDoesNotYield) {
  display.current_bitmap = 2;
  assembler.Op(op::kPrintInt, {assembler.IntConst(1)});
  assembler.Op(op::kBox, {assembler.IntConst(0), assembler.IntConst(0), assembler.IntConst(1), assembler.IntConst(1)});
  assembler.Op(op::kEnd);
  Load();
  ResetVmState(vm);
  RunVmLoop(vm);  // the reset's empty slice
  RunVmLoop(vm);
  // The print (words 0-1) did not end the slice; the box (2-6), which yields
  // whatever its target, did.
  EXPECT_EQ(vm.Pc(), 7u);
}

TEST_F(ConsoleTest, ClearScreenPutsTheCursorHome) {
  assembler.Op(op::kPrintInt, {assembler.IntConst(1)});
  assembler.Op(op::kClearScreen);
  RunWithEnd();
  EXPECT_EQ(state.console.text_cursor_y, 0);
}

TEST_F(ConsoleTest, FrameRateSetsTheFrameTimeOrRaises112) {
  assembler.Op(op::kFrameRate, {assembler.IntConst(60)});
  assembler.Op(op::kPrintInt, {assembler.IntConst(0)});
  assembler.Op(op::kFrameRate, {assembler.IntConst(1001)});
  RunWithEnd();
  EXPECT_EQ(vm.frame_time, 16);
  EXPECT_EQ(vm.errors.code, 112);
}

TEST_F(ConsoleTest, ScanCodeGivesTheLowestHeldKeyAndAsksForAFreshPoll) {
  state.input.keyboard[30] = 0x80;
  state.input.keyboard[16] = 0x80;
  assembler.Op(op::kScanCode, {assembler.IntVar(0)});
  assembler.Op(op::kPrintInt, {assembler.IntVar(0)});
  RunWithEnd();
  EXPECT_EQ(output, "16\n");
}

TEST_F(ConsoleTest, ScanCodeIsZeroWithNoKeyHeld) {
  assembler.Op(op::kScanCode, {assembler.IntVar(0)});
  assembler.Op(op::kPrintInt, {assembler.IntVar(0)});
  RunWithEnd();
  EXPECT_EQ(output, "0\n");
}

TEST_F(ConsoleTest, PasteImageChecksTheImageNumber) {
  assembler.Op(op::kPasteImage, {assembler.IntConst(7), assembler.IntConst(0), assembler.IntConst(0)});
  assembler.Op(op::kPasteImage, {assembler.IntConst(0), assembler.IntConst(0), assembler.IntConst(0)});
  RunWithEnd();
  EXPECT_NE(std::find(display.calls.begin(), display.calls.end(), "QueuePasteImage 3"), display.calls.end());
  EXPECT_EQ(vm.errors.code, 501);
}

TEST_F(ConsoleTest, PasteImageOfAMissingImageRaises502) {
  assembler.Op(op::kPasteImage, {assembler.IntConst(8), assembler.IntConst(0), assembler.IntConst(0)});
  RunWithEnd();
  EXPECT_EQ(vm.errors.code, 502);
}

TEST_F(ConsoleTest, LastKeyAndEntryBufferReadWhatWasTyped) {
  assembler.Op(op::kWait, {assembler.IntConst(200)});
  assembler.Op(op::kEntryBuffer, {assembler.StringVar(0)});
  assembler.Op(op::kPrintString, {assembler.StringVar(0)});
  assembler.Op(429);
  assembler.Op(op::kEntryBuffer, {assembler.StringVar(0)});
  assembler.Op(op::kPrintString, {assembler.StringVar(0)});
  window.Type("abc", clock.NowMs() + 50);
  RunWithEnd();
  EXPECT_EQ(output, "abc\n\n");
}

TEST_F(ConsoleTest, QuitEndsTheRunWithoutAnError) {
  assembler.Op(op::kQuit);
  assembler.Op(op::kPrintInt, {assembler.IntConst(1)});
  RunWithEnd();
  EXPECT_EQ(output, "");
  EXPECT_EQ(vm.errors.code, 0);
  EXPECT_FALSE(vm.program_ended);
}

TEST_F(ConsoleTest, ShowAndHidePointerInAWindowUseTheSystemCursor) {
  display.SetWindowed(true);
  assembler.Op(253);
  RunWithEnd();
  EXPECT_TRUE(state.window.cursor_shown);
  EXPECT_TRUE(window.CursorShown());
  EXPECT_FALSE(window.Captured());
}

TEST_F(ConsoleTest, PositionPointerMovesTheSystemPointerOverThePicture) {
  display.SetWindowed(true);
  display.picture = {10, 20, 1280, 960, 640, 480};
  assembler.Op(246, {assembler.IntConst(100), assembler.IntConst(50)});
  RunWithEnd();
  EXPECT_EQ(state.input.mouse_x, 100);
  EXPECT_EQ(window.WarpedTo().x, 210);
  EXPECT_EQ(window.WarpedTo().y, 120);
}

}  // namespace
}  // namespace zv
