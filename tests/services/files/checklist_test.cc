// The checklist readers and their errors, run as compiled BASIC.
#include "services/files/checklist_commands.h"
#include "tests/services/files/services_program.h"

namespace zv::test {
namespace {

namespace err = checklist_error;

class ChecklistReaders : public ServicesProgramTest {
 protected:
  // Fills the list before the program runs, as a filler would.
  void Fill(int32_t count, bool values, bool texts) {
    on_start = [this, count, values, texts] {
      Checklist& list = vm.checklist;
      list.count = 0;
      for (int32_t i = 0; i < count; ++i) {
        ChecklistEntry e;
        e.a = i;
        e.b = i * 10;
        e.c = -i;
        e.d = 7;
        e.text = "item" + std::to_string(i + 1);
        list.Add(e);
      }
      list.made = true;
      list.values_valid = values;
      list.texts_valid = texts;
    };
  }
  int32_t RunLine(const std::string& line) {
    EXPECT_TRUE(Run(line + "\n"));
    return Code();
  }
};

TEST_F(ChecklistReaders, ReadValuesAndTextsByNumberFromOne) {
  Fill(3, true, true);
  ASSERT_TRUE(Run(
      "print checklist quantity()\n"
      "print checklist value a(2); \" \"; checklist value b(2); \" \"; checklist value c(2); \" \";"
      " checklist value d(2)\n"
      "print checklist string$(3)\n"));
  EXPECT_EQ(printed, "3\n1 10 -1 7\nitem3\n");
}

TEST_F(ChecklistReaders, CheckInTheirOrder) {
  on_start = nullptr;
  EXPECT_EQ(RunLine("print checklist quantity()"), err::kNotMade);
  EXPECT_EQ(RunLine("print checklist value a(1)"), err::kNotMade);

  // A list longer than the entries a run starts with is read whole.
  Fill(600, true, false);
  EXPECT_EQ(RunLine("print checklist value a(0)"), err::kIndex);
  EXPECT_EQ(RunLine("print checklist string$(600)"), err::kNoTexts);
  EXPECT_EQ(RunLine("print checklist value b(600)"), 0);
  EXPECT_EQ(printed, "5990\n");
  EXPECT_EQ(RunLine("print checklist value a(601)"), err::kBeyondCount);

  Fill(2, false, true);
  EXPECT_EQ(RunLine("print checklist value d(1)"), err::kNoValues);
  EXPECT_EQ(RunLine("print checklist string$(3)"), err::kBeyondCount);
  EXPECT_FALSE(vm.errors.warning);
}

TEST_F(ChecklistReaders, AnErrorLeavesTheResultAsItWas) {
  Fill(1, true, true);
  ASSERT_TRUE(Run("a = 5\na = checklist value a(9)\n"));
  EXPECT_EQ(Code(), err::kBeyondCount);
  EXPECT_EQ(vm.IntAt(Slot{slots::kIntVar}), 5);
}

TEST_F(ChecklistReaders, EmptyingResetsEveryEntry) {
  Fill(4, true, true);
  ASSERT_TRUE(Run("empty checklist\nprint checklist quantity()\n"));
  EXPECT_EQ(Code(), err::kNotMade);
  EXPECT_EQ(vm.checklist.count, 0);
  EXPECT_EQ(vm.checklist.entries[3].a, -1);
  EXPECT_EQ(vm.checklist.entries[3].text, "");
}

}  // namespace
}  // namespace zv::test
