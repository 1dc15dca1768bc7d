#include "platform/paths/held_record.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/paths/failure_cause.h"
#include "platform/paths/path_text.h"
#include "platform/paths/state_folder.h"

namespace zv::platform {
namespace {

constexpr off_t kMaxRecord = 2 * 65536;

std::vector<uint8_t> RecordBytes(std::string_view magic, const std::vector<std::string>& fields) {
  std::vector<uint8_t> bytes(magic.begin(), magic.end());
  for (const std::string& field : fields) {
    bytes.insert(bytes.end(), field.begin(), field.end());
    bytes.push_back(0);
  }
  return bytes;
}

// The fields of the record open as `fd`; nothing for a file that is none.
std::optional<std::vector<std::string>> ReadRecord(int fd, std::string_view magic) {
  struct stat st {};
  if (::fstat(fd, &st) != 0 || st.st_size < static_cast<off_t>(magic.size()) || st.st_size > kMaxRecord)
    return std::nullopt;
  std::string text(static_cast<size_t>(st.st_size), '\0');
  if (!ReadExactly(fd, reinterpret_cast<uint8_t*>(text.data()), text.size(), 0) || !text.starts_with(magic) ||
      (text.size() > magic.size() && text.back() != '\0'))
    return std::nullopt;
  std::vector<std::string> fields;
  for (size_t at = magic.size(); at < text.size();) {
    const size_t end = text.find('\0', at);
    fields.push_back(text.substr(at, end - at));
    at = end + 1;
  }
  return fields;
}

}  // namespace

HeldRecord WriteHeldRecord(const char* part, std::string_view magic, const FileIdentity& file,
                           const std::vector<std::string>& fields) {
  int error = ENOENT;
  for (const std::string& state : StateFolders()) {
    const std::optional<std::string> folder = MakeStateFolder(part, state);
    if (!folder) {
      error = errno;
      continue;
    }
    HeldRecord record{-1, JoinPath(*folder, JournalName(file))};
    record.fd = ::open(record.name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (record.fd < 0) {
      error = errno;
      continue;
    }
    if (::flock(record.fd, LOCK_EX) == 0 && WriteExactly(record.fd, RecordBytes(magic, fields), 0)) return record;
    error = errno;
    RemoveHeldRecord(record);
  }
  errno = error;
  return {};
}

void RemoveHeldRecord(HeldRecord& record) {
  if (record.fd < 0) return;
  const int error = errno;
  ::unlink(record.name.c_str());
  ::close(record.fd);
  record.fd = -1;
  errno = error;
}

bool HeldRecordsKept(const char* part) {
  for (const std::string& state : StateFolders())
    if (MakeStateFolder(part, state)) return true;
  return false;
}

size_t SettleEndedRecords(const char* part, std::string_view magic, const RecordSettle& settle) {
  size_t gone = 0;
  for (const std::string& state : StateFolders()) {
    const std::optional<std::string> folder = FoundStateFolder(part, state);
    DIR* dir = folder ? ::opendir(folder->c_str()) : nullptr;
    if (!dir) continue;
    std::vector<std::string> names;
    while (const dirent* entry = ::readdir(dir))
      if (entry->d_name[0] != '.') names.push_back(JoinPath(*folder, entry->d_name));
    ::closedir(dir);
    for (const std::string& name : names) {
      const int record = OpenOwnFile(name);
      if (record < 0) continue;
      const std::optional<std::vector<std::string>> fields = ReadRecord(record, magic);
      if (::flock(record, LOCK_EX | LOCK_NB) != 0) {
        // Its program holds it still.
      } else if (!fields) {
        SayOnStandardError("refused " + Quoted(name) + ": it is no record of this system's");
      } else if (settle(name, *fields)) {
        ::unlink(name.c_str());
        ++gone;
      }
      ::close(record);
    }
  }
  return gone;
}

int OpenHeldBeside(const std::string& name, const std::vector<std::string>& fields,
                   bool (*hidden_form)(std::string_view name)) {
  if (fields.size() != 2) return -1;
  const std::string& path = fields[0];
  const std::string& hidden = fields[1];
  if (path.empty() || path[0] != '/' || FolderPart(hidden) != FolderPart(path) ||
      !hidden_form(hidden.substr(hidden.rfind('/') + 1)))
    return -1;
  const int fd = ::open(hidden.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return -1;
  struct stat st {};
  const std::optional<FileIdentity> identity = IdentityOf(fd);
  if (identity && JournalName(*identity) == name.substr(name.rfind('/') + 1) && ::fstat(fd, &st) == 0 &&
      S_ISREG(st.st_mode) && st.st_uid == ::geteuid())
    return fd;
  ::close(fd);
  return -1;
}

}  // namespace zv::platform
