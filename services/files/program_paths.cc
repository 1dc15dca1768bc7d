#include "services/files/program_paths.h"

#include "platform/paths/path_resolver.h"
#include "runtime/attached/attached_data.h"

namespace zv {

std::string NativePath(std::string_view program_path) {
  return platform::Paths().Resolve(program_path);
}

std::string LookUpProgramFile(AttachedData* attached, std::string_view program_path) {
  return ReadPath(attached, program_path);
}

}  // namespace zv
