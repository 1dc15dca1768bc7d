#include "services/system/system_services.h"

#include <unistd.h>

#include <vector>

#include "platform/paths/state_folder.h"

namespace zv {
namespace {

std::string ExecutablePath() {
  std::vector<char> buffer(4096);
  const ssize_t n = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
  if (n <= 0 || static_cast<size_t>(n) >= buffer.size()) return {};
  return std::string(buffer.data(), static_cast<size_t>(n));
}

}  // namespace

SystemFolders DefaultSystemFolders() { return SystemFolders{ExecutablePath(), platform::ConfigFolder()}; }

void SystemServices::SetSystemKeysEnabled(bool enabled) {
  system_keys_enabled_ = enabled;
  if (window_) window_->GrabKeyboard(!enabled);
}

void SystemServices::ResetForRun() {
  SetSystemKeysEnabled(true);
  internal_flags_.fill(false);
}

SystemServices& SystemOf(Vm& vm) {
  if (!vm.system) throw OperandFault("the system commands have no system services");
  return *vm.system;
}

}  // namespace zv
