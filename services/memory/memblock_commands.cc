// The memory-block commands: make, delete, query, copy, and read and write
// bytes, words, dwords and floats at any offset.
#include <cstring>

#include "services/memory/little_endian.h"
#include "services/memory/memblock_errors.h"
#include "services/memory/memory_blocks.h"
#include "services/memory/memory_handlers.h"

namespace zv {
namespace {

namespace op = memblock_opcode;
namespace err = memblock_error;

MemblockTable* TableOf(Vm& vm) { return vm.memory_blocks ? &vm.memory_blocks->Table() : nullptr; }

// The block a command names; null after raising 5101 or 5103.
BlockMemory* ExistingBlock(Vm& vm, int32_t number) {
  if (!MemblockTable::InProgramRange(number)) {
    vm.RunError(err::kNumber);
    return nullptr;
  }
  MemblockTable* table = TableOf(vm);
  BlockMemory* block = table ? table->Peek(number) : nullptr;
  if (!block) vm.RunError(err::kMissing);
  return block;
}

// True when `width` bytes at `offset` (read unsigned) lie inside the block;
// raises 5105 otherwise.
bool Inside(Vm& vm, const BlockMemory& block, int32_t offset, uint32_t width) {
  if (uint64_t{static_cast<uint32_t>(offset)} + width <= block.size()) return true;
  vm.RunError(err::kOutside);
  return false;
}

void CmdMakeMemblock(Vm& vm) {
  const int32_t number = vm.NextInt();
  const int32_t size = vm.NextInt();
  if (!MemblockTable::InProgramRange(number)) return vm.RunError(err::kNumber);
  MemblockTable* table = TableOf(vm);
  if (table && table->Exists(number)) return vm.RunError(err::kExists);
  if (size == 0) return vm.RunError(err::kZeroSize);
  // A negative size reads as a huge one and fails like any size too large.
  if (!table || !table->Make(number, static_cast<uint32_t>(size))) vm.RunError(err::kAllocation);
}

void CmdDeleteMemblock(Vm& vm) {
  const int32_t number = vm.NextInt();
  if (ExistingBlock(vm, number)) TableOf(vm)->Release(number);
}

void FnMemblockExists(Vm& vm) {
  const Slot result = vm.NextSlot();
  const int32_t number = vm.NextInt();
  vm.SetInt(result, 0);
  if (!MemblockTable::InProgramRange(number)) return vm.RunError(err::kNumber);
  MemblockTable* table = TableOf(vm);
  vm.SetInt(result, table && table->Exists(number) ? 1 : 0);
}

void FnMemblockPointer(Vm& vm) {
  const Slot result = vm.NextSlot();
  const int32_t number = vm.NextInt();
  vm.SetInt(result, 0);
  if (BlockMemory* block = ExistingBlock(vm, number)) vm.SetInt(result, static_cast<int32_t>(block->Address()));
}

void FnMemblockSize(Vm& vm) {
  const Slot result = vm.NextSlot();
  const int32_t number = vm.NextInt();
  vm.SetInt(result, 0);
  if (BlockMemory* block = ExistingBlock(vm, number)) vm.SetInt(result, static_cast<int32_t>(block->size()));
}

void CmdCopyMemblock(Vm& vm) {
  const int32_t source_number = vm.NextInt();
  const int32_t destination_number = vm.NextInt();
  const uint32_t source_offset = static_cast<uint32_t>(vm.NextInt());
  const uint32_t destination_offset = static_cast<uint32_t>(vm.NextInt());
  const uint32_t count = static_cast<uint32_t>(vm.NextInt());
  BlockMemory* source = ExistingBlock(vm, source_number);
  if (!source) return;
  BlockMemory* destination = ExistingBlock(vm, destination_number);
  if (!destination) return;
  if (source_offset >= source->size() || destination_offset >= destination->size() ||
      uint64_t{source_offset} + count > source->size() ||
      uint64_t{destination_offset} + count > destination->size())
    return vm.RunError(err::kOutside);
  // As if through a buffer: a copy within one block, either way, moves the
  // bytes as they were before it began.
  std::memmove(destination->data() + destination_offset, source->data() + source_offset, count);
}

// ---- Reads and writes at an offset -----------------------------------------------------

// Reads the operands of a write (block, offset, value) and gives the place
// to write `width` bytes, or null after raising the block or offset error.
struct WriteOperands {
  uint8_t* place = nullptr;
  int32_t value = 0;
  uint32_t bits = 0;  // the value operand's slot word, for floats
};

WriteOperands ReadWrite(Vm& vm, uint32_t width) {
  const int32_t number = vm.NextInt();
  const int32_t offset = vm.NextInt();
  const Slot value = vm.NextSlot();
  WriteOperands w;
  w.value = vm.IntAt(value);
  w.bits = vm.WordAt(value);
  BlockMemory* block = ExistingBlock(vm, number);
  if (block && Inside(vm, *block, offset, width)) w.place = block->data() + static_cast<uint32_t>(offset);
  return w;
}

// Reads the operands of a read (result, block, offset), stores 0 in the
// result, and gives the place to read `width` bytes from, or null after
// raising the block or offset error.
const uint8_t* ReadRead(Vm& vm, uint32_t width, Slot* result) {
  *result = vm.NextSlot();
  const int32_t number = vm.NextInt();
  const int32_t offset = vm.NextInt();
  vm.SetInt(*result, 0);
  BlockMemory* block = ExistingBlock(vm, number);
  if (!block || !Inside(vm, *block, offset, width)) return nullptr;
  return block->data() + static_cast<uint32_t>(offset);
}

void CmdWriteMemblockByte(Vm& vm) {
  const WriteOperands w = ReadWrite(vm, 1);
  if (!w.place) return;
  if (w.value < 0 || w.value > 255) return vm.RunError(err::kByteValue);
  w.place[0] = static_cast<uint8_t>(w.value);
}

void FnMemblockByte(Vm& vm) {
  Slot result;
  if (const uint8_t* place = ReadRead(vm, 1, &result)) vm.SetInt(result, place[0]);
}

void CmdWriteMemblockWord(Vm& vm) {
  const WriteOperands w = ReadWrite(vm, 2);
  if (!w.place) return;
  if (w.value < 0 || w.value > 65535) return vm.RunError(err::kWordValue);
  le::StoreU16(w.place, static_cast<uint16_t>(w.value));
}

void FnMemblockWord(Vm& vm) {
  Slot result;
  if (const uint8_t* place = ReadRead(vm, 2, &result)) vm.SetInt(result, le::LoadU16(place));
}

void CmdWriteMemblockDword(Vm& vm) {
  const WriteOperands w = ReadWrite(vm, 4);
  if (!w.place) return;
  if (w.value < 0) return vm.RunError(err::kNegativeDword);
  le::StoreU32(w.place, static_cast<uint32_t>(w.value));
}

void FnMemblockDword(Vm& vm) {
  Slot result;
  if (const uint8_t* place = ReadRead(vm, 4, &result)) vm.SetInt(result, static_cast<int32_t>(le::LoadU32(place)));
}

// Floats move as their four bytes, untouched (a NaN keeps its payload).
void CmdWriteMemblockFloat(Vm& vm) {
  const WriteOperands w = ReadWrite(vm, 4);
  if (w.place) le::StoreU32(w.place, w.bits);
}

void FnMemblockFloat(Vm& vm) {
  Slot result;
  if (const uint8_t* place = ReadRead(vm, 4, &result)) vm.SetWord(result, le::LoadU32(place));
}

}  // namespace

void RegisterMemblockCommands(HandlerTable& t) {
  t.Set(op::kMakeMemblock, CmdMakeMemblock);
  t.Set(op::kDeleteMemblock, CmdDeleteMemblock);
  t.Set(op::kMemblockExists, FnMemblockExists);
  t.Set(op::kMemblockPointer, FnMemblockPointer);
  t.Set(op::kMemblockSize, FnMemblockSize);
  t.Set(op::kCopyMemblock, CmdCopyMemblock);
  t.Set(op::kWriteMemblockByte, CmdWriteMemblockByte);
  t.Set(op::kMemblockByte, FnMemblockByte);
  t.Set(op::kWriteMemblockWord, CmdWriteMemblockWord);
  t.Set(op::kMemblockWord, FnMemblockWord);
  t.Set(op::kWriteMemblockDword, CmdWriteMemblockDword);
  t.Set(op::kMemblockDword, FnMemblockDword);
  t.Set(op::kWriteMemblockFloat, CmdWriteMemblockFloat);
  t.Set(op::kMemblockFloat, FnMemblockFloat);
}

void RegisterMemoryHandlers(HandlerTable& table) {
  RegisterMemblockCommands(table);
  RegisterConversionCommands(table);
}

}  // namespace zv
