#include "platform/paths/apart_content.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

#include "platform/paths/failure_cause.h"
#include "platform/paths/journal_form.h"
#include "platform/paths/kept_folder.h"
#include "platform/paths/path_text.h"
#include "platform/paths/save_temporary.h"

namespace zv::platform {
namespace {

constexpr char kApartRecords[] = "apart";
constexpr std::string_view kApartPrefix = ".zv-apart-";
constexpr std::string_view kApartMagic = "ZVAPART1";

// The content of an ended program's record `name`, kept where the user
// finds it; whether the record goes.
bool KeepRecorded(const std::string& name, const std::vector<std::string>& fields) {
  // Only the file the record was made for, and only the user's own.
  const int fd = OpenHeldBeside(name, fields, IsApartContentName);
  if (fd < 0) return true;
  const std::string& path = fields[0];
  const std::string& hidden = fields[1];
  struct stat st {};
  if (::fstat(fd, &st) == 0 && st.st_size == 0) {
    // Killed before it wrote anything: nothing of it is lost.
    ::close(fd);
    ::unlink(hidden.c_str());
    return true;
  }
  const std::string kept = KeepFileBeside(fd, hidden, path);
  const int error = errno;
  ::close(fd);
  const std::string what = Quoted(path) + " was not replaced: the program writing it anew was killed before it " +
                           "closed it; what it wrote (" + std::to_string(st.st_size) + " bytes) ";
  if (kept.empty()) {
    SayOnStandardError(what + "could not be kept beside it (" + CauseOf(error) + "): it waits as " +
                       Quoted(hidden));
    return false;
  }
  SayOnStandardError(what + "is kept as " + Quoted(kept));
  return true;
}

}  // namespace

bool IsApartContentName(std::string_view name) {
  return name.starts_with(kApartPrefix) && HasJournalNameForm(name.substr(kApartPrefix.size()));
}

std::optional<ApartContent> ApartContent::Name(int fd, const std::string& temporary, const std::string& target) {
  const std::optional<FileIdentity> identity = IdentityOf(fd);
  if (!identity) return std::nullopt;
  ApartContent content;
  const std::string path = AbsolutePath(target);
  content.hidden_ = JoinPath(FolderPart(path), std::string(kApartPrefix) + JournalName(*identity));
  // The record first: a kill before the name is there leaves a record of nothing.
  content.record_ = WriteHeldRecord(kApartRecords, kApartMagic, *identity, {path, content.hidden_});
  if (content.record_.fd < 0) return std::nullopt;
  const bool named = temporary.empty() ? NameSaveTemporary(fd, content.hidden_)
                                       : ::renameat2(AT_FDCWD, temporary.c_str(), AT_FDCWD, content.hidden_.c_str(),
                                                     RENAME_NOREPLACE) == 0;
  if (!named) {
    const int error = errno;
    RemoveHeldRecord(content.record_);
    errno = error;
    return std::nullopt;
  }
  return content;
}

ApartContent& ApartContent::operator=(ApartContent&& other) noexcept {
  if (this != &other) {
    RemoveHeldRecord(record_);
    record_ = std::exchange(other.record_, {});
    hidden_ = std::move(other.hidden_);
  }
  return *this;
}

size_t KeepKilledApartContent() { return SettleEndedRecords(kApartRecords, kApartMagic, KeepRecorded); }

}  // namespace zv::platform
