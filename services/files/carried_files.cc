#include "services/files/carried_files.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/paths/path_resolver.h"
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
    entry.carried = true;
    entries.push_back(std::move(entry));
  }
  return entries;
}

bool DeleteCarriedFile(AttachedData& attached, const std::string& name) {
  // The disk's file goes as any file the user may delete: one that stays
  // leaves everything as it was.
  const std::string native = NativePath(name);
  struct stat info {};
  return attached.Removing(native) && (::lstat(native.c_str(), &info) != 0 || files::DeleteUserFile(native));
}

bool MoveCarriedFile(AttachedData& attached, const std::string& source, const std::string& destination) {
  const std::string native_destination = NativePath(destination);
  // The disk's file is the one the program sees: it moves as any file does.
  if (!attached.Serves(source))
    return attached.Removing(NativePath(source)) && files::MoveNoReplace(NativePath(source), native_destination);
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

namespace {

// Puts on disk every carried file the game finds below the folder the
// program calls `folder` (a file on disk of the same name stays).
bool PutCarriedOnDisk(AttachedData& attached, const std::string& folder) {
  const std::string native = NativePath(folder);
  if (!files::MakeFolders(native)) return false;
  for (const CarriedListing& item : attached.ListFolder(native)) {
    const std::string name = folder + "/" + item.name;
    if (item.folder) {
      if (!PutCarriedOnDisk(attached, name)) return false;
      continue;
    }
    std::string carried = name;
    if (!attached.ResolveVirtualFile(carried, "dat")) continue;  // the disk's file is the game's
    if (!files::CopyFileNoReplace(carried, NativePath(name), 0666) && errno != EEXIST) return false;
  }
  return true;
}

}  // namespace

bool MoveCarriedFolder(AttachedData& attached, const std::string& source, const std::string& destination) {
  struct stat info {};
  if (::lstat(NativePath(destination).c_str(), &info) == 0) {
    errno = EEXIST;
    return false;
  }
  return PutCarriedOnDisk(attached, source) && attached.Removing(NativePath(source)) &&
         files::MoveNoReplace(NativePath(source), NativePath(destination));
}

}  // namespace zv
