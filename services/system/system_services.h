#pragma once

#include <array>
#include <string>

#include "platform/registry/registry.h"
#include "platform/window/window.h"
#include "runtime/vm/vm.h"
#include "services/system/user_libraries.h"

namespace zv {

// The folders the system queries report.
struct SystemFolders {
  std::string executable_path;  // the running executable
  std::string windows_folder;   // the system's own folder, where WIN.INI lives
};
// This process's executable, and the user's configuration folder of the
// system ($XDG_CONFIG_HOME/zentrovex).
SystemFolders DefaultSystemFolders();

// What the clipboard, registry, system and user-library commands keep for a
// program: the registry, the folders, the system-keys flag, the internal
// flags and the library slots. One per process; the commands reach it
// through the Vm it is bound to.
class SystemServices {
 public:
  static constexpr int kInternalFlags = 3;

  // `window`: the program's window, which holds the keyboard while the
  // system keys are off; null where there is none (the flag alone changes).
  SystemServices(platform::Registry registry, SystemFolders folders, platform::Window* window = nullptr)
      : registry_(std::move(registry)), folders_(std::move(folders)), window_(window) {}
  SystemServices(const SystemServices&) = delete;
  SystemServices& operator=(const SystemServices&) = delete;

  // Lets the commands of `vm` reach these services (vm.system).
  void Bind(Vm& vm) { vm.system = this; }

  // ---- What the runtime asks -----------------------------------------------------
  // The desktop's task-switch keys on or off. Off, the window grabs the
  // keyboard, so that those keys reach the program instead of the desktop.
  void SetSystemKeysEnabled(bool enabled);
  // At every run's beginning: the keys on and the internal flags cleared.
  void ResetForRun();
  // When the program is freed: every library it loaded is unloaded.
  void UnloadUserLibraries() { libraries_.FreeAll(); }

  // ---- The commands' state -------------------------------------------------------
  bool SystemKeysEnabled() const { return system_keys_enabled_; }
  // Flags A, B and C; nothing else in the system reads them.
  std::array<bool, kInternalFlags>& InternalFlags() { return internal_flags_; }
  const platform::Registry& Registry() const { return registry_; }
  const SystemFolders& Folders() const { return folders_; }
  UserLibraries& Libraries() { return libraries_; }

 private:
  platform::Registry registry_;
  SystemFolders folders_;
  platform::Window* window_;
  bool system_keys_enabled_ = true;
  std::array<bool, kInternalFlags> internal_flags_{};
  UserLibraries libraries_;
};

// The system services of the machine; a command that runs without them is a
// fault of the set-up (error 10010).
SystemServices& SystemOf(Vm& vm);

}  // namespace zv
