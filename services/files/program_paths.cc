#include "services/files/program_paths.h"

#include "platform/paths/path_resolver.h"
#include "platform/text/system_text.h"
#include "runtime/attached/attached_data.h"

namespace zv {

std::string NativePath(std::string_view program_path) {
  return platform::Paths().Resolve(program_path);
}

std::string TakenNameCause(std::string_view program_path) {
  const std::string native = NativePath(program_path);
  const std::string found = native.substr(native.rfind('/') + 1);
  const size_t separator = program_path.find_last_of("\\/");
  const std::string_view spelled = program_path.substr(separator == std::string_view::npos ? 0 : separator + 1);
  if (platform::CheckedSystemNameOf(spelled) == found) return {};
  return "\"" + platform::ProgramNameOf(found).value_or(platform::ProgramTextOf(found)) + "\" answers to that name";
}

std::string LookUpProgramFile(AttachedData* attached, std::string_view program_path) {
  return ReadPath(attached, program_path);
}

}  // namespace zv
