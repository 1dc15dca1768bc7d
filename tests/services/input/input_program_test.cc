// Compiled BASIC programs run headless on virtual time with scripted keys,
// mouse and virtual joysticks: the input commands, the console's keyboard
// and mouse commands over the same poll, and the example game steered by a
// held arrow key.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cctype>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

#include "app/all_handlers.h"
#include "compiler/command_table.h"
#include "compiler/compiler.h"
#include "display/display_factory.h"
#include "platform/input/key_numbers.h"
#include "platform/window/headless/headless_window.h"
#include "runtime/console/console_commands.h"
#include "runtime/startup.h"
#include "runtime/vm/opcodes/core_handlers.h"
#include "runtime/vm/program_file.h"
#include "services/files/checklist_commands.h"
#include "services/system/system_commands.h"
#include "tests/display/drawing_run.h"
#include "tests/services/input/input_fixture.h"
#include "tests/support/test_paths.h"

namespace zv {
namespace {

namespace fs = std::filesystem;
namespace scan = platform::scan;
using platform::Axis;

constexpr uint32_t kStart = 1000;  // the clock when a run starts

struct ProgramRun {
  int status = -1;
  std::string printed;
  std::string errors;
};

class InputPrograms : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = fs::temp_directory_path() / ("zv_input_programs_" + std::to_string(getpid()));
    fs::create_directories(folder_);
  }
  void TearDown() override { fs::remove_all(folder_); }

  // Runs compiled `source` with the core, console and input commands.
  ProgramRun Run(const std::string& source) {
    ProgramRun run;
    CompileResult compiled = CompileSource(source);
    if (!compiled.ok) {
      run.errors = FormatCompileError(*compiled.error);
      return run;
    }
    const std::vector<uint8_t> bytes = EncodeProgramFile(compiled.program);
    StartServices services = Services();
    services.register_handlers = [](HandlerTable& table) {
      RegisterCoreHandlers(table);
      RegisterConsoleHandlers(table);
      RegisterInputHandlers(table);
      RegisterChecklistHandlers(table);
      RegisterSystemHandlers(table);
    };
    services.compile = [bytes](const std::string& path, std::string*) {
      std::ofstream out(path, std::ios::binary);
      out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
      return static_cast<bool>(out);
    };
    services.make_display = [this](platform::Window&, Vm& vm) -> std::unique_ptr<DisplayServices> {
      devices.Attach(vm);
      return nullptr;
    };
    services.echo = [&run](std::string_view piece) { run.printed += piece.empty() ? "\n" : std::string(piece); };
    services.error_out = [&run](std::string_view text) { run.errors += std::string(text); };
    run.status = RunRuntime(Options(300), std::move(services));
    return run;
  }

  StartOptions Options(uint32_t frames) {
    StartOptions options;
    options.executable_path = (folder_ / "game").string();
    options.headless = true;
    options.frames = frames;
    options.app_folder = folder_.string() + "/";
    return options;
  }

  StartServices Services() {
    StartServices services;
    services.clock = &clock;
    services.window = &window;
    services.input = &seam;
    services.user_state_folder = folder_.string() + "/";
    return services;
  }

  platform::ManualClock clock{kStart};
  platform::HeadlessWindow window{clock};
  platform::HeadlessInput input{clock};
  InputDevices devices{input};
  test::InputDevicesSeam seam{devices};
  fs::path folder_;
};

TEST_F(InputPrograms, AScriptedKeyPressMakesScancodeReturnItsCode) {
  input.PressKey(scan::kLeft);
  input.PressKey(scan::kA, kStart + 40);
  const ProgramRun run = Run(
      "print scancode()\n"
      "wait 100\n"
      "print scancode(); \" \"; key state(30); \" \"; left key()\n"
      "end\n");
  EXPECT_EQ(run.errors, "");
  EXPECT_EQ(run.printed, "203\n30 1 1\n");
}

