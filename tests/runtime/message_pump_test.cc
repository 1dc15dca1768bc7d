#include "runtime/message_pump.h"

#include <cctype>
#include <sstream>
#include <string_view>
#include <vector>

#include "runtime/vm/errors.h"
#include "tests/runtime/runtime_fixture.h"

namespace zv {
namespace {

using platform::WindowEvent;
using platform::WindowEventKind;
namespace key = platform::key;
using test::ProgramAssembler;
namespace op = test::op;

constexpr uint32_t kDisableEscape = 900;  // a test command: Escape no longer ends the run
void DisableEscape(Vm& vm) { vm.escape_quits = false; }

class MessagePumpTest : public test::RuntimeTest {
 protected:
  MessagePumpTest() { handlers.Set(kDisableEscape, DisableEscape); }

  // Appends an endless loop of frames.
  void LoopForever() {
    auto top = assembler.NewLabel();
    assembler.Bind(top);
    assembler.Op(op::kSync);
    assembler.Op(op::kJump, {assembler.Target(top)});
  }
  // Prints the milliseconds that pass while `body` runs.
  template <typename Body>
  void PrintElapsed(Body body) {
    assembler.Op(op::kTimer, {assembler.IntVar(0)});
    body();
    assembler.Op(op::kTimer, {assembler.IntVar(1)});
    assembler.Op(91, {assembler.IntVar(2), assembler.IntVar(1), assembler.IntVar(0)});
    assembler.Op(op::kPrintInt, {assembler.IntVar(2)});
  }
  int32_t PrintedInt() { return std::stoi(output); }
};

TEST_F(MessagePumpTest, EscapeEndsTheProgram) {
  LoopForever();
  window.PressKey(key::kEscape, clock.NowMs() + 200, 10);
  Run();
  EXPECT_EQ(vm.errors.code, 0);
  EXPECT_GE(clock.NowMs(), 1200u);
  EXPECT_LT(clock.NowMs(), 1400u);
}

TEST_F(MessagePumpTest, EscapeDoesNothingOnceTheProgramDisabledIt) {
  assembler.Op(kDisableEscape);
  assembler.Op(op::kWait, {assembler.IntConst(500)});
  assembler.Op(op::kPrintString, {assembler.StringConst("still here")});
  assembler.Op(op::kEnd);
  window.PressKey(key::kEscape, clock.NowMs() + 100, 10);
  Run();
  EXPECT_EQ(output, "still here\n");
}

TEST_F(MessagePumpTest, LineInputTakesEditingKeysOneTurnAtATime) {
  assembler.Op(op::kInputInt, {assembler.IntVar(0)});
  assembler.Op(op::kPrintInt, {assembler.IntVar(0)});
  assembler.Op(op::kEnd);
  uint32_t at = clock.NowMs() + 100;
  for (char c : std::string("12\b3x.7\r")) {
    window.Type(std::string(1, c), at);
    at += 100;
  }
  Run();
  // The letter is refused; backspace took the 2; the integer stops at the point.
  EXPECT_EQ(output, "13.7\n13\n");
  ASSERT_FALSE(display.blots.empty());
  EXPECT_EQ(display.blots.front(), "12_");
}

// Letters beyond ASCII are the program's own (Windows-1252 "é", "€").
TEST_F(MessagePumpTest, StringInputIgnoresBackspaceOnAnEmptyLineAndTakesEveryLetter) {
  assembler.Op(op::kInputString, {assembler.StringVar(0)});
  assembler.Op(op::kPrintString, {assembler.StringVar(0)});
  assembler.Op(op::kEnd);
  uint32_t at = clock.NowMs() + 100;
  for (char c : std::string("\bA\xE9 \x80\xFF\r")) {
    window.Type(std::string(1, c), at);
    at += 100;
  }
  Run();
  EXPECT_EQ(output, "A\xE9 \x80\xFF\nA\xE9 \x80\xFF\n");
  EXPECT_TRUE(display.blots.empty());
}

// The line's "_" shows before the first key, where the line will be typed.
TEST_F(MessagePumpTest, EnterAloneGivesZeroOrAnEmptyString) {
  assembler.Op(op::kPrintStringOnLine, {assembler.StringConst("Age? ")});
  assembler.Op(op::kInputFloat, {assembler.FloatVar(0)});
  assembler.Op(op::kPrintFloat, {assembler.FloatVar(0)});
  assembler.Op(op::kEnd);
  window.Type("\r", clock.NowMs() + 100);
  Run();
  EXPECT_EQ(output, "Age? \n0\n");
  ASSERT_GE(display.texts.size(), 3u);
  EXPECT_EQ(display.texts[1].text, "_");
  EXPECT_EQ(display.texts[1].x, display.texts[2].x) << "the empty line is ended where it began";
}

// A hand that types faster than the frames, or that presses the next key
// before letting go of the last: each key's events come between two turns.
// With a gap, one key every `gap_ms`.
void TypeQuickly(platform::HeadlessWindow& window, std::string_view text, uint32_t at, uint32_t gap_ms = 0) {
  for (char c : text) {
    const int k = c == '\r' ? key::kEnter : c == ' ' ? key::kSpace : std::toupper(static_cast<unsigned char>(c));
    window.Post({WindowEventKind::kKeyDown, k}, at);
    window.Post({WindowEventKind::kCharacter, static_cast<uint8_t>(c)}, at);
    window.Post({WindowEventKind::kKeyUp, k}, at);
    at += gap_ms;
  }
}

// Every character typed reaches the line in order, however many come
// between two turns, those typed while the program asked nothing too.
TEST_F(MessagePumpTest, EveryCharacterTypedReachesTheInputLineInOrder) {
  assembler.Op(op::kWait, {assembler.IntConst(300)});
  assembler.Op(op::kInputString, {assembler.StringVar(0)});
  assembler.Op(op::kInputInt, {assembler.IntVar(0)});
  assembler.Op(op::kPrintString, {assembler.StringVar(0)});
  assembler.Op(op::kPrintInt, {assembler.IntVar(0)});
  assembler.Op(op::kEnd);
  TypeQuickly(window, "go ", clock.NowMs() + 100);
  TypeQuickly(window, "take apple\r12\r", clock.NowMs() + 500);
  pump.SetFrameLimit(100);  // a missed key would leave the program waiting
  Run();
  EXPECT_EQ(output, "go take apple\n12\ngo take apple\n12\n");
}

// What the program does between two questions, written after the first.
enum class Between { kNothing, kPrint, kPrompt, kClearScreen, kSync, kFramesOfWork, kWait, kManualRefresh };
constexpr const char* kBetweenNames[] = {"Nothing", "Print", "Prompt", "ClearScreen",
                                         "Sync",    "FramesOfWork", "Wait", "ManualRefresh"};

class TypeaheadTest : public MessagePumpTest, public ::testing::WithParamInterface<std::tuple<Between, uint32_t>> {
 protected:
  void WriteBetween(Between between) {
    switch (between) {
      case Between::kNothing: break;
      case Between::kPrint: assembler.Op(op::kPrintString, {assembler.StringConst("thanks")}); break;
      case Between::kPrompt: assembler.Op(op::kPrintStringOnLine, {assembler.StringConst("second? ")}); break;
      case Between::kClearScreen: assembler.Op(op::kClearScreen); break;
      case Between::kSync: assembler.Op(op::kSync); break;
      case Between::kFramesOfWork:
        for (int frame = 0; frame < 8; ++frame) {
          assembler.Op(op::kDot, {assembler.IntConst(frame), assembler.IntConst(0)});
          assembler.Op(op::kSync);
        }
        break;
      case Between::kWait: assembler.Op(op::kWait, {assembler.IntConst(150)}); break;
      case Between::kManualRefresh:
        assembler.Op(op::kManualRefresh);
        assembler.Op(op::kPrintString, {assembler.StringConst("thanks")});
        assembler.Op(op::kSync);
        break;
    }
  }
};

// Whatever the program does between two questions, answers typed ahead at
// any pace each reach their own question, whole, in order and once.
TEST_P(TypeaheadTest, AnswersTypedAheadReachTheirOwnQuestions) {
  const auto [between, gap_ms] = GetParam();
  for (int question = 0; question < 3; ++question) {
    assembler.Op(op::kInputString, {assembler.StringVar(question)});
    WriteBetween(between);
  }
  assembler.Op(op::kPrintString, {assembler.StringConst("answers:")});
  for (int question = 0; question < 3; ++question) assembler.Op(op::kPrintString, {assembler.StringVar(question)});
  assembler.Op(op::kEnd);
  TypeQuickly(window, "first\rsecond\rthird\r", clock.NowMs() + 100, gap_ms);
  pump.SetFrameLimit(300);  // a lost Enter would leave a question waiting
  Run();
  EXPECT_TRUE(output.ends_with("answers:\nfirst\nsecond\nthird\n")) << output;
}

INSTANTIATE_TEST_SUITE_P(EveryPaceAndInterlude, TypeaheadTest,
                         ::testing::Combine(::testing::Values(Between::kNothing, Between::kPrint, Between::kPrompt,
                                                              Between::kClearScreen, Between::kSync,
                                                              Between::kFramesOfWork, Between::kWait,
                                                              Between::kManualRefresh),
                                            ::testing::Values(0u, 5u, 20u, 40u, 100u)),
                         [](const auto& info) {
                           return std::string(kBetweenNames[static_cast<int>(std::get<0>(info.param))]) + "_" +
                                  std::to_string(std::get<1>(info.param)) + "ms";
                         });

struct HeldKey {
  int key;
  uint8_t c;
  bool ended_while_held;  // another event ends the wait before the key is let go
};

class HeldKeyTest : public MessagePumpTest, public ::testing::WithParamInterface<HeldKey> {};

// A key held at `wait key` answers that wait alone: its repeats, while the
// wait sees it let go or after another event has ended the wait, answer
// none of the questions after it.
TEST_P(HeldKeyTest, AnswersTheWaitAlone) {
  const HeldKey held = GetParam();
  assembler.Op(op::kWaitKey);
  assembler.Op(op::kInputString, {assembler.StringVar(0)});
  assembler.Op(op::kInputString, {assembler.StringVar(1)});
  assembler.Op(op::kPrintString, {assembler.StringVar(0)});
  assembler.Op(op::kPrintString, {assembler.StringVar(1)});
  assembler.Op(op::kEnd);
  window.Post({WindowEventKind::kKeyDown, held.key}, 1100);
  window.Post({WindowEventKind::kCharacter, held.c}, 1100);
  if (held.ended_while_held) window.Post({WindowEventKind::kMouseMove, 5, 5, 5, 5}, 1200);
  for (uint32_t at = 1600; at < 2100; at += 33) {
    window.Post({WindowEventKind::kKeyDown, held.key, 1}, at);
    window.Post({WindowEventKind::kCharacter, held.c}, at);
  }
  window.Post({WindowEventKind::kKeyUp, held.key}, 2100);
  TypeQuickly(window, "bob\rann\r", 2200, 40);
  pump.SetFrameLimit(300);
  Run();
  EXPECT_EQ(output, "bob\nann\nbob\nann\n");
}

INSTANTIATE_TEST_SUITE_P(ReturnAndSpace, HeldKeyTest,
                         ::testing::Values(HeldKey{key::kEnter, 13, false}, HeldKey{key::kSpace, ' ', false},
                                           HeldKey{key::kEnter, 13, true}, HeldKey{key::kSpace, ' ', true}),
                         [](const auto& info) {
                           return std::string(info.param.key == key::kEnter ? "Return" : "Space") +
                                  (info.param.ended_while_held ? "HeldPastTheWait" : "LetGoDuringTheWait");
                         });

// A flood of keys neither grows memory without bound nor hangs the run: a
// paste of 70,000 characters and a key held for 10 s each end their line,
// which keeps its first 4,096 characters (the held key typed 305); the
// entry buffer keeps the newest 65,536 characters.
TEST_F(MessagePumpTest, AFloodOfKeysStaysBoundedAndItsLineStillEnds) {
  assembler.Op(op::kInputString, {assembler.StringVar(0)});
  assembler.Op(op::kInputString, {assembler.StringVar(1)});
  assembler.Op(op::kPrintString, {assembler.StringVar(0)});
  assembler.Op(op::kPrintString, {assembler.StringVar(1)});
  assembler.Op(op::kEnd);
  window.Type(std::string(70000, 'x') + "\r", clock.NowMs() + 100);
  uint32_t at = clock.NowMs() + 1000;
  window.Post({WindowEventKind::kKeyDown, 'Y'}, at);
  window.Post({WindowEventKind::kCharacter, 'y'}, at);
  for (const uint32_t end = at + 10000; at < end; at += 33) {
    window.Post({WindowEventKind::kKeyDown, 'Y', 1}, at);
    window.Post({WindowEventKind::kCharacter, 'y'}, at);
  }
  window.Post({WindowEventKind::kKeyUp, 'Y'}, at);
  TypeQuickly(window, "\r", at + 50);
  pump.SetFrameLimit(1000);
  Run();
  EXPECT_TRUE(output.ends_with("\n" + std::string(4096, 'x') + "\n" + std::string(305, 'y') + "\n"));
  EXPECT_LT(pump.FramesPresented(), 1000u) << "the run ended by itself";
  EXPECT_EQ(state.console.entry_buffer.size(), ConsoleState::kEntryBufferLimit);
  EXPECT_EQ(state.console.entry_buffer.back(), '\r');
}

TEST_F(MessagePumpTest, WaitKeyEndsOnAKeyShorterThanAFrame) {
  PrintElapsed([&] { assembler.Op(op::kWaitKey); });
  assembler.Op(op::kEnd);
  TypeQuickly(window, "a", clock.NowMs() + 300);
  pump.SetFrameLimit(100);
  Run();
  EXPECT_GE(PrintedInt(), 300);
  EXPECT_LE(PrintedInt(), 350);
}

// Taps quicker than the waits come round each end one `wait key`: the taps
// that arrive while one wait sees its key let go answer the waits after it,
// whether they all come between two turns or 20 ms apart, and the line typed
// after them still reaches `input`. A key held until it repeats is one tap.
TEST_F(MessagePumpTest, EveryQuickTapEndsOneWaitKey) {
  const std::vector<uint32_t> gaps_ms = {0, 20};
  uint32_t at = clock.NowMs() + 100;
  for (size_t i = 0; i < gaps_ms.size(); ++i) {
    for (int wait = 0; wait < 5; ++wait) assembler.Op(op::kWaitKey);
    assembler.Op(op::kInputString, {assembler.StringVar(0)});
    for (char tap : std::string_view("abcde")) {
      TypeQuickly(window, std::string_view(&tap, 1), at);
      at += gaps_ms[i];
    }
    TypeQuickly(window, std::to_string(i) + "\r", at);
    at += 1000;
  }
  for (int wait = 0; wait < 2; ++wait) assembler.Op(op::kWaitKey);
  assembler.Op(op::kInputString, {assembler.StringVar(0)});
  window.Post({WindowEventKind::kKeyDown, 'H'}, at);
  window.Post({WindowEventKind::kCharacter, 'h'}, at);
  for (int repeat = 1; repeat <= 10; ++repeat) {
    window.Post({WindowEventKind::kKeyDown, 'H', 1}, at + 500 + 40 * repeat);
    window.Post({WindowEventKind::kCharacter, 'h'}, at + 500 + 40 * repeat);
  }
  window.Post({WindowEventKind::kKeyUp, 'H'}, at + 1000);
  TypeQuickly(window, "x", at + 1020);
  TypeQuickly(window, "2\r", at + 1040);
  assembler.Op(op::kEnd);
  pump.SetFrameLimit(250);  // a tap lost would leave a wait for ever
  Run();
  EXPECT_EQ(output, "0\n1\n2\n");
}

TEST_F(MessagePumpTest, WaitEndsOnTheFirstTurnAfterItsTime) {
  PrintElapsed([&] { assembler.Op(op::kWait, {assembler.IntConst(500)}); });
  assembler.Op(op::kEnd);
  Run();
  EXPECT_GT(PrintedInt(), 500);
  EXPECT_LE(PrintedInt(), 550);  // within two frames of 25 ms
}

TEST_F(MessagePumpTest, WaitSurvivesTheWrapOfTheClock) {
  clock.Set(0xFFFFFF00u);  // 256 ms before the wrap
  PrintElapsed([&] { assembler.Op(op::kWait, {assembler.IntConst(1000)}); });
  assembler.Op(op::kEnd);
  Run();
  EXPECT_GT(PrintedInt(), 1000);
  EXPECT_LE(PrintedInt(), 1050);
}

TEST_F(MessagePumpTest, WaitOfZeroLastsUntilTheClockMoves) {
  vm.frame_time = 0;
  assembler.Op(op::kFrameRate, {assembler.IntConst(0)});
  PrintElapsed([&] { assembler.Op(op::kWait, {assembler.IntConst(0)}); });
  assembler.Op(op::kEnd);
  Run();
  EXPECT_GE(PrintedInt(), 1);
  EXPECT_LE(PrintedInt(), 2);
}

TEST_F(MessagePumpTest, WaitKeyWaitsForAKeyToBePressedAndLetGo) {
  PrintElapsed([&] { assembler.Op(op::kWaitKey); });
  assembler.Op(op::kEnd);
  window.PressKey('A', clock.NowMs() + 300, 100);
  Run();
  EXPECT_GE(PrintedInt(), 400);
  EXPECT_LE(PrintedInt(), 450);
}

// A click ends the wait once the button is up again, a click quicker than
// a frame too (its press and release come between two turns), in a window
// and in full screen (where the devices, not the window, tell which
// buttons are held); a second wait needs a click of its own.
TEST_F(MessagePumpTest, WaitMouseWaitsForAButtonToBePressedAndLetGo) {
  struct Case {
    bool windowed;
    uint32_t held_ms;
  };
  for (const Case c : {Case{true, 100}, Case{true, 0}, Case{false, 0}}) {
    SCOPED_TRACE(std::string(c.windowed ? "windowed" : "full screen") + ", held " + std::to_string(c.held_ms));
    output.clear();
    assembler = ProgramAssembler();
    display.SetWindowed(c.windowed);
    for (int wait = 0; wait < 2; ++wait) {
      assembler.Op(op::kWaitMouse);
      assembler.Op(op::kTimer, {assembler.IntVar(0)});
      assembler.Op(op::kPrintInt, {assembler.IntVar(0)});
    }
    assembler.Op(op::kEnd);
    const uint32_t start = clock.NowMs();
    window.Click(platform::mouse_button::kLeft, 10, 10, start + 200, c.held_ms);
    window.Click(platform::mouse_button::kRight, 10, 10, start + 1000, c.held_ms);
    pump.SetFrameLimit(200);
    Run();
    std::istringstream lines(output);
    int64_t first = 0, second = 0;
    ASSERT_TRUE(lines >> first >> second) << output;
    EXPECT_NEAR(first - start, 200 + c.held_ms + 15, 15);
    EXPECT_NEAR(second - start, 1000 + c.held_ms + 15, 15);
  }
}

TEST_F(MessagePumpTest, FramesArePacedByTheFrameRate) {
  assembler.Op(op::kFrameRate, {assembler.IntConst(20)});  // 50 ms a frame
  assembler.Op(op::kSync);
  PrintElapsed([&] {
    for (int i = 0; i < 10; ++i) assembler.Op(op::kSync);
  });
  assembler.Op(op::kEnd);
  Run();
  EXPECT_EQ(PrintedInt(), 500);
}

TEST_F(MessagePumpTest, TheFrameTimeOnlyPacesTheProgramsOwnFrames) {
  assembler.Op(op::kFrameRate, {assembler.IntConst(20)});  // 50 ms a frame
  assembler.Op(op::kSync);
  assembler.Op(op::kSync);
  assembler.Op(op::kEnd);
  const uint32_t start = clock.NowMs();
  Run();
  // The second sync's frame waits 50 ms for the first; the first does not
  // wait for the start's frame, nor the end's frame for one to follow it.
  EXPECT_EQ(clock.NowMs() - start, 50u);
  EXPECT_EQ(pump.FramesPresented(), 4u);  // the reset's, the syncs' and the last
}

TEST_F(MessagePumpTest, FrameRateZeroStillAdvancesAtMostOneFramePerTick) {
  assembler.Op(op::kFrameRate, {assembler.IntConst(0)});
  assembler.Op(op::kSync);
  PrintElapsed([&] {
    for (int i = 0; i < 10; ++i) assembler.Op(op::kSync);
  });
  assembler.Op(op::kEnd);
  Run();
  EXPECT_EQ(PrintedInt(), 10);
}

TEST_F(MessagePumpTest, DrawingYieldsWithAutomaticRefreshOnly) {
  for (int i = 0; i < 3; ++i) assembler.Op(op::kDot, {assembler.IntConst(1), assembler.IntConst(1)});
  assembler.Op(op::kManualRefresh);
  for (int i = 0; i < 3; ++i) assembler.Op(op::kDot, {assembler.IntConst(1), assembler.IntConst(1)});
  assembler.Op(op::kSync);
  assembler.Op(op::kEnd);
  Run();
  // One frame for the reset's yield, one per automatic dot, one for the
  // switch to manual refresh and one for the sync; the end stops the run
  // before the frame of its own turn.
  EXPECT_EQ(pump.FramesPresented(), 1u + 3u + 1u + 1u + 1u);
}

TEST_F(MessagePumpTest, EachTurnRunsTheDrawQueueBeforeTheSliceAndPresentsAfterIt) {
  assembler.Op(op::kSync);
  assembler.Op(op::kEnd);
  Run();
  ASSERT_GE(display.calls.size(), 2u);
  EXPECT_EQ(display.calls[0], "RunDrawQueue");
  EXPECT_EQ(display.calls[1], "DrawSprites");
}

TEST_F(MessagePumpTest, AFaultOutsideTheCommandsEndsTheRunAsOneInsideThemDoes) {
  LoopForever();
  display.draw_queue_runs_out_of_memory = true;
  Run();
  EXPECT_EQ(vm.errors.code, error_code::kOutOfMemory);
  EXPECT_EQ(display.presents, 0);
}

TEST_F(MessagePumpTest, FrameLimitEndsTheRunAfterTheProgramsOwnFrames) {
  LoopForever();
  pump.SetFrameLimit(5);
  Run();
  // The reset's frame, then five of the program's.
  EXPECT_EQ(pump.FramesPresented(), 1u + 5u);
  EXPECT_EQ(display.presents, 1 + 5);
}

TEST_F(MessagePumpTest, AQuitTakenWhileDrainingIsPostedAgain) {
  window.Post({WindowEventKind::kPaint});
  host.PostQuit();
  state.window.drain_counter = MessagePump::kDrainInterval;
  pump.PumpMessagesSometimes();
  EXPECT_EQ(window.PendingEvents(), 0u);
  EXPECT_TRUE(host.QuitPending());
}

TEST_F(MessagePumpTest, AQuitLeftFromBeforeTheRunDoesNotEndIt) {
  host.PostQuit();
  assembler.Op(op::kPrintString, {assembler.StringConst("ran")});
  assembler.Op(op::kEnd);
  Run();
  EXPECT_EQ(output, "ran\n");
}

TEST_F(MessagePumpTest, AnInactiveFullScreenProgramPausesUntilActivated) {
  assembler.Op(op::kSync);
  PrintElapsed([&] { assembler.Op(op::kSync); });
  assembler.Op(op::kEnd);
  // The first timer is read at once, the second after the second sync's
  // frame of 25 ms.
  window.Post({WindowEventKind::kDeactivate}, clock.NowMs() + 10);
  window.Post({WindowEventKind::kActivate}, clock.NowMs() + 1010);
  Run();
  EXPECT_GE(PrintedInt(), 1000);
  EXPECT_NE(std::find(services.log.begin(), services.log.end(), "Sound.PauseAllMusic"), services.log.end());
  EXPECT_NE(std::find(services.log.begin(), services.log.end(), "Sound.ResumeAllSounds"), services.log.end());
}

TEST_F(MessagePumpTest, AnAlwaysActiveProgramKeepsRunningButStopsDrawing) {
  state.window.always_active = true;
  pump.MainWindowProc({WindowEventKind::kDeactivate});
  EXPECT_TRUE(vm.app_active);
  EXPECT_FALSE(state.window.drawing_enabled);
  EXPECT_TRUE(services.log.empty());
}

TEST_F(MessagePumpTest, SystemCommandsOtherThanCloseAreSwallowedInFullScreen) {
  pump.MainWindowProc({WindowEventKind::kSystemCommand, 0xF100});
  EXPECT_FALSE(host.QuitPending());
  pump.MainWindowProc({WindowEventKind::kSystemCommand, platform::kCloseCommand});
  EXPECT_TRUE(host.QuitPending());
}

TEST_F(MessagePumpTest, ClosingTheWindowEndsTheRun) {
  LoopForever();
  window.Post({WindowEventKind::kClose}, clock.NowMs() + 100);
  Run();
  EXPECT_EQ(vm.errors.code, 0);
}

TEST_F(MessagePumpTest, CharactersCollectInTheEntryBuffer) {
  pump.MainWindowProc({WindowEventKind::kCharacter, 'h'});
  pump.MainWindowProc({WindowEventKind::kCharacter, 'i'});
  EXPECT_EQ(state.console.entry_buffer, "hi");
  EXPECT_EQ(state.console.last_key_char, 'i');
  pump.MainWindowProc({WindowEventKind::kPaint});
  EXPECT_EQ(state.console.last_key_char, 0);
}

TEST_F(MessagePumpTest, MouseFollowsThePictureInAWindowOnly) {
  pump.MainWindowProc({WindowEventKind::kMouseMove, 0, 0, 100, 50});
  EXPECT_EQ(state.input.mouse_x, 320);  // full screen: the input poll keeps it
  display.SetWindowed(true);
  display.picture = {20, 10, 640, 480, 640, 480};
  pump.MainWindowProc({WindowEventKind::kMouseMove, 0, 0, 100, 50});
  EXPECT_EQ(state.input.mouse_x, 80);
  EXPECT_EQ(state.input.mouse_y, 40);
  pump.MainWindowProc({WindowEventKind::kMouseDown, platform::mouse_button::kRight, 0, 100, 50});
  EXPECT_EQ(state.input.mouse_buttons, 2);
  EXPECT_EQ(state.input.click_state, 2);
  pump.MainWindowProc({WindowEventKind::kMouseUp, platform::mouse_button::kRight, 0, 100, 50});
  EXPECT_EQ(state.input.mouse_buttons, 0);
}

TEST(MapToPicture, UndoesThePicturesPlaceAndScale) {
  // A 640x480 display shown at twice its size, 40 pixels from the left.
  const PictureArea picture{40, 0, 1280, 960, 640, 480};
  int32_t x = 0, y = 0;
  MapToPicture(picture, 40 + 200, 100, &x, &y);
  EXPECT_EQ(x, 100);
  EXPECT_EQ(y, 50);
  MapToPicture(picture, 39, 0, &x, &y);
  EXPECT_EQ(x, -1);  // left of the picture stays left of it
}

}  // namespace
}  // namespace zv
