#include "audio/library/load_shortfall.h"

#include <utility>

namespace zv {
namespace {

// Per thread: a stream's thread probing its file never touches what a load
// on the program's thread noted.
thread_local std::optional<LoadShortfall> t_shortfall;

}  // namespace

void ClearLoadShortfall() { t_shortfall.reset(); }

void NoteLoadShortfall(std::string what, uint64_t missing_bytes) {
  if (!t_shortfall && missing_bytes > 0) t_shortfall = LoadShortfall{std::move(what), missing_bytes};
}

std::optional<LoadShortfall> TakeLoadShortfall() { return std::exchange(t_shortfall, std::nullopt); }

}  // namespace zv
