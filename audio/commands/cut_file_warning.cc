#include "audio/commands/cut_file_warning.h"

#include <optional>
#include <string>

#include "audio/library/load_shortfall.h"
#include "runtime/vm/vm.h"

namespace zv {

void WarnIfFileWasCut(Vm& vm, int32_t code, std::string_view file) {
  const std::optional<LoadShortfall> lacked = TakeLoadShortfall();
  if (!lacked) return;
  vm.WarnAndGoOn(code, file,
                 "not all of it: the file is cut short, at least " + std::to_string(lacked->missing_bytes) +
                     " bytes of " + lacked->what + " are missing; what came is loaded");
}

}  // namespace zv
