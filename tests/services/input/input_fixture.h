#pragma once

#include <gtest/gtest.h>

#include <string>

#include "platform/input/headless/headless_input.h"
#include "platform/input/key_codes.h"
#include "runtime/console/console_commands.h"
#include "runtime/display_seam.h"
#include "runtime/runtime_state.h"
#include "runtime/vm/dispatch.h"
#include "runtime/vm/loader.h"
#include "runtime/vm/opcodes/core_handlers.h"
#include "runtime/vm/services/input_services.h"
#include "runtime/vm/vm.h"
#include "services/input/input_commands.h"
#include "services/input/input_devices.h"
#include "tests/support/fake_host.h"
#include "tests/support/program_assembler.h"

namespace zv::test {

// The runtime's input seam over the devices, as the app wires it.
class InputDevicesSeam final : public InputServices {
 public:
  explicit InputDevicesSeam(InputDevices& devices) : devices_(devices) {}
  bool InitInput() override { return devices_.InitInput(); }
  void PollInputDevices() override { devices_.PollInputDevices(); }
  void AcquireInputDevices() override { devices_.AcquireInputDevices(); }
  void UnacquireInputDevices() override { devices_.UnacquireInputDevices(); }
  void ReleaseForceEffects() override { devices_.ReleaseForceEffects(); }
  void ShutdownInput() override { devices_.ShutdownInput(); }

 private:
  InputDevices& devices_;
};

// A display of a given size, full screen or in a window.
class SizedDisplay : public DisplayServices {
 public:
  PictureArea Picture() override { return picture; }
  void SetWindowed(bool windowed) { windowed_ = windowed; }
  PictureArea picture;
};

// A machine with the input commands over a headless backend: the devices
// are attached and opened, the runtime state and a full-screen 640x480
// display are in place, and the clock is the host's.
class InputTest : public ::testing::Test {
 protected:
  InputTest() : vm(handlers, host), input(host.clock), devices(input) {
    RegisterCoreHandlers(handlers);
    RegisterConsoleHandlers(handlers);
    RegisterInputHandlers(handlers);
    vm.runtime = &runtime;
    vm.display = &display;
    devices.Attach(vm);
  }

  // Opens the devices as the start-up does: created, then acquired.
  void Start() {
    ASSERT_TRUE(devices.InitInput());
    devices.AcquireInputDevices();
  }

  static constexpr uint32_t kEnd = 213;

  // Ends the assembled program, installs it and runs it to its end (or to
  // its first error); the input state is read afresh first, as at the top of
  // a turn of the message pump.
  void Run() {
    assembler.Op(kEnd);
    ASSERT_TRUE(InstallProgram(vm, assembler.Finish()));
    ResetVmState(vm);
    devices.PollInputDevices();
    for (int turn = 0; turn < 100 && !vm.program_ended && vm.errors.code == 0; ++turn) {
      RunVmLoop(vm);
      vm.yield = false;
    }
  }

  int32_t Int(int k) const { return vm.IntAt(Slot{slots::kIntVar + static_cast<uint32_t>(k)}); }

  HandlerTable handlers;
  FakeHost host;
  Vm vm;
  RuntimeState runtime;
  SizedDisplay display;
  platform::HeadlessInput input;
  InputDevices devices;
  ProgramAssembler assembler;
};

}  // namespace zv::test
