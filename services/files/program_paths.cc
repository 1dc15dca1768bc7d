#include "services/files/program_paths.h"

#include "platform/paths/path_resolver.h"
#include "runtime/attached/attached_data.h"

namespace zv {

std::string NativePath(std::string_view program_path) {
  return platform::Paths().Resolve(program_path);
}

std::string LookUpProgramFile(AttachedData* attached, std::string_view program_path) {
  std::string path(program_path);
  if (attached && attached->ResolveVirtualFile(path, "dat")) return path;
  return NativePath(path);
}

}  // namespace zv
