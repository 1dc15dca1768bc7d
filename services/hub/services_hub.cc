#include "services/hub/services_hub.h"

#include "platform/input/headless/headless_input.h"
#include "platform/input/sdl/sdl_input.h"
#include "platform/registry/registry.h"
#include "platform/shell/posix_shell.h"

namespace zv {
namespace {

std::unique_ptr<platform::InputSystem> MakeInput(platform::Window& window, platform::Clock& clock) {
  if (window.HasDisplay())
    if (auto sdl = platform::MakeSdlInput()) return sdl;
  return std::make_unique<platform::HeadlessInput>(clock);
}

platform::Registry MakeRegistry(const HubOptions& options) {
  return options.user_state_folder.empty() ? platform::Registry::InConfigFolder()
                                           : platform::Registry::InFolder(options.user_state_folder);
}

SystemFolders MakeFolders(const HubOptions& options) {
  SystemFolders folders = DefaultSystemFolders();
  if (!options.executable_path.empty()) folders.executable_path = options.executable_path;
  if (!options.user_state_folder.empty()) folders.windows_folder = options.user_state_folder;
  return folders;
}

}  // namespace

ServicesHub::ServicesHub(platform::Window& window, Vm& vm, const HubOptions& options)
    : vm_(vm),
      input_system_(MakeInput(window, *options.clock)),
      input_(*input_system_),
      // Headless runs start programs too, so that a start that fails is
      // reported as one.
      shell_(std::make_unique<platform::PosixShell>()),
      files_(*shell_),
      system_(MakeRegistry(options), MakeFolders(options), &window),
      net_(CreateNetServices(*options.clock, /*loopback_only=*/!window.HasDisplay())) {
  input_.Attach(vm);
  files_.Bind(vm);
  system_.Bind(vm);
  memory_.SetSounds(options.sound_layouts);
  memory_.SetMeshes(options.mesh_layouts);
  vm.memory_blocks = &memory_;
  vm.net = net_.get();
}

ServicesHub::~ServicesHub() = default;

void ServicesHub::UnacquireInputDevices() {
  input_.UnacquireInputDevices();
  // The run is over: the desktop has its keys back, whatever the program left.
  system_.SetSystemKeysEnabled(true);
}

void ServicesHub::SetSystemKeysEnabled(bool enabled) {
  // Only the start of a run turns the keys on through the runtime; that is
  // also when the system's internal flags go back to their start values.
  if (enabled) system_.ResetForRun();
  system_.SetSystemKeysEnabled(enabled);
}

}  // namespace zv
