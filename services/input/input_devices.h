#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "platform/input/input.h"
#include "services/input/force_effects.h"

namespace zv {

class Vm;
struct InputState;

// Names are kept as the 256-byte name fields of the design hold them.
constexpr size_t kDeviceNameLimit = 255;

// Every input device of the program: the keyboard, the mouse, the default
// joystick (the first one attached) and the control device (a joystick the
// program chose by name, the only one that plays force-feedback effects),
// with the state blocks a poll fills from them. The keyboard state and the
// mouse values a poll fills are the runtime's (RuntimeState::input), which
// the console's keyboard and mouse commands read too.
class InputDevices {
 public:
  explicit InputDevices(platform::InputSystem& system);
  ~InputDevices();
  InputDevices(const InputDevices&) = delete;
  InputDevices& operator=(const InputDevices&) = delete;

  // The machine whose state the poll fills and whose display and window
  // state it reads; its command handlers find these devices through it.
  // Until a machine is attached the poll reads nothing; the devices keep the
  // machine until the next one is attached, so they must not poll once it
  // is gone.
  void Attach(Vm& vm);
  // The editor's requesters: while this gives a value above 1 the poll
  // reads only the keyboard.
  void SetPointerModeSource(std::function<int32_t()> source) { pointer_mode_ = std::move(source); }

  // ---- Life of the devices -----------------------------------------------------
  // Opens the keyboard, the mouse and the default joystick; false (with the
  // reason in the error log) when the keyboard or the mouse is missing. A
  // missing joystick is no failure.
  bool InitInput();
  // Effects, the control device, then every other device and the backend.
  void ShutdownInput();
  void AcquireInputDevices();
  void UnacquireInputDevices();
  // Ends every effect and the control device with them.
  void ReleaseForceEffects();

  // Reads every device into its state block; nothing while the program is
  // inactive. While the window lacks the focus only what the desktop let go
  // of is read: a program in a window runs on behind another.
  void PollInputDevices();

  // ---- The control device ----------------------------------------------------------
  void SetWantedControlDeviceName(std::string_view name);
  // Opens the attached joystick of the wanted name as the control device,
  // with its effects when it has force feedback; false when none is attached.
  bool SelectControlDevice();

  // ---- What the commands read --------------------------------------------------------
  const platform::JoystickState& JoystickState() const { return joystick_state_; }
  const platform::JoystickState& ControlDeviceState() const { return control_state_; }
  const platform::MouseState& MouseState() const { return mouse_state_; }
  const std::string& DefaultJoystickName() const { return default_joystick_name_; }
  const std::string& WantedControlDeviceName() const { return wanted_name_; }
  const std::string& CurrentControlDeviceName() const { return current_name_; }
  // 1 while the control device was chosen among the force-feedback devices;
  // it outlives a later selection that failed.
  bool ForceFeedback() const { return force_feedback_; }
  platform::Joystick* ControlDevice() { return control_.get(); }
  ForceEffects& Effects() { return effects_; }
  platform::InputSystem& System() { return system_; }

 private:
  bool CreateKeyboardDevice();
  bool CreateMouseDevice();
  bool FindDefaultJoystick();
  // The first attached joystick (with force feedback when asked) of the
  // wanted name, opened, set up and acquired.
  std::unique_ptr<platform::Joystick> OpenNamedJoystick(bool force_feedback_only);
  void ReleaseControlDevice();

  void ReadKeyboard(InputState& input);
  bool ReadMouse();
  void ReadReleases(InputState& input);
  // Whether the mouse device, not the window's messages, places the pointer
  // and gives the buttons.
  bool OwnsPointer();
  void UpdateMouseTracking(InputState& input);
  static void ReadJoystick(platform::Joystick& device, platform::JoystickState* state);
  // Keeps the text where the run's error report finds it and, with logging
  // on, writes it to the log file.
  void WriteErrorLog(std::string_view text);

  platform::InputSystem& system_;
  Vm* vm_ = nullptr;
  std::function<int32_t()> pointer_mode_;

  std::unique_ptr<platform::Keyboard> keyboard_;
  std::unique_ptr<platform::Mouse> mouse_;
  std::unique_ptr<platform::Joystick> default_joystick_;
  std::unique_ptr<platform::Joystick> control_;
  ForceEffects effects_;
  bool force_feedback_ = false;

  std::string default_joystick_name_;
  std::string wanted_name_;
  std::string current_name_;

  platform::MouseState mouse_state_;
  platform::JoystickState joystick_state_;
  platform::JoystickState control_state_;
};

// The devices a command works with; a fault of the command when no input
// devices are attached to the machine.
InputDevices& DevicesOf(Vm& vm);

}  // namespace zv
