// The memory-block commands as a program runs them.
#include <gtest/gtest.h>

#include <bit>

#include "platform/arena/low_arena.h"
#include "tests/services/memory/memory_fixture.h"

namespace zv::test {
namespace {

namespace op = memblock_opcode;

class MemblockCommands : public MemoryTest {
 protected:
  // Block 1 holding these bytes.
  void MakeBlock(int32_t number, std::vector<uint8_t> bytes) {
    ASSERT_TRUE(Table().Make(number, static_cast<uint32_t>(bytes.size())));
    std::copy(bytes.begin(), bytes.end(), Table().Peek(number)->data());
  }
};

TEST_F(MemblockCommands, MakeQueryAndDelete) {
  const uint32_t exists = assembler.IntVar(0), size = assembler.IntVar(1), pointer = assembler.IntVar(2),
                 after = assembler.IntVar(3);
  Program({{op::kMakeMemblock, I(7), I(10)},
           {op::kMemblockExists, exists, I(7)},
           {op::kMemblockSize, size, I(7)},
           {op::kMemblockPointer, pointer, I(7)},
           {op::kDeleteMemblock, I(7)},
           {op::kMemblockExists, after, I(7)}});
  EXPECT_EQ(Error(), 0);
  EXPECT_TRUE(vm.program_ended);
  EXPECT_EQ(Int(exists), 1);
  EXPECT_EQ(Int(size), 10);
  EXPECT_GT(Int(pointer), 0);
  EXPECT_EQ(Int(after), 0);
  EXPECT_EQ(Table().Count(), 0);
}

TEST_F(MemblockCommands, PointerIsTheBlocksOwnLowAddress) {
  const uint32_t pointer = assembler.IntVar(0);
  Program({{op::kMakeMemblock, I(3), I(64)}, {op::kMemblockPointer, pointer, I(3)}});
  ASSERT_EQ(Error(), 0);
  EXPECT_EQ(static_cast<uint32_t>(Int(pointer)), Table().Peek(3)->Address());
  EXPECT_TRUE(platform::ProgramArena().Contains(static_cast<uint32_t>(Int(pointer)), 64));
}

TEST_F(MemblockCommands, ExistsChecksOnlyTheNumber) {
  const uint32_t r = assembler.IntVar(0);
  vm.SetInt(At(r), 9);
  Do({op::kMemblockExists, r, I(5)});
  EXPECT_EQ(Error(), 0);
  EXPECT_EQ(Int(r), 0);
  for (int32_t bad : {0, 256, -1}) {
    const uint32_t result = assembler.IntVar(0);
    vm.SetInt(At(result), 9);
    Do({op::kMemblockExists, result, I(bad)});
    EXPECT_EQ(Error(), 5101) << bad;
    EXPECT_EQ(Int(result), 0) << bad;
  }
}

TEST_F(MemblockCommands, MakeRefusals) {
  MakeBlock(1, {42});
  Do({op::kMakeMemblock, I(1), I(100)});
  EXPECT_EQ(Error(), 5102);
  EXPECT_EQ(Bytes(1), std::vector<uint8_t>{42});  // the old block stays

  Do({op::kMakeMemblock, I(2), I(0)});
  EXPECT_EQ(Error(), 5106);
  Do({op::kMakeMemblock, I(2), I(-1)});
  EXPECT_EQ(Error(), 5104);
  Do({op::kMakeMemblock, I(2), I(static_cast<int32_t>(MemblockTable::kMaxSize + 1))});
  EXPECT_EQ(Error(), 5104);
  EXPECT_FALSE(Table().Exists(2));
  Do({op::kMakeMemblock, I(256), I(4)});
  EXPECT_EQ(Error(), 5101);
}

TEST_F(MemblockCommands, DeletingTwiceRaisesTheSecondTime) {
  MakeBlock(4, {1});
  Do({op::kDeleteMemblock, I(4)});
  EXPECT_EQ(Error(), 0);
  Do({op::kDeleteMemblock, I(4)});
  EXPECT_EQ(Error(), 5103);
}

TEST_F(MemblockCommands, AccessWidthsMustFitTheBlock) {
  MakeBlock(1, {0});
  Do({op::kWriteMemblockByte, I(1), I(0), I(200)});
  EXPECT_EQ(Error(), 0);
  EXPECT_EQ(Bytes(1), std::vector<uint8_t>{200});
  Do({op::kWriteMemblockWord, I(1), I(0), I(1)});
  EXPECT_EQ(Error(), 5105);
  Do({op::kWriteMemblockDword, I(1), I(0), I(1)});
  EXPECT_EQ(Error(), 5105);
  Do({op::kWriteMemblockByte, I(1), I(1), I(1)});
  EXPECT_EQ(Error(), 5105);

  MakeBlock(2, {0, 0, 0, 0});
  Do({op::kWriteMemblockDword, I(2), I(0), I(0x01020304)});
  EXPECT_EQ(Error(), 0);
  EXPECT_EQ(Bytes(2), (std::vector<uint8_t>{4, 3, 2, 1}));
  for (int32_t offset : {1, 3, 4, -1, -4}) {
    Do({op::kWriteMemblockDword, I(2), I(offset), I(7)});
    EXPECT_EQ(Error(), 5105) << offset;
    const uint32_t r = assembler.IntVar(0);
    vm.SetInt(At(r), 9);
    Do({op::kMemblockFloat, r, I(2), I(offset)});
    EXPECT_EQ(Error(), 5105) << offset;
    EXPECT_EQ(Int(r), 0);
  }
  EXPECT_EQ(Bytes(2), (std::vector<uint8_t>{4, 3, 2, 1}));
}

TEST_F(MemblockCommands, WriteValueRangesLeaveTheBlockAlone) {
  MakeBlock(1, {9, 9, 9, 9});
  Do({op::kWriteMemblockByte, I(1), I(0), I(256)});
  EXPECT_EQ(Error(), 5107);
  Do({op::kWriteMemblockByte, I(1), I(0), I(-1)});
  EXPECT_EQ(Error(), 5107);
  Do({op::kWriteMemblockWord, I(1), I(0), I(65536)});
  EXPECT_EQ(Error(), 5108);
  Do({op::kWriteMemblockDword, I(1), I(0), I(-1)});
  EXPECT_EQ(Error(), 5109);
  EXPECT_EQ(Bytes(1), (std::vector<uint8_t>{9, 9, 9, 9}));
  Do({op::kWriteMemblockWord, I(1), I(1), I(65535)});
  EXPECT_EQ(Error(), 0);
  EXPECT_EQ(Bytes(1), (std::vector<uint8_t>{9, 255, 255, 9}));
}

TEST_F(MemblockCommands, FloatsMoveAsTheirFourBytes) {
  MakeBlock(1, {0, 0, 0, 0, 0});
  Do({op::kWriteMemblockFloat, I(1), I(1), F(-1.0f)});
  EXPECT_EQ(Error(), 0);
  EXPECT_EQ(Bytes(1), (std::vector<uint8_t>{0, 0x00, 0x00, 0x80, 0xBF}));
  const uint32_t r = assembler.FloatVar(0);
  Do({op::kMemblockFloat, r, I(1), I(1)});
  EXPECT_EQ(Float(r), -1.0f);

  // A NaN's payload survives the round trip.
  const uint32_t nan_bits = 0x7FA00001;
  MakeBlock(2, {0x01, 0x00, 0xA0, 0x7F});
  const uint32_t n = assembler.FloatVar(1);
  Program({{op::kMemblockFloat, n, I(2), I(0)}, {op::kWriteMemblockFloat, I(1), I(0), n}});
  EXPECT_EQ(vm.WordAt(At(n)), nan_bits);
  EXPECT_EQ(Bytes(1), (std::vector<uint8_t>{0x01, 0x00, 0xA0, 0x7F, 0xBF}));
}

TEST_F(MemblockCommands, ReadsAreLittleEndianAtAnyOffset) {
  MakeBlock(1, {0x80, 0xFF, 0xFF, 0xFF, 0xFF, 0x12});
  const uint32_t byte = assembler.IntVar(0), word = assembler.IntVar(1), dword = assembler.IntVar(2),
                 tail = assembler.IntVar(3);
  Program({{op::kMemblockByte, byte, I(1), I(0)},
           {op::kMemblockWord, word, I(1), I(4)},
           {op::kMemblockDword, dword, I(1), I(1)},
           {op::kMemblockWord, tail, I(1), I(0)}});
  EXPECT_EQ(Error(), 0);
  EXPECT_EQ(Int(byte), 0x80);      // unsigned
  EXPECT_EQ(Int(word), 0x12FF);    // unaligned
  EXPECT_EQ(Int(dword), -1);       // signed
  EXPECT_EQ(Int(tail), 0xFF80);
}

TEST_F(MemblockCommands, ReadsOfMissingBlocksGiveZero) {
  const uint32_t r = assembler.IntVar(0);
  vm.SetInt(At(r), 9);
  Do({op::kMemblockByte, r, I(12), I(0)});
  EXPECT_EQ(Error(), 5103);
  EXPECT_EQ(Int(r), 0);
  Do({op::kMemblockSize, r, I(300)});
  EXPECT_EQ(Error(), 5101);
}

TEST_F(MemblockCommands, CopyWithinABlockMovesTheBytesAsTheyWere) {
  // Towards higher offsets, in whole groups of four and with a tail.
  MakeBlock(1, {1, 2, 3, 4, 5, 6, 7, 8});
  Do({op::kCopyMemblock, I(1), I(1), I(0), I(1), I(6)});
  EXPECT_EQ(Error(), 0);
  EXPECT_EQ(Bytes(1), (std::vector<uint8_t>{1, 1, 2, 3, 4, 5, 6, 8}));
  MakeBlock(2, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10});
  Do({op::kCopyMemblock, I(2), I(2), I(0), I(2), I(7)});
  EXPECT_EQ(Bytes(2), (std::vector<uint8_t>{1, 2, 1, 2, 3, 4, 5, 6, 7, 10}));