TEST_F(InputPrograms, AHeldArrowKeyMovesAValueWhileItIsDown) {
  input.PressKey(scan::kRight, kStart + 100, 200);
  const ProgramRun run = Run(
      "sync on\n"
      "x = 0\n"
      "for i = 1 to 30\n"
      "  if right key() = 1 then x = x + 1\n"
      "  if left key() = 1 then x = x - 100\n"
      "  sync\n"
      "next i\n"
      "print x; \" \"; right key()\n"
      "end\n");
  ASSERT_EQ(run.errors, "");
  // 200 ms at a frame every 25 ms.
  EXPECT_EQ(run.printed, "8 0\n");
}

TEST_F(InputPrograms, TheMouseCommandsReadWhatThePollFound) {
  input.MoveMouse(-1000, 20, -120, kStart + 10);
  input.PressMouseButton(1, kStart + 10);
  const ProgramRun run = Run(
      "wait 50\n"
      "print mouse x(); \" \"; mouse y(); \" \"; mouse z(); \" \"; mouse move z(); \" \"; mouse click()\n"
      "end\n");
  EXPECT_EQ(run.errors, "");
  EXPECT_EQ(run.printed, "0 260 0 -120 2\n");
}

TEST_F(InputPrograms, JoystickAndForceFeedbackCommandsRunFromSource) {
  platform::VirtualJoystick& wheel = input.AttachJoystick({.name = "Wheel", .force_feedback = true});
  wheel.SetAxis(Axis::kX, 1.0);
  wheel.SetButton(0, true);
  wheel.SetHat(0, 18000);
  const ProgramRun run = Run(
      "print joystick x(); \" \"; joystick right(); \" \"; joystick button 0(); \" \"; joystick hat angle(0)\n"
      "print joystick slider 0(); \" \"; joystick pov 1(); \" \"; joystick button state(1)\n"
      "set control device \"Wheel\"\n"
      "print control device name$()\n"
      "force angle 50, 90, 1500\n"
      "force periodic 50 ms 30, 500\n"
      "force damper 10, 0\n"
      "force stop all\n"
      "force auto center on\n"
      "end\n");
  ASSERT_EQ(run.errors, "");
  EXPECT_EQ(run.printed, "1000 1 1 18000\n0 -1 0\nWheel\n");
  // Made at the selection, then the angled push, the vibration and both
  // halves of the damper updated, then the ten stopped.
  int updates = 0, stops = 0;
  for (const platform::EffectCall& call : wheel.EffectCalls()) {
    updates += call.kind == platform::EffectCall::Kind::kUpdate;
    stops += call.kind == platform::EffectCall::Kind::kStop;
  }
  EXPECT_EQ(updates, 4);
  EXPECT_EQ(stops, 10);
  EXPECT_EQ(wheel.AutoCenter(), true);
  EXPECT_EQ(wheel.LiveEffects(), 0) << "the effects end with the display";
}

TEST_F(InputPrograms, AForceCommandWithoutADeviceEndsTheRunWithItsError) {
  const ProgramRun run = Run("force up 50\nprint 1\nend\n");
  EXPECT_EQ(run.status, kExitRuntimeError);
  EXPECT_NE(run.errors.find("No force-feedback device selected"), std::string::npos) << run.errors;
  EXPECT_EQ(run.printed, "");
}

TEST_F(InputPrograms, TheNamedKeysAndATypedKeyReadFromSource) {
  for (uint8_t key : {scan::kRightControl, scan::kLeftShift, scan::kEnter, scan::kSpace, scan::kUp, scan::kDown})
    input.PressKey(key, kStart + 100, 200);
  window.PressKey('Q', kStart + 600, 60);
  const ProgramRun run = Run(
      "sync on\n"
      "print control key(); shift key(); return key(); space key(); up key(); down key()\n"
      "wait 150\n"
      "print control key(); shift key(); return key(); space key(); up key(); down key()\n"
      "print key state(28) = return key(); key state(300); key state(-1)\n"
      "wait 200\n"
      "print control key(); shift key(); return key(); space key(); up key(); down key()\n"
      "print \"[\" + inkey$() + \"]\"\n"
      "wait key\n"
      "print timer() >= 1660; \" [\" + inkey$() + \"]\"\n"
      "end\n");
  ASSERT_EQ(run.errors, "");
  // The wait sees the typed key (at 1600) and goes on once it is let go.
  EXPECT_EQ(run.printed, "000000\n111111\n100\n000000\n[]\n1 []\n");
}

