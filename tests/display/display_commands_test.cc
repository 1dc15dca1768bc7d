#include <cstring>

#include "tests/display/display_fixture.h"

namespace zv::test {
namespace {

namespace op = display_opcode;

class DisplayCommands : public DisplayTest {
 protected:
  void SetUp() override { Start(); }

  // Runs the ops assembled so far, then the end command.
  void RunProgram() {
    assembler.Op(kEndOp);
    Run();
  }
  uint32_t IntResult(int i) { return assembler.IntVar(i); }
};

TEST_F(DisplayCommands, ChecklistOfModesListsSixteenBitsAndMore) {
  assembler.Op(op::kChecklistDisplayModes);
  RunProgram();
  const Checklist& list = vm.checklist;
  EXPECT_TRUE(list.made);
  EXPECT_TRUE(list.values_valid);
  EXPECT_TRUE(list.texts_valid);
  // Eleven sizes, 1024x768 (the desktop) among them, by 16, 24, 32.
  ASSERT_EQ(list.count, 33);
  EXPECT_EQ(list.entries[19].text, "800x600x24");
  EXPECT_EQ(list.entries[19].a, 800);
  EXPECT_EQ(list.entries[19].b, 600);
  EXPECT_EQ(list.entries[19].c, 24);
}

TEST_F(DisplayCommands, SetDisplayModeChangesWhatTheScreenQueriesAnswer) {
  uint32_t w = IntResult(0), h = IntResult(1), d = IntResult(2), invalid = IntResult(3),
           again = IntResult(4);
  assembler.Op(op::kSetDisplayMode, {I(800), I(600), I(32)});
  assembler.Op(op::kScreenWidth, {w});
  assembler.Op(op::kScreenHeight, {h});
  assembler.Op(op::kScreenDepth, {d});
  assembler.Op(op::kScreenInvalid, {invalid});
  assembler.Op(op::kScreenInvalid, {again});
  RunProgram();
  EXPECT_EQ(vm.errors.code, 0);
  EXPECT_EQ(Int(w), 800);
  EXPECT_EQ(Int(h), 600);
  EXPECT_EQ(Int(d), 32);
  EXPECT_EQ(Int(invalid), 1);
  EXPECT_EQ(Int(again), 0);
  EXPECT_EQ(Back().Width(), 800);
  EXPECT_EQ(display.Surfaces().screen_depth, 32);
}

TEST_F(DisplayCommands, SetDisplayModeChecksDepthBeforeSize) {
  assembler.Op(op::kSetDisplayMode, {I(0), I(480), I(8)});
  RunProgram();
  EXPECT_EQ(vm.errors.code, 1502);
  EXPECT_EQ(Back().Width(), 640);

  vm.errors = ErrorState{};
  vm.program_ended = false;
  assembler = ProgramAssembler();
  assembler.Op(op::kSetDisplayMode, {I(0), I(480), I(16)});
  RunProgram();
  EXPECT_EQ(vm.errors.code, 1501);
}

TEST_F(DisplayCommands, AnUnsupportedModeWarnsAndKeepsTheOldOne) {
  uint32_t w = IntResult(0);
  assembler.Op(op::kSetDisplayMode, {I(700), I(500), I(16)});
  assembler.Op(op::kScreenWidth, {w});
  RunProgram();
  EXPECT_EQ(vm.errors.code, 1503);
  EXPECT_TRUE(vm.errors.warning);
  EXPECT_EQ(display.Surfaces().program_width, 640);
}

TEST_F(DisplayCommands, DisplayModeAvailableMatchesExactly) {
  uint32_t yes = IntResult(0), no = IntResult(1);
  assembler.Op(op::kDisplayModeAvailable, {yes, I(1024), I(768), I(24)});
  assembler.Op(op::kDisplayModeAvailable, {no, I(1024), I(767), I(24)});
  RunProgram();
  EXPECT_EQ(Int(yes), 1);
  EXPECT_EQ(Int(no), 0);

  uint32_t r = IntResult(2);
  assembler = ProgramAssembler();
  assembler.Op(op::kDisplayModeAvailable, {r, I(640), I(480), I(8)});
  RunProgram();
  EXPECT_EQ(vm.errors.code, 1502);
}

TEST_F(DisplayCommands, VideoMemoryFrameRateAndRendererQueries) {
  uint32_t video = IntResult(0), fps = IntResult(1), soft = IntResult(2), tnl = IntResult(3),
           tex = IntResult(4), vid = IntResult(5), sys = IntResult(6);
  assembler.Op(op::kScreenInVideoMemory, {video});
  assembler.Op(op::kScreenFps, {fps});
  assembler.Op(op::kSoftwareRenderer, {soft});
  assembler.Op(op::kTnLInUse, {tnl});
  assembler.Op(op::kFreeTextureMemory, {tex});
  assembler.Op(op::kFreeVideoMemory, {vid});
  assembler.Op(op::kFreeSystemMemory, {sys});
  RunProgram();
  EXPECT_EQ(Int(video), 1);
  EXPECT_EQ(Int(fps), 0);
  EXPECT_EQ(Int(soft), 0);
  EXPECT_EQ(Int(tnl), 0);  // no 3D device yet
  // The two buffers of the flip chain and the z-buffer, each 640x480x16.
  EXPECT_EQ(Int(vid), (256 << 20) - 3 * 640 * 480 * 2);
  EXPECT_EQ(Int(tex), Int(vid));
  EXPECT_GT(Int(sys), 0);
}

TEST_F(DisplayCommands, PixelLockGivesTheBackBufferAsAThirtyTwoBitAddress) {
  uint32_t before = IntResult(0), ptr = IntResult(1), w = IntResult(2), h = IntResult(3),
           d = IntResult(4), pitch = IntResult(5);
  assembler.Op(op::kPixelsPointer, {before});
  assembler.Op(op::kLockPixels);
  assembler.Op(op::kPixelsPointer, {ptr});
  assembler.Op(op::kPixelsWidth, {w});
  assembler.Op(op::kPixelsHeight, {h});
  assembler.Op(op::kPixelsDepth, {d});
  assembler.Op(op::kPixelsPitch, {pitch});
  RunProgram();
  EXPECT_EQ(Int(before), -1);
  EXPECT_NE(Int(ptr), -1);
  EXPECT_EQ(Int(w), 640);
  EXPECT_EQ(Int(h), 480);
  EXPECT_EQ(Int(d), 16);
  EXPECT_EQ(Int(pitch), 1280);
  // What the program writes at the address is on the back buffer.
  auto* pixels = reinterpret_cast<uint8_t*>(static_cast<uintptr_t>(static_cast<uint32_t>(Int(ptr))));
  uint16_t red = 0xF800;
  std::memcpy(pixels + 1280 * 2 + 3 * 2, &red, 2);
  EXPECT_EQ(Back().PixelAt(3, 2), 0xF800u);
  EXPECT_TRUE(Back().IsLocked());

  uint32_t after = IntResult(6), after_pitch = IntResult(7);
  assembler = ProgramAssembler();
  assembler.Op(op::kUnlockPixels);
  assembler.Op(op::kPixelsPointer, {after});
  assembler.Op(op::kPixelsPitch, {after_pitch});
  RunProgram();
  EXPECT_EQ(Int(after), -1);
  EXPECT_EQ(Int(after_pitch), -1);
  EXPECT_FALSE(Back().IsLocked());
}

TEST_F(DisplayCommands, RendererSwitchesRebuildTheDisplay) {
  uint32_t soft = IntResult(0), video = IntResult(1), hard = IntResult(2);
  assembler.Op(op::kUseSoftwareRenderer);
  assembler.Op(op::kSoftwareRenderer, {soft});
  assembler.Op(op::kScreenInVideoMemory, {video});
  assembler.Op(op::kUseHardwareRenderer);
  assembler.Op(op::kSoftwareRenderer, {hard});
  RunProgram();
  EXPECT_EQ(Int(soft), 1);
  EXPECT_EQ(Int(video), 0);
  EXPECT_EQ(Int(hard), 0);
  EXPECT_TRUE(display.Surfaces().flip_chain);
}

TEST_F(DisplayCommands, TnLSwitchesAreKeptForTheDevice) {
  assembler.Op(op::kDisableTnL);
  RunProgram();
  EXPECT_FALSE(display.Device().use_tnl);
  assembler = ProgramAssembler();
  assembler.Op(op::kEnableTnL);
  assembler.Op(op::kEvictManagedTextures);
  RunProgram();
  EXPECT_TRUE(display.Device().use_tnl);
  EXPECT_EQ(vm.errors.code, 0);
}

TEST_F(DisplayCommands, GraphicsCardsAreListedAndChosenByName) {
  uint32_t card = assembler.StringVar(0);
  assembler.Op(op::kChecklistGraphicsCards);
  assembler.Op(op::kSetGraphicsCard, {S(platform::kPrimaryAdapterDescription)});
  assembler.Op(op::kCurrentGraphicsCard, {card});
  RunProgram();
  EXPECT_EQ(vm.checklist.count, 1);
  EXPECT_FALSE(vm.checklist.values_valid);
  EXPECT_EQ(vm.checklist.entries[0].text, platform::kPrimaryAdapterDescription);
  EXPECT_EQ(Str(card), platform::kPrimaryAdapterDescription);
  EXPECT_EQ(vm.errors.code, 0);

  assembler = ProgramAssembler();
  assembler.Op(op::kSetGraphicsCard, {S("No Such Card")});
  RunProgram();
  EXPECT_EQ(vm.errors.code, 9011);
  EXPECT_EQ(display.Device().card_in_use, platform::kPrimaryAdapterDescription);
  EXPECT_NE(display.Surfaces().back_buffer, nullptr);
}

TEST_F(DisplayCommands, AlwaysActiveSwitches) {
  assembler.Op(op::kAlwaysActiveOn);
  RunProgram();
  EXPECT_TRUE(runtime.window.always_active);
  assembler = ProgramAssembler();
  assembler.Op(op::kAlwaysActiveOff);
  RunProgram();
  EXPECT_FALSE(runtime.window.always_active);
}

TEST_F(DisplayCommands, WindowOnAndOff) {
  assembler.Op(op::kWindowOn);
  RunProgram();
  EXPECT_TRUE(display.Layout().windowed);
  EXPECT_EQ(display.Layout().title, "");
  EXPECT_EQ(display.Device().full_screen, 0);
  EXPECT_FALSE(presenter.FullScreen());
  EXPECT_EQ(window.Placement().x, 4);
  EXPECT_EQ(window.Placement().y, 23);
  EXPECT_EQ(window.Placement().width, 640);
  EXPECT_TRUE(window.CursorShown());
  EXPECT_EQ(window.Frame(), (platform::WindowFrame{true, true, false}));  // framed, sizable, no icon
  EXPECT_FALSE(display.Surfaces().flip_chain);  // a window is presented by blitting
  display.PresentFrame();
  EXPECT_EQ(presenter.LastFrame()->Width(), 640);

  assembler = ProgramAssembler();
  assembler.Op(op::kWindowOff);
  RunProgram();
  EXPECT_FALSE(display.Layout().windowed);
  EXPECT_EQ(display.Layout().title, "Zentrovex");
  EXPECT_TRUE(presenter.FullScreen());
  EXPECT_TRUE(display.Surfaces().flip_chain);
  EXPECT_FALSE(window.CursorShown());
  EXPECT_FALSE(window.Frame().border);
}

TEST_F(DisplayCommands, WindowLayoutTitlePositionAndSize) {
  assembler.Op(op::kWindowOn);
  assembler.Op(op::kSetWindowLayout, {I(0), I(1), I(1)});
  assembler.Op(op::kSetWindowTitle, {S("Game")});
  assembler.Op(op::kSetWindowPosition, {I(100), I(50)});
  assembler.Op(op::kSetWindowSize, {I(320), I(240)});
  RunProgram();
  const WindowLayout& w = display.Layout();
  EXPECT_EQ(w.style, window_style::kPopup | window_style::kCaption);
  EXPECT_EQ(w.caption_height, 19);
  EXPECT_TRUE(w.program_icon);
  EXPECT_EQ(window.Frame(), (platform::WindowFrame{true, false, true}));  // a title bar, fixed size
  EXPECT_EQ(window.Title(), "Game");
  EXPECT_EQ(window.Placement().x, 100);
  EXPECT_EQ(window.Placement().y, 50);
  EXPECT_EQ(window.Placement().width, 320);
  EXPECT_EQ(window.Placement().height, 240);
}

TEST_F(DisplayCommands, ShowStates) {
  using Size = platform::HeadlessWindow::SizeState;
  struct Case {
    int opcode;
    int32_t state;
    bool shown;
    Size size;
  };
  for (Case c : {Case{op::kHideWindow, 0, false, Size::kNormal}, Case{op::kShowWindow, 5, true, Size::kNormal},
                 Case{op::kMinimiseWindow, 6, true, Size::kMinimised},
                 Case{op::kMaximiseWindow, 3, true, Size::kMaximised},
                 Case{op::kRestoreWindow, 1, true, Size::kNormal}}) {
    assembler = ProgramAssembler();
    assembler.Op(static_cast<uint32_t>(c.opcode));
    RunProgram();
    EXPECT_EQ(display.Layout().show_state, c.state) << c.opcode;
    EXPECT_EQ(window.Shown(), c.shown) << c.opcode;
    EXPECT_EQ(window.ShownAs(), c.size) << c.opcode;
  }
}

TEST_F(DisplayCommands, WithoutTheDisplayTheCommandsStillReadTheirOperands) {
  vm.display = nullptr;
  uint32_t after = IntResult(0);
  assembler.Op(op::kSetDisplayMode, {I(800), I(600), I(16)});
  assembler.Op(op::kSetWindowTitle, {S("x")});
  assembler.Op(op::kDisplayModeAvailable, {IntResult(1), I(1), I(1), I(16)});
  assembler.Op(151, {after, I(7)});  // an integer assignment after them
  RunProgram();
  EXPECT_EQ(vm.errors.code, 0);
  EXPECT_EQ(Int(after), 7);
}

}  // namespace
}  // namespace zv::test
