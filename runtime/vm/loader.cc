#include "runtime/vm/loader.h"

#include <fstream>
#include <iterator>

namespace zv {
namespace {

uint32_t ConvertLiteral(uint32_t word) {
  int32_t value = static_cast<int32_t>(word);
  if (value >= operand::kLiteralFirst && value < operand::kLabelFirst)
    return static_cast<uint32_t>(value - operand::kLiteralFirst);
  return word;
}

}  // namespace

bool LoadProgramImage(Vm& vm, const std::string& path, std::string* error) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    if (error) *error = "cannot open " + path;
    return false;
  }
  std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  auto decoded = DecodeProgramFile(bytes);
  if (auto* refused = std::get_if<ProgramFileError>(&decoded)) {
    if (error) *error = path + ": " + refused->message;
    return false;
  }
  return InstallProgram(vm, std::get<ProgramFile>(decoded));
}

bool InstallProgram(Vm& vm, const ProgramFile& p) {
  FreeProgram(vm);

  for (size_t i = 0; i < p.int_constants.size(); ++i)
    vm.slots_[slots::kIntConst + i] = static_cast<uint32_t>(p.int_constants[i]);
  for (size_t i = 0; i < p.float_constants.size(); ++i)
    vm.slots_[slots::kFloatConst + i] = p.float_constants[i];
  for (size_t i = 0; i < p.string_constants.size(); ++i)
    vm.slots_[slots::kStringConst + i] = vm.strings_.Make(p.string_constants[i]);

  vm.data_types_.clear();
  for (size_t i = 0; i < p.data.size(); ++i) {
    const DataItem& item = p.data[i];
    vm.data_types_.push_back(static_cast<uint8_t>(item.type));
    vm.slots_[slots::kData + i] = item.type == 's' ? vm.strings_.Make(item.text) : item.word;
  }
  for (int32_t i = 0; i < p.string_variables; ++i)
    vm.slots_[slots::kStringVar + i] = vm.strings_.Make("");

  vm.int_owners_ = p.int_owners;
  vm.float_owners_ = p.float_owners;
  vm.string_owners_ = p.string_owners;

  vm.code_.resize(p.code.size());
  for (size_t i = 0; i < p.code.size(); ++i) vm.code_[i] = ConvertLiteral(p.code[i]);
  vm.lines_ = p.lines;
  vm.lines_.resize(p.code.size(), 0);
  vm.code_size_ = static_cast<uint32_t>(vm.code_.size());
  return true;
}

void FreeProgram(Vm& vm) {
  vm.FlushTraceLog();
  vm.input->UnloadUserLibraries();
  vm.arrays.ReleaseAll(vm.strings_);
  vm.strings_.Clear();
  std::fill(vm.slots_.begin(), vm.slots_.end(), 0);
  vm.data_types_.clear();
  vm.int_owners_.clear();
  vm.float_owners_.clear();
  vm.string_owners_.clear();
  vm.code_.clear();
  vm.lines_.clear();
  vm.code_size_ = 0;
  vm.pc_ = vm.command_pc_ = 0;
  vm.call_stack.clear();
  vm.call_stack.shrink_to_fit();
  vm.call_depth = 0;
  vm.current_function = 0;
}

void ResetVmState(Vm& vm) {
  vm.render_timing.scene_render = 0;
  vm.yield = true;
  vm.program_ended = false;
  vm.pc_ = vm.command_pc_ = 0;
  vm.command_counter = 0;
  vm.current_function = 0;
  vm.call_depth = 0;
  vm.call_stack.clear();
  vm.errors.code = 0;
  vm.checklist.Reset();
  vm.time_slice_mode = true;
  vm.frame_time = 25;
  vm.auto_refresh = true;
  vm.render_timing.backdrop_on = true;
  vm.escape_quits = true;
  vm.input->SetSystemKeysEnabled(true);
  vm.time_slice_length = 33;
  vm.time_slice_start = vm.Host().NowMs();
}

}  // namespace zv
