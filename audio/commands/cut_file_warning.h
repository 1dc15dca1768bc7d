#pragma once

#include <cstdint>
#include <string_view>

namespace zv {

class Vm;

// After a sound or music load that succeeded: where the file was cut short,
// warning `code` (the command's load warning) names it and says what it
// lacks. The load keeps what came, and the program goes on.
void WarnIfFileWasCut(Vm& vm, int32_t code, std::string_view file);

}  // namespace zv
