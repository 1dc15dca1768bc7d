#include "platform/paths/failure_cause.h"

#include <cctype>
#include <cstring>

namespace zv::platform {

std::string CauseOf(int error_number) {
  if (error_number == 0) return {};
  std::string text = std::strerror(error_number);
  if (!text.empty()) text[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(text[0])));
  return text;
}

}  // namespace zv::platform
