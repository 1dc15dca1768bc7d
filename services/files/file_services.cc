#include "services/files/file_services.h"

#include <sys/stat.h>

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
  last_deleted_.reset();
}

std::optional<platform::FileSave> FileServices::WriteAnew(const std::string& path) {
  if (!last_deleted_ || !last_deleted_->TakenFrom(path)) {
    errno = ENOENT;
    return std::nullopt;
  }
  std::optional<platform::DeletedFile> held = std::exchange(last_deleted_, std::nullopt);
  if (!held->PutBack()) return std::nullopt;
  std::optional<platform::FileSave> save = platform::FileSave::Begin(path);
  if (!save) {
    const int error = errno;
    files::DeleteUserFile(path, &last_deleted_);
    errno = error;
    return std::nullopt;
  }
  // What a new file would get, not the mode of the one it replaces.
  ::fchmod(save->Fd(), platform::NewFileMode());
  return save;
}

std::string FileServices::LookUpFile(std::string_view name) const {
  return LookUpProgramFile(vm_ ? vm_->attached_data : nullptr, name);
}

FileServices& FilesOf(Vm& vm) {
  if (!vm.files) throw OperandFault("the file commands have no file services");
  return *vm.files;
}

}  // namespace zv
