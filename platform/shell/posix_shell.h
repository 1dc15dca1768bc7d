#pragma once

#include <sys/types.h>

#include <vector>

#include "platform/shell/shell.h"

namespace zv::platform {

// Starts programs with posix_spawn and opens documents, folders and
// addresses with "xdg-open". Children are not waited for; each turn of the
// message pump collects the ones that have ended.
class PosixShell final : public Shell {
 public:
  PosixShell() = default;
  PosixShell(const PosixShell&) = delete;
  PosixShell& operator=(const PosixShell&) = delete;

  // `request.file` and `request.directory` are paths of this machine, a
  // relative file named from our working folder. A runnable file is started
  // with the arguments; a name without "/" that is not here is looked for on
  // PATH; anything else that exists, and any address, goes to "xdg-open".
  bool Execute(const ShellRequest& request) override;
  void ReapFinishedChildren() override;

  // Children started and not yet collected.
  size_t RunningChildren() const { return children_.size(); }

 private:
  bool Spawn(const std::vector<std::string>& argv, const std::string& directory, bool search_path);
  std::vector<pid_t> children_;
};

}  // namespace zv::platform
