#include "runtime/message_pump.h"

#include <algorithm>

#include "platform/signals/stop_signals.h"
#include "runtime/card_choice.h"
#include "runtime/vm/dispatch.h"
#include "runtime/vm/loader.h"

namespace zv {

using platform::WindowEvent;
using platform::WindowEventKind;

bool RuntimeHost::TakeMessage(Message* message) {
  if (window_.PollEvent(&message->event)) {
    message->quit = false;
    return true;
  }
  if (posted_quits_ > 0) {
    --posted_quits_;
    message->quit = true;
    return true;
  }
  return false;
}

bool RuntimeHost::QuitPending() const { return posted_quits_ > 0 || platform::StopSignal() != 0; }

bool RuntimeHost::StopSignalled() { return platform::StopSignal() != 0; }

void MapToPicture(const PictureArea& picture, int32_t client_x, int32_t client_y, int32_t* x, int32_t* y) {
  const int64_t dx = int64_t{client_x} - picture.x;
  const int64_t dy = int64_t{client_y} - picture.y;
  // Floor division keeps points left of or above the picture negative.
  auto scale = [](int64_t d, int32_t screen, int32_t shown) -> int32_t {
    if (shown <= 0 || shown == screen) return static_cast<int32_t>(d);
    int64_t n = d * screen;
    return static_cast<int32_t>(n >= 0 ? n / shown : -((-n + shown - 1) / shown));
  };
  *x = scale(dx, picture.screen_width, picture.width);
  *y = scale(dy, picture.screen_height, picture.height);
}

namespace {

// The buffer keeps the newest characters: a program reading it wants what
// was just typed.
void AddToEntryBuffer(ConsoleState& console, char c) {
  constexpr size_t kLimit = ConsoleState::kEntryBufferLimit;
  std::string& entry = console.entry_buffer;
  if (entry.size() >= kLimit) entry.erase(0, entry.size() - kLimit + 1);
  entry.push_back(c);
}

}  // namespace

MessagePump::MessagePump(Vm& vm, RuntimeHost& host, RuntimeState& state) : vm_(vm), host_(host), state_(state) {
  state_.pump = this;
}

void MessagePump::ResetMouseDefaults() {
  state_.input.mouse_x = 320;
  state_.input.mouse_y = 240;
  state_.input.mouse_z = 50;
  state_.input.mouse_buttons = 0;
}

void MessagePump::RunMessageLoop() {
  ResetVmState(vm_);
  loader_yield_ = true;
  program_frames_ = 0;
  state_.console.input_line_length = -1;
  state_.console.input_line.clear();
  state_.console.waiting = false;
  state_.console.wait_key_asking = state_.console.wait_mouse_asking = false;
  state_.console.wait_key_seen = state_.console.wait_button_seen = false;
  state_.window.drain_counter = 0;
  ResetMouseDefaults();
  PumpMessagesSometimes();
  WaitForKeysReleased();
  state_.console.last_key_char = 0;
  state_.console.typed.Clear();

  while (platform::StopSignal() == 0) {
    vm_.input->PollInputDevices();
    vm_.input->ServiceNetwork();
    Message message;
    if (host_.TakeMessage(&message)) {
      if (message.quit) break;
      MainWindowProc(message.event);
      continue;
    }
    if (!vm_.app_active) host_.Clock().SleepMs(kInactiveSleepMs);
    RunTurn();
  }
  WaitForKeysReleased();
}

bool MessagePump::DrainMessages() {
  Message message;
  while (host_.TakeMessage(&message)) {
    if (message.quit) return true;
    MainWindowProc(message.event);
  }
  return false;
}

void MessagePump::PumpMessagesSometimes() {
  if (++state_.window.drain_counter <= kDrainInterval) return;
  state_.window.drain_counter = 0;
  // The run must still end at the pump's next look at the queue.
  if (DrainMessages()) host_.PostQuit();
}

void MessagePump::WaitForKeysReleased() {
  platform::Window& window = host_.Window();
  for (int key : {platform::key::kEscape, platform::key::kF11, platform::key::kF12})
    while (window.KeyHeld(key)) host_.Clock().SleepMs(1);
  Message message;
  while (host_.TakeMessage(&message))
    if (!message.quit) MainWindowProc(message.event);
}

void MessagePump::OnAppActivate() {
  vm_.sound->ResumeAllMusic();
  vm_.sound->ResumeAllSounds();
  host_.Display().EvictManagedTextures();
}

void MessagePump::OnAppDeactivate() {
  vm_.sound->PauseAllMusic();
  vm_.sound->PauseAllSounds();
}

void MessagePump::MouseMove(const WindowEvent& event) {
  if (state_.window.cursor_sprite_mode || !host_.Display().Windowed()) return;
  MapToPicture(host_.Display().Picture(), event.x, event.y, &state_.input.mouse_x, &state_.input.mouse_y);
}

void MessagePump::MouseButton(const WindowEvent& event, bool down) {
  const int bit = event.a;
  if (bit != platform::mouse_button::kLeft && bit != platform::mouse_button::kRight) return;
  state_.input.click_state = down ? (bit == platform::mouse_button::kLeft ? 1 : 2) : 0;
  if (down) ++state_.input.mouse_presses;
  if (state_.window.cursor_sprite_mode || !host_.Display().Windowed()) return;
  state_.input.mouse_buttons = static_cast<uint16_t>(down ? state_.input.click_state : 0);
}

void MessagePump::MainWindowProc(const WindowEvent& event) {
  WindowState& w = state_.window;
  DisplayServices& display = host_.Display();
  state_.console.last_key_char = 0;
  switch (event.kind) {
    case WindowEventKind::kClose:
      host_.PostQuit();
      break;
    case WindowEventKind::kMove:
      w.left = event.a;
      w.top = event.b;
      display.RepaintFrame();
      break;
    case WindowEventKind::kResize:
      w.width = event.a;
      w.height = event.b;
      display.RepaintFrame();
      break;
    case WindowEventKind::kActivate:
      // The desktop brings a window back before it gives it the focus: one
      // that the program hid or minimised since was given it before, and
      // stays put away, as the program asked.
      if (!w.put_away) host_.Window().Show();
      if (!w.always_active) {
        OnAppActivate();
        vm_.app_active = true;
      }
      w.drawing_enabled = true;
      w.input_focus = true;
      break;
    case WindowEventKind::kDeactivate:
      if (!display.Windowed() && !w.put_away) {
        if (!w.always_active) {
          OnAppDeactivate();
          vm_.app_active = false;
        }
        w.drawing_enabled = !w.always_active;
      } else {
        w.drawing_enabled = true;
      }
      w.input_focus = false;
      break;
    case WindowEventKind::kPaint:
      if (state_.settings.choice_screen_showing)
        PaintCardChoiceScreen(state_.settings, host_.Window().Placement(), display);
      break;
    case WindowEventKind::kKeyDown:
      if (event.a == platform::key::kEscape && vm_.escape_quits) host_.PostQuit();
      state_.console.typed.KeyDown(event.a, event.b != 0);
      break;
    case WindowEventKind::kCharacter:
      state_.console.last_key_char = static_cast<uint8_t>(event.a);
      state_.console.typed.Add(static_cast<uint8_t>(event.a));
      AddToEntryBuffer(state_.console, static_cast<char>(event.a));
      break;
    case WindowEventKind::kSystemCommand:
      // While a full-screen program is active only the close command works.
      if (vm_.app_active && !display.Windowed() && event.a != platform::kCloseCommand) break;
      if (event.a == platform::kCloseCommand) host_.PostQuit();
      break;
    case WindowEventKind::kMouseMove:
      MouseMove(event);
      break;
    case WindowEventKind::kMouseDown:
      MouseButton(event, true);
      break;
    case WindowEventKind::kMouseUp:
      MouseButton(event, false);
      break;
    case WindowEventKind::kMouseWheel:
      // The input devices count the wheel themselves where they exist;
      // without them it arrives only as window events.
      if (vm_.input_devices) break;
      state_.input.mouse_move_z += event.a;
      state_.input.mouse_z = std::clamp(state_.input.mouse_z + event.a, 0, 99);
      break;
    case WindowEventKind::kKeyUp:
      state_.console.typed.KeyUp(event.a);
      break;
  }
}

void MessagePump::PreRunCheck() {
  DisplayServices& display = host_.Display();
  if (!vm_.app_active) {
    vm_.input->ReapFinishedChild();
    display.SetScreenInvalid();
    if (!display.RestorePrimarySurface()) return;
    vm_.app_active = true;
  }
  display.UpdateCursorSprites();
  display.ClearZBuffer();
  display.RestoreSpriteBackgrounds();
  vm_.engine3d->RunPerTurn3DStep();
  if (vm_.render_timing.scene_render == 0) vm_.engine3d->RenderSceneIfEnabled();
  if (vm_.render_timing.draw_queue == 0) display.RunDrawQueue();
}

void MessagePump::RunTurn() {
  try {
    PreRunCheck();
    const bool runs = vm_.app_active;
    vm_.refresh_switched = false;
    RunVmLoop(vm_);
    if (runs) vm_.input->FrameWorkDone();
    const bool loader_turn = loader_yield_;
    const bool own_frame = runs && !loader_yield_ && !vm_.refresh_switched;
    if (runs) loader_yield_ = false;
    const uint32_t presented = frames_presented_;
    // The frame time paces the program's frames. The start's frame, before
    // its first command, neither waits nor holds back the program's first;
    // a program that ended in this slice makes no more frames, so its last
    // is shown at once rather than held back for one that never follows.
    FrameRefresh(!loader_turn && !host_.QuitPending());
    if (own_frame && frames_presented_ != presented) {
      ++program_frames_;
      if (program_frames_ == frame_limit_) host_.PostQuit();
    }
  } catch (...) {
    vm_.RunFault();
  }
}

void MessagePump::FinishRun() {
  if (!vm_.app_active) return;
  try {
    if (frame_limit_ != 0 && program_frames_ >= frame_limit_) {
      // Drawn after the sprites, the last turn's drawing is in the frame
      // presented already, which is the program's last. Otherwise it waits
      // for the next turn, which is drawn on that same picture (never on
      // an older buffer of a flip chain) and shows no drawing twice.
      if (vm_.render_timing.draw_queue == 1) return;
      host_.Display().ResumePresentedFrame();
      PreRunCheck();
      FrameRefresh(false);
    } else {
      host_.Display().RunDrawQueue();
    }
  } catch (...) {
    vm_.RunFault();
  }
}

void MessagePump::WaitForFrameTime() {
  platform::Clock& clock = host_.Clock();
  uint32_t& last = state_.window.last_frame_time;
  if (vm_.frame_time < 1) {
    while (clock.NowMs() == last) clock.SleepMs(1);
  } else {
    const uint32_t frame_time = static_cast<uint32_t>(vm_.frame_time);
    for (uint32_t elapsed; (elapsed = platform::ElapsedMs(last, clock.NowMs())) < frame_time;)
      clock.SleepMs(frame_time - elapsed);
  }
  last = clock.NowMs();
}

void MessagePump::FrameRefresh(bool wait_for_frame_time) {
  if (!vm_.app_active) return;
  DisplayServices& display = host_.Display();
  display.ExpireRecords();
  if (wait_for_frame_time) WaitForFrameTime();
  display.UpdateAnimations();
  display.SaveSpriteBackgrounds();
  if (vm_.render_timing.scene_render == 1) vm_.engine3d->RenderSceneIfEnabled();
  display.DrawSprites();
  if (vm_.render_timing.draw_queue == 1) display.RunDrawQueue();
  vm_.sound->UpdateSoundLibrary();
  vm_.sound->UpdateSound3D();
  vm_.sound->UpdateMusic();
  vm_.engine3d->AnimateObjects();
  display.PresentFrame();
  ++frames_presented_;
  display.TakeRequestedScreenCopy();
  state_.input.mouse_move_x = 0;
  state_.input.mouse_move_y = 0;
}

}  // namespace zv
