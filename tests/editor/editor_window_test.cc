#include <SDL.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>

#include "editor/editor_colours.h"
#include "editor/editor_session.h"
#include "platform/paths/temp_folder.h"
#include "platform/present/presenter_factory.h"
#include "platform/window/sdl/sdl_window.h"
#include "tests/platform/present/x11_screenshot.h"

namespace zv::editor {
namespace {

using test::X11WindowPixel;

// The editor in a real window: what it draws is what the X server shows.
TEST(EditorOnARealWindow, ShowsTheProgramInItsWindow) {
  if (std::getenv("DISPLAY") == nullptr) GTEST_SKIP() << "no X display: run under tests/support/with_xvfb.sh";
  SDL_SetHint(SDL_HINT_VIDEODRIVER, "x11");
  platform::SdlWindowOptions window_options;
  window_options.width = 640;
  window_options.height = 480;
  std::string error;
  std::unique_ptr<platform::Window> window = platform::OpenSdlWindow(window_options, &error);
  ASSERT_TRUE(window) << error;
  platform::TempFolder temp;
  std::ofstream(temp.File("w.kqa")) << "rem shown in a window\r\nprint 1\r\n";

  platform::SystemClock clock;
  EditorSession session;
  session.window = window.get();
  session.clock = &clock;
  session.presenter = platform::MakePresenter(window->NativeHandle());
  session.clipboard = platform::CreateSdlClipboard();
  session.text = platform::CreateTextService();
  session.options.app_folder = temp.Path();
  session.file = temp.File("w.kqa");
  session.frames = 10;
  ASSERT_EQ(RunEditorSession(session), 0);
  SDL_PumpEvents();
  auto* sdl_window = static_cast<SDL_Window*>(window->NativeHandle());
  // The empty text area far below the program, and the comment's first
  // glyph somewhere along the first row.
  EXPECT_EQ(X11WindowPixel(sdl_window, 300, 300), colour::kTextBackground);
  bool comment_ink = false;
  for (int x = 0; x < 60 && !comment_ink; ++x)
    for (int y = 43; y < 56; ++y) comment_ink |= X11WindowPixel(sdl_window, x, y) == kColourSetInks[7];
  EXPECT_TRUE(comment_ink);
}

}  // namespace
}  // namespace zv::editor
