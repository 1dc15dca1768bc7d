#pragma once

// The system's shared libraries that only some programs need (video,
// music, fonts, the window, the network) are not linked: each backend
// names the functions it calls in one list, and a table of them is filled
// from the library the first time the backend asks for it. A run that
// never draws text, plays a video or opens a window then never loads
// those libraries, and starts in a few milliseconds; a machine without one
// of them runs every program that does not need it.
//
// In a backend's header, with the library's own headers included:
//
//   #define ZV_CURL_FUNCTIONS(X) X(curl_easy_init) X(curl_easy_cleanup)
//   ZV_SYSTEM_LIBRARY(CurlLibrary, Curl, "libcurl.so.4", ZV_CURL_FUNCTIONS)
//
// and at each call: Curl().curl_easy_init(). The first call of Curl()
// loads the library; where it is missing, or lacks a function named, it
// throws LibraryMissing, which the command that needed it reports as its
// runtime error. Lists name the functions the library exports (a name the
// library's header defines as a macro of another is listed by that other).

#include <stdexcept>
#include <string>

namespace zv::platform {

// A system library a command needs could not be loaded.
class LibraryMissing : public std::runtime_error {
 public:
  LibraryMissing(const std::string& library, const std::string& cause);
  const std::string& Library() const { return library_; }

 private:
  std::string library_;
};

// The library `soname`, loaded for the rest of the process (never
// unloaded: its functions may be called until the process ends). Throws
// LibraryMissing when it cannot be loaded. ZV_TEST_MISSING_LIBRARIES, a
// list of sonames separated by blanks, makes those count as missing: tests
// see what a machine without them shows.
void* OpenSystemLibrary(const char* soname);

// The function `name` of the library `handle` (`soname`); throws
// LibraryMissing when the library has none.
void* SystemLibraryFunction(void* handle, const char* soname, const char* name);

}  // namespace zv::platform

// The text of a version number its header defines, for a soname.
#define ZV_VERSION_TEXT(number) ZV_VERSION_TEXT_OF(number)
#define ZV_VERSION_TEXT_OF(number) #number

#define ZV_SYSTEM_LIBRARY_SLOT(name) decltype(&::name) name = nullptr;
#define ZV_SYSTEM_LIBRARY_FIND(name) \
  name = reinterpret_cast<decltype(&::name)>(::zv::platform::SystemLibraryFunction(handle, kSoname, #name));

// Declares TYPE, the table of the functions LIST names, and ACCESSOR(),
// which fills it from SONAME on its first call (see above).
#define ZV_SYSTEM_LIBRARY(TYPE, ACCESSOR, SONAME, LIST)                   \
  struct TYPE {                                                           \
    static constexpr const char* kSoname = SONAME;                        \
    LIST(ZV_SYSTEM_LIBRARY_SLOT)                                          \
    static TYPE Load() {                                                  \
      void* handle = ::zv::platform::OpenSystemLibrary(kSoname);          \
      TYPE table;                                                         \
      table.Fill(handle);                                                 \
      return table;                                                       \
    }                                                                     \
                                                                          \
   private:                                                               \
    void Fill([[maybe_unused]] void* handle) { LIST(ZV_SYSTEM_LIBRARY_FIND) } \
  };                                                                      \
  inline const TYPE& ACCESSOR() {                                         \
    static const TYPE table = TYPE::Load();                               \
    return table;                                                         \
  }
