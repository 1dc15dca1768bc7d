#include "services/files/numbered_file_commands.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <bit>
#include <cerrno>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/paths/file_save.h"
#include "platform/paths/growing_file.h"
#include "platform/text/system_text.h"
#include "platform/text/text_encoding.h"
#include "runtime/vm/errors.h"
#include "services/files/carried_files.h"
#include "services/files/directory_tree.h"
#include "services/files/file_commands.h"
#include "services/files/disk_files.h"
#include "services/files/file_formats.h"
#include "services/files/file_services.h"
#include "services/files/program_paths.h"
#include "services/files/unpack_folder.h"
#include "services/files/variable_store.h"
#include "services/memory/memblock_errors.h"
#include "services/memory/memory_blocks.h"

namespace zv {
namespace {

namespace op = numbered_file_opcode;
namespace err = numbered_file_error;
using files::NumberedFiles;
using files::OpenFile;

constexpr uint8_t kCr = 13;
constexpr uint8_t kLf = 10;

// ---- Slots and blocks --------------------------------------------------------------

// The slot of a command, or null (with its warning) when the number is
// outside 1..32 or, with `must_be_open`, no file is open in it.
NumberedFiles::Slot* CheckedSlot(Vm& vm, int32_t number, bool must_be_open = true) {
  if (!NumberedFiles::InRange(number)) {
    vm.RunWarning(err::kSlotNumber);
    return nullptr;
  }
  NumberedFiles::Slot& slot = FilesOf(vm).Slots().At(number);
  if (must_be_open && !slot.file.IsOpen()) {
    vm.RunWarning(err::kSlotNotOpen);
    return nullptr;
  }
  return &slot;
}

MemblockTable& Blocks(Vm& vm) {
  if (!vm.memory_blocks) throw OperandFault("the file commands have no memory blocks");
  return vm.memory_blocks->Table();
}

bool CheckBlockNumber(Vm& vm, int32_t block) {
  if (MemblockTable::InProgramRange(block)) return true;
  vm.RunError(memblock_error::kNumber);
  return false;
}

// Every read of a numbered file ends here: it marks the end of the file
// after a short read and warns after a failed one. Where the file ends
// inside what the read asked for (a value, a record, bytes to skip), as a
// killed writer leaves it, that is said too, with how many bytes are
// missing, unless `say_cut` leaves it to the command's own words; the read
// keeps what it stores, and the program goes on.
void NoteRead(Vm& vm, NumberedFiles::Slot& slot, const files::ReadStatus& status, bool say_cut = true) {
  if (status.failed) vm.RunWarning(err::kReadFailed, slot.file.Name());
  if (status.reached_end) slot.at_end = true;
  if (say_cut && status.CutShort())
    vm.WarnAndGoOn(err::kReadFailed, slot.file.Name(),
                   "it is cut short: " + std::to_string(status.asked - status.came) + " of the " +
                       std::to_string(status.asked) + " bytes the read asks for are missing");
}

// A record read from an empty file: a writer killed before its first byte
// leaves one. (At the end of a file of records, a loop reading them until
// the end comes to no record at all, and that is no loss.)
void SayIfEmpty(Vm& vm, bool empty_file, NumberedFiles::Slot& slot, const std::string& record) {
  if (empty_file) vm.WarnAndGoOn(err::kReadFailed, slot.file.Name(), "it is empty, and holds no " + record);
}

bool WriteOrWarn(Vm& vm, OpenFile& file, std::span<const uint8_t> bytes) {
  if (file.Write(bytes)) return true;
  vm.RunWarning(err::kWriteFailed, file.Name(), files::CauseOf(errno));
  return false;
}

std::array<uint8_t, 4> LittleEndian(uint32_t value) {
  return {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8), static_cast<uint8_t>(value >> 16),
          static_cast<uint8_t>(value >> 24)};
}

// ---- Opening and closing -------------------------------------------------------------

// Removes the file `path` the program has just made as `fd`, while it is
// still that file and empty.
void RemoveMadeFile(int fd, const std::string& path) {
  const std::optional<std::string> target = platform::FollowLinks(path);
  struct stat made {}, named {};
  if (target && ::fstat(fd, &made) == 0 && made.st_size == 0 && ::lstat(target->c_str(), &named) == 0 &&
      made.st_dev == named.st_dev && made.st_ino == named.st_ino)
    ::unlink(target->c_str());
}

// A new file of the program's, not open (errno set) where it cannot be
// made. It is written under its name as it goes, so that what was written
// can be read however the program ends (a log kept open), and a record
// names it until its close: the next start after a kill says it may be cut
// short. Where no record can be kept, it is written apart and takes its
// name whole at its close.
OpenFile NewFileToWrite(const std::string& path, const std::string& name) {
  if (platform::GrowingFile::Recordable()) {
    files::UniqueFd fd = files::CreateNewFile(path);
    if (!fd.Valid()) return {};
    if (std::optional<platform::GrowingFile> growing = platform::GrowingFile::Record(fd.Get(), path))
      return OpenFile(std::move(fd), name, std::move(*growing));
    RemoveMadeFile(fd.Get(), path);
  }
  std::optional<platform::FileSave> apart = platform::FileSave::Begin(path, platform::ExistingFile::kKeep);
  if (!apart) return {};
  return OpenFile(std::move(*apart), name);
}

void CmdOpenFileToRead(Vm& vm) {
  const int32_t number = vm.NextInt();
  const std::string name(vm.NextString());
  NumberedFiles::Slot* slot = CheckedSlot(vm, number, false);
  if (!slot) return;
  if (slot->file.IsOpen()) return vm.RunWarning(err::kSlotInUse);
  slot->at_end = false;
  if (!FilesOf(vm).FileExists(name)) return vm.RunWarning(err::kMissing, name);
  // The file that was found is the one opened: in a built game that may be
  // one of the files built into it.
  files::UniqueFd fd = files::OpenForReading(FilesOf(vm).LookUpFile(name));
  if (!fd.Valid()) return vm.RunWarning(err::kOpenFailed, name, files::CauseOf(errno));
  slot->file = OpenFile(std::move(fd), name, OpenFile::Use::kReading);
  if (!slot->file.IsOpen()) vm.RunWarning(err::kOpenFailed, name, files::CauseOf(errno));
}

void CmdOpenFileToWrite(Vm& vm) {
  const int32_t number = vm.NextInt();
  const std::string name(vm.NextString());
  NumberedFiles::Slot* slot = CheckedSlot(vm, number, false);
  if (!slot) return;
  if (slot->file.IsOpen()) return vm.RunWarning(err::kSlotInUse);
  slot->at_end = false;
  if (FilesOf(vm).FileExists(name)) return vm.RunWarning(err::kExists, name, TakenNameCause(name));
  // A file the program has just deleted is replaced in one step at the
  // close: killed before then, the program leaves it as it was.
  const std::string path = NativePath(name);
  slot->file = FilesOf(vm).WriteAnew(path, name);
  if (!slot->file.IsOpen()) slot->file = NewFileToWrite(path, name);
  if (!slot->file.IsOpen()) vm.RunWarning(err::kCreateFailed, name, files::CauseOf(errno));
}

void CmdCloseFile(Vm& vm) {
  const int32_t number = vm.NextInt();
  if (!CheckedSlot(vm, number)) return;
  const std::string name = FilesOf(vm).Slots().At(number).file.Name();
  if (!FilesOf(vm).Slots().Close(number)) vm.RunWarning(err::kWriteFailed, name, files::CauseOf(errno));
}

void FnFileOpen(Vm& vm) {
  const Slot result = vm.NextSlot();
  const int32_t number = vm.NextInt();
  if (NumberedFiles::Slot* slot = CheckedSlot(vm, number, false)) vm.SetInt(result, slot->file.IsOpen() ? 1 : 0);
}

void FnFileEnd(Vm& vm) {
  const Slot result = vm.NextSlot();
  const int32_t number = vm.NextInt();
  if (NumberedFiles::Slot* slot = CheckedSlot(vm, number, false)) vm.SetInt(result, slot->at_end ? 1 : 0);
}

// ---- Typed values --------------------------------------------------------------------

// Reads `kBytes` little-endian bytes; what did not come reads as 0.
template <size_t kBytes>
bool ReadValue(Vm& vm, int32_t number, uint32_t* value) {
  NumberedFiles::Slot* slot = CheckedSlot(vm, number);
  if (!slot) return false;
  std::array<uint8_t, kBytes> bytes{};
  NoteRead(vm, *slot, files::ReadExact(slot->file, bytes));
  *value = 0;
  for (size_t i = 0; i < kBytes; ++i) *value |= uint32_t{bytes[i]} << (8 * i);
  return true;
}

template <size_t kBytes>
void CmdReadFileInteger(Vm& vm) {
  const int32_t number = vm.NextInt();
  const Slot target = vm.NextSlot();
  uint32_t value;
  if (ReadValue<kBytes>(vm, number, &value)) files::StoreIntoIntVariable(vm, target, static_cast<int32_t>(value));
}

void CmdReadFileFloat(Vm& vm) {
  const int32_t number = vm.NextInt();
  const Slot target = vm.NextSlot();
  uint32_t value;
  if (ReadValue<4>(vm, number, &value)) files::StoreIntoFloatVariable(vm, target, std::bit_cast<float>(value));
}

void CmdReadFileString(Vm& vm) {
  const int32_t number = vm.NextInt();
  const Slot target = vm.NextSlot();
  NumberedFiles::Slot* slot = CheckedSlot(vm, number);
  if (!slot) return;
  files::TextLine line = files::ReadTextLine(slot->file);
  if (line.status.failed) return vm.RunWarning(err::kReadFailed, slot->file.Name());
  if (line.status.reached_end) slot->at_end = true;
  if (line.too_long)
    return vm.RunError(error_code::kStringTooLong, slot->file.Name(),
                       "a line of it is longer than the " + std::to_string(files::kMaxLineLength) +
                           " characters a string holds");
  files::StoreIntoStringVariable(vm, target, line.text);
}

template <size_t kBytes>
void CmdWriteFileValue(Vm& vm) {
  const int32_t number = vm.NextInt();
  const uint32_t value = vm.WordAt(vm.NextSlot());  // an integer, or a float's bits
  NumberedFiles::Slot* slot = CheckedSlot(vm, number);
  if (!slot) return;
  const std::array<uint8_t, 4> bytes = LittleEndian(value);
  WriteOrWarn(vm, slot->file, std::span<const uint8_t>(bytes.data(), kBytes));
}

void CmdWriteFileString(Vm& vm) {
  const int32_t number = vm.NextInt();
  const std::string text(vm.NextString());
  NumberedFiles::Slot* slot = CheckedSlot(vm, number);
  if (!slot) return;
  // One write, so that a full disk takes back the whole line.
  const std::string line = text + std::string{static_cast<char>(kCr), static_cast<char>(kLf)};
  WriteOrWarn(vm, slot->file, std::span(reinterpret_cast<const uint8_t*>(line.data()), line.size()));
}

void CmdSkipFileBytes(Vm& vm) {
  const int32_t number = vm.NextInt();
  const int32_t count = vm.NextInt();
  NumberedFiles::Slot* slot = CheckedSlot(vm, number);
  if (!slot || count <= 0) return;
  NoteRead(vm, *slot, files::SkipBytes(slot->file, static_cast<uint64_t>(count)));
}

// ---- Whole files and folder trees -----------------------------------------------------

constexpr char kNotInFolder[] = "it leads out of the folder";

// Why a record that is not whole gave no file: `what` ended inside it.
std::string CutShortCause(const files::RecordRead& record, const std::string& what) {
  const std::string there = record.sized ? ", " + std::to_string(record.size - record.missing) + " of its " +
                                               std::to_string(record.size) + " bytes there"
                                         : "";
  return what + " ends inside it" + there + "; it is not written";
}

// How streaming a file's record into an open file went.
enum class RecordWrite { kWritten, kWriteFailed, kSourceShort };
constexpr char kSourceShort[] = "the file got shorter while it was read";

// Streams `size` bytes of the file open as `source` into the open file,
// after its record's size unless `raw`. A write that fails (errno set), or
// a source that ends sooner, takes back all of it.
RecordWrite WriteRecord(OpenFile& file, int source, uint64_t size, bool raw) {
  const uint64_t start = file.Position();
  if (!raw && !file.Write(LittleEndian(static_cast<uint32_t>(size)))) return RecordWrite::kWriteFailed;
  const int64_t copied = file.WriteFrom(source, size);
  if (copied == static_cast<int64_t>(size)) return RecordWrite::kWritten;
  file.TakeBackTo(start);
  return copied < 0 ? RecordWrite::kWriteFailed : RecordWrite::kSourceShort;
}

// Opens a file to be packed: its size, or an errno value (the file is too
// large for a record: EFBIG).
int OpenToPack(const std::string& path, files::UniqueFd* fd, uint64_t* size) {
  *fd = files::OpenForReading(path);
  struct stat st;
  if (!fd->Valid() || ::fstat(fd->Get(), &st) != 0) return errno;
  *size = static_cast<uint64_t>(st.st_size);
  return *size > UINT32_MAX ? EFBIG : 0;
}

// Writes a file record of the file named (or, `raw`, its bytes alone),
// streamed a block at a time. A file that cannot be read, or is too large
// for a record, writes nothing and warns: 105 when it is missing, else with
// the reason; a failed write warns and leaves the open file as it was.
void WriteFileContents(Vm& vm, OpenFile& file, const std::string& name, bool raw) {
  files::UniqueFd source;
  uint64_t size = 0;
  if (const int error = OpenToPack(FilesOf(vm).LookUpFile(name), &source, &size); error != 0) {
    if (error == ENOENT) return vm.RunWarning(err::kMissing, name);
    return vm.RunWarning(source.Valid() ? err::kReadFailed : err::kOpenFailed, name, files::CauseOf(error));
  }
  switch (WriteRecord(file, source.Get(), size, raw)) {
    case RecordWrite::kWritten: return;
    case RecordWrite::kWriteFailed: return vm.RunWarning(err::kWriteFailed, file.Name(), files::CauseOf(errno));
    case RecordWrite::kSourceShort: return vm.RunWarning(err::kReadFailed, name, kSourceShort);
  }
}

// The warning of an unpacked file that could not be made or filled: a file
// size limit or a full disk is a failed write.
int32_t UnpackFailure(int error) {
  return error == EFBIG || error == ENOSPC || error == EDQUOT ? err::kWriteFailed : err::kCreateFailed;
}

// Creates the file `name` from the record `read` reads, streamed a block at
// a time, with the folders it needs; an existing file is kept as it is. The
// record is read past whatever happens to the file. Warns, with the reason,
// when the file cannot be made or filled, and then leaves neither the file
// nor the folders made for it; nor does a record cut short.
files::RecordRead UnpackFile(Vm& vm, const std::string& name, const files::RecordReader& read) {
  const std::string native = NativePath(name);
  // A file a built game carries is there as one on disk is.
  if (!native.empty() && (::access(native.c_str(), F_OK) == 0 || CarriedPathExists(vm.attached_data, name)))
    return read({});
  if (native.empty()) {
    const files::RecordRead record = read({});
    vm.RunWarning(err::kCreateFailed, name, files::CauseOf(ENOENT));
    return record;
  }
  const std::string folder = files::FolderOf(native);
  std::vector<std::string> made;
  if (!files::MakeFolders(folder, &made)) {
    const std::string cause = files::FolderCause(folder, errno);
    files::RemoveEmptyFolders(made);
    const files::RecordRead record = read({});
    vm.RunWarning(err::kCreateFailed, name, cause);
    return record;
  }
  std::optional<platform::FileSave> save = platform::FileSave::Begin(native, platform::ExistingFile::kKeep);
  int error = save ? 0 : errno;
  const files::RecordRead record = read([&](std::span<const uint8_t> part) {
    if (!save || save->Write(part)) return save.has_value();
    error = errno;
    return false;
  });
  if (record.whole && error == 0 && !save->Finish()) error = errno;
  if (!record.whole || error != 0) {
    save.reset();
    files::RemoveEmptyFolders(made);
  }
  if (record.whole && error != 0) vm.RunWarning(UnpackFailure(error), name, files::CauseOf(error));
  return record;
}

void CmdWriteFileBlock(Vm& vm) {
  const int32_t number = vm.NextInt();
  const std::string name(vm.NextString());
  if (NumberedFiles::Slot* slot = CheckedSlot(vm, number)) WriteFileContents(vm, slot->file, name, false);
}

void CmdWriteFileBlockNoSize(Vm& vm) {
  const int32_t number = vm.NextInt();
  const std::string name(vm.NextString());
  vm.NextWord();  // not used
  if (NumberedFiles::Slot* slot = CheckedSlot(vm, number)) WriteFileContents(vm, slot->file, name, true);
}

void CmdReadFileBlock(Vm& vm) {
  const int32_t number = vm.NextInt();
  const std::string name(vm.NextString());
  NumberedFiles::Slot* slot = CheckedSlot(vm, number);
  if (!slot) return;
  const bool empty_file = slot->file.Size() == 0;
  // The record is taken from the open file whether or not it can be written out.
  const files::RecordRead record =
      UnpackFile(vm, name, [&](const files::RecordTake& take) { return files::StreamFileRecord(slot->file, take); });
  // The open file keeps what came; a file whose record is not whole is not
  // made, and the warning names it.
  if (record.sized && !record.whole && !record.status.failed)
    vm.WarnAndGoOn(err::kCreateFailed, name, CutShortCause(record, "the file"));
  NoteRead(vm, *slot, record.status, !record.sized);
  SayIfEmpty(vm, empty_file, *slot, "file record");
}

// An entry a directory pack command leaves out, as the program would spell
// it, and why (empty where the warning's own text says it).
struct LeftOut {
  std::string name;
  std::string cause;
};

// The cause of the warning about what a directory pack command left out:
// why the first entry was and `what` became of it, then the others, as many
// as the message holds, and how many more.
std::string LeftOutCause(const std::vector<LeftOut>& left_out, const std::string& what) {
  // Of the 255 characters of a message, what its words, the first name
  // and "and 99 more" leave.
  constexpr size_t kRoom = 180;
  const LeftOut& first = left_out.front();
  std::string cause = first.cause.empty() ? what : first.cause + "; " + what;
  size_t named = 1;
  for (; named < left_out.size(); ++named) {
    const LeftOut& entry = left_out[named];
    const std::string more = (named == 1 ? ", and \"" : ", \"") + entry.name + "\"" +
                             (entry.cause.empty() ? "" : " (" + entry.cause + ")");
    if (first.name.size() + cause.size() + more.size() > kRoom) break;
    cause += more;
  }
  if (named < left_out.size()) cause += " and " + std::to_string(left_out.size() - named) + " more";
  return cause;
}

// A path inside the folder a pack command was given, as the program spells
// it: "" is the working folder, as it is to every other command.
std::string InFolder(const std::string& folder, const std::string& path, char separator) {
  return folder.empty() ? path : folder + separator + path;
}

// A directory pack: the files under the folder, counted first, each
// streamed from its file. What cannot be read is left out, the count says
// how many follow, and the warning names each entry left out; so is a link
// that leads out of the folder, and the program goes on. A folder that
// is not there writes an empty pack and says so. A write that fails takes
// back the file it was writing, and the pack holds those before it.
//
// The count goes first as the number of files found, and is put right at
// the end where some were left out: a pack whose writer was killed on the
// way (the open file keeps what was written) then counts more files than
// it holds, and its reader says so.
void CmdWriteDirBlock(Vm& vm) {
  const int32_t number = vm.NextInt();
  const std::string folder(vm.NextString());
  NumberedFiles::Slot* slot = CheckedSlot(vm, number);
  if (!slot) return;
  OpenFile& file = slot->file;
  const uint64_t count_at = file.Position();
  // In a built game the pack holds what the game finds there, carried or not.
  AttachedData* attached = vm.attached_data;
  const std::optional<files::TreeListing> listing =
      files::ListTreeFiles(NativePath(folder.empty() ? "." : folder),
                           [attached](const std::string& native) { return CarriedEntries(attached, native); });
  const int listing_error = errno;
  const uint32_t found = listing ? static_cast<uint32_t>(listing->files.size()) : 0;
  if (!WriteOrWarn(vm, file, LittleEndian(found))) return;
  if (!listing && listing_error == ENOENT) return vm.RunWarning(file_error::kDirectoryMissing, folder);
  if (!listing && listing_error == ENOTDIR)
    return vm.RunWarning(file_error::kDirectoryMissing, folder, files::CauseOf(listing_error));
  if (!listing) return vm.RunWarning(err::kOpenFailed, folder, files::CauseOf(listing_error));

  const auto spelled = [&](const std::string& packed_path) {
    return InFolder(folder, files::PackedText(packed_path), '\\');
  };
  // What is packed lies inside the folder: a link that leads out of it is
  // not followed for its content, whatever its name led to meanwhile.
  const std::string real_folder = files::RealFolder(NativePath(folder.empty() ? "." : folder));
  std::vector<LeftOut> left_out, outside;
  for (const files::TreeListing::Unread& entry : listing->unread)
    left_out.push_back({spelled(entry.packed_path), entry.error == EILSEQ
                                                        ? "its name is no UTF-8 and has no spelling a pack gives back"
                                                        : files::CauseOf(entry.error)});
  // A pack holds files alone: a folder with none would not come back.
  std::vector<LeftOut> empty;
  for (const std::string& packed_path : listing->empty_folders)
    empty.push_back({spelled(packed_path), ""});
  uint32_t count = 0;
  for (const files::TreeFile& tree_file : listing->files) {
    files::UniqueFd source;
    uint64_t size = 0;
    const std::string read = attached ? FilesOf(vm).LookUpFile(tree_file.native_path) : tree_file.native_path;
    if (const int error = OpenToPack(read, &source, &size); error != 0) {
      left_out.push_back({spelled(tree_file.packed_path), files::CauseOf(error)});
      continue;
    }
    if (read == tree_file.native_path && !files::OpenedInside(source.Get(), read, real_folder)) {
      outside.push_back({spelled(tree_file.packed_path), kNotInFolder});
      continue;
    }
    std::vector<uint8_t> path;
    files::AppendU32(path, static_cast<uint32_t>(tree_file.packed_path.size() + 1));
    path.insert(path.end(), tree_file.packed_path.begin(), tree_file.packed_path.end());
    path.push_back(0);
    const uint64_t entry_at = file.Position();
    RecordWrite result = file.Write(path) ? WriteRecord(file, source.Get(), size, false) : RecordWrite::kWriteFailed;
    if (result != RecordWrite::kWritten) file.TakeBackTo(entry_at);
    if (result == RecordWrite::kWriteFailed) {
      const int error = errno;
      file.WriteAt(count_at, LittleEndian(count));
      return vm.RunWarning(err::kWriteFailed, file.Name(), files::CauseOf(error));
    }
    if (result == RecordWrite::kSourceShort) {
      left_out.push_back({spelled(tree_file.packed_path), kSourceShort});
      continue;
    }
    ++count;
  }
  if (count != found && !file.WriteAt(count_at, LittleEndian(count)))
    return vm.RunWarning(err::kWriteFailed, file.Name(), files::CauseOf(errno));
  // A link that leads out is no file the folder holds: the program goes on.
  if (!outside.empty())
    vm.WarnAndGoOn(err::kOpenFailed, outside.front().name, LeftOutCause(outside, "the pack leaves it out"));
  if (!empty.empty())
    vm.WarnAndGoOn(err::kOpenFailed, empty.front().name,
                   LeftOutCause(empty, "it is a folder with no file in it, which the pack leaves out"));
  if (!left_out.empty())
    vm.RunWarning(err::kOpenFailed, left_out.front().name, LeftOutCause(left_out, "the pack leaves it out"));
}

// The name a packed name makes: the system's, and the program's own bytes
// (as an older build made names); none where a mark in it stands for what
// no name made here may hold (a separator), and `refusal` says so. A name
// that is no UTF-8 is read as the program's characters (see PackedText).
std::optional<files::PackedPart> PartOf(const std::string& packed, std::string* refusal) {
  std::string name = packed;
  if (platform::IsValidUtf8(packed)) name = platform::ProgramNameOf(packed).value_or(platform::ProgramTextOf(packed));
  std::optional<std::string> system = platform::CheckedSystemNameOf(name, refusal);
  if (!system) return std::nullopt;
  return files::PackedPart{std::move(*system), std::move(name)};
}

// What became of a pack's files that did not come back, each named.
struct UnpackReport {
  std::vector<LeftOut> passed_over;  // path syntax, links: the program goes on
  std::vector<LeftOut> taken;        // the name is taken there: the program goes on
  std::optional<LeftOut> cut_short;  // the data ends inside it: the program goes on
  std::vector<LeftOut> failed;       // could not be made: a failed write
  int32_t failed_code = err::kCreateFailed;

