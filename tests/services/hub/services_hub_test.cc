#include "services/hub/services_hub.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "platform/window/headless/headless_window.h"
#include "tests/support/fake_host.h"

namespace zv::test {
namespace {

namespace fs = std::filesystem;

// A program that turned the system keys off and ended without turning them
// on again leaves the desktop its keys: the window lets go of the keyboard
// when the run's devices are let go.
TEST(ServicesHub, TheDesktopHasItsKeysBackWhenTheRunEnds) {
  const fs::path folder = fs::temp_directory_path() / ("zv_hub_" + std::to_string(::getpid()));
  HandlerTable handlers;
  FakeHost host;
  Vm vm(handlers, host);
  platform::HeadlessWindow window(host.clock);
  HubOptions options;
  options.clock = &host.clock;
  options.user_state_folder = folder.string() + "/";
  {
    ServicesHub hub(window, vm, options);
    hub.SetSystemKeysEnabled(true);  // as every run starts
    SystemOf(vm).SetSystemKeysEnabled(false);
    EXPECT_TRUE(window.KeyboardGrabbed());
    hub.UnacquireInputDevices();
    EXPECT_FALSE(window.KeyboardGrabbed());
    EXPECT_TRUE(SystemOf(vm).SystemKeysEnabled());
  }
  fs::remove_all(folder);
}

}  // namespace
}  // namespace zv::test