// A key as a finger holds it from `at` ms for `held_ms`: the keyboard
// state and the window's events both show it, its character (if it types
// one) coming with its key down.
void Hold(platform::HeadlessInput& input, platform::HeadlessWindow& window, uint8_t scan_code, uint32_t at,
          uint32_t held_ms) {
  const int key_number = platform::KeyNumberOfScanCode(scan_code);
  const int character = key_number == ' ' || std::isalnum(key_number) ? std::tolower(key_number)
                                                                       : platform::ControlCharacterOfKey(key_number);
  window.Post({platform::WindowEventKind::kKeyDown, key_number}, at);
  if (character != 0) window.Post({platform::WindowEventKind::kCharacter, character}, at);
  window.Post({platform::WindowEventKind::kKeyUp, key_number}, at + held_ms);
  input.PressKey(scan_code, at, held_ms);
}

// What an input line takes: of what was typed before it began, the lines
// holding a character of play are dropped whole, the unfinished rest too;
// then comes what is typed after it began. The line keeps the characters
// from the space up.
std::string Answer(const std::vector<std::pair<char, bool>>& before, const std::string& after) {
  std::string line;
  bool play = false;
  const auto take = [&](char c, bool of_play) {
    play = play || of_play;
    if (c != '\r') {
      if (static_cast<unsigned char>(c) >= 32) line += c;
      return false;
    }
    if (!play) return true;
    line.clear();
    play = false;
    return false;
  };
  for (const auto& [c, of_play] : before)
    if (take(c, of_play)) return line;
  if (play) line.clear();
  play = false;
  for (const char c : after)
    if (take(c, false)) return line;
  return "(none)";
}

// A function for a key reads that key only: a line typed while the key it
// looks at is held is play, is dropped whole and waits to be typed again,
// while a line typed with another key held answers. Every key function of
// the command table (the keys by name, `key state()`, `scancode()`,
// `inkey$()`, `entry$()`) is tried, and every other function of these
// families reads no key.
TEST_F(InputPrograms, EveryKeyFunctionReadsItsOwnKeyOnly) {
  // The key each function reads; `key state()` is asked for A, and A is
  // the key `scancode()` and `inkey$()` find.
  const std::map<std::string, uint8_t> kKeyOf = {
      {"up key", scan::kUp},       {"down key", scan::kDown},          {"left key", scan::kLeft},
      {"right key", scan::kRight}, {"control key", scan::kLeftControl}, {"shift key", scan::kLeftShift},
      {"return key", scan::kEnter}, {"space key", scan::kSpace},       {"escape key", scan::kEscape},
      {"key state", scan::kA},     {"scancode", scan::kA},             {"inkey$", scan::kA},
      {"entry$", scan::kA}};
  const auto reads_keys = [](const std::string& name) {
    return name.ends_with(" key") || name.starts_with("key ") || name == "scancode" || name == "inkey$" ||
           name == "entry$";
  };
  HandlerTable handlers;
  RegisterConsoleHandlers(handlers);
  RegisterInputHandlers(handlers);
  input.AttachJoystick({.name = "Pad"});
  int key_functions = 0;
  for (const CommandEntry& row : CommandTable::Builtin().Functions()) {
    if (!handlers.Get(static_cast<uint32_t>(row.code))) continue;
    const bool reader = reads_keys(row.name);
    key_functions += reader;
    const auto key = kKeyOf.find(row.name);
    ASSERT_EQ(key != kKeyOf.end(), reader) << row.name << ": a key function without its key here, or the reverse";
    // Its own key held, and a key it does not read (A, or X where A is its own).
    std::vector<uint8_t> held = {reader ? key->second : scan::kA};
    if (reader && row.name.ends_with(" key")) held.push_back(scan::kA);
    if (row.name == "key state") held.push_back(scan::kX);
    std::string call = std::string(row.signature[0] == 's' ? "v$" : row.signature[0] == 'f' ? "v#" : "v") + " = " +
                       row.name + "(";
    for (size_t i = 1; i < row.signature.size(); ++i)
      call += std::string(i > 1 ? ", " : "") +
              (row.signature[i] == 's' ? "\"\"" : row.name == "key state" ? std::to_string(scan::kA) : "0");
    call += ")";
    for (const uint8_t scan_code : held) {
      SCOPED_TRACE(call + " with scan code " + std::to_string(scan_code) + " held");
      // "b", then the key held over the call and the question's start;
      // "ok" once the question has begun.
      const uint32_t at = clock.NowMs();
      window.Type("b", at + 50);
      Hold(input, window, scan_code, at + 100, 500);
      window.Type("ok\r", at + 900);
      const bool read = reader && scan_code == key->second;
      const int number = platform::KeyNumberOfScanCode(scan_code);
      const char own = number == ' ' || std::isalnum(number) ? static_cast<char>(std::tolower(number))
                                                             : static_cast<char>(platform::ControlCharacterOfKey(number));
      std::vector<std::pair<char, bool>> before = {{'b', read && row.name == "entry$"}};
      if (own != 0) before.push_back({own, read});
      const ProgramRun run = Run("disable escape key\nset control device \"Pad\"\nwait 300\n" + call +
                                 "\ninput a$\nprint \"[\" + a$ + \"]\"\nend\n");
      ASSERT_EQ(run.errors, "");
      EXPECT_TRUE(run.printed.ends_with("[" + Answer(before, "ok\r") + "]\n")) << run.printed;
      clock.Advance(1000);  // past every key of this run
    }
  }
  EXPECT_EQ(key_functions, static_cast<int>(kKeyOf.size()));
}

