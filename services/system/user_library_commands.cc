#include "services/system/user_library_commands.h"

#include <array>
#include <cstring>
#include <string>
#include <vector>

#include "platform/arena/low_arena.h"
#include "platform/dynlib/word_call.h"
#include "runtime/vm/opcodes/opcode_support.h"
#include "services/system/system_services.h"

namespace zv {
namespace {

namespace op = user_library_opcode;
namespace err = user_library_error;

// The checks every slot operand passes: error 9705 outside 1..255.
bool CheckSlot(Vm& vm, int32_t slot) {
  if (UserLibraries::InRange(slot)) return true;
  vm.RunError(err::kSlotNumber);
  return false;
}

// The argument words of a call. A string is handed over as the address of
// its characters, copied into memory whose addresses fit 32 bits; what the
// function writes there comes back into a string variable when it changed.
class CallArguments {
 public:
  CallArguments() = default;
  CallArguments(const CallArguments&) = delete;
  CallArguments& operator=(const CallArguments&) = delete;
  ~CallArguments() {
    for (const Copy& copy : copies_) platform::ProgramArena().Free(copy.memory);
  }

  // False when the memory for a string cannot be had.
  bool Add(Vm& vm, Slot slot) {
    if (SlotTypeOf(slot.index) != SlotType::kString) {
      words_.push_back(vm.WordAt(slot));
      return true;
    }
    const std::string_view text = vm.StringAt(slot);
    void* memory = platform::ProgramArena().Allocate(text.size() + 1);
    if (!memory) return false;
    if (!text.empty()) std::memcpy(memory, text.data(), text.size());
    copies_.push_back(Copy{slot, memory, std::string(text)});
    words_.push_back(platform::LowArena::AddressOf(memory));
    return true;
  }

  std::span<const uint32_t> Words() const { return words_; }

  // Gives string variables what the function left in their copies.
  void CopyBack(Vm& vm) const {
    for (const Copy& copy : copies_) {
      if (!core::IsStringVariable(copy.slot)) continue;
      const char* chars = static_cast<const char*>(copy.memory);
      const std::string now(chars, ::strnlen(chars, copy.before.size() + 1));
      if (now != copy.before) vm.SetString(copy.slot, now);
    }
  }

 private:
  struct Copy {
    Slot slot;
    void* memory;
    std::string before;
  };
  std::vector<uint32_t> words_;
  std::vector<Copy> copies_;
};

// Calls the function named by the operands after the result (if any):
// slot, function name, then `kArguments` values. The function's 32-bit
// result, or 0 after an error.
template <int kArguments>
uint32_t CallUserDllFunction(Vm& vm) {
  const int32_t slot = vm.NextInt();
  const std::string name(vm.NextString());
  std::array<Slot, kArguments> argument_slots{};
  for (Slot& s : argument_slots) s = vm.NextSlot();

  if (!CheckSlot(vm, slot)) return 0;
  UserLibraries& libraries = SystemOf(vm).Libraries();
  if (!libraries.Loaded(slot)) {
    vm.RunError(err::kSlotEmpty);
    return 0;
  }
  void* function = libraries.FindFunction(slot, name);
  if (!function) {
    vm.RunError(err::kNoSuchFunction);
    return 0;
  }
  CallArguments arguments;
  for (Slot s : argument_slots)
    if (!arguments.Add(vm, s)) throw OperandFault("no memory for a string handed to a library");
  const platform::WordCallResult call = platform::CallWithWords(function, arguments.Words());
  if (call.faulted) throw OperandFault("the library function \"" + name + "\" faulted");
  arguments.CopyBack(vm);
  return call.value;
}

template <int kArguments>
void CmdCallUserDll(Vm& vm) {
  CallUserDllFunction<kArguments>(vm);
}

template <int kArguments>
void FnCallUserDll(Vm& vm) {
  const Slot result = vm.NextSlot();
  vm.SetWord(result, CallUserDllFunction<kArguments>(vm));
}

void CmdLoadUserDll(Vm& vm) {
  const std::string file(vm.NextString());
  const int32_t slot = vm.NextInt();
  if (!CheckSlot(vm, slot)) return;
  UserLibraries& libraries = SystemOf(vm).Libraries();
  if (libraries.Loaded(slot)) return vm.RunError(err::kSlotInUse);
  if (!libraries.Load(slot, file)) vm.RunWarning(err::kLoadFailed);
}

void CmdFreeUserDll(Vm& vm) {
  const int32_t slot = vm.NextInt();
  if (!CheckSlot(vm, slot)) return;
  UserLibraries& libraries = SystemOf(vm).Libraries();
  if (!libraries.Loaded(slot)) return vm.RunError(err::kSlotEmpty);
  libraries.Free(slot);
}

void FnUserDllExists(Vm& vm) {
  const Slot result = vm.NextSlot();
  const int32_t slot = vm.NextInt();
  vm.SetInt(result, CheckSlot(vm, slot) && SystemOf(vm).Libraries().Loaded(slot) ? 1 : 0);
}

void FnUserDllCallExists(Vm& vm) {
  const Slot result = vm.NextSlot();
  const int32_t slot = vm.NextInt();
  const std::string name(vm.NextString());
  vm.SetInt(result, CheckSlot(vm, slot) && SystemOf(vm).Libraries().FindFunction(slot, name) ? 1 : 0);
}

template <int... kCounts>
void RegisterCalls(HandlerTable& t, std::integer_sequence<int, kCounts...>) {
  (t.Set(op::kCallUserDll0 + kCounts, CmdCallUserDll<kCounts>), ...);
  (t.Set(op::kFnCallUserDll0 + kCounts, FnCallUserDll<kCounts>), ...);
}

}  // namespace

void RegisterUserLibraryHandlers(HandlerTable& t) {
  t.Set(op::kLoadUserDll, CmdLoadUserDll);
  t.Set(op::kFreeUserDll, CmdFreeUserDll);
  t.Set(op::kUserDllExists, FnUserDllExists);
  t.Set(op::kUserDllCallExists, FnUserDllCallExists);
  RegisterCalls(t, std::make_integer_sequence<int, platform::kMaxWordArguments + 1>{});
}

}  // namespace zv
