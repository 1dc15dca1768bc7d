#include "platform/paths/failure_cause.h"

#include <cctype>
#include <cerrno>
#include <cstring>

namespace zv::platform {

std::string CauseOf(int error_number) {
  if (error_number == 0) return {};
  // The system's "text file busy" is how a save learns that another
  // program has the file open for writing (platform/paths/file_lock.h).
  if (error_number == ETXTBSY) return "in use by another program";
  std::string text = std::strerror(error_number);
  if (!text.empty()) text[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(text[0])));
  return text;
}

}  // namespace zv::platform
