#include "services/files/carried_files.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "runtime/attached/attached_data.h"
#include "services/files/disk_files.h"
#include "services/files/program_paths.h"

namespace zv {

bool IsCarried(const AttachedData* attached, const std::string& name) {
  return attached != nullptr && attached->Carries(name);
}

bool CarriedPathExists(const AttachedData* attached, const std::string& name) {
  return attached != nullptr && (attached->CarriesFolder(name) || attached->Serves(name));
}

bool IsCarriedFolder(const AttachedData* attached, const std::string& name) {
  return attached != nullptr && attached->CarriesFolder(name);
}

bool MakeCarriedFolder(const AttachedData* attached, const std::string& name) {
  if (attached == nullptr || !attached->CarriesFolder(name)) {
    errno = ENOENT;
    return false;
  }
  return files::MakeFolders(NativePath(name));
}

std::vector<files::DirectoryEntry> CarriedEntries(const AttachedData* attached, const std::string& folder) {
  std::vector<files::DirectoryEntry> entries;
  if (attached == nullptr) return entries;
  const std::time_t built = static_cast<std::time_t>(attached->BuildTime().value_or(0) / 1000000000);
  for (const CarriedListing& carried : attached->ListFolder(folder)) {
    files::DirectoryEntry entry;
    entry.name = carried.name;
    entry.directory = carried.folder;
    entry.write_time = built;
    entry.size = carried.size;
    entries.push_back(std::move(entry));
  }
  return entries;
}

bool DeleteCarriedFile(const AttachedData& attached, const std::string& name) {
  // The disk's file goes first, as any file the user may delete: one that
  // stays leaves everything as it was.
  const std::string native = NativePath(name);
  struct stat info {};
  if (::lstat(native.c_str(), &info) == 0 && !files::DeleteUserFile(native)) return false;
  return attached.KeepOnDisk(name);
}

bool DeleteCarriedFolder(const AttachedData& attached, const std::string& name) { return attached.KeepOnDisk(name); }

bool MoveCarriedFile(AttachedData& attached, const std::string& source, const std::string& destination) {
  const std::string native_destination = NativePath(destination);
  if (!attached.Serves(source)) {
    // The disk's file is the one the program sees: it moves as any file does.
    return attached.KeepOnDisk(source) && files::MoveNoReplace(NativePath(source), native_destination);
  }
  std::string carried = source;
  if (!attached.ResolveVirtualFile(carried, "dat")) {
    errno = EIO;
    return false;
  }
  // Out of a private temporary file: the copy is a new file of the user's.
  if (!files::CopyFileNoReplace(carried, native_destination, 0666)) return false;
  if (DeleteCarriedFile(attached, source)) return true;
  const int cause = errno;
  ::unlink(native_destination.c_str());
  errno = cause;
  return false;
}

}  // namespace zv