  // Towards lower offsets.
  MakeBlock(3, {1, 2, 3, 4, 5, 6, 7, 8});
  Do({op::kCopyMemblock, I(3), I(3), I(2), I(0), I(6)});
  EXPECT_EQ(Bytes(3), (std::vector<uint8_t>{3, 4, 5, 6, 7, 8, 7, 8}));
}

TEST_F(MemblockCommands, CopyBetweenBlocksChecksBothEnds) {
  MakeBlock(1, {1, 2, 3, 4, 5});
  MakeBlock(2, {0, 0, 0});
  Do({op::kCopyMemblock, I(1), I(2), I(2), I(0), I(3)});
  EXPECT_EQ(Error(), 0);
  EXPECT_EQ(Bytes(2), (std::vector<uint8_t>{3, 4, 5}));

  Do({op::kCopyMemblock, I(1), I(2), I(0), I(1), I(3)});  // past the destination
  EXPECT_EQ(Error(), 5105);
  Do({op::kCopyMemblock, I(1), I(2), I(3), I(0), I(3)});  // past the source
  EXPECT_EQ(Error(), 5105);
  Do({op::kCopyMemblock, I(1), I(2), I(5), I(0), I(0)});  // offset at the end, even for nothing
  EXPECT_EQ(Error(), 5105);
  Do({op::kCopyMemblock, I(1), I(2), I(1), I(1), I(-1)});  // a count that would wrap
  EXPECT_EQ(Error(), 5105);
  EXPECT_EQ(Bytes(2), (std::vector<uint8_t>{3, 4, 5}));
  Do({op::kCopyMemblock, I(1), I(2), I(0), I(0), I(0)});
  EXPECT_EQ(Error(), 0);

  Do({op::kCopyMemblock, I(1), I(9), I(0), I(0), I(1)});
  EXPECT_EQ(Error(), 5103);
  Do({op::kCopyMemblock, I(0), I(2), I(0), I(0), I(1)});
  EXPECT_EQ(Error(), 5101);
}

TEST_F(MemblockCommands, FailedCommandsStillStepPastTheirOperands) {
  // Block number 0: every command fails its first check, and the program
  // counter still ends past all of its operands.
  struct Command {
    uint32_t opcode;
    int operands;
    bool gives_value;
  };
  const Command commands[] = {
      {op::kMakeMemblock, 2, false},       {op::kDeleteMemblock, 1, false},    {op::kMemblockExists, 2, true},
      {op::kMemblockPointer, 2, true},     {op::kMemblockSize, 2, true},       {op::kCopyMemblock, 5, false},
      {op::kWriteMemblockByte, 3, false},  {op::kMemblockByte, 3, true},       {op::kWriteMemblockWord, 3, false},
      {op::kMemblockWord, 3, true},        {op::kWriteMemblockDword, 3, false}, {op::kMemblockDword, 3, true},
      {op::kWriteMemblockFloat, 3, false}, {op::kMemblockFloat, 3, true}};
  for (const Command& c : commands) {
    std::vector<uint32_t> words = {c.opcode};
    for (int i = 0; i < c.operands; ++i) words.push_back(i == 0 && c.gives_value ? assembler.IntVar(0) : I(0));
    Do(words);
    EXPECT_EQ(Error(), 5101) << c.opcode;
    EXPECT_EQ(vm.Pc(), static_cast<uint32_t>(1 + c.operands)) << c.opcode;
  }
}

TEST_F(MemblockCommands, FreeingReleasesEveryBlock) {
  MakeBlock(1, {1});
  MakeBlock(255, {1});
  MakeBlock(MemblockTable::kScratch, {1});
  memory.FreeMemoryBlocks();
  EXPECT_EQ(Table().Count(), 0);
}

TEST_F(MemblockCommands, WithoutTheServiceNoBlockExists) {
  vm.memory_blocks = nullptr;
  Do({op::kMakeMemblock, I(1), I(4)});
  EXPECT_EQ(Error(), 5104);
  const uint32_t r = assembler.IntVar(0);
  Do({op::kMemblockExists, r, I(1)});
  EXPECT_EQ(Error(), 0);
  EXPECT_EQ(Int(r), 0);
  Do({op::kMemblockByte, r, I(1), I(0)});
  EXPECT_EQ(Error(), 5103);
}

}  // namespace
}  // namespace zv::test
