// Loading shared objects and calling their functions with 32-bit words.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <zlib.h>

#include <bit>
#include <cstring>
#include <functional>
#include <vector>

#include "platform/arena/low_arena.h"
#include "platform/dynlib/dynamic_library.h"
#include "platform/dynlib/system_library.h"
#include "platform/dynlib/word_call.h"
#include "tests/support/test_paths.h"

extern "C" int zv_absent_function(void);

namespace zv::platform {
namespace {

#define ZV_ZLIB_TEST_FUNCTIONS(X) X(zlibVersion) X(compressBound)
ZV_SYSTEM_LIBRARY(ZlibTable, Zlib, "libz.so.1", ZV_ZLIB_TEST_FUNCTIONS)
ZV_SYSTEM_LIBRARY(ZlibListedTable, ZlibListed, "libz.so.1", ZV_ZLIB_TEST_FUNCTIONS)
#define ZV_ABSENT_FUNCTIONS(X) X(zlibVersion) X(zv_absent_function)
ZV_SYSTEM_LIBRARY(AbsentFunctionTable, AbsentFunction, "libz.so.1", ZV_ABSENT_FUNCTIONS)
ZV_SYSTEM_LIBRARY(AbsentLibraryTable, AbsentLibrary, "libzv-absent.so.0", ZV_ZLIB_TEST_FUNCTIONS)

// What a command that needs the library would see: the library's name and
// why it is missing, every time it asks.
void ExpectMissing(const std::function<void()>& ask, const std::string& library, const std::string& why) {
  for (int time = 0; time < 2; ++time) {
    try {
      ask();
      ADD_FAILURE() << library << " loaded";
    } catch (const LibraryMissing& missing) {
      EXPECT_EQ(missing.Library(), library);
      EXPECT_THAT(missing.what(), ::testing::HasSubstr(library));
      EXPECT_THAT(missing.what(), ::testing::HasSubstr(why));
    }
  }
}

TEST(SystemLibraries, FillTheirTableOnFirstUse) {
  EXPECT_STREQ(Zlib().zlibVersion(), ZLIB_VERSION);
  EXPECT_GT(Zlib().compressBound(100), 100u);
  EXPECT_EQ(&Zlib(), &Zlib());
}

TEST(SystemLibraries, ThatAreMissingOrLackAFunctionNameWhat) {
  ExpectMissing([] { AbsentLibrary(); }, "libzv-absent.so.0", "libzv-absent.so.0");
  ExpectMissing([] { AbsentFunction(); }, "libz.so.1", "zv_absent_function");
  ::setenv("ZV_TEST_MISSING_LIBRARIES", "libzv-other.so.1 libz.so.1", 1);
  ExpectMissing([] { ZlibListed(); }, "libz.so.1", "ZV_TEST_MISSING_LIBRARIES");
  ::unsetenv("ZV_TEST_MISSING_LIBRARIES");
  EXPECT_STREQ(ZlibListed().zlibVersion(), ZLIB_VERSION);
}

class UserLibrary : public ::testing::Test {
 protected:
  void SetUp() override {
    library = DynamicLibrary::Open(zv::test::TestUserLibrary(), nullptr);
    ASSERT_NE(library, nullptr);
  }
  std::unique_ptr<DynamicLibrary> library;
};

TEST_F(UserLibrary, FindsOnlyExportedFunctionsByTheirExactName) {
  EXPECT_NE(library->FindFunction("answer"), nullptr);
  EXPECT_EQ(library->FindFunction("Answer"), nullptr);
  EXPECT_EQ(library->FindFunction("nothing"), nullptr);
  EXPECT_EQ(library->FindFunction(""), nullptr);
}

TEST_F(UserLibrary, CallsWithZeroToNineArgumentsInOrder) {
  EXPECT_EQ(CallWithWords(library->FindFunction("answer"), {}).value, 42u);
  const std::vector<uint32_t> words = {1, 2, 3, 4, 5, 6, 7, 8, 9};
  uint32_t expected = 0;
  for (size_t n = 1; n <= kMaxWordArguments; ++n) {
    expected = expected * 10 + static_cast<uint32_t>(n);
    void* f = library->FindFunction("digits" + std::to_string(n));
    ASSERT_NE(f, nullptr);
    WordCallResult r = CallWithWords(f, std::span(words).first(n));
    EXPECT_FALSE(r.faulted);
    EXPECT_EQ(r.value, expected) << n << " arguments";
  }
}

TEST_F(UserLibrary, ExtraArgumentsAreIgnoredAndResultsKeepTheirBits) {
  const std::vector<uint32_t> words = {4, 2, 9, 9, 9};
  EXPECT_EQ(CallWithWords(library->FindFunction("digits2"), words).value, 42u);
  EXPECT_EQ(CallWithWords(library->FindFunction("negative"), {}).value, 0xfffffff9u);
  const std::vector<uint32_t> bits = {std::bit_cast<uint32_t>(3.0f)};
  EXPECT_EQ(std::bit_cast<float>(CallWithWords(library->FindFunction("half_of"), bits).value), 1.5f);
}

TEST_F(UserLibrary, ReadsAndWritesStringsThroughLowAddresses) {
  void* text = ProgramArena().Allocate(6);
  std::memcpy(text, "hello", 6);
  const std::vector<uint32_t> address = {LowArena::AddressOf(text)};
  EXPECT_EQ(CallWithWords(library->FindFunction("length_of"), address).value, 5u);
  CallWithWords(library->FindFunction("shout"), address);
  EXPECT_STREQ(static_cast<const char*>(text), "HELLO");
  ProgramArena().Free(text);
}

TEST_F(UserLibrary, AFaultInsideTheFunctionIsReportedAndTheProcessGoesOn) {
  WordCallResult r = CallWithWords(library->FindFunction("fault"), {});
  EXPECT_TRUE(r.faulted);
  // And again: the guard is set up afresh for every call.
  EXPECT_TRUE(CallWithWords(library->FindFunction("fault"), {}).faulted);
  EXPECT_EQ(CallWithWords(library->FindFunction("answer"), {}).value, 42u);
}

TEST(WordCalls, RefuseTooManyWordsOrNoFunction) {
  const std::vector<uint32_t> ten(10, 0);
  EXPECT_TRUE(CallWithWords(reinterpret_cast<void*>(&CallWithWords), ten).refused);
  EXPECT_TRUE(CallWithWords(nullptr, {}).refused);
}

TEST(DynamicLibraries, ThatCannotBeLoadedSayWhy) {
  std::string error;
  EXPECT_EQ(DynamicLibrary::Open("/nonexistent/lib.so", &error), nullptr);
  EXPECT_FALSE(error.empty());
  EXPECT_EQ(DynamicLibrary::Open("", nullptr), nullptr);
}

}  // namespace
}  // namespace zv::platform
