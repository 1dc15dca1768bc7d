#include "editor/editor_session.h"

#include <cerrno>
#include <cstdio>

#include "platform/paths/failure_cause.h"
#include "platform/paths/test_stop.h"
#include "platform/signals/stop_signals.h"
#include "runtime/startup.h"

namespace zv::editor {

int RunEditorSession(EditorSession& session) {
  EditorDisplay display(std::move(session.presenter));
  if (!session.options.clock) session.options.clock = session.clock;
  Editor editor(display, *session.window, *session.clipboard, *session.text, session.options);
  if (!editor.Ready()) {
    std::fprintf(stderr, "zentrovex: the editor cannot start (no font or no memory for its screen)\n");
    return kExitStartFailed;
  }
  session.window->SetTitle("Zentrovex");
  session.window->Show();
  if (!session.file.empty()) editor.OpenFile(session.file);
  editor.OfferKeptPrograms();
  for (;;) {
    platform::WindowEvent event;
    // A script's first event waits for the first frame, as a user's click
    // waits until there is something to click on.
    while (!editor.QuitRequested() && display.FramesPresented() > 0 && session.window->PollEvent(&event))
      editor.HandleEvent(event);
    // A test stops the session here, its script played out and its changes
    // made, to send it a signal at that moment (ZV_TEST_STOP_AT=played).
    if (session.script && session.script->PendingEvents() == 0) {
      editor.FinishKeeping();
      platform::StopHereForTests("played");
    }
    if (platform::StopSignal() != 0) editor.QuitKeepingChanges();
    if (editor.QuitRequested()) break;
    editor.Frame();
    if (session.frames != 0 && display.FramesPresented() >= session.frames) break;
    // Headless, nothing more can happen once the script is played out.
    if (!session.window->HasDisplay() && (!session.script || session.script->PendingEvents() == 0) &&
        session.frames == 0)
      break;
    session.clock->SleepMs(kEditorFrameMs);
  }
  if (!session.screenshot.empty() && !display.WriteScreenshot(session.screenshot)) {
    if (errno == 0)
      std::fprintf(stderr, "zentrovex: no presented frame to write to %s\n", session.screenshot.c_str());
    else
      std::fprintf(stderr, "zentrovex: could not write the screenshot \"%s\": %s\n", session.screenshot.c_str(),
                   platform::CauseOf(errno).c_str());
    return 1;
  }
  return kExitClean;
}

}  // namespace zv::editor
