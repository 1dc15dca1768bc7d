#pragma once

#include <string>
#include <string_view>

#include "platform/window/headless/headless_window.h"

namespace zv {

// Plays a script of keys and mouse events into a headless window, so that a
// run without a display can be driven from a file. One command a line:
//
//   wait MS          let MS milliseconds pass
//   key NAME         press a key for 100 ms: a letter or digit, f1..f12,
//                    enter, escape, tab, backspace, delete, space, left,
//                    right, up, down, home, end, pageup, pagedown; with
//                    "ctrl+" or "shift+" in front it is pressed with that
//                    (a letter types itself in lower case, with shift in
//                    upper case, and with ctrl types nothing)
//   type TEXT        types the rest of the line one key at a time, a key
//                    every 20 ms, in the program's character set (the
//                    script is UTF-8; a letter Windows-1252 lacks types
//                    nothing); "\n" is Enter, "\t" Tab, "\\" a backslash
//   move X Y         moves the mouse
//   click X Y        presses and releases the left button there
//   down X Y / up X Y   presses or releases it there (for drags)
//   wheel N          turns the wheel N steps (positive: away)
//   close            asks the window to close
//
// Blank lines and lines starting with "#" are skipped. Each command comes
// 20 ms after the one before has finished (a key, once it is let go).
// False, with the line in `error`, for a line that is not understood (and
// the name, for a key of no known name).
bool PlayEventScript(std::string_view script, platform::HeadlessWindow& window, std::string* error);

// Reads the script from a file first.
bool LoadEventScript(const std::string& path, platform::HeadlessWindow& window, std::string* error);

}  // namespace zv
