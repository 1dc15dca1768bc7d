#pragma once

#include <memory>
#include <string>

#include "platform/clock/clock.h"
#include "platform/input/input.h"
#include "platform/shell/shell.h"
#include "platform/window/window.h"
#include "runtime/vm/services/input_services.h"
#include "runtime/vm/vm.h"
#include "services/files/file_services.h"
#include "services/input/input_devices.h"
#include "services/memory/memory_blocks.h"
#include "services/net/net_services.h"
#include "services/system/system_services.h"

namespace zv {

struct HubOptions {
  platform::Clock* clock = nullptr;   // the run's clock (scripted input runs on it headless)
  std::string executable_path;
  // Where the registry and the system folder live; empty: the user's
  // configuration folder.
  std::string user_state_folder;
  // What makes sounds and meshes from memory blocks and back; null: the
  // stand-ins, which refuse.
  SoundLayoutServices* sound_layouts = nullptr;
  MeshLayoutServices* mesh_layouts = nullptr;
};

// The services of input, files, system, memory blocks, FTP and multiplayer
// for one run, bound to its machine: real devices, shell and registry with a
// display, scripted input, a recording shell, a registry in the given folder
// and loopback-only sessions without one. It answers the runtime's calls
// into these subsystems.
class ServicesHub final : public InputServices {
 public:
  ServicesHub(platform::Window& window, Vm& vm, const HubOptions& options);
  ~ServicesHub() override;

  bool InitInput() override { return input_.InitInput(); }
  void PollInputDevices() override { input_.PollInputDevices(); }
  void AcquireInputDevices() override { input_.AcquireInputDevices(); }
  void UnacquireInputDevices() override;
  void ReleaseForceEffects() override { input_.ReleaseForceEffects(); }
  void ShutdownInput() override { input_.ShutdownInput(); }
  void ReapFinishedChild() override { files_.ReapFinishedChild(); }
  void SetSystemKeysEnabled(bool enabled) override;
  void UnloadUserLibraries() override { system_.UnloadUserLibraries(); }
  void FreeMemoryBlocks() override { memory_.FreeMemoryBlocks(); }
  void CloseNumberedFiles() override { files_.CloseNumberedFiles(); }
  void FrameWorkDone() override { files_.FrameWorkDone(); }
  bool FileExists(const std::string& name) override { return files_.FileExists(name); }
  void CloseFtpConnection() override { net_->CloseFtpConnection(); }
  void FreeMultiplayerResources() override { net_->FreeMultiplayerResources(); }
  void ServiceNetwork() override { net_->ServiceNetwork(vm_); }

  MemoryBlocks& Memory() { return memory_; }

 private:
  Vm& vm_;
  std::unique_ptr<platform::InputSystem> input_system_;
  InputDevices input_;
  std::unique_ptr<platform::Shell> shell_;
  FileServices files_;
  SystemServices system_;
  MemoryBlocks memory_;
  std::unique_ptr<NetServices> net_;
};

}  // namespace zv
