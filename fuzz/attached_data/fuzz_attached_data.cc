// Treats the input as a whole executable file: its trailer, then its records.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <string>
#include <vector>

#include "platform/text/system_text.h"
#include "runtime/attached/attached_data.h"

namespace {

// A lookup looks at the disk under the name it is given (a game's own files
// win over what it carries), and may note one there: the lookups run in an
// empty folder of their own, with names that stay in it.
char gFolder[] = "/tmp/zv-fuzz-attached-XXXXXX";

bool InEmptyFolder() {
  static const bool entered = [] {
    if (::mkdtemp(gFolder) == nullptr || ::chdir(gFolder) != 0) return false;
    std::atexit([] { ::rmdir(gFolder); });
    return true;
  }();
  return entered;
}

bool StaysInFolder(const std::string& name) {
  return name.find_first_of("/\\:") == std::string::npos && name != "." && name != "..";
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::span<const uint8_t> file(data, size);
  if (size < zv::kTrailerSize) return 0;
  auto stub_length = zv::ReadTrailerStubLength(file.last(zv::kTrailerSize), size);
  if (!stub_length || *stub_length > size) return 0;
  std::vector<uint8_t> records(file.begin() + *stub_length, file.end());
  zv::AttachedData attached("/nonexistent-folder/");
  std::string error;
  if (attached.LoadRecords(std::move(records), *stub_length, &error) != zv::AttachedData::LoadResult::kLoaded)
    return 0;
  // Every entry's data must lie inside the block.
  size_t sum = 0;
  for (const zv::AttachedEntry& entry : attached.Entries())
    for (uint8_t byte : attached.DataOf(entry)) sum += byte;
  // Lookups must fail cleanly when the temporary file cannot be written.
  std::string name = attached.Entries().size() > 1 ? attached.Entries()[1].name : "missing.bmp";
  if (!InEmptyFolder() || !StaysInFolder(name)) return 0;
  // A name no file may take is refused by name, as a program's load is.
  try {
    attached.ResolveVirtualFile(name, "bmp");
    attached.ResolveVirtualFileByName(name, "../x");
  } catch (const zv::platform::RefusedName&) {
  }
  return static_cast<int>(sum & 0);
}
