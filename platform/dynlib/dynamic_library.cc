#include "platform/dynlib/dynamic_library.h"

#include <dlfcn.h>

namespace zv::platform {

std::unique_ptr<DynamicLibrary> DynamicLibrary::Open(const std::string& path, std::string* error) {
  // Symbols stay private to the library, so two libraries exporting one name
  // each keep their own.
  void* handle = path.empty() ? nullptr : ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!handle) {
    if (error) {
      const char* why = ::dlerror();
      *error = why ? why : "no library named";
    }
    return nullptr;
  }
  return std::unique_ptr<DynamicLibrary>(new DynamicLibrary(handle));
}

DynamicLibrary::~DynamicLibrary() { ::dlclose(handle_); }

void* DynamicLibrary::FindFunction(const std::string& name) const {
  if (name.empty()) return nullptr;
  return ::dlsym(handle_, name.c_str());
}

}  // namespace zv::platform
