#include "platform/paths/growing_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <utility>
#include <vector>

#include "platform/paths/failure_cause.h"
#include "platform/paths/journal_form.h"
#include "platform/paths/path_text.h"

namespace zv::platform {
namespace {

constexpr char kWritingFolder[] = "writing";
constexpr std::string_view kWritingMagic = "ZVWRITE1";

// The file a record names, where it is still the one the record was made
// for: said to be cut short.
bool NameCutShort(const std::string& name, const std::vector<std::string>& fields) {
  if (fields.size() != 1 || fields[0].empty() || fields[0][0] != '/') return true;
  const std::string& path = fields[0];
  // Through the links the program wrote through; the identity says whether it is that file.
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return true;
  struct stat st {};
  const std::optional<FileIdentity> identity = IdentityOf(fd);
  const bool same = identity && JournalName(*identity) == name.substr(name.rfind('/') + 1) &&
                    ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
  ::close(fd);
  if (same)
    SayOnStandardError(Quoted(path) + " may be cut short: the program writing it was killed before it closed it (" +
                       std::to_string(st.st_size) + " bytes are there, kept as they are)");
  return true;
}

}  // namespace

bool GrowingFile::Recordable() { return HeldRecordsKept(kWritingFolder); }

std::optional<GrowingFile> GrowingFile::Record(int fd, const std::string& path) {
  const std::optional<FileIdentity> identity = IdentityOf(fd);
  if (!identity) return std::nullopt;
  GrowingFile file;
  file.record_ = WriteHeldRecord(kWritingFolder, kWritingMagic, *identity, {AbsolutePath(path)});
  if (file.record_.fd < 0) return std::nullopt;
  return file;
}

GrowingFile& GrowingFile::operator=(GrowingFile&& other) noexcept {
  if (this != &other) {
    RemoveHeldRecord(record_);
    record_ = std::exchange(other.record_, {});
  }
  return *this;
}

size_t NameCutShortFiles() { return SettleEndedRecords(kWritingFolder, kWritingMagic, NameCutShort); }

}  // namespace zv::platform
