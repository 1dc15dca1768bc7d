#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "editor/editor.h"
#include "platform/clipboard/clipboard.h"
#include "platform/clock/clock.h"
#include "platform/present/presenter.h"
#include "platform/window/headless/headless_window.h"
#include "platform/window/window.h"

namespace zv::editor {

// One session of the editor in a window, from its first frame to its end.
struct EditorSession {
  platform::Window* window = nullptr;
  platform::Clock* clock = nullptr;
  std::unique_ptr<platform::Presenter> presenter;
  std::unique_ptr<platform::Clipboard> clipboard;
  std::unique_ptr<platform::TextService> text;
  // A headless window's script: the session ends once it is played out.
  platform::HeadlessWindow* script = nullptr;
  EditorOptions options;
  std::string file;        // a program to open at once, or empty
  uint32_t frames = 0;     // stop after this many frames; 0: no limit
  std::string screenshot;  // PNG of the last frame
};

constexpr uint32_t kEditorFrameMs = 16;

// Runs the editor until the user quits, the frame limit is reached or the
// script is played out; writes the screenshot. Returns the exit status:
// 0, or 3 when the editor could not start.
int RunEditorSession(EditorSession& session);

}  // namespace zv::editor