// A key pressed as a finger presses it, `at` ms after `start` for
// `held_ms`: the keyboard state and the window's events both show it.
struct FingerPress {
  char c;  // a small letter, a space or Return
  uint32_t at;
  uint32_t held_ms;
};

// A letter beyond ASCII comes alone, as a dead key or a compose sequence
// gives it.
void Press(platform::HeadlessInput& input, platform::HeadlessWindow& window, uint32_t start, const FingerPress& p) {
  const int key_number = p.c == '\r' ? platform::key::kEnter : std::toupper(static_cast<unsigned char>(p.c));
  int scan_code = 1;
  while (scan_code < 256 && platform::KeyNumberOfScanCode(static_cast<uint8_t>(scan_code)) != key_number) ++scan_code;
  if (scan_code < 256) window.Post({platform::WindowEventKind::kKeyDown, key_number}, start + p.at);
  window.Post({platform::WindowEventKind::kCharacter, static_cast<uint8_t>(p.c)}, start + p.at);
  if (scan_code == 256) return;
  window.Post({platform::WindowEventKind::kKeyUp, key_number}, start + p.at + p.held_ms);
  input.PressKey(static_cast<uint8_t>(scan_code), start + p.at, p.held_ms);
}

// Typing from `from` ms on: a key every `gap_ms`, each let go half way to
// the next.
std::vector<FingerPress> Typed(std::string_view text, uint32_t from, uint32_t gap_ms) {
  std::vector<FingerPress> presses;
  for (size_t i = 0; i < text.size(); ++i)
    presses.push_back({text[i], from + static_cast<uint32_t>(i) * gap_ms, gap_ms / 2 + 1});
  return presses;
}

// Return at 200 ms, held `held_ms` as a finger holds it, and from `from` ms
// after it the name, a key every `gap_ms`; the name's own Return comes once
// the finger is off the first, 100 ms or more after it.
std::vector<FingerPress> ReturnThenName(std::string_view name, uint32_t gap_ms, uint32_t held_ms, uint32_t from = 40) {
  std::vector<FingerPress> presses = {{'\r', 200, held_ms}};
  uint32_t at = 200 + from;
  for (const char c : name) {
    presses.push_back({c, at, gap_ms / 2 + 1});
    at += gap_ms;
  }
  presses.push_back({'\r', std::max(at, 200 + held_ms + 100), gap_ms / 2 + 1});
  return presses;
}