  // `shown` is the packed path; `made` the name the file would have had.
  void Add(const files::UnpackFolder::Result& result, const std::string& shown, const std::string& made) {
    using Outcome = files::UnpackFolder::Outcome;
    switch (result.outcome) {
      case Outcome::kMade: return;
      case Outcome::kTaken: return taken.push_back({shown, result.link ? "a symbolic link has that name" : ""});
      case Outcome::kThroughLink: return passed_over.push_back({shown, "it leads through a symbolic link"});
      case Outcome::kCutShort: cut_short = LeftOut{shown, CutShortCause(result.record, "the pack")}; return;
      case Outcome::kFailed: break;
    }
    if (failed.empty()) failed_code = UnpackFailure(result.error);
    failed.push_back({made, files::CauseOf(result.error)});
  }
};

// Unpacks one file of a pack into the folder the program named `folder`,
// naming in `report` what does not come back.
void UnpackPackedFile(Vm& vm, files::UnpackFolder& into, const std::string& folder, const files::PackedFile& packed,
                      const files::RecordReader& record, UnpackReport& report) {
  const std::string shown = InFolder(folder, files::PackedText(packed.path), '\\');
  if (!packed.parts) return report.passed_over.push_back({shown, kNotInFolder});
  std::vector<files::PackedPart> parts;
  std::string relative;
  for (const std::string& packed_part : *packed.parts) {
    std::string refusal;
    std::optional<files::PackedPart> part = PartOf(packed_part, &refusal);
    if (!part) return report.passed_over.push_back({shown, refusal});
    relative += (relative.empty() ? "" : "/") + part->older;
    parts.push_back(std::move(*part));
  }
  const std::string made = InFolder(folder, relative, '/');
  // A file a built game carries is there as one on disk is.
  if (vm.attached_data && CarriedPathExists(vm.attached_data, made)) {
    record({});
    return report.taken.push_back({shown, ""});
  }
  report.Add(into.Unpack(parts, record), shown, made);
}

// Unpacks a directory pack into the folder (made when missing; "" is the
// working folder). Every file lands inside the folder, under the name it
// was packed under, whatever its bytes: a path that would lead out of it
// (absolute, with a leading drive form, with ".."), a name marked so, or
// one whose folder there is a symbolic link is passed over; so is a file
// whose name is taken there already (the earlier file stays as it is), and
// one the pack ends inside (nothing of it is written; the pack keeps what
// came). Warnings name each, and the program goes on; files that cannot be
// made are named too, and end the run as a failed write does. A folder that
// cannot be made takes nothing, warns as a file that cannot be made does,
// and the pack is read past all the same.
void CmdReadDirBlock(Vm& vm) {
  const int32_t number = vm.NextInt();
  const std::string folder(vm.NextString());
  NumberedFiles::Slot* slot = CheckedSlot(vm, number);
  if (!slot) return;
  const std::string native = NativePath(folder.empty() ? "." : folder);
  std::vector<std::string> made;
  std::optional<files::UnpackFolder> into;
  if (files::MakeFolders(native, &made)) into = files::UnpackFolder::Open(native);
  if (!into) vm.RunWarning(err::kCreateFailed, folder, files::FolderCause(native, errno));
  // An empty file is no empty pack: a writer killed before its first byte
  // leaves one. (At the end of a file of packs, a loop reading them until
  // the end comes to no pack at all, and that is no loss.)
  const bool empty_file = slot->file.Size() == 0;
  UnpackReport report;
  const files::PackRead read =
      files::StreamDirectoryPack(slot->file, [&](const files::PackedFile& packed, const files::RecordReader& record) {
        if (into) UnpackPackedFile(vm, *into, folder, packed, record, report);
      });
  if (into) into->Finish();
  // A folder made for files that could not be written goes again.
  if (!report.failed.empty()) files::RemoveEmptyFolders(made);
  NoteRead(vm, *slot, read.status, false);  // the pack's own warnings say what it lacks
  constexpr char kLeftOut[] = "the pack's file is left out";
  if (!report.passed_over.empty())
    vm.WarnAndGoOn(err::kCreateFailed, report.passed_over.front().name, LeftOutCause(report.passed_over, kLeftOut));
  if (!report.taken.empty())
    vm.WarnAndGoOn(err::kExists, report.taken.front().name, LeftOutCause(report.taken, kLeftOut));
  if (report.cut_short)
    vm.WarnAndGoOn(err::kCreateFailed, report.cut_short->name, report.cut_short->cause);
  // The pack is read to its end: one that ends before all the files it
  // counts says how many it lacks.
  if (read.cut_in_count)
    vm.WarnAndGoOn(err::kReadFailed, slot->file.Name(), "it ends inside the pack's count of files");
  SayIfEmpty(vm, empty_file, *slot, "pack");
  if (!read.damaged && read.arrived < read.count)
    vm.WarnAndGoOn(err::kReadFailed, slot->file.Name(),
                   "the pack lacks " + std::to_string(read.count - read.arrived) + " of its " +
                       std::to_string(read.count) + " files" +
                       (read.cut_in_path ? ", and ends inside the name of the first of them" : ""));
  if (read.damaged) {
    if (report.failed.empty()) return vm.RunWarning(err::kReadFailed, slot->file.Name());
    vm.WarnAndGoOn(err::kReadFailed, slot->file.Name(), "");
  }
  if (!report.failed.empty())
    vm.RunWarning(report.failed_code, report.failed.front().name, LeftOutCause(report.failed, "it is not written"));
}

// ---- Memory blocks ------------------------------------------------------------------

void CmdReadMemblockFromFile(Vm& vm) {
  const int32_t number = vm.NextInt();
  const int32_t block = vm.NextInt();
  NumberedFiles::Slot* slot = CheckedSlot(vm, number);
  if (!slot || !CheckBlockNumber(vm, block)) return;
  MemblockTable& blocks = Blocks(vm);
  blocks.Release(block);
  const bool empty_file = slot->file.Size() == 0;
  const files::U32Read size = files::ReadU32(slot->file);
  if (!size.whole) {
    NoteRead(vm, *slot, size.status);
    return SayIfEmpty(vm, empty_file, *slot, "memory block");
  }
  // There are no empty blocks: a record of 0 bytes is an empty size.
  if (size.value == 0) return vm.RunWarning(err::kReadFailed, slot->file.Name());
  if (!blocks.Make(block, size.value)) return vm.RunError(memblock_error::kAllocation);
  // A record cut short leaves the block's tail zero, marks the end and says so.
  NoteRead(vm, *slot, files::RecordStatus(files::ReadExact(slot->file, blocks.Peek(block)->bytes())));
}

void CmdWriteMemblockToFile(Vm& vm) {
  const int32_t number = vm.NextInt();
  const int32_t block = vm.NextInt();
  NumberedFiles::Slot* slot = CheckedSlot(vm, number);
  if (!slot || !CheckBlockNumber(vm, block)) return;
  BlockMemory* memory = Blocks(vm).Peek(block);
  if (!memory) return vm.RunError(memblock_error::kMissing);
  // A record cut short goes whole, its size with it.
  const uint64_t start = slot->file.Position();
  if (WriteOrWarn(vm, slot->file, LittleEndian(memory->size())) && !WriteOrWarn(vm, slot->file, memory->bytes()))
    slot->file.TakeBackTo(start);
}

void CmdMakeMemblockFromFile(Vm& vm) {
  const int32_t block = vm.NextInt();
  const int32_t number = vm.NextInt();
  if (!CheckBlockNumber(vm, block)) return;
  NumberedFiles::Slot* slot = CheckedSlot(vm, number);
  if (!slot) return;
  MemblockTable& blocks = Blocks(vm);
  blocks.Release(block);
  const uint64_t size = slot->file.Size();
  if (size == 0) return vm.RunWarning(err::kReadFailed, slot->file.Name());
  if (size > MemblockTable::kMaxSize || !blocks.Make(block, static_cast<uint32_t>(size)))
    return vm.RunError(memblock_error::kAllocation);
  // Read from where the file stands: from the middle, the block's tail stays
  // zero, as the command is meant to leave it, which is no file cut short.
  NoteRead(vm, *slot, files::ReadExact(slot->file, blocks.Peek(block)->bytes()), false);
}

}  // namespace

