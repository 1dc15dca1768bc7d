#include "services/files/file_services.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <utility>

#include "services/files/disk_files.h"
#include "services/files/program_paths.h"

namespace zv {

void FileServices::Bind(Vm& vm) {
  vm_ = &vm;
  vm.files = this;
}

bool FileServices::FileExists(const std::string& name) const { return files::OpensForReading(LookUpFile(name)); }

void FileServices::CloseNumberedFiles() {
  slots_.CloseAll();
  search_.Close();
  held_.clear();
}

void FileServices::FrameWorkDone() {
  // Past its slice, what a file written anew holds is kept through a kill.
  // A save made within one slice needs no such care: killed there, it is a
  // save that had not finished, and it costs what any save does.
  slots_.KeepWrittenAnewIfKilled();
  // A file written anew that is still open keeps its slice's deletes for
  // the next slice too.
  const std::set<uint64_t> going_on = std::exchange(written_anew_, slots_.SlicesWrittenAnew());
  std::erase_if(held_, [&](const Held& held) { return held.slice < slice_ && !going_on.contains(held.slice); });
  ++slice_;
}

void FileServices::Hold(platform::DeletedFile deleted) {
  std::erase_if(held_, [&](const Held& held) { return held.file.TakenFrom(deleted.Path()); });
  held_.push_back({std::move(deleted), slice_});
}

files::OpenFile FileServices::WriteAnew(const std::string& path, const std::string& name) {
  const auto found =
      std::find_if(held_.begin(), held_.end(), [&](const Held& held) { return held.file.TakenFrom(path); });
  if (found == held_.end()) {
    errno = ENOENT;
    return {};
  }
  platform::DeletedFile held = std::move(found->file);
  const uint64_t deleted_in = found->slice;
  held_.erase(found);
  if (!held.PutBack()) return {};
  std::optional<platform::FileSave> save = platform::FileSave::Begin(path, platform::ExistingFile::kReplaceAsNew);
  if (!save) {
    const int error = errno;
    std::optional<platform::DeletedFile> again;
    files::DeleteUserFile(path, &again);
    if (again) Hold(std::move(*again));
    errno = error;
    return {};
  }
  written_anew_.insert(deleted_in);
  return files::OpenFile(std::move(*save), name, deleted_in);
}

std::string FileServices::LookUpFile(std::string_view name) const {
  return LookUpProgramFile(vm_ ? vm_->attached_data : nullptr, name);
}

FileServices& FilesOf(Vm& vm) {
  if (!vm.files) throw OperandFault("the file commands have no file services");
  return *vm.files;
}

}  // namespace zv
