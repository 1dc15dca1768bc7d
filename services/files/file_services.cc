#include "services/files/file_services.h"

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
}

std::string FileServices::LookUpFile(std::string_view name) const {
  return LookUpProgramFile(vm_ ? vm_->attached_data : nullptr, name);
}

FileServices& FilesOf(Vm& vm) {
  if (!vm.files) throw OperandFault("the file commands have no file services");
  return *vm.files;
}

}  // namespace zv
