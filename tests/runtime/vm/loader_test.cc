#include "runtime/vm/loader.h"

#include <fstream>

#include "platform/paths/temp_folder.h"
#include "tests/runtime/vm/vm_fixture.h"

namespace zv {
namespace {

using test::VmTest;

TEST_F(VmTest, InstallFillsTheVariableAreaAndConvertsLiterals) {
  auto& a = assembler;
  auto end = a.NewLabel();
  a.Op(900, {a.IntConst(77), a.FloatConst(2.5f), a.StringConst("hi"), a.StringConst(""),
             a.Literal(9), a.Target(end)});
  a.Raw({35000, a.StringVar(1)});
  a.Bind(end);
  a.Data(5);
  a.Data(std::string("word"));
  a.SetOwner('l', 2, 4);
  Load();

  EXPECT_EQ(vm.IntAt(Slot{slots::kIntConst}), 77);
  EXPECT_EQ(vm.FloatAt(Slot{slots::kFloatConst}), 2.5f);
  EXPECT_EQ(vm.StringAt(Slot{slots::kStringConst}), "hi");
  // An empty constant and every string variable hold a live empty string.
  EXPECT_TRUE(vm.Strings().IsLive(vm.WordAt(Slot{slots::kStringConst + 1})));
  EXPECT_TRUE(vm.Strings().IsLive(vm.WordAt(Slot{slots::kStringVar + 1})));
  EXPECT_EQ(vm.IntAt(Slot{slots::kData}), 5);
  EXPECT_EQ(vm.StringAt(Slot{slots::kData + 1}), "word");
  EXPECT_EQ(vm.DataTypes(), (std::vector<uint8_t>{'l', 's'}));
  EXPECT_EQ(vm.IntOwners(), (std::vector<int32_t>{0, 0, 4}));

  EXPECT_EQ(vm.CodeWord(1), 19000u);  // slots keep their class
  EXPECT_EQ(vm.CodeWord(5), 9u);      // literals become plain numbers
  EXPECT_EQ(vm.CodeWord(6), 37009u);  // code addresses keep theirs
  EXPECT_EQ(vm.CodeWord(7), 35000u);  // so do labels never resolved
}

TEST_F(VmTest, FailedLoadKeepsTheProgramAlreadyThere) {
  assembler.Op(900);
  Load();
  platform::TempFolder temp;
  std::string path = temp.File("broken.dat");
  std::ofstream(path) << "not a program";
  std::string error;
  EXPECT_FALSE(LoadProgramImage(vm, path, &error));
  EXPECT_NE(error.find("broken.dat"), std::string::npos);
  EXPECT_TRUE(vm.HasProgram());
  EXPECT_FALSE(LoadProgramImage(vm, temp.File("missing.dat"), &error));
  EXPECT_NE(error.find("cannot open"), std::string::npos);
}

TEST_F(VmTest, LoadsAProgramFileFromDisk) {
  assembler.Op(900, {assembler.StringConst("from disk")});
  platform::TempFolder temp;
  std::string path = temp.File("program.dat");
  auto bytes = assembler.Bytes();
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                              static_cast<std::streamsize>(bytes.size()));
  ASSERT_TRUE(LoadProgramImage(vm, path));
  EXPECT_EQ(vm.StringAt(Slot{slots::kStringConst}), "from disk");
}

TEST_F(VmTest, FreeProgramReleasesEverything) {
  assembler.Op(900, {assembler.StringConst("x"), assembler.StringVar(3)});
  assembler.Data(std::string("d"));
  Load();
  vm.arrays.At(4000).live = true;
  vm.arrays.At(4000).elements = {vm.Strings().Make("element")};
  FreeProgram(vm);
  EXPECT_FALSE(vm.HasProgram());
  EXPECT_EQ(vm.Strings().LiveCount(), 0u);
  EXPECT_FALSE(vm.arrays.IsArray(4000));
  EXPECT_EQ(vm.WordAt(Slot{slots::kStringConst}), 0u);
  EXPECT_EQ(services.log.back(), "Input.UnloadUserLibraries");
}

TEST_F(VmTest, ResetPutsTheMachineAtTheStart) {
  assembler.Op(900);
  Load();
  vm.time_slice_mode = false;
  vm.frame_time = 1;
  vm.errors.code = 5;
  vm.escape_quits = false;
  vm.checklist.Add({1, 2, 3, 4, "x"});
  vm.checklist.made = true;
  host.clock.Set(1234);
  services.log.clear();
  ResetVmState(vm);
  EXPECT_TRUE(vm.yield);
  EXPECT_EQ(vm.Pc(), 0u);
  EXPECT_TRUE(vm.time_slice_mode);
  EXPECT_EQ(vm.frame_time, 25);
  EXPECT_EQ(vm.time_slice_length, 33u);
  EXPECT_EQ(vm.time_slice_start, 1234u);
  EXPECT_EQ(vm.errors.code, 0);
  EXPECT_TRUE(vm.escape_quits);
  EXPECT_EQ(vm.checklist.count, 0);
  EXPECT_FALSE(vm.checklist.made);
  EXPECT_EQ(vm.checklist.entries[0].a, -1);
  EXPECT_EQ(services.log, (test::CallLog{"Input.SetSystemKeysEnabled 1"}));
}

}  // namespace
}  // namespace zv
