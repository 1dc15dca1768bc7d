#include "services/files/file_commands.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "platform/paths/path_resolver.h"
#include "platform/shell/command_arguments.h"
#include "platform/text/system_text.h"
#include "runtime/attached/attached_data.h"
#include "runtime/vm/opcodes/opcode_support.h"
#include "services/files/carried_files.h"
#include "services/files/console_output.h"
#include "services/files/directory_tree.h"
#include "services/files/disk_files.h"
#include "services/files/file_services.h"
#include "services/files/program_paths.h"

namespace zv {
namespace {

namespace op = file_opcode;
namespace err = file_error;

// Listings print a line each, wrapping at the screen's edge.
constexpr TextFlow kListingLine{false, false, true};
constexpr size_t kMaxChecklistText = 255;
// How much of a name a warning shows when it cannot give the name whole.
constexpr size_t kNamedCharacters = 12;

// ---- The file layer ------------------------------------------------------------------

bool FileExists(Vm& vm, const std::string& name) { return FilesOf(vm).FileExists(name); }

// The size of the file after the virtual-file lookup (its low 32 bits, as
// programs see sizes); 0 when it cannot be opened.
int32_t FileSizeByName(Vm& vm, const std::string& name) {
  files::UniqueFd fd = files::OpenForReading(FilesOf(vm).LookUpFile(name));
  struct stat st;
  if (!fd.Valid() || ::fstat(fd.Get(), &st) != 0) return 0;
  return static_cast<int32_t>(static_cast<uint32_t>(st.st_size));
}

bool MakeFile(const std::string& name) {
  const files::UniqueFd made = files::CreateNewFile(NativePath(name));
  return made.Valid() && files::SyncWithFolder(made.Get());
}

bool PathExists(const std::string& path) {
  struct stat st;
  const std::string native = NativePath(path);
  return !native.empty() && ::stat(native.c_str(), &st) == 0;
}

// Folders no program may empty: the root, every drive's root, the user's
// home folder and the folder the program runs from.
std::vector<std::string> KeptFolders(const Vm& vm) {
  std::vector<std::string> kept = {"/"};
  for (char letter = 'A'; letter <= 'Z'; ++letter)
    kept.push_back(platform::Paths().ToNative(std::string(1, letter) + ":\\"));
  if (const char* home = std::getenv("HOME"); home && *home) kept.emplace_back(home);
  if (!vm.settings.app_folder.empty()) kept.push_back(vm.settings.app_folder);
  return kept;
}

// Empties the folder and removes it. Only a folder is emptied: a path that
// names a file, or a folder that cannot be entered, leaves everything else
// alone, and a link is removed, not followed. Warns when the path does not
// exist, and when it is or holds a folder that must be kept.
void DeleteDirectory(Vm& vm, const std::string& path) {
  const std::string native = NativePath(path);
  struct stat st;
  // A folder a built game carries exists for it, on disk or not; once
  // deleted, the carried names below it are gone with it.
  if (native.empty() || ::lstat(native.c_str(), &st) != 0) {
    if (!IsCarriedFolder(vm.attached_data, path)) return vm.RunWarning(err::kDirectoryMissing, path);
    if (!vm.attached_data->Removing(native)) vm.RunWarning(err::kDirectoryMissing, path, files::CauseOf(errno));
    return;
  }
  if (S_ISLNK(st.st_mode)) {
    if (::unlink(native.c_str()) != 0) vm.RunWarning(err::kDirectoryMissing, path);
    return;
  }
  if (!S_ISDIR(st.st_mode)) return;
  if (files::HoldsAnyOf(native, KeptFolders(vm))) return vm.RunWarning(err::kDirectoryKept, path);
  const bool removed = vm.attached_data ? vm.attached_data->Removing(native) : platform::Paths().PrepareRemove(native);
  if (!removed) return vm.RunWarning(err::kDirectoryMissing, path, files::CauseOf(errno));
  files::DeleteTreeContents(native);
  ::rmdir(native.c_str());
}

// The system's path of the working folder.
std::string WorkingFolder() {
  if (const std::string& layer = platform::Paths().LayerFolder(); !layer.empty()) return layer;
  std::vector<char> buffer(4096);
  while (!::getcwd(buffer.data(), buffer.size())) {
    if (errno != ERANGE || buffer.size() > (1u << 20)) return {};
    buffer.resize(buffer.size() * 2);
  }
  return buffer.data();
}

// The drive letters whose folder in the path helper's table exists.
std::vector<char> DriveLetters() {
  std::vector<char> letters;
  for (char letter = 'A'; letter <= 'Z'; ++letter) {
    const std::string root = platform::Paths().ToNative(std::string(1, letter) + ":\\");
    struct stat st;
    if (::stat(root.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) letters.push_back(letter);
  }
  return letters;
}

std::string DriveText(char letter) { return std::string(1, letter) + ":"; }

// What the opener is handed for `file`: an address as it stands, unless a
// file here has that name (a listed "level:2.dat" or "http:x.txt"), which
// then goes by a path no opener takes for an address.
std::string FileToExecute(const std::string& file) {
  const std::string native = NativePath(file);
  struct stat st;
  if (native.empty() || ::lstat(native.c_str(), &st) != 0)
    return platform::LooksLikeAddress(file) ? platform::SystemNameOf(file) : native;
  return platform::LooksLikeAddress(native) ? WorkingFolder() + "/" + native : native;
}

bool ExecuteFile(Vm& vm, const std::string& file, const std::string& arguments, const std::string& directory) {
  platform::ShellRequest request;
  request.file = FileToExecute(file);
  // The arguments may name files: a listed name reaches the started program
  // as the bytes it stands for.
  request.arguments = platform::SystemNameOf(arguments);
  request.directory = directory.empty() ? std::string() : NativePath(directory);
  return FilesOf(vm).Shell().Execute(request);
}

// Warns that a listing leaves out the entries `names` (the system's
// spellings), naming the first, with `why` of it; the program goes on
// with what the listing holds.
void WarnLeftOut(Vm& vm, const std::vector<std::string>& names, const std::string& why) {
  if (names.empty()) return;
  std::string cause = why + "; the listing leaves it out";
  if (names.size() > 1) cause += ", and " + std::to_string(names.size() - 1) + " more";
  vm.WarnAndGoOn(err::kNameNotGiven, platform::ProgramTextBeginning(names.front(), kNamedCharacters), cause);
}

// Opens the directory search over the working folder, with what a built
// game carries there; warning 8001 when nothing can be found. A name that
// no program text leads back to is left out, with a warning, rather than
// given in a spelling that opens something else or nothing.
bool OpenFileSearch(Vm& vm) {
  const std::string here = NativePath(".");
  files::DirectorySearch& search = FilesOf(vm).Search();
  const bool opened = search.Open(CarriedEntries(vm.attached_data, here), here);
  WarnLeftOut(vm, search.LeftOut(), "it holds a control character that program text cannot spell");
  if (!opened) vm.RunWarning(err::kNothingFound);
  return opened;
}

// ---- Folders, listings and the search ------------------------------------------------

// Makes `native` the working folder, on disk.
bool ChangeFolder(const std::string& native) {
  if (::chdir(native.c_str()) != 0) return false;
  platform::Paths().SetLayerFolder({});
  return true;
}

std::string AbsoluteFolder(const std::string& native) {
  std::error_code ec;
  const std::filesystem::path absolute = std::filesystem::absolute(native, ec);
  return (ec ? std::filesystem::path(native) : absolute).lexically_normal().string();
}

// A folder a built game carries is made on disk when the game goes into it;
// where the game may not make it (a game installed read-only), the game goes
// into it all the same and reads what it carries there, as it would read
// the folder on disk.
void CmdSetDirectory(Vm& vm) {
  const std::string path(vm.NextString());
  const std::string native = NativePath(path);
  if (native.empty()) return vm.RunError(err::kDirectoryNotSet, path, files::CauseOf(ENOENT));
  if (ChangeFolder(native)) return;
  int error = errno;
  if (error == ENOENT && IsCarriedFolder(vm.attached_data, path)) {
    if (MakeCarriedFolder(vm.attached_data, path) && ChangeFolder(native)) return;
    error = errno;
    if (error == EACCES || error == EPERM || error == EROFS) {
      platform::Paths().SetLayerFolder(AbsoluteFolder(native));
      return;
    }
  }
  vm.RunError(err::kDirectoryNotSet, path, files::CauseOf(error));
}

void CmdListDirectory(Vm& vm) {
  PrintServiceText(vm, platform::ProgramTextOf(WorkingFolder()) + ":", kListingLine);
  if (OpenFileSearch(vm)) {
    files::DirectorySearch& search = FilesOf(vm).Search();
    for (; search.LastResult() != -1; search.Next()) {
      const files::DirectoryEntry& entry = *search.Current();
      PrintServiceText(vm, entry.directory ? "<dir>" + entry.name : entry.name, kListingLine);
    }
  }
  YieldForRefresh(vm);
}

void CmdListDrives(Vm& vm) {
  for (char letter : DriveLetters()) PrintServiceText(vm, DriveText(letter), kListingLine);
  YieldForRefresh(vm);
}

void CmdChecklistFiles(Vm& vm) {
  Checklist& list = vm.checklist;
  list.count = 0;
  files::DirectorySearch& search = FilesOf(vm).Search();
  // A name cut to fit would open nothing: one too long for an entry is
  // left out, and said so.
  std::vector<std::string> too_long;
  if (OpenFileSearch(vm)) {
    for (; search.LastResult() != -1; search.Next()) {
      const files::DirectoryEntry& entry = *search.Current();
      if (entry.name.size() > kMaxChecklistText) {
        too_long.push_back(platform::SystemTextOf(entry.name));
        continue;
      }
      ChecklistEntry item;
      item.text = entry.name;
      item.a = entry.directory ? 1 : 0;
      list.Add(std::move(item));
    }
  }
  search.Close();
  WarnLeftOut(vm, too_long, "its name takes more than the " + std::to_string(kMaxChecklistText) +
                                " characters a checklist entry holds");
  list.made = list.values_valid = list.texts_valid = true;
}

void CmdChecklistDrives(Vm& vm) {
  Checklist& list = vm.checklist;
  list.count = 0;
  for (char letter : DriveLetters()) {
    ChecklistEntry item;
    item.text = DriveText(letter);
    list.Add(std::move(item));
  }
  list.made = true;
  list.values_valid = false;
  list.texts_valid = true;
}

void CmdFindFirst(Vm& vm) { OpenFileSearch(vm); }

void CmdFindNext(Vm& vm) {
  files::DirectorySearch& search = FilesOf(vm).Search();
  if (!search.IsOpen()) return;
  if (search.LastResult() == -1) return vm.RunError(err::kFindPastEnd);
  search.Next();
}

void FnCurrentDirectory(Vm& vm) {
  const Slot result = core::NextStringResult(vm);
  // A name the file commands take back, whatever the folder's names hold.
  vm.SetString(result, platform::ProgramPathOf(WorkingFolder()));
}

void FnFindFileName(Vm& vm) {
  const Slot result = core::NextStringResult(vm);
  const files::DirectoryEntry* entry = FilesOf(vm).Search().Current();
  vm.SetString(result, entry ? entry->name : std::string());
}

void FnFindFileType(Vm& vm) {
  const Slot result = vm.NextSlot();
  const files::DirectorySearch& search = FilesOf(vm).Search();
  const files::DirectoryEntry* entry = search.Current();
  if (!entry || search.LastResult() == -1)
    vm.SetInt(result, -1);
  else
    vm.SetInt(result, entry->directory ? 1 : 0);
}

void FnFindFileDate(Vm& vm) {
  const Slot result = core::NextStringResult(vm);
  const files::DirectoryEntry* entry = FilesOf(vm).Search().Current();
  vm.SetString(result, entry ? files::FormatEntryDate(entry->write_time) : std::string());
}

// ---- Files ------------------------------------------------------------------------------

void CmdMakeFile(Vm& vm) {
  const std::string name(vm.NextString());
  // A file the game carries exists, as one on disk does.
  if (FileExists(vm, name)) {
    const std::string twin = TakenNameCause(name);
    return vm.RunWarning(err::kMakeFailed, name, twin.empty() ? files::CauseOf(EEXIST) : twin);
  }
  if (!MakeFile(name)) vm.RunWarning(err::kMakeFailed, name, files::CauseOf(errno));
}

// A file the user may not write is not deleted, as on the system these
// commands come from; the warning then gives the reason. A symbolic link
// goes itself, also one that leads nowhere.
void CmdDeleteFile(Vm& vm) {
  const std::string name(vm.NextString());
  if (!FileExists(vm, name) && !files::IsSymbolicLink(NativePath(name)))
    return vm.RunWarning(err::kNothingToDelete, name);
  // A name the game carries must stay gone, or its carried copy comes back.
  // Another file waits aside for a while, in case the program writes it anew.
  std::optional<platform::DeletedFile> held;
  const bool deleted = IsCarried(vm.attached_data, name) ? DeleteCarriedFile(*vm.attached_data, name)
                                                         : files::DeleteUserFile(NativePath(name), &held);
  if (held) FilesOf(vm).Hold(std::move(*held));
  if (!deleted) vm.RunWarning(err::kNothingToDelete, name, files::CauseOf(errno));
}

// A file on disk under the name, as a copy, move or rename onto it finds
// it: a name a built game carries takes what the game puts there, as any
// file it writes does.
bool TakenOnDisk(const std::string& name) { return files::OpensForReading(NativePath(name)); }

void CmdCopyFile(Vm& vm) {
  const std::string source(vm.NextString());
  const std::string destination(vm.NextString());
  if (!FileExists(vm, source)) return vm.RunWarning(err::kMissing, source);
  const std::string from = FilesOf(vm).LookUpFile(source);
  // A file a built game carries comes out of a private temporary file: its
  // copy is a new file of the user's.
  const std::optional<uint32_t> mode = from != NativePath(source) ? std::optional<uint32_t>(0666) : std::nullopt;
  if (files::CopyFileNoReplace(from, NativePath(destination), mode)) return;
  const std::string cause = files::CauseOf(errno);
  // "File already exists" only where it does: a folder that is missing or
  // full is another failure.
  if (TakenOnDisk(destination)) return vm.RunWarning(err::kExists, destination, TakenNameCause(destination));
  vm.RunWarning(err::kCopyFailed, destination, cause);
}

// The folder part of a file name as the program spelled it ("." for none).
std::string SpelledFolder(const std::string& name) {
  const size_t separator = name.find_last_of("/\\");
  if (separator == std::string::npos) return ".";
  return separator == 0 ? name.substr(0, 1) : name.substr(0, separator);
}

// Moves and renames are one operation that refuses to replace a file.
template <int32_t kFailure>
void MoveOrRename(Vm& vm) {
  const std::string source(vm.NextString());
  const std::string destination(vm.NextString());
  if (TakenOnDisk(destination)) return vm.RunWarning(err::kExists, destination, TakenNameCause(destination));
  if (IsCarried(vm.attached_data, source) || IsCarriedFolder(vm.attached_data, source)) {
    const bool moved = IsCarried(vm.attached_data, source)
                           ? MoveCarriedFile(*vm.attached_data, source, destination)
                           : MoveCarriedFolder(*vm.attached_data, source, destination);
    if (!moved) vm.RunWarning(kFailure, source, files::CauseOf(errno));
    return;
  }
  // A folder of that name is no copy of the file left behind.
  const bool taken = PathExists(destination);
  if (files::MoveNoReplace(NativePath(source), NativePath(destination))) return;
  const int error = errno;
  if (error == EXDEV) return vm.RunWarning(kFailure, source, "a folder moves only within its own file system");
  const std::string cause = files::CauseOf(error);
  // The warning names what is at fault: a missing source, the folder the
  // source may not leave, else the new name (which a source that would not
  // go has taken back).
  if (!PathExists(source)) return vm.RunWarning(kFailure, source, cause);
  if ((error == EACCES || error == EPERM || error == EROFS) && !files::MayRemoveFromFolder(NativePath(source)))
    return vm.RunWarning(kFailure, source, cause + " in the folder \"" + SpelledFolder(source) + "\"");
  vm.RunWarning(kFailure, destination,
                !taken && PathExists(destination) ? cause + "; it is left under both names" : cause);
}

void CmdWriteByteToFile(Vm& vm) {
  const std::string name(vm.NextString());
  const int32_t position = vm.NextInt();
  const int32_t value = vm.NextInt();
  if (!FileExists(vm, name)) return vm.RunWarning(err::kMissing, name);
  // The file the program sees, which in a built game may be one it carries:
  // the changed bytes then go to disk under its name.
  if (!files::WriteByteInFile(FilesOf(vm).LookUpFile(name), NativePath(name), position, static_cast<uint8_t>(value)))
    vm.RunWarning(err::kWriteFailed, name, files::CauseOf(errno));
}

void FnReadByteFromFile(Vm& vm) {
  const Slot result = vm.NextSlot();
  const std::string name(vm.NextString());
  const int32_t position = vm.NextInt();
  if (!FileExists(vm, name)) return vm.RunWarning(err::kMissing, name);
  files::UniqueFd fd = files::OpenForReading(FilesOf(vm).LookUpFile(name));
  if (!fd.Valid()) return;
  uint8_t byte = 0;
  if (position < 0 || ::pread(fd.Get(), &byte, 1, position) != 1) byte = 0;
  vm.SetInt(result, static_cast<int8_t>(byte));
}

// A query about a name: its answer, or 0, as for a missing file, where the
// name holds a mark no file's name can hold. A name may come from anywhere
// (a server, another player), and asking about it ends no game.
template <class Answer>
void AnswerQuery(Vm& vm, Answer answer) {
  const Slot result = vm.NextSlot();
  const std::string name(vm.NextString());
  int32_t value = 0;
  try {
    value = answer(name);
  } catch (const platform::RefusedName&) {
  }
  vm.SetInt(result, value);
}

void FnFileExists(Vm& vm) {
  AnswerQuery(vm, [&vm](const std::string& name) { return FileExists(vm, name) ? 1 : 0; });
}

void FnFileSize(Vm& vm) {
  AnswerQuery(vm, [&vm](const std::string& name) { return FileSizeByName(vm, name); });
}

void FnPathExists(Vm& vm) {
  AnswerQuery(vm, [&vm](const std::string& path) {
    return PathExists(path) || CarriedPathExists(vm.attached_data, path) ? 1 : 0;
  });
}

// ---- Folders ------------------------------------------------------------------------------

// A folder is made where the name stands, never through a link.
void CmdMakeDirectory(Vm& vm) {
  const std::string path(vm.NextString());
  const std::string native = NativePath(path);
  if (native.empty()) return vm.RunWarning(err::kDirectoryNotMade, path, files::CauseOf(ENOENT));
  if (::mkdir(native.c_str(), 0777) != 0)
    vm.RunWarning(err::kDirectoryNotMade, path, files::FolderCause(native, errno));
}

void CmdDeleteDirectory(Vm& vm) {
  const std::string path(vm.NextString());
  DeleteDirectory(vm, path);
}

void CmdDeleteDirectoryEx(Vm& vm) {
  const std::string path(vm.NextString());
  vm.NextWord();  // not used
  DeleteDirectory(vm, path);
}

// ---- Programs ------------------------------------------------------------------------------

void CmdExecuteFile(Vm& vm) {
  const std::string file(vm.NextString());
  const std::string arguments(vm.NextString());
  const std::string directory(vm.NextString());
  if (!ExecuteFile(vm, file, arguments, directory)) vm.RunWarning(err::kExecuteFailed, file);
}

// The same; the started program is collected by the message pump once it
// has ended, as every started program is.
void CmdExecuteFileEx(Vm& vm) {
  const std::string file(vm.NextString());
  const std::string arguments(vm.NextString());
  const std::string directory(vm.NextString());
  vm.NextWord();  // not used
  if (!ExecuteFile(vm, file, arguments, directory)) vm.RunWarning(err::kExecuteFailed, file);
}

}  // namespace

void RegisterFileHandlers(HandlerTable& t) {
  t.Set(op::kSetDirectory, CmdSetDirectory);
  t.Set(op::kSetDirectoryAlt, CmdSetDirectory);
  t.Set(op::kListDirectory, CmdListDirectory);
  t.Set(op::kListDrives, CmdListDrives);
  t.Set(op::kChecklistFiles, CmdChecklistFiles);
  t.Set(op::kChecklistDrives, CmdChecklistDrives);
  t.Set(op::kFindFirst, CmdFindFirst);
  t.Set(op::kFindNext, CmdFindNext);
  t.Set(op::kMakeFile, CmdMakeFile);
  t.Set(op::kDeleteFile, CmdDeleteFile);
  t.Set(op::kCopyFile, CmdCopyFile);
  t.Set(op::kMoveFile, MoveOrRename<err::kMoveFailed>);
  t.Set(op::kRenameFile, MoveOrRename<err::kRenameFailed>);
  t.Set(op::kWriteByteToFile, CmdWriteByteToFile);
  t.Set(op::kReadByteFromFile, FnReadByteFromFile);
  t.Set(op::kMakeDirectory, CmdMakeDirectory);
  t.Set(op::kDeleteDirectory, CmdDeleteDirectory);
  t.Set(op::kDeleteDirectoryEx, CmdDeleteDirectoryEx);
  t.Set(op::kExecuteFile, CmdExecuteFile);
  t.Set(op::kExecuteFileEx, CmdExecuteFileEx);
  t.Set(op::kCurrentDirectory, FnCurrentDirectory);
  t.Set(op::kFindFileName, FnFindFileName);
  t.Set(op::kFindFileType, FnFindFileType);
  t.Set(op::kFindFileDate, FnFindFileDate);
  t.Set(op::kFileExists, FnFileExists);
  t.Set(op::kFileSize, FnFileSize);
  t.Set(op::kPathExists, FnPathExists);
}

}  // namespace zv
