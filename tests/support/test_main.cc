// The main of every test suite. A run in which a test skipped and none
// failed exits 77, which CTest counts as skipped: a suite run by hand under
// a filter (a real window's cases under Xvfb) would otherwise pass with
// nothing tested. Each skipped case says why on a line of its own that
// begins with "SKIP", which scripts/test lists; one with no cause fails there.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace {

// The message GTEST_SKIP() was given, on one line.
std::string SkipCause(const testing::TestResult& result) {
  std::string cause;
  for (int i = 0; i < result.total_part_count(); ++i) {
    const testing::TestPartResult& part = result.GetTestPartResult(i);
    if (part.skipped()) cause += part.message();
  }
  for (char& c : cause) {
    if (c == '\n') c = ' ';
  }
  return cause;
}

void SaySkipped(const testing::UnitTest& run) {
  for (int s = 0; s < run.total_test_suite_count(); ++s) {
    const testing::TestSuite& suite = *run.GetTestSuite(s);
    for (int t = 0; t < suite.total_test_count(); ++t) {
      const testing::TestInfo& test = *suite.GetTestInfo(t);
      if (!test.should_run() || !test.result()->Skipped()) continue;
      std::printf("SKIP: %s.%s: %s\n", suite.name(), test.name(), SkipCause(*test.result()).c_str());
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  const int failed = RUN_ALL_TESTS();
  const testing::UnitTest& run = *testing::UnitTest::GetInstance();
  if (failed != 0 || run.skipped_test_count() == 0) return failed;
  SaySkipped(run);
  return 77;
}
