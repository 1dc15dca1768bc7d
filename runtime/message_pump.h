#pragma once

#include <cstdint>

#include "platform/clipboard/clipboard.h"
#include "platform/clock/clock.h"
#include "platform/window/window.h"
#include "runtime/display_seam.h"
#include "runtime/runtime_state.h"
#include "runtime/vm/vm.h"

namespace zv {

// One message of the queue: an event of the window, or the quit message that
// ends the run.
struct Message {
  bool quit = false;
  platform::WindowEvent event;
};

// What the virtual machine asks of its surroundings, and the message queue:
// the window's events, with the quit messages that commands post behind them.
class RuntimeHost final : public VmHost {
 public:
  RuntimeHost(platform::Clock& clock, platform::Window& window, DisplayServices& display,
              platform::Clipboard& clipboard)
      : clock_(clock), window_(window), display_(&display), clipboard_(clipboard) {}
  // The display is made after the machine, which needs the host first.
  void SetDisplay(DisplayServices& display) { display_ = &display; }

  uint32_t NowMs() override { return clock_.NowMs(); }
  void PostQuit() override { ++posted_quits_; }
  bool DebugKeysHeld() override {
    return window_.KeyHeld(platform::key::kF11) || window_.KeyHeld(platform::key::kF12);
  }
  bool StopSignalled() override;
  size_t PendingDrawRecords() override { return display_->PendingDrawRecords(); }
  bool SetClipboardText(std::string_view text) override { return clipboard_.SetText(text); }
  std::optional<std::string> GetClipboardText() override { return clipboard_.GetText(); }

  // Takes the next message without waiting; false when the queue is empty.
  // Window events come first; a quit is seen once nothing else waits.
  bool TakeMessage(Message* message);
  // A posted quit, or a signal that asks the process to end.
  bool QuitPending() const;

  platform::Clock& Clock() { return clock_; }
  platform::Window& Window() { return window_; }
  DisplayServices& Display() { return *display_; }

 private:
  platform::Clock& clock_;
  platform::Window& window_;
  DisplayServices* display_;
  platform::Clipboard& clipboard_;
  int posted_quits_ = 0;
};

// The loop that runs the program: each turn polls the input, then handles
// one waiting message, or, with none waiting, runs the per-turn step, one
// slice of the virtual machine and the frame step.
class MessagePump {
 public:
  MessagePump(Vm& vm, RuntimeHost& host, RuntimeState& state);

  // Stops the run once the program has presented this many frames of its
  // own (0: no limit). Neither the first turn's frame, before its first
  // command, nor one that followed only a switch of the refresh mode is one.
  void SetFrameLimit(uint32_t frames) { frame_limit_ = frames; }
  uint32_t FramesPresented() const { return frames_presented_; }
  uint32_t ProgramFrames() const { return program_frames_; }
  RuntimeState* State() { return &state_; }
  // Whether anything can still end a question that waits for keys: a
  // person at a real window, a script with events still to play, or the
  // frame limit.
  bool KeysMayCome() const { return frame_limit_ != 0 || host_.Window().EventsMayCome(); }

  // Runs the program from its start until a quit message arrives or a
  // signal asks the process to end.
  void RunMessageLoop();

  // ---- The steps, each usable alone ---------------------------------------------
  // Turns one window event into the state that the commands read.
  void MainWindowProc(const platform::WindowEvent& event);
  void PreRunCheck();
  // Without `wait_for_frame_time` the frame is shown at once.
  void FrameRefresh(bool wait_for_frame_time = true);
  // The pre-run check, a slice of the program and the frame refresh. A fault
  // outside the commands (the draw queue, the frame) ends the run as a fault
  // inside them does.
  void RunTurn();
  // After the run's last turn: what the program queued for the next one
  // (drawing, image grabs and saves) is carried out, so that nothing it
  // asked for is lost. A run stopped by the frame limit also shows that
  // frame as the next turn would draw it (the 3D scene as the program left
  // it, then its 2D drawing), on the picture presented last, so that the
  // last picture is the program's; with the 2D drawing after the sprites
  // the frame presented last is already all of it.
  void FinishRun();
  // For loops that cannot return to the pump: drains the queue on every
  // 50001st call. A quit found while draining stays posted.
  void PumpMessagesSometimes();
  // Waits until Escape, F11 and F12 are up, then handles every waiting
  // message; quits among them are dropped, so a key held over from the
  // previous run cannot end the next.
  void WaitForKeysReleased();
  void ResetMouseDefaults();
  void OnAppActivate();
  void OnAppDeactivate();

  static constexpr uint32_t kDrainInterval = 50000;
  static constexpr uint32_t kInactiveSleepMs = 100;

 private:
  // Handles messages until the queue is empty or a quit is taken; true when
  // a quit was taken.
  bool DrainMessages();
  void WaitForFrameTime();
  void MouseMove(const platform::WindowEvent& event);
  void MouseButton(const platform::WindowEvent& event, bool down);

  Vm& vm_;
  RuntimeHost& host_;
  RuntimeState& state_;
  uint32_t frame_limit_ = 0;
  uint32_t frames_presented_ = 0;
  uint32_t program_frames_ = 0;
  bool loader_yield_ = true;  // the next slice only clears the loader's yield
};

// The mouse position on the display for a position in the window's client
// area: the picture's place and any scaling of it undone.
void MapToPicture(const PictureArea& picture, int32_t client_x, int32_t client_y, int32_t* x, int32_t* y);

}  // namespace zv
