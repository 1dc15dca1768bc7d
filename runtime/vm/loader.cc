#include "runtime/vm/loader.h"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <new>

#include "runtime/vm/dispatch.h"

namespace zv {
namespace {

// Enough for the error path to name the command and end the run.
constexpr size_t kMemoryReserveBytes = 512 * 1024;

uint32_t ConvertLiteral(uint32_t word) {
  int32_t value = static_cast<int32_t>(word);
  if (value >= operand::kLiteralFirst && value < operand::kLabelFirst)
    return static_cast<uint32_t>(value - operand::kLiteralFirst);
  return word;
}

// Groups the variables by owning function, so a call saves the running
// function's variables without walking every variable of the program.
std::vector<std::vector<uint32_t>> GroupByOwner(const ProgramFile& p) {
  std::vector<std::vector<uint32_t>> groups;
  auto add = [&](const std::vector<int32_t>& owners, uint32_t first_slot) {
    size_t count = std::min<size_t>(owners.size(), slots::kVarsPerClass);
    for (size_t i = 0; i < count; ++i) {
      // Owner numbers are 16-bit values written with their sign.
      uint16_t owner = static_cast<uint16_t>(owners[i]);
      if (owner >= groups.size()) groups.resize(size_t{owner} + 1);
      groups[owner].push_back(first_slot + static_cast<uint32_t>(i));
    }
  };
  add(p.int_owners, slots::kIntVar);
  add(p.float_owners, slots::kFloatVar);
  add(p.string_owners, slots::kStringVar);
  return groups;
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
  vm.owned_slots_ = GroupByOwner(p);

  // Zero words after the code let the dispatch loop read a hot command's
  // operands without a bounds check: a zero is no slot and no target.
  vm.code_.assign(p.code.size() + kCodePadding, 0);
  for (size_t i = 0; i < p.code.size(); ++i) vm.code_[i] = ConvertLiteral(p.code[i]);
  vm.direct_.clear();
  vm.lines_ = p.lines;
  vm.lines_.resize(p.code.size(), 0);
  vm.cursor_ = OperandCursor{vm.code_.data(), static_cast<uint32_t>(vm.code_.size()), 0};
  vm.call_frames.Reset(static_cast<uint32_t>(vm.code_.size()));
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
  vm.owned_slots_.clear();
  vm.code_.clear();
  vm.direct_.clear();
  vm.lines_.clear();
  vm.cursor_ = OperandCursor{};
  vm.command_pc_ = 0;
  vm.call_stack.clear();
  vm.call_stack.shrink_to_fit();
  vm.call_frames.Reset(0);
  vm.call_depth = 0;
  vm.current_function = 0;
}

void ResetVmState(Vm& vm) {
  vm.render_timing.scene_render = 0;
  vm.yield = true;
  vm.program_ended = false;
  vm.cursor_.pc = vm.command_pc_ = 0;
  vm.command_counter = 0;
  vm.clock_check_interval = kClockCheckInterval;
  vm.current_function = 0;
  vm.call_depth = 0;
  vm.call_stack.clear();
  vm.call_frames.ResetStack();
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
  // Untouched, the reserve costs address space only.
  if (!vm.memory_reserve_) vm.memory_reserve_.reset(new (std::nothrow) char[kMemoryReserveBytes]);
}

}  // namespace zv
