#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace zv {

// What the file a load read lacks: a file cut short (its writer killed, a
// copy broken off) loads what it holds, and the caller tells the program
// what did not come. Kept per thread, beside the last error: every sample
// and song load starts with none, the format readers note what they find
// missing, and the caller takes it once the load has succeeded.
struct LoadShortfall {
  std::string what;            // "its sound data", "its last frame", "2 patterns and 1 sample"
  // Of `what`, as far as the file's own headers claim them: where the file
  // ends before a header, what that header would have claimed is not known.
  uint64_t missing_bytes = 0;
};

void ClearLoadShortfall();
// Notes that `missing_bytes` of `what` did not come; a load's first note
// stands.
void NoteLoadShortfall(std::string what, uint64_t missing_bytes);
// What the last load on this thread lacked, taken (none for a whole file).
std::optional<LoadShortfall> TakeLoadShortfall();

}  // namespace zv
