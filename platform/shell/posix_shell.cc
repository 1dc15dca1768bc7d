#include "platform/shell/posix_shell.h"

#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "platform/shell/command_arguments.h"

extern char** environ;

namespace zv::platform {
namespace {

constexpr char kOpener[] = "xdg-open";

bool IsFolder(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool IsRunnableFile(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && ::access(path.c_str(), X_OK) == 0;
}

bool Exists(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0;
}

// The runnable file of that name in one of PATH's folders, if any.
bool FoundOnPath(const std::string& name) {
  const char* path = std::getenv("PATH");
  if (!path) return false;
  std::string_view rest = path;
  while (!rest.empty()) {
    size_t colon = rest.find(':');
    std::string folder(rest.substr(0, colon));
    rest = colon == std::string_view::npos ? std::string_view() : rest.substr(colon + 1);
    if (!folder.empty() && IsRunnableFile(folder + "/" + name)) return true;
  }
  return false;
}

std::string Absolute(const std::string& path) {
  if (!path.empty() && path.front() == '/') return path;
  char buffer[4096];
  if (!::getcwd(buffer, sizeof buffer)) return path;
  return std::string(buffer) + "/" + path;
}

}  // namespace

bool PosixShell::Execute(const ShellRequest& request) {
  const std::string& file = request.file;
  if (file.empty()) return false;
  if (!request.directory.empty() && !IsFolder(request.directory)) return false;

  if (LooksLikeAddress(file)) return Spawn({kOpener, file}, request.directory, true);
  // The child changes folder before it starts, so it is handed whole paths.
  if (IsRunnableFile(file)) {
    std::vector<std::string> argv = {Absolute(file)};
    for (std::string& a : SplitCommandArguments(request.arguments)) argv.push_back(std::move(a));
    return Spawn(argv, request.directory, false);
  }
  if (file.find('/') == std::string::npos && FoundOnPath(file)) {
    std::vector<std::string> argv = {file};
    for (std::string& a : SplitCommandArguments(request.arguments)) argv.push_back(std::move(a));
    return Spawn(argv, request.directory, true);
  }
  if (Exists(file)) return Spawn({kOpener, Absolute(file)}, request.directory, true);
  return false;
}

bool PosixShell::Spawn(const std::vector<std::string>& argv, const std::string& directory, bool search_path) {
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  if (posix_spawn_file_actions_init(&actions) != 0) return false;
  if (!directory.empty() && posix_spawn_file_actions_addchdir_np(&actions, directory.c_str()) != 0) {
    posix_spawn_file_actions_destroy(&actions);
    return false;
  }
  pid_t pid = 0;
  const int failed = search_path ? ::posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ)
                                 : ::posix_spawn(&pid, args[0], &actions, nullptr, args.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (failed != 0) return false;
  children_.push_back(pid);
  return true;
}

void PosixShell::ReapFinishedChildren() {
  for (size_t i = 0; i < children_.size();) {
    int status = 0;
    const pid_t done = ::waitpid(children_[i], &status, WNOHANG);
    if (done == children_[i] || (done < 0 && errno == ECHILD)) {
      children_[i] = children_.back();
      children_.pop_back();
    } else {
      ++i;
    }
  }
}

}  // namespace zv::platform
