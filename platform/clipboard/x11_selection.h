#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace zv::platform {

// Reads the desktop's clipboard (the CLIPBOARD selection of an X display) as
// UTF-8 text of any size: an owner hands a large text over in pieces (the
// INCR transfer), which this follows to the end. It talks to the display
// through a connection of its own, and loads libX11 only when it is made.
class X11SelectionReader {
 public:
  // Texts longer than this come back cut to it: longer than any text a
  // program's string holds, so that the program is told it is too long.
  static constexpr size_t kMaxBytes = size_t{64} << 20;

  // Null where libX11 or the display cannot be had.
  static std::unique_ptr<X11SelectionReader> Open();
  ~X11SelectionReader();
  X11SelectionReader(const X11SelectionReader&) = delete;
  X11SelectionReader& operator=(const X11SelectionReader&) = delete;

  // Whether some window owns the clipboard.
  bool HasOwner();

  // The clipboard's text, or nothing when its owner offers none, or stops
  // answering for a second. `serve` runs while the reader waits, so that a
  // window of this process that owns the clipboard can answer.
  std::optional<std::string> ReadText(const std::function<void()>& serve);

 private:
  struct Connection;
  explicit X11SelectionReader(std::unique_ptr<Connection> connection);
  std::unique_ptr<Connection> x_;
};

}  // namespace zv::platform
