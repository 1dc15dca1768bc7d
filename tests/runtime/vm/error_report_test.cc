#include <ctime>

#include "platform/ini/ini_file.h"
#include "platform/paths/temp_folder.h"
#include "runtime/vm/errors.h"
#include "runtime/vm/opcodes/core_handlers.h"
#include "tests/runtime/vm/vm_fixture.h"

namespace zv {
namespace {

// A command table with one row: opcode 7006, typed "ls".
class OneRowCatalog : public CommandCatalog {
 public:
  std::optional<std::pair<int, std::string>> FindByCode(int opcode) const override {
    if (opcode == 7006) return std::make_pair(4, std::string("position object"));
    return std::nullopt;
  }
  char ParamChar(int index, int n) const override {
    const char* signature = index == 4 ? "ls" : "";
    return n < 2 ? signature[n] : 0;
  }
};

class ErrorReport : public test::VmTest {
 protected:
  // Command 7006 on line 12, operands: int variable = 3, string variable =
  // "hello"; the machine stands on it as if its handler were running.
  void LoadFailingCommand(std::initializer_list<uint32_t> extra = {}) {
    auto& a = assembler;
    a.Line(12);
    std::vector<uint32_t> words = {a.IntVar(0), a.StringVar(0)};
    words.insert(words.end(), extra);
    a.Raw({7006});
    for (uint32_t w : words) a.Raw({w});
    Load();
    vm.SetInt(Slot{slots::kIntVar}, 3);
    vm.SetString(Slot{slots::kStringVar}, "hello");
  }
};

TEST_F(ErrorReport, BuiltGameReportListsLineCommandAndOperands) {
  LoadFailingCommand();
  EXPECT_EQ(BuildErrorReport(vm, 0),
            "Line Number:12\nCommand Number:7006\nInternal Error Code:0\nP1:3\nP2:hello\n");
}

TEST_F(ErrorReport, WithTheCompilerTheRowNamesAndTypesTheOperands) {
  LoadFailingCommand();
  OneRowCatalog catalog;
  vm.commands = &catalog;
  EXPECT_EQ(BuildErrorReport(vm, 0),
            "Line Number:12\nCommand Number:7006\nName:position object\nP1:3\nP2:hello\n");
}

// The array element commands' rows bear internal marks; the place of an
// error names what the program wrote instead, with the array's name when
// the compiler gave it.
TEST_F(ErrorReport, ArrayElementErrorsNameTheArrayAsWritten) {
  class ArrayRows : public CommandCatalog {
   public:
    std::optional<std::pair<int, std::string>> FindByCode(int opcode) const override {
      if (opcode == 561) return std::make_pair(1, std::string("@="));
      if (opcode == 661) return std::make_pair(2, std::string("@"));
      return std::nullopt;
    }
    char ParamChar(int, int) const override { return 'l'; }
  } rows;
  RegisterCoreHandlers(handlers);
  auto& a = assembler;
  const uint32_t scores = a.IntVar(4);
  const ArrayNames names = {{scores - 10000, "scores"}};
  // dim scores(3), then scores(5) = 1 or print scores(5), on line 2.
  const std::vector<uint32_t> store = {561, scores, a.IntConst(5), a.IntConst(1)};
  const std::vector<uint32_t> read = {661, a.IntVar(0), scores, a.IntConst(5)};
  const struct {
    const std::vector<uint32_t>* command;
    const ArrayNames* names;
    const char* place;
  } cases[] = {{&store, &names, " (line 2: assignment to array scores())"},
               {&read, &names, " (line 2: element of array scores())"},
               {&store, nullptr, " (line 2: array assignment)"},
               {&read, nullptr, " (line 2: array element)"}};
  for (const auto& c : cases) {
    a = test::ProgramAssembler();
    a.IntVar(0), a.IntVar(4), a.IntConst(5), a.IntConst(1);  // numbered as above
    a.Line(1);
    a.Raw({501, scores, a.IntConst(3)});
    a.Line(2);
    for (uint32_t w : *c.command) a.Raw({w});
    Load();
    vm.commands = &rows;
    vm.array_names = c.names;
    RunVmLoop(vm);  // the first slice after a reset runs nothing
    RunVmLoop(vm);
    EXPECT_EQ(vm.errors.code, 102);
    EXPECT_EQ(FormatErrorPlace(vm.errors), c.place);
  }
}

TEST_F(ErrorReport, SkipsWordsThatAreNoSlotsAndKeepsNumbering) {
  auto& a = assembler;
  a.Raw({7006, a.Literal(5), a.FloatVar(0), 37000, 0, a.StringVar(2)});
  Load();
  vm.SetFloat(Slot{slots::kFloatVar}, 1.5f);
  vm.ReleaseString(Slot{slots::kStringVar + 2});  // no string: printed empty
  EXPECT_EQ(BuildErrorReport(vm, 0),
            "Line Number:0\nCommand Number:7006\nInternal Error Code:0\nP2:1.5\nP5:\n");
}

TEST_F(ErrorReport, StopsAtTheEndOfTheCode) {
  assembler.Raw({7006, assembler.IntVar(0)});
  Load();
  EXPECT_EQ(BuildErrorReport(vm, 0),
            "Line Number:0\nCommand Number:7006\nInternal Error Code:0\nP1:0\n");
}

TEST_F(ErrorReport, RuntimeTestPutsTheReportOnTheClipboardAndInErrorInfo) {
  LoadFailingCommand();
  vm.settings.runtime_test = true;
  vm.RunError(7006);
  EXPECT_EQ(host.clipboard.substr(0, 15), "Line Number:12\n");
  EXPECT_EQ(vm.errors.error_info, host.clipboard);

  // Without a clipboard the report is skipped and the error still raised.
  vm.errors.error_info = "earlier";
  host.clipboard_available = false;
  vm.RunError(7005);
  EXPECT_EQ(vm.errors.error_info, "earlier");
  EXPECT_EQ(vm.errors.code, 7005);
}

TEST_F(ErrorReport, RunErrorEndsTheRun) {
  LoadFailingCommand();
  vm.yield = false;
  vm.RunError(102);
  EXPECT_TRUE(vm.yield);
  EXPECT_TRUE(vm.program_ended);
  EXPECT_EQ(host.quits, 1);
  EXPECT_EQ(vm.errors.code, 102);
  EXPECT_FALSE(vm.errors.warning);
  vm.RunError(101);  // a later error replaces the first
  EXPECT_EQ(vm.errors.code, 101);
}

TEST_F(ErrorReport, DemotedCodesAreWarningsAndSilentInABuiltGame) {
  LoadFailingCommand();
  vm.RunError(3002);
  EXPECT_TRUE(vm.errors.warning);
  EXPECT_FALSE(vm.program_ended);
  EXPECT_EQ(FormatErrorText(vm.errors).substr(0, 18), "Runtime Warning : ");

  vm.errors = {};
  host.quits = 0;
  vm.standalone = true;
  vm.settings.runtime_test = true;
  vm.RunError(3002);
  vm.RunWarning(111);
  EXPECT_EQ(vm.errors.code, 0);
  EXPECT_EQ(host.quits, 0);
  EXPECT_FALSE(host.clipboard.empty());  // the report is written all the same
}

TEST(FormatErrorText, HasTheFormOfTheCodeRange) {
  ErrorState e;
  e.code = 102;
  EXPECT_EQ(FormatErrorText(e), "Runtime Error : " + GetErrorText(102) + ". ");
  e.code = 10005;
  e.last_engine_error = "Failed to create a Light Object";
  EXPECT_EQ(FormatErrorText(e), "System Error : " + GetErrorText(10005) + ". Failed to create a Light Object");
  e.last_engine_error = std::string(1000, 'x');
  EXPECT_EQ(FormatErrorText(e).size(), 255u);
}

TEST(FormatErrorText, NamesTheFileAndTheCauseAfterTheText) {
  ErrorState e;
  e.code = 104;
  e.subject = "a.dat";
  e.cause = "no space left on device";
  EXPECT_EQ(FormatErrorText(e), "Runtime Error : " + GetErrorText(104) + " \"a.dat\": no space left on device. ");
  e.subject.clear();
  EXPECT_EQ(FormatErrorText(e), "Runtime Error : " + GetErrorText(104) + ": no space left on device. ");
}

TEST(LogRuntimeError, WritesAnEntryOnlyInDebugMode) {
  platform::TempFolder temp;
  VmSettings settings;
  settings.app_folder = temp.Path() + "/";
  std::tm when{};
  when.tm_mday = 7;
  when.tm_mon = 11;
  when.tm_year = 126;
  when.tm_hour = 9;
  when.tm_min = 5;
  LogRuntimeError(settings, "Runtime Error : x. ", when);
  EXPECT_FALSE(platform::IniFile::Load(temp.File("KQ.LOG")).Get("ERRORLOG", "RUNTIMEERROR ON 7/12/2026 AT 9:5"));
  settings.debug_mode = true;
  LogRuntimeError(settings, "Runtime Error : x. ", when);
  EXPECT_EQ(platform::IniFile::Load(temp.File("KQ.LOG")).Get("ERRORLOG", "RUNTIMEERROR ON 7/12/2026 AT 9:5"),
            "Runtime Error : x.");
}

}  // namespace
}  // namespace zv
