#include "services/files/array_file_commands.h"

#include <cerrno>
#include <optional>
#include <string>
#include <vector>

#include "platform/paths/file_save.h"
#include "services/files/array_files.h"
#include "services/files/disk_files.h"
#include "services/files/file_services.h"
#include "services/files/program_paths.h"

namespace zv {
namespace {

namespace op = array_file_opcode;
namespace err = array_file_error;
namespace stage = array_load_stage;

enum class ArrayKind { kNumbers, kStrings };

constexpr uint32_t kMaxSubscripts = 5;
// The element-read opcodes for one subscript; each family continues up to
// five subscripts.
constexpr uint32_t kReadIntElement = 661;
constexpr uint32_t kReadFloatElement = 666;
constexpr uint32_t kReadStringElement = 671;

// The array slot word of the element read just before the command, when
// that read is the command's own operand: the compiler reads the named
// element into a temporary right before the command, so with one subscript
// the array's slot is three words before the command's first operand (an
// element named with more subscripts puts it further back; the read's own
// opcode tells how far). A command given anything else, a variable for
// instance, finds no array, whatever the line before it read.
bool IsElementRead(uint32_t opcode, uint32_t subscripts) {
  for (uint32_t family : {kReadIntElement, kReadFloatElement, kReadStringElement})
    if (opcode == family + subscripts - 1) return true;
  return false;
}

std::optional<uint32_t> ArraySlotWord(const Vm& vm, uint32_t operand_word) {
  const uint32_t operand_slot = operand_word - static_cast<uint32_t>(operand::kSlotFirst);
  if (operand_slot >= slots::kIntVar) return std::nullopt;  // not a temporary
  const uint32_t at = vm.CommandPc();
  for (uint32_t n = 1; n <= kMaxSubscripts; ++n)
    if (at >= n + 3 && IsElementRead(vm.CodeWord(at - (n + 3)), n) && vm.CodeWord(at - (n + 2)) == operand_word)
      return vm.CodeWord(at - (n + 1));
  return std::nullopt;
}

// The command's array, as its table entry. Nothing (with error 109) unless
// its operand read an element of a dimensioned array of the command's kind:
// a number file loaded into string handles, or the reverse, would make
// numbers pass for strings.
std::optional<uint32_t> CommandArray(Vm& vm, ArrayKind kind, uint32_t operand_word) {
  const std::optional<uint32_t> slot_word = ArraySlotWord(vm, operand_word);
  const uint32_t entry =
      slot_word ? *slot_word - static_cast<uint32_t>(operand::kSlotFirst) - slots::kIntVar : ArrayTable::kEntries;
  const bool strings = entry >= ArrayTable::kFirstStringEntry;
  if (entry >= ArrayTable::kEntries || strings != (kind == ArrayKind::kStrings)) {
    vm.RunError(err::kNotAnArray);
    return std::nullopt;
  }
  if (kind == ArrayKind::kStrings) vm.errors.internal_code = stage::kArrayAccepted;
  if (!vm.arrays.IsArray(entry)) {
    vm.RunError(err::kNotAnArray);
    return std::nullopt;
  }
  if (kind == ArrayKind::kStrings) vm.errors.internal_code = stage::kArrayDimensioned;
  return entry;
}

// The whole file named, after the virtual-file lookup; a missing file is
// made empty and loads as empty. Nothing (with error 104 and the system's
// reason) when it cannot be opened.
std::optional<std::vector<uint8_t>> ReadArrayFile(Vm& vm, const std::string& name) {
  files::UniqueFd fd = files::OpenOrCreateForReading(FilesOf(vm).LookUpFile(name));
  if (!fd.Valid()) {
    vm.RunError(err::kFileFailed, name, files::CauseOf(errno));
    return std::nullopt;
  }
  auto bytes = files::ReadToEnd(fd.Get());
  if (!bytes) vm.RunError(err::kFileFailed, name, files::CauseOf(errno));
  return bytes;
}

// Replaces the file under the name as given; error 104 when it cannot be
// written, with the system's reason (the earlier file then stays as it was).
void WriteArrayFile(Vm& vm, const std::string& name, std::span<const uint8_t> bytes) {
  if (!platform::SaveFile(NativePath(name), bytes))
    vm.RunError(err::kFileFailed, name, files::CauseOf(errno));
}

// A file holding more than its array takes: the rest is left in the file,
// but not unsaid; the program goes on.
void WarnOfTheRest(Vm& vm, const std::string& name, size_t elements) {
  vm.WarnAndGoOn(err::kFileHoldsMore, name,
                 "it holds more than the array's " + std::to_string(elements) + " elements; the rest is not loaded");
}

// Operands: the file name, then the element the compiler read, whose value
// is not used; the element's word names the read.
struct ArrayCommandOperands {
  std::string name;
  uint32_t element_word = 0;
};
ArrayCommandOperands NextOperands(Vm& vm) {
  ArrayCommandOperands operands{std::string(vm.NextString())};
  operands.element_word = vm.NextWord();
  return operands;
}

void CmdLoadNumberArray(Vm& vm) {
  const ArrayCommandOperands operands = NextOperands(vm);
  const auto entry = CommandArray(vm, ArrayKind::kNumbers, operands.element_word);
  if (!entry) return;
  const auto bytes = ReadArrayFile(vm, operands.name);
  if (!bytes) return;
  ArrayEntry& array = vm.arrays.At(*entry);
  array.elements = files::DecodeNumberArrayFile(*bytes, array.elements.size());
  if (bytes->size() / 4 > array.elements.size()) WarnOfTheRest(vm, operands.name, array.elements.size());
}

void CmdLoadStringArray(Vm& vm) {
  int32_t& progress = vm.errors.internal_code;
  progress = stage::kEntered;
  const ArrayCommandOperands operands = NextOperands(vm);
  const auto entry = CommandArray(vm, ArrayKind::kStrings, operands.element_word);
  if (!entry) {
    progress = stage::kFinished;
    return;
  }
  progress = stage::kOpening;
  const auto bytes = ReadArrayFile(vm, operands.name);
  if (!bytes) {
    progress = stage::kOpenFailed;
    return;
  }
  progress = stage::kFileClosed;
  ArrayEntry& array = vm.arrays.At(*entry);
  const files::StringArrayLines lines = files::DecodeStringArrayFile(*bytes, array.elements.size());
  progress = stage::kLinesStarting;
  StringHeap& strings = vm.Strings();
  // A line longer than a string holds ends the run with error 107 there.
  for (size_t i = 0; i < lines.elements.size(); ++i) {
    progress = stage::kLineCopying;
    uint32_t& element = array.elements[i];
    const uint32_t made = lines.elements[i].empty() ? 0 : strings.Make(lines.elements[i]);
    strings.Release(element);
    element = made;
    progress = stage::kLineNext;
  }
  progress = stage::kFinished;
  if (lines.more) WarnOfTheRest(vm, operands.name, lines.elements.size());
}

void CmdSaveNumberArray(Vm& vm) {
  const ArrayCommandOperands operands = NextOperands(vm);
  const auto entry = CommandArray(vm, ArrayKind::kNumbers, operands.element_word);
  if (entry) WriteArrayFile(vm, operands.name, files::EncodeNumberArrayFile(vm.arrays.At(*entry).elements));
}

void CmdSaveStringArray(Vm& vm) {
  const ArrayCommandOperands operands = NextOperands(vm);
  const auto entry = CommandArray(vm, ArrayKind::kStrings, operands.element_word);
  if (!entry) return;
  std::vector<std::string_view> texts;
  for (uint32_t handle : vm.arrays.At(*entry).elements) texts.push_back(vm.Strings().View(handle));
  // Such a file would load back shifted: refused, and the earlier file stays.
  if (const auto unkept = files::FirstElementWithLineEnd(texts))
    return vm.RunError(err::kElementHoldsLineEnd, "",
                       "element " + std::to_string(*unkept) + " holds CR LF, which would end its line in \"" +
                           operands.name + "\"; the file is left as it was");
  WriteArrayFile(vm, operands.name, files::EncodeStringArrayFile(texts));
}

}  // namespace

void RegisterArrayFileHandlers(HandlerTable& t) {
  t.Set(op::kLoadNumberArray, CmdLoadNumberArray);
  t.Set(op::kLoadNumberArrayAlt, CmdLoadNumberArray);
  t.Set(op::kLoadStringArray, CmdLoadStringArray);
  t.Set(op::kSaveNumberArray, CmdSaveNumberArray);
  t.Set(op::kSaveNumberArrayAlt, CmdSaveNumberArray);
  t.Set(op::kSaveStringArray, CmdSaveStringArray);
}

}  // namespace zv
