#include "services/system/user_libraries.h"

#include <sys/stat.h>

#include <vector>

#include "platform/paths/path_resolver.h"

namespace zv {
namespace {

bool IsFile(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// Programs name their libraries as the system they were written for did
// ("tools.dll"); here a library is a shared object, so a name ending in
// ".dll" is also tried with ".so" in its place.
std::vector<std::string> CandidateNames(std::string_view program_name) {
  std::vector<std::string> names = {std::string(program_name)};
  constexpr std::string_view kDll = ".dll";
  if (program_name.size() > kDll.size() &&
      platform::EqualNoCase(program_name.substr(program_name.size() - kDll.size()), kDll))
    names.push_back(std::string(program_name.substr(0, program_name.size() - kDll.size())) + ".so");
  return names;
}

// How to hand a name to the loader: a file found from the working folder
// by its path (the loader would otherwise look only in the system's
// folders); a bare name that is not here, as it is, for the system to find.
std::string LoaderPath(const std::string& name) {
  const std::string native = platform::Paths().Resolve(name);
  if (IsFile(native)) return native.find('/') == std::string::npos ? "./" + native : native;
  return native.find('/') == std::string::npos ? native : std::string();
}

}  // namespace

bool UserLibraries::Load(int32_t slot, std::string_view program_name) {
  for (const std::string& name : CandidateNames(program_name)) {
    const std::string path = LoaderPath(name);
    if (path.empty()) continue;
    if (auto library = platform::DynamicLibrary::Open(path, nullptr)) {
      libraries_[static_cast<size_t>(slot)] = std::move(library);
      return true;
    }
  }
  return false;
}

void UserLibraries::FreeAll() {
  for (auto& library : libraries_) library.reset();
}

void* UserLibraries::FindFunction(int32_t slot, const std::string& name) const {
  const auto& library = libraries_[static_cast<size_t>(slot)];
  return library ? library->FindFunction(name) : nullptr;
}

}  // namespace zv
