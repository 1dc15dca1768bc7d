#include "engine3d/commands/convert_3ds_command.h"

#include <filesystem>
#include <fstream>
#include <string>

#include "engine3d/engine.h"
#include "models/files/three_ds_to_x.h"
#include "platform/paths/path_resolver.h"
#include "runtime/attached/attached_data.h"

namespace zv {
namespace {

namespace err {
constexpr int32_t kSourceNot3ds = 7931;
constexpr int32_t kTargetNotX = 7932;
constexpr int32_t kNoSource = 105;
constexpr int32_t kTargetExists = 106;
}  // namespace err

// The text after the last "." found from the end down to the second
// character; a name without one has no extension.
bool HasExtension(const std::string& name, const char* wanted) {
  for (size_t i = name.size(); i-- > 1;)
    if (name[i] == '.') return platform::EqualNoCase(name.substr(i + 1), wanted);
  return false;
}

bool IsReadableFile(const std::string& path) {
  std::error_code error;
  return std::filesystem::is_regular_file(path, error) && std::ifstream(path, std::ios::binary).good();
}

void CmdConvert3dsToX(Vm& vm) {
  const std::string model(vm.NextString());
  const std::string target(vm.NextString());
  if (!HasExtension(model, "3ds")) return vm.RunError(err::kSourceNot3ds);
  if (!HasExtension(target, "x")) return vm.RunError(err::kTargetNotX);
  // The source may be one of a built game's records.
  const std::string source_path = ReadPath(vm.attached_data, model);
  if (!IsReadableFile(source_path)) return vm.RunError(err::kNoSource, model);
  const std::string target_path = platform::Paths().Resolve(target);
  std::error_code error;
  if (std::filesystem::exists(target_path, error)) return vm.RunError(err::kTargetExists, target);
  // A file that is no whole 3DS file, or a target that cannot be written,
  // converts nothing: the program hears of it.
  std::string why;
  const int32_t result = models::Convert3dsToX(source_path, target_path, &why);
  if (result == models::kThreeDsNotWritten) return vm.RunWarning(object_error::kFileWrite, target, why);
  if (result != 0) return vm.RunWarning(object_error::kConvert, model, why);
  // Converted, with texture coordinates that do not fit their mesh.
  if (!why.empty()) vm.RunWarning(object_error::kModelFault, model, why);
}

}  // namespace

void RegisterConvert3dsHandler(HandlerTable& table) { table.Set(7941, CmdConvert3dsToX); }

}  // namespace zv
