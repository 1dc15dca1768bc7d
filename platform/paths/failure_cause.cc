#include "platform/paths/failure_cause.h"

#include <cctype>
#include <cstdio>
#include <cstring>

namespace zv::platform {

std::string CauseOf(int error_number) {
  if (error_number == 0) return {};
  // How a save or a read learns of another program's hold on the file
  // (platform/paths/file_lock.h).
  if (error_number == kHeldOpenForWriting) return "in use by another program, which has it open for writing";
  if (error_number == kHeldBySave) return "in use by another program, which is saving it";
  if (error_number == kHeldByReaders) return "in use by another program, which is reading it";
  if (error_number == kNoJournalPlace)
    return "it is saved in place, and no folder only its user may write could keep its journal";
  if (error_number == kNoSharedMark)
    return "it is saved in place, other users may write it, and its file system keeps no mark that would tell "
           "them of a save killed part-way";
  std::string text = std::strerror(error_number);
  if (!text.empty()) text[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(text[0])));
  return text;
}

void SayOnStandardError(const std::string& text) { std::fprintf(stderr, "zentrovex: %s\n", text.c_str()); }

bool IsReadersHold(std::string_view cause) { return cause == CauseOf(kHeldByReaders); }

}  // namespace zv::platform