void RegisterNumberedFileHandlers(HandlerTable& t) {
  t.Set(op::kOpenToRead, CmdOpenFileToRead);
  t.Set(op::kOpenToWrite, CmdOpenFileToWrite);
  t.Set(op::kClose, CmdCloseFile);
  t.Set(op::kReadByte, CmdReadFileInteger<1>);
  t.Set(op::kReadWord, CmdReadFileInteger<2>);
  t.Set(op::kReadDword, CmdReadFileInteger<4>);
  t.Set(op::kReadDwordAlt, CmdReadFileInteger<4>);
  t.Set(op::kReadFloat, CmdReadFileFloat);
  t.Set(op::kReadString, CmdReadFileString);
  t.Set(op::kReadFileBlock, CmdReadFileBlock);
  t.Set(op::kSkipBytes, CmdSkipFileBytes);
  t.Set(op::kReadDirBlock, CmdReadDirBlock);
  t.Set(op::kWriteByte, CmdWriteFileValue<1>);
  t.Set(op::kWriteWord, CmdWriteFileValue<2>);
  t.Set(op::kWriteDword, CmdWriteFileValue<4>);
  t.Set(op::kWriteDwordAlt, CmdWriteFileValue<4>);
  t.Set(op::kWriteFloat, CmdWriteFileValue<4>);
  t.Set(op::kWriteString, CmdWriteFileString);
  t.Set(op::kWriteFileBlock, CmdWriteFileBlock);
  t.Set(op::kWriteFileBlockNoSize, CmdWriteFileBlockNoSize);
  t.Set(op::kWriteDirBlock, CmdWriteDirBlock);
  t.Set(op::kReadMemblock, CmdReadMemblockFromFile);
  t.Set(op::kWriteMemblock, CmdWriteMemblockToFile);
  t.Set(op::kMakeMemblockFromFile, CmdMakeMemblockFromFile);
  t.Set(op::kFileOpen, FnFileOpen);
  t.Set(op::kFileEnd, FnFileEnd);
}

}  // namespace zv
