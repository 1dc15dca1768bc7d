#include <ctime>

#include "platform/ini/ini_file.h"
#include "platform/paths/temp_folder.h"
#include "runtime/vm/errors.h"
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
