#pragma once

#include <memory>
#include <string>

namespace zv::platform {

// A shared object loaded into the process, unloaded when the object goes.
class DynamicLibrary {
 public:
  // Loads the library at `path` (a name without "/" is looked for where the
  // system looks for libraries). Null, with `error` set when given, when it
  // cannot be loaded.
  static std::unique_ptr<DynamicLibrary> Open(const std::string& path, std::string* error);
  ~DynamicLibrary();
  DynamicLibrary(const DynamicLibrary&) = delete;
  DynamicLibrary& operator=(const DynamicLibrary&) = delete;

  // The address of the exported function `name` (matched exactly), or null.
  void* FindFunction(const std::string& name) const;

 private:
  explicit DynamicLibrary(void* handle) : handle_(handle) {}
  void* handle_;
};

}  // namespace zv::platform