std::vector<FingerPress> operator+(std::vector<FingerPress> a, const std::vector<FingerPress>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

// Two questions with what a program does between them, at every pace. A
// line typed before a question answers it whole, however long ago, unless
// the program read one of its keys (a key function found it down, or
// `scancode()`, `inkey$()`, `entry$()` or `wait key` gave it): then it was
// play, answers nothing, and waits to be typed again. A look at one key
// reads that key only. The Return that ends a loop on `return key()` or
// `inkey$()` answers nothing, and the name typed once the loop saw it (or,
// with a loop for its release after, saw it let go) arrives whole.
TEST_F(InputPrograms, TheQuestionsTakeWholeLinesTypedAheadAndNoPlay) {
  struct Idiom {
    const char* source;
    std::function<std::vector<FingerPress>(uint32_t gap_ms)> typing;
    const char* answers;
  };
  const Idiom kIdioms[] = {
      {"input a$\nwait 1500\ninput b$\n", [](uint32_t gap_ms) { return Typed("go\rlook at the door\r", 200, gap_ms); },
       "[go][look at the door]"},
      {"input a$\nfor f = 1 to 80\nsync\nnext f\ninput b$\n",
       [](uint32_t gap_ms) { return Typed("a\r", 200, gap_ms) + Typed("bob\r", 400 + 2 * gap_ms, gap_ms); },
       "[a][bob]"},
      // The P held for frames, the loop finds it: its line is play.
      {"input a$\nt = timer()\nrepeat\nif key state(25) = 1 then paused = 1\nsync\nuntil timer() - t > 2500\ninput b$\n",
       [](uint32_t g) {
         return Typed("go\ro", 200, g) + std::vector<FingerPress>{{'p', 200 + 4 * g, 100}} +
                Typed("en the trap\r", 200 + 5 * g, g) + Typed("up\r", 3500, g);
       },
       "[go][up]"},
      // "cd" tapped while the Return that answered the first question is
      // held: the loop finds the Return only, the lowest key held.
      {"input a$\nwhile scancode() <> 0\nsync\nendwhile\ninput b$\n",
       [](uint32_t g) {
         return Typed("ab", 200, g) + std::vector<FingerPress>{{'\r', 200 + 2 * g, 300}} +
                Typed("cd", 250 + 2 * g, g) + Typed("ef\r", 1500, g);
       },
       "[ab][cdef]"},
      {"sync on\nt = timer()\nrepeat\nif space key() = 1 then j = j + 1\nsync\nuntil timer() - t > 3000\ninput a$\n"
       "input b$\n",
       // The Return alone typed during play answers nothing: the letters after it answer the first question.
       [](uint32_t g) { return Typed("\rqx", 2400, g) + Typed("ann\r", 3400, g) + Typed("bo\r", 4400, g); },
       "[qxann][bo]"},
      {"repeat\ne$ = entry$()\nsync\nuntil right$(e$, 1) = chr$(13)\nclear entry buffer\nwait 1500\ninput a$\n",
       [](uint32_t g) { return Typed("bob\r", 200, g) + Typed("42\r", 1500, g); }, "[42][]"},
      {"wait 2000\nwait key\ninput a$\n", [](uint32_t g) { return Typed("ann\r", 200, g) + Typed("bob\r", 2500, g); },
       "[bob][]"},
      {"input a$\nwait 500\ninput b$\n", [](uint32_t g) { return Typed("Zo\xE9\rM\xFCller\r", 200, g); },
       "[Zo\xE9][M\xFCller]"},
      {"sync on\nrepeat\nsync\nuntil scancode() <> 0\nwait 300\ninput b$\n",
       [](uint32_t gap_ms) { return std::vector<FingerPress>{{'x', 200, 80}} + Typed("ann\r", 800, gap_ms); },
       "[][ann]"},
      {"sync on\nrepeat\nsync\nuntil return key() = 1\ninput b$\n",
       [](uint32_t gap_ms) { return ReturnThenName("ab", gap_ms, 80); }, "[][ab]"},
      {"sync on\nrepeat\nwait 250\nuntil return key() = 1\ninput b$\n",
       [](uint32_t gap_ms) { return ReturnThenName("ab", gap_ms, 200, 150); }, "[][ab]"},
      {"sync on\nrepeat\nsync\nuntil return key() = 1\nrepeat\nsync\nuntil return key() = 0\ninput b$\n",
       [](uint32_t gap_ms) { return ReturnThenName("ab", gap_ms, 80, 140); }, "[][ab]"},
      {"sync on\nrepeat\nsync\nk$ = inkey$()\nuntil k$ = chr$(13)\ninput b$\n",
       [](uint32_t gap_ms) { return ReturnThenName("ab", gap_ms, std::min(100u, 40 + 2 * gap_ms)); }, "[][ab]"},
  };
  for (const Idiom& idiom : kIdioms) {
    for (const uint32_t gap_ms : {5u, 20u, 40u, 60u, 100u}) {
      SCOPED_TRACE(std::string(idiom.source) + "at " + std::to_string(gap_ms) + " ms");
      // Past every key of the case before: a run starts with none held.
      clock.Advance(10000);
      const uint32_t start = clock.NowMs();
      for (const FingerPress& p : idiom.typing(gap_ms)) Press(input, window, start, p);
      const ProgramRun run = Run(std::string(idiom.source) + "print \"[\" + a$ + \"][\" + b$ + \"]\"\nend\n");
      ASSERT_EQ(run.errors, "");
      EXPECT_TRUE(run.printed.ends_with(std::string(idiom.answers) + "\n")) << run.printed;
    }
  }
}

TEST_F(InputPrograms, TheMouseMovesAndAWaitForAClickFromSource) {
  input.MoveMouse(30, -20, 0, kStart + 100);
  input.PressMouseButton(0, kStart + 600, 50);
  const ProgramRun run = Run(
      "sync on\n"
      "position mouse 100, 50\n"
      "print mouse x(); \" \"; mouse y(); \" \"; mouse move x(); \" \"; mouse move y()\n"
      "for frame = 1 to 8\n"
      "  inc x, mouse move x()\n"
      "  inc y, mouse move y()\n"
      "  sync\n"
      "next frame\n"
      "print mouse x(); \" \"; mouse y(); \" \"; x; \" \"; y; \" \"; mouse move x(); \" \"; mouse move y()\n"
      "wait mouse\n"
      "print timer() >= 1650; mouse click()\n"
      "end\n");
  ASSERT_EQ(run.errors, "");
  // Full screen, the moves carry the pointer; they count until the next
  // frame. The wait goes on once the button (down at 1600) is up again.
  EXPECT_EQ(run.printed, "100 50 0 0\n130 30 30 -20 0 0\n10\n");
}

TEST_F(InputPrograms, EveryJoystickControlReadsFromSource) {
  platform::VirtualJoystick& pad = input.AttachJoystick(
      {.name = "Pad",
       .axes = {Axis::kX, Axis::kY, Axis::kZ, Axis::kRx, Axis::kRy, Axis::kRz, Axis::kSlider0, Axis::kSlider1}});
  platform::VirtualJoystick& wheel =
      input.AttachJoystick({.name = "Wheel", .axes = {Axis::kX, Axis::kY, Axis::kZ}, .force_feedback = true});
  for (Axis axis : {Axis::kX, Axis::kY, Axis::kRx, Axis::kSlider0}) pad.SetAxis(axis, -1.0);
  for (Axis axis : {Axis::kZ, Axis::kRy, Axis::kSlider1}) pad.SetAxis(axis, 1.0);
  pad.SetAxis(Axis::kRz, 0.05);  // inside the dead zone
  pad.SetHat(0, 9000);
  for (int button : {1, 2, 3}) pad.SetButton(button, true);
  wheel.SetAxis(Axis::kX, 1.0);
  wheel.SetAxis(Axis::kY, -1.0);
  const ProgramRun run = Run(
      "print joystick left(); joystick right(); joystick up(); joystick down()\n"
      "print joystick x(); \" \"; joystick y(); \" \"; joystick z()\n"
      "print joystick rotation x(); \" \"; joystick rotation y(); \" \"; joystick rotation z()\n"
      "print joystick slider 0(); \" \"; joystick slider 1()\n"
      "print joystick pov 0(); \" \"; joystick hat angle(0); \" \"; joystick hat angle(4)\n"
      "print joystick button 0(); joystick button 1(); joystick button 2(); joystick button 3(); "
      "joystick button state(-1); joystick button state(32)\n"
      "checklist control devices\n"
      "for i = 1 to checklist quantity()\n"
      "  print checklist string$(i); \" \"; checklist value a(i)\n"
      "next i\n"
      "set control device \"Wheel\"\n"
      "sync\n"
      "print control device x(); \" \"; control device y(); \" \"; control device z()\n"
      "end\n");
  ASSERT_EQ(run.errors, "");
  // The default joystick has a dead zone and no range on its sliders; the
  // chosen device is read from the next poll on, hence the sync.
  EXPECT_EQ(run.printed,
            "1010\n-1000 -1000 1000\n-1000 1000 0\n0 65535\n9000 9000 -1\n011100\n"
            "Pad 0\nWheel 1\n1000 -1000 0\n");
}

// What an effect was last made or updated with, also after the run released
// it.
std::optional<platform::EffectParams> LastParams(const platform::VirtualJoystick& joystick, int effect) {
  std::optional<platform::EffectParams> last;
  for (const platform::EffectCall& call : joystick.EffectCalls())
    if (call.effect == effect &&
        (call.kind == platform::EffectCall::Kind::kCreate || call.kind == platform::EffectCall::Kind::kUpdate))
      last = call.params;
  return last;
}

TEST_F(InputPrograms, TheForcesPushTheSelectedDeviceFromSource) {
  platform::VirtualJoystick& wheel = input.AttachJoystick({.name = "Wheel", .force_feedback = true});
  const ProgramRun run = Run(
      "set control device \"Wheel\"\n"
      "force down 30\n"
      "force left 40\n"
      "force right 50\n"
      "force constant timed 60, 1500\n"
      "force periodic 100 ms 70, 2000\n"
      "force auto center off\n"
      "print 1\n"
      "force periodic 100 ms 70, -1\n"
      "print 2\n"
      "end\n");
  EXPECT_EQ(run.status, kExitRuntimeError);
  EXPECT_NE(run.errors.find("Force duration cannot be negative"), std::string::npos) << run.errors;
  EXPECT_EQ(run.printed, "1\n");
  // The effects were made in slot order when the wheel was chosen, so the
  // joystick's effect numbers are the slots.
  struct Push {
    int effect;
    int32_t from;
    int32_t magnitude;
  };
  for (const Push& push : {Push{2, 0, 3000}, Push{3, 9000, 4000}, Push{4, 27000, 5000}, Push{7, 0, 6000}}) {
    const std::optional<platform::EffectParams> now = LastParams(wheel, push.effect);
    ASSERT_TRUE(now) << push.effect;
    EXPECT_EQ(now->direction[0], push.from) << push.effect;
    EXPECT_EQ(now->constant.magnitude, push.magnitude) << push.effect;
  }
  EXPECT_EQ(LastParams(wheel, 7)->duration_us, 1550000u);
  const std::optional<platform::EffectParams> hum = LastParams(wheel, 8);
  ASSERT_TRUE(hum);
  EXPECT_EQ(hum->periodic.magnitude, 7000u);
  EXPECT_EQ(hum->periodic.period_us, 100000u);
  EXPECT_EQ(hum->duration_us, 2049999u);
  std::vector<int> started;
  for (const platform::EffectCall& call : wheel.EffectCalls())
    if (call.kind == platform::EffectCall::Kind::kStart) started.push_back(call.effect);
  EXPECT_EQ(started, (std::vector<int>{2, 3, 4, 7, 8}));
  EXPECT_EQ(wheel.AutoCenter(), false);
}

TEST_F(InputPrograms, EveryForceCommandNeedsAForceFeedbackDevice) {
  input.AttachJoystick({.name = "Pad"});
  for (const char* command : {"force down 5", "force left 5", "force right 5", "force constant timed 5, 10",
                              "force periodic 100 ms 5, 10", "force auto center off"}) {
    // Neither before a selection nor with a device that has no forces.
    for (const char* selection : {"", "set control device \"Pad\"\n"}) {
      const ProgramRun run = Run(std::string(selection) + command + "\nprint 1\nend\n");
      EXPECT_EQ(run.status, kExitRuntimeError) << command;
      EXPECT_NE(run.errors.find("No force-feedback device selected"), std::string::npos) << command << run.errors;
      EXPECT_EQ(run.printed, "") << command;
    }
  }
}

// Until the app registers these commands with the others, the rows of the
// command table and these handlers are checked against each other here.
TEST(InputCommandRows, EveryInputOpcodeHasOneRowAndEveryRowAHandler) {
  HandlerTable handlers;
  RegisterInputHandlers(handlers);
  const CommandTable& table = CommandTable::Builtin();
  std::map<int32_t, int> rows;
  for (const auto* entries : {&table.Commands(), &table.Functions()})
    for (const CommandEntry& row : *entries) {
      if (row.code < 4001 || row.code > 4999) continue;
      ++rows[row.code];
      EXPECT_NE(handlers.Get(static_cast<uint32_t>(row.code)), nullptr) << row.name;
    }
  for (int32_t code = 4001; code <= 4999; ++code) {
    if (handlers.Get(static_cast<uint32_t>(code))) {
      EXPECT_EQ(rows[code], 1) << "opcode " << code;
    }
  }
}

// ---- The example game ----------------------------------------------------------------

constexpr uint32_t kBasketRim = 0xE6AA5A;  // rgb(230,170,90)
constexpr uint32_t kDemoText = 0xFF7878;   // rgb(255,120,120)
constexpr int32_t kRimRow = 436;

int Count(const test::DrawingRun& run, uint32_t colour, int32_t left, int32_t right) {
  int count = 0;
  for (int32_t y = kRimRow - 1; y < kRimRow + 2; ++y)
    for (int32_t x = left; x < right; ++x) count += run.At(x, y) == colour;
  return count;
}

class StarCatcherInput : public InputPrograms {
 protected:
  test::DrawingRun Play(uint32_t frames) {
    test::DrawingRun run;
    auto frame = std::make_shared<std::vector<uint32_t>>();
    StartServices services = Services();
    services.register_handlers = [](HandlerTable& table) {
      RegisterAllHandlers(table);
      RegisterInputHandlers(table);
    };
    services.make_display = [&](platform::Window& w, Vm& vm) {
      devices.Attach(vm);
      return MakeDisplayServices(vm, w, std::make_unique<test::CapturePresenter>(frame, &run.width, &run.height));
    };
    const std::string source = zv::test::SourcePath("examples/star_catcher.kqa");
    services.compile = [source, &run](const std::string& program, std::string*) {
      CompileResult compiled = CompileFile(source, program);
      if (!compiled.ok && compiled.error) run.errors = FormatCompileError(*compiled.error);
      return compiled.ok;
    };
    services.echo = [&run](std::string_view piece) { run.printed += std::string(piece); };
    services.error_out = [&run](std::string_view text) { run.errors += std::string(text); };
    const fs::path before = fs::current_path();
    fs::current_path(folder_);
    run.status = RunRuntime(Options(frames), std::move(services));
    fs::current_path(before);
    run.frame = *frame;
    return run;
  }
};

TEST_F(StarCatcherInput, AHeldArrowKeySteersTheBasketAndEndsTheDemo) {
  input.PressKey(scan::kLeft, 1500, 1500);
  const test::DrawingRun run = Play(160);
  ASSERT_EQ(run.status, kExitClean) << run.errors;
  ASSERT_EQ(run.width, 640);
  // Held left, the basket goes to the left edge (x 0 to 56) and stays there
  // once the key is up.
  EXPECT_GT(Count(run, kBasketRim, 0, 57), 100);
  EXPECT_EQ(Count(run, kBasketRim, 80, 640), 0);
  int demo = 0;
  for (int32_t y = 30; y < 60; ++y)
    for (int32_t x = 100; x < 540; ++x) demo += run.At(x, y) == kDemoText;
  EXPECT_EQ(demo, 0) << "the demo line stayed";
}

}  // namespace
}  // namespace zv
