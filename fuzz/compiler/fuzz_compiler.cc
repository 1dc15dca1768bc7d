// Arbitrary source text to the compiler: it must end, never crash, and
// either compile or report an error with a message.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "compiler/compiler.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  zv::CompileOptions options;
  options.include_folder = "/nonexistent-include-folder";
  zv::CompileResult result =
      zv::CompileSource(std::string_view(reinterpret_cast<const char*>(data), size), "fuzz.kqa", options);
  if (result.ok == result.error.has_value()) std::abort();
  if (result.error && result.error->message.empty()) std::abort();
  if (result.ok && (result.program.code.empty() || result.program.code.back() != 0)) std::abort();
  return 0;
}
