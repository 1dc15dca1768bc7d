#include "runtime/console/console_commands.h"

#include <algorithm>
#include <optional>
#include <string>

#include "runtime/message_pump.h"
#include "runtime/runtime_state.h"
#include "runtime/vm/errors.h"
#include "runtime/vm/numeric/number_format.h"
#include "runtime/vm/numeric/number_parse.h"

namespace zv {
namespace {

// A line typed at a question holds as many letters as one typed ahead of
// it; each letter redraws the line, so a longer one would cost more per key.
constexpr size_t kMaxInputLine = TypedCharacters::kLineLimit;
constexpr char kInputCursor[] = "_";
constexpr int32_t kFrameRateError = 112;
constexpr int32_t kImageNumberError = 501;
constexpr int32_t kNoImageError = 502;

constexpr TextFlow kEndLine{false, false, false};
constexpr TextFlow kStayOnLine{true, false, true};
constexpr TextFlow kInputText{true, true, false};
constexpr TextFlow kInputEnd{false, true, false};

RuntimeState& State(Vm& vm) {
  if (!vm.runtime) throw OperandFault("the console has no runtime state");
  return *vm.runtime;
}

// With automatic refresh every drawing command ends the slice, so the next
// frame shows it.
void AutoYield(Vm& vm) {
  if (vm.auto_refresh) vm.yield = true;
}
void AutoYieldOnScreen(Vm& vm) {
  if (DisplayOf(vm).CurrentBitmap() == 0) AutoYield(vm);
}

void PollInputIfDue(Vm& vm) {
  if (!vm.input_poll_due) return;
  vm.input->PollInputDevices();
  vm.input_poll_due = false;
}

// A question (the input line, `wait key`) begins: what was typed for it
// waits (runtime/console/typed_characters.h). The keyboard is read afresh
// if due, to tell which keys are still held.
void BeginQuestion(Vm& vm, TypedCharacters::Question question) {
  PollInputIfDue(vm);
  RuntimeState& state = State(vm);
  state.console.typed.BeginQuestion(state.input.keyboard, question);
}

void EndQuestion(Vm& vm) { State(vm).console.typed.EndQuestion(); }

void Echo(Vm& vm, std::string_view text) {
  if (vm.runtime && vm.runtime->console_echo) vm.runtime->console_echo(text);
}

// A question that waits for keys where none can come (a headless run with
// no script left to play and no frame limit) waits until the run is
// stopped; the person who started it hears so once, not silence.
void SayIfNothingCanAnswer(Vm& vm) {
  RuntimeState& state = State(vm);
  if (state.console.told_nothing_can_answer || !state.pump || state.pump->KeysMayCome()) return;
  state.console.told_nothing_can_answer = true;
  if (state.notice)
    state.notice("zentrovex: a headless run has no keyboard, so nothing can answer the program's question" +
                 FormatErrorPlace(CommandPlace(vm, vm.CommandPc())) + "; it waits until the run is stopped\n");
}

// ---- Printing -------------------------------------------------------------------

void PrintIntLine(Vm& vm) { ConsolePrint(vm, FormatInt(vm.NextInt()), kEndLine); }
void PrintFloatLine(Vm& vm) { ConsolePrint(vm, FormatFloat(vm.NextFloat()), kEndLine); }
void PrintStringLine(Vm& vm) { ConsolePrint(vm, std::string(vm.NextString()), kEndLine); }
void PrintIntOnLine(Vm& vm) { ConsolePrint(vm, FormatInt(vm.NextInt()), kStayOnLine); }
void PrintFloatOnLine(Vm& vm) { ConsolePrint(vm, FormatFloat(vm.NextFloat()), kStayOnLine); }
void PrintStringOnLine(Vm& vm) { ConsolePrint(vm, std::string(vm.NextString()), kStayOnLine); }

void PrintBlankLine(Vm& vm) {
  ConsoleState& c = State(vm).console;
  DisplayOf(vm).QueueTextOutput(" ", c.text_cursor_x, c.text_cursor_y, kEndLine);
  Echo(vm, "\n");
  AutoYieldOnScreen(vm);
}

// ---- Line input -----------------------------------------------------------------

enum class InputKind { kInt, kFloat, kString };

// A string takes every character of the program's character set from the
// space up, its letters beyond ASCII ("é", "ü", "€") included.
bool Accepted(InputKind kind, uint8_t c) {
  if (c == 8) return true;
  if (kind == InputKind::kString) return c >= 32;
  return (c >= '0' && c <= '9') || c == '-' || c == '.';
}

// The "_" shows from the start, so the player sees that typing is awaited.
void StartInputLine(Vm& vm) {
  ConsoleState& con = State(vm).console;
  con.input_line_start_x = con.text_cursor_x;
  con.input_line_length = 0;
  con.input_line.clear();
  DisplayOf(vm).QueueTextOutput(kInputCursor, con.text_cursor_x, con.text_cursor_y, kInputText);
}

void InputLineKey(Vm& vm, uint8_t c) {
  ConsoleState& con = State(vm).console;
  DisplayServices& display = DisplayOf(vm);
  if (c == 8) {
    if (con.input_line_length > 0) {
      con.text_cursor_x = con.input_line_start_x;
      display.QueueInputLineText(con.input_line + kInputCursor, con.text_cursor_x, con.text_cursor_y);
      --con.input_line_length;
      con.input_line.pop_back();
    }
  } else if (con.input_line.size() < kMaxInputLine) {
    con.input_line.push_back(static_cast<char>(c));
    ++con.input_line_length;
  } else {
    return;  // a full line drops the key, and shows what it showed
  }
  con.text_cursor_x = con.input_line_start_x;
  display.QueueTextOutput(con.input_line + kInputCursor, con.text_cursor_x, con.text_cursor_y, kInputText);
}

void InputLineFinish(Vm& vm) {
  ConsoleState& con = State(vm).console;
  con.text_cursor_x = con.input_line_start_x;
  DisplayOf(vm).QueueTextOutput(con.input_line + "  ", con.text_cursor_x, con.text_cursor_y, kInputEnd);
  Echo(vm, con.input_line + "\n");
  con.input_line_length = -1;
}

// Takes the keys typed up to Enter, those typed ahead of the question
// first; until Enter the command repeats itself, once per turn.
void InputLine(Vm& vm, InputKind kind) {
  ConsoleState& con = State(vm).console;
  const Slot result = vm.NextSlot();
  if (con.input_line_length == -1) {
    BeginQuestion(vm, TypedCharacters::Question::kLine);
    StartInputLine(vm);
  }
  bool finished = false;
  while (!finished) {
    const std::optional<uint8_t> typed = con.typed.Take();
    if (!typed) break;
    const uint8_t c = *typed;
    if (Accepted(kind, c)) InputLineKey(vm, c);
    finished = c == 13;
  }
  if (finished) {
    EndQuestion(vm);
    InputLineFinish(vm);
    switch (kind) {
      case InputKind::kInt: vm.SetInt(result, ParseLeadingInt(con.input_line)); break;
      case InputKind::kFloat: vm.SetFloat(result, static_cast<float>(ParseLeadingFloat(con.input_line))); break;
      case InputKind::kString: vm.SetString(result, con.input_line); break;
    }
    con.input_line.clear();
  } else {
    vm.RepeatCommand();
    SayIfNothingCanAnswer(vm);
  }
  con.last_key_char = 0;
  vm.yield = true;
}

void InputInt(Vm& vm) { InputLine(vm, InputKind::kInt); }
void InputFloat(Vm& vm) { InputLine(vm, InputKind::kFloat); }
void InputString(Vm& vm) { InputLine(vm, InputKind::kString); }

// ---- Screen and drawing -------------------------------------------------------------

void ClearScreen(Vm& vm) {
  DisplayOf(vm).QueueClearScreen();
  ConsoleState& con = State(vm).console;
  con.text_cursor_x = con.text_cursor_y = 0;
  AutoYieldOnScreen(vm);
}

void ClearScreenColour(Vm& vm) {
  const uint32_t colour = static_cast<uint32_t>(vm.NextInt());
  DisplayOf(vm).QueueClearColour(colour);
  ClearScreen(vm);
}

void SetTextCursor(Vm& vm) {
  const int32_t x = vm.NextInt();
  const int32_t y = vm.NextInt();
  ConsoleState& con = State(vm).console;
  con.text_cursor_x = x;
  con.text_cursor_y = y;
}

void Dot(Vm& vm) {
  const int32_t x = vm.NextInt();
  const int32_t y = vm.NextInt();
  DisplayOf(vm).QueueDot(x, y);
  AutoYieldOnScreen(vm);
}

void Line(Vm& vm) {
  const int32_t x1 = vm.NextInt();
  const int32_t y1 = vm.NextInt();
  const int32_t x2 = vm.NextInt();
  const int32_t y2 = vm.NextInt();
  DisplayOf(vm).QueueLine(x1, y1, x2, y2);
  AutoYieldOnScreen(vm);
}

void Box(Vm& vm) {
  const int32_t x1 = vm.NextInt();
  const int32_t y1 = vm.NextInt();
  const int32_t x2 = vm.NextInt();
  const int32_t y2 = vm.NextInt();
  DisplayOf(vm).QueueBox(x1, y1, x2, y2);
  AutoYield(vm);
}

void Circle(Vm& vm) {
  const int32_t x = vm.NextInt();
  const int32_t y = vm.NextInt();
  const float radius = static_cast<float>(vm.NextInt());
  DisplayOf(vm).QueueEllipse(x, y, radius, radius);
  AutoYieldOnScreen(vm);
}

void Ellipse(Vm& vm) {
  const int32_t x = vm.NextInt();
  const int32_t y = vm.NextInt();
  const float radius_x = static_cast<float>(vm.NextInt());
  const float radius_y = static_cast<float>(vm.NextInt());
  DisplayOf(vm).QueueEllipse(x, y, radius_x, radius_y);
  AutoYieldOnScreen(vm);
}

void Ink(Vm& vm) {
  const uint32_t ink = static_cast<uint32_t>(vm.NextInt());
  const uint32_t paper = static_cast<uint32_t>(vm.NextInt());
  DisplayOf(vm).QueueInkColours(ink, paper);
}

// The queue writes the colour into the result when it reads the pixel; a
// pixel it cannot read (off the bitmap, nothing drawn while the window is
// away) answers 0, not whatever the result held before.
void ReadPixel(Vm& vm) {
  const Slot result = vm.NextSlot();
  const int32_t x = vm.NextInt();
  const int32_t y = vm.NextInt();
  vm.SetInt(result, 0);
  DisplayOf(vm).QueueReadPixel(x, y, result.index);
  vm.yield = true;
}

// The image record of a program's image number; 0 after raising the error.
int32_t FindImage(Vm& vm, int32_t number) {
  if (number < 1 || number > 65535) {
    vm.RunError(kImageNumberError);
    return 0;
  }
  const int32_t record = DisplayOf(vm).FindImageRecord(number);
  if (record == 0) vm.RunError(kNoImageError);
  return record;
}

void PasteImage(Vm& vm) {
  const int32_t number = vm.NextInt();
  const int32_t x = vm.NextInt();
  const int32_t y = vm.NextInt();
  if (const int32_t record = FindImage(vm, number)) {
    DisplayOf(vm).QueuePasteImage(record, x, y);
    AutoYieldOnScreen(vm);
  }
}

// The flag is read but the paste is always transparent.
void PasteImageTransparent(Vm& vm) {
  const int32_t number = vm.NextInt();
  const int32_t x = vm.NextInt();
  const int32_t y = vm.NextInt();
  vm.NextInt();
  if (const int32_t record = FindImage(vm, number)) {
    DisplayOf(vm).QueuePasteImageTransparent(record, x, y);
    AutoYieldOnScreen(vm);
  }
}

void RotateImage(Vm& vm) {
  const int32_t number = vm.NextInt();
  const int32_t angle = vm.NextInt();
  if (const int32_t record = FindImage(vm, number)) DisplayOf(vm).QueueRotateImage(record, angle);
}

// ---- Keyboard and mouse -------------------------------------------------------------

template <int32_t InputState::*Field>
void MouseValue(Vm& vm) {
  const Slot result = vm.NextSlot();
  PollInputIfDue(vm);
  vm.SetInt(result, State(vm).input.*Field);
}

void MouseButtons(Vm& vm) {
  const Slot result = vm.NextSlot();
  PollInputIfDue(vm);
  vm.SetInt(result, static_cast<int16_t>(State(vm).input.mouse_buttons));
}

void ScanCode(Vm& vm) {
  const Slot result = vm.NextSlot();
  PollInputIfDue(vm);
  vm.SetInt(result, ReadLowestKey(State(vm)));
  vm.input_poll_due = true;
}

void PumpIfFrameSynchronised(Vm& vm) {
  RuntimeState& state = State(vm);
  if (!vm.time_slice_mode && state.pump) state.pump->PumpMessagesSometimes();
}

void LastKeyChar(Vm& vm) {
  const Slot result = vm.NextSlot();
  PumpIfFrameSynchronised(vm);
  ConsoleState& con = State(vm).console;
  const uint8_t c = con.last_key_char;
  if (c != 0) con.typed.ReadLastCharacter();
  vm.SetString(result, c ? std::string(1, static_cast<char>(c)) : std::string());
}

// What the buffer gives, or what its emptying throws away, the program
// has read: it answers no question.
void EntryBuffer(Vm& vm) {
  const Slot result = vm.NextSlot();
  PumpIfFrameSynchronised(vm);
  ConsoleState& con = State(vm).console;
  con.typed.ReadLastCharacters(con.entry_buffer.size());
  vm.SetString(result, con.entry_buffer);
}

void ClearEntryBuffer(Vm& vm) {
  ConsoleState& con = State(vm).console;
  con.typed.ReadLastCharacters(con.entry_buffer.size());
  con.entry_buffer.clear();
}

// ---- Mouse pointer -------------------------------------------------------------------

void HidePointer(Vm& vm) {
  RuntimeState& state = State(vm);
  if (!DisplayOf(vm).Windowed()) {
    DisplayOf(vm).ParkCursorSprites();
  } else if (state.window.cursor_shown) {
    state.window.cursor_shown = false;
    if (state.window_handle) {
      state.window_handle->ShowCursor(false);
      state.window_handle->CaptureMouse(true);
    }
  }
  AutoYield(vm);
}

void ShowPointer(Vm& vm) {
  RuntimeState& state = State(vm);
  if (!DisplayOf(vm).Windowed()) {
    DisplayOf(vm).CreateCursorSprites(1);
  } else if (!state.window.cursor_shown) {
    state.window.cursor_shown = true;
    if (state.window_handle) {
      state.window_handle->ShowCursor(true);
      state.window_handle->CaptureMouse(false);
    }
  }
  vm.yield = true;
}

// In a window the system pointer goes to the same point of the picture.
void PositionPointer(Vm& vm) {
  const int32_t x = vm.NextInt();
  const int32_t y = vm.NextInt();
  RuntimeState& state = State(vm);
  state.input.mouse_x = x;
  state.input.mouse_y = y;
  if (DisplayOf(vm).Windowed() && state.window_handle) {
    const PictureArea p = DisplayOf(vm).Picture();
    const int64_t cx = p.screen_width > 0 ? int64_t{x} * p.width / p.screen_width : x;
    const int64_t cy = p.screen_height > 0 ? int64_t{y} * p.height / p.screen_height : y;
    state.window_handle->WarpMouse(static_cast<int32_t>(p.x + cx), static_cast<int32_t>(p.y + cy));
  }
  AutoYield(vm);
}

// ---- Timing, refresh and end ----------------------------------------------------------

void Timer(Vm& vm) {
  const Slot result = vm.NextSlot();
  vm.SetInt(result, static_cast<int32_t>(vm.Host().NowMs()));
}

// The first run starts the wait; it ends on the first run after more than
// the given milliseconds have passed, measured across the clock's wrap. A
// time below 0 (a frame limiter whose frame ran long) waits as 0 does.
void Wait(Vm& vm) {
  const uint32_t length = static_cast<uint32_t>(std::max(vm.NextInt(), 0));
  ConsoleState& con = State(vm).console;
  const uint32_t now = vm.Host().NowMs();
  if (!con.waiting) {
    con.waiting = true;
    con.wait_start = now;
    con.wait_length = length;
    vm.RepeatCommand();
  } else if (now - con.wait_start > con.wait_length) {
    con.waiting = false;
  } else {
    vm.RepeatCommand();
  }
  vm.yield = true;
}

// Waits for something to be pressed and then let go; true once it was.
bool WaitForRelease(Vm& vm, bool& seen, bool down) {
  if (!seen) {
    if (down) seen = true;
    vm.RepeatCommand();
    return false;
  }
  if (!down) {
    seen = false;
    return true;
  }
  vm.RepeatCommand();
  return false;
}

// A key typed, however short its press, starts the wait's end; the end
// comes once nothing is held (the key's release, or any later event,
// cleared the last character). Keys typed ahead answer the waits and lines
// after it in turn; a key held until it repeats answers one wait only.
void WaitKey(Vm& vm) {
  ConsoleState& con = State(vm).console;
  if (!con.wait_key_asking) {
    BeginQuestion(vm, TypedCharacters::Question::kPress);
    con.wait_key_asking = true;
  }
  const bool pressed_before = con.wait_key_seen;
  const bool down = pressed_before ? con.last_key_char != 0 : con.typed.TakePress().has_value();
  if (WaitForRelease(vm, con.wait_key_seen, down)) {
    con.wait_key_asking = false;
    EndQuestion(vm);
  }
  if (!pressed_before && !down) SayIfNothingCanAnswer(vm);
}

// A click counts however short: a press that came and went between two
// turns, since the wait began, is a click as well as a button held now.
void WaitMouse(Vm& vm) {
  RuntimeState& state = State(vm);
  ConsoleState& con = state.console;
  if (!con.wait_mouse_asking) {
    con.wait_mouse_asking = true;
    con.wait_mouse_presses = state.input.mouse_presses;
  }
  const bool pressed_since = state.input.mouse_presses != con.wait_mouse_presses;
  const bool down = state.input.mouse_buttons != 0 || (!con.wait_button_seen && pressed_since);
  if (WaitForRelease(vm, con.wait_button_seen, down)) con.wait_mouse_asking = false;
}

void Sync(Vm& vm) { vm.yield = true; }

void ManualRefresh(Vm& vm) {
  vm.time_slice_mode = false;
  vm.auto_refresh = false;
  vm.yield = true;
  vm.refresh_switched = true;
}

void AutomaticRefresh(Vm& vm) {
  vm.time_slice_mode = true;
  vm.auto_refresh = true;
  vm.yield = true;
  vm.refresh_switched = true;
}

void SetFrameRate(Vm& vm) {
  const int32_t rate = vm.NextInt();
  if (rate < 0 || rate > 1000) {
    vm.RunError(kFrameRateError);
    return;
  }
  vm.frame_time = rate == 0 ? 0 : static_cast<int32_t>(1000.0 / rate);
}

void Quit(Vm& vm) {
  vm.Host().PostQuit();
  vm.yield = true;
}

void QuitWithText(Vm& vm) {
  State(vm).console.end_text = std::string(vm.NextString());
  Quit(vm);
}

}  // namespace

DisplayServices& DisplayOf(Vm& vm) {
  static NullDisplay none;
  return vm.display ? *vm.display : none;
}

void ConsolePrint(Vm& vm, std::string_view text, TextFlow flow) {
  ConsoleState& con = State(vm).console;
  DisplayOf(vm).QueueTextOutput(text, con.text_cursor_x, con.text_cursor_y, flow);
  if (flow.advance) {
    Echo(vm, text);
  } else {
    Echo(vm, std::string(text) + "\n");
  }
  AutoYieldOnScreen(vm);
}

void RegisterConsoleHandlers(HandlerTable& t) {
  t.Set(301, PrintIntLine);
  t.Set(302, PrintFloatLine);
  t.Set(303, PrintStringLine);
  t.Set(304, PrintBlankLine);
  t.Set(305, PrintIntOnLine);
  t.Set(306, PrintFloatOnLine);
  t.Set(307, PrintStringOnLine);

  t.Set(351, InputInt);
  t.Set(355, InputFloat);
  t.Set(352, InputString);

  t.Set(212, ClearScreen);
  t.Set(405, ClearScreenColour);
  t.Set(252, SetTextCursor);
  t.Set(215, Dot);
  t.Set(235, Line);
  t.Set(208, Box);
  t.Set(209, Circle);
  t.Set(216, Ellipse);
  t.Set(227, Ink);
  t.Set(243, ReadPixel);
  t.Set(242, PasteImage);
  t.Set(433, PasteImageTransparent);
  t.Set(434, RotateImage);

  t.Set(238, MouseButtons);
  t.Set(239, MouseValue<&InputState::mouse_x>);
  t.Set(240, MouseValue<&InputState::mouse_y>);
  t.Set(431, MouseValue<&InputState::mouse_z>);
  t.Set(241, MouseValue<&InputState::mouse_move_x>);
  t.Set(244, MouseValue<&InputState::mouse_move_y>);
  t.Set(432, MouseValue<&InputState::mouse_move_z>);
  t.Set(250, ScanCode);
  t.Set(228, LastKeyChar);
  t.Set(428, EntryBuffer);
  t.Set(429, ClearEntryBuffer);

  t.Set(224, HidePointer);
  t.Set(253, ShowPointer);
  t.Set(246, PositionPointer);

  t.Set(260, Timer);
  t.Set(255, Wait);
  t.Set(410, Wait);
  t.Set(263, WaitKey);
  t.Set(264, WaitKey);
  t.Set(265, WaitMouse);
  t.Set(259, Sync);
  t.Set(403, ManualRefresh);
  t.Set(404, AutomaticRefresh);
  t.Set(407, SetFrameRate);
  t.Set(217, Quit);
  t.Set(266, QuitWithText);
}

}  // namespace zv
