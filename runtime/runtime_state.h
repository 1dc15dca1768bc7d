#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "runtime/console/typed_characters.h"
#include "runtime/settings.h"

namespace zv {

namespace platform {
class Window;
}
class MessagePump;

// Keyboard and mouse as the input poll and the window events leave them;
// read by the keyboard and mouse commands.
struct InputState {
  // By scan code, non-zero while held. A program reads it only through
  // ReadKey and ReadLowestKey.
  std::array<uint8_t, 256> keyboard{};
  int32_t mouse_x = 320;
  int32_t mouse_y = 240;
  int32_t mouse_z = 50;      // the wheel value, 0..99
  int32_t mouse_move_x = 0;  // cleared after every frame
  int32_t mouse_move_y = 0;
  int32_t mouse_move_z = 0;
  uint16_t mouse_buttons = 0;  // bit 0 the first button
  int32_t click_state = 0;     // 0 none, 1 left, 2 right: the card-choice screen reads it
  uint32_t mouse_presses = 0;  // counts the presses of the left and right buttons
};

// The text console: cursor, line input, waits.
struct ConsoleState {
  int32_t text_cursor_x = 0;
  int32_t text_cursor_y = 0;
  // Character of the latest character event; every event clears it first.
  uint8_t last_key_char = 0;
  // The characters typed for the input line and `wait key`.
  TypedCharacters typed;
  // Every typed character, kept until a program empties it: the newest
  // kEntryBufferLimit of them, so that a key held for hours stays bounded.
  std::string entry_buffer;
  static constexpr size_t kEntryBufferLimit = 65536;
  // The line being typed, without the cursor character.
  std::string input_line;
  int32_t input_line_length = -1;  // -1: no line in progress
  int32_t input_line_start_x = 0;
  // A running wait: it ends once more than wait_length milliseconds have
  // passed since wait_start, measured across the clock's wrap.
  bool waiting = false;
  uint32_t wait_start = 0;
  uint32_t wait_length = 0;
  bool wait_key_seen = false;
  bool wait_button_seen = false;
  // A `wait key` or `wait mouse` is running (from its first turn to its
  // end), and the mouse presses counted when the mouse wait began.
  bool wait_key_asking = false;
  bool wait_mouse_asking = false;
  uint32_t wait_mouse_presses = 0;
  // The run said once that nothing can answer its questions.
  bool told_nothing_can_answer = false;
  // The text given to the end-with-text command.
  std::string end_text;
};

// The window as the message pump keeps it.
struct WindowState {
  bool drawing_enabled = true;
  bool input_focus = true;
  bool always_active = false;  // losing the focus neither pauses sound nor the program
  // The program hid or minimised its window itself: the focus that goes
  // with it pauses nothing, since only the program can bring it back.
  bool put_away = false;
  bool cursor_shown = false;   // the system arrow is shown over the window
  bool cursor_sprite_mode = false;  // the cursor sprites own the mouse position
  int32_t left = 0;
  int32_t top = 0;
  int32_t width = 0;
  int32_t height = 0;
  uint32_t drain_counter = 0;  // of PumpMessagesSometimes
  uint32_t last_frame_time = 0;
};

// What start-up keeps for the program's whole life besides the virtual
// machine: the window and its state, the console, the input values, the
// settings and the exit prompt. One per process, reached from the Vm.
struct RuntimeState {
  InputState input;
  ConsoleState console;
  WindowState window;

  Settings settings;

  // The box shown when the program has ended (set by a system command).
  bool exit_prompt_on = false;
  std::string exit_prompt_title;
  std::string exit_prompt_text;

  // The private temporary folder (ends with "/") and its work files.
  std::string temp_folder;
  std::string startup_folder;  // current folder when the process started
  std::string display_folder;  // current folder when the display started

  // Headless runs and tests see every line the console prints through this.
  std::function<void(std::string_view)> console_echo;
  // Notices to the person who started the run (standard error).
  std::function<void(std::string_view)> notice;

  platform::Window* window_handle = nullptr;
  MessagePump* pump = nullptr;
};

// The program reads the keyboard through these: a key it finds down is
// play, and what that key typed answers no question
// (runtime/console/typed_characters.h). `ReadKey` serves every key
// function: whether the key at `scan_code` is held.
inline bool ReadKey(RuntimeState& state, int32_t scan_code) {
  return scan_code >= 0 && scan_code <= 255 &&
         state.console.typed.ReadKey(static_cast<uint8_t>(scan_code), state.input.keyboard);
}
// `scancode()`: the lowest scan code held, 0 when none is.
inline int32_t ReadLowestKey(RuntimeState& state) { return state.console.typed.ReadLowestKey(state.input.keyboard); }

}  // namespace zv
