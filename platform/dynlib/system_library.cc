#include "platform/dynlib/system_library.h"

#include <dlfcn.h>

#include <cstdlib>
#include <sstream>

namespace zv::platform {
namespace {

bool MissingForTests(const std::string& soname) {
  const char* listed = std::getenv("ZV_TEST_MISSING_LIBRARIES");
  if (!listed) return false;
  std::istringstream names(listed);
  for (std::string name; names >> name;)
    if (name == soname) return true;
  return false;
}

}  // namespace

LibraryMissing::LibraryMissing(const std::string& library, const std::string& cause)
    : std::runtime_error("The system library " + library + " could not be loaded (" + cause + ")"), library_(library) {}

void* OpenSystemLibrary(const char* soname) {
  if (MissingForTests(soname)) throw LibraryMissing(soname, "it is listed in ZV_TEST_MISSING_LIBRARIES");
  // Its symbols stay its own, so that they meet no other library's.
  void* handle = ::dlopen(soname, RTLD_NOW | RTLD_LOCAL);
  if (!handle) {
    const char* why = ::dlerror();
    throw LibraryMissing(soname, why ? why : "not found");
  }
  return handle;
}

void* SystemLibraryFunction(void* handle, const char* soname, const char* name) {
  void* function = ::dlsym(handle, name);
  if (!function) throw LibraryMissing(soname, std::string("it has no function ") + name);
  return function;
}

}  // namespace zv::platform
