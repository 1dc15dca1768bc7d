#include "platform/clipboard/clipboard.h"

#include <gtest/gtest.h>

namespace zv::platform {
namespace {

TEST(Clipboard, MemoryClipboardKeepsTheLastText) {
  MemoryClipboard clipboard;
  EXPECT_FALSE(clipboard.GetText());
  EXPECT_TRUE(clipboard.SetText("Line Number:12\n"));
  EXPECT_EQ(clipboard.GetText(), "Line Number:12\n");
}

// The clipboard holds UTF-8, as the desktop's does; a program sees it in
// Windows-1252.
TEST(Clipboard, TextCrossesBetweenTheProgramsCharacterSetAndUtf8) {
  MemoryClipboard clipboard;
  EXPECT_TRUE(clipboard.SetText("caf\xE9 \x96"));
  EXPECT_EQ(clipboard.GetUtf8Text(), "caf\xC3\xA9 \xE2\x80\x93");
  EXPECT_TRUE(clipboard.SetUtf8Text("\xE2\x86\x92 \xC3\xA9"));
  EXPECT_EQ(clipboard.GetText(), "? \xE9");
}

TEST(Clipboard, TheDesktopClipboardRefusesWithoutAWindow) {
  auto clipboard = CreateSdlClipboard();
  EXPECT_FALSE(clipboard->SetText("report"));
  EXPECT_FALSE(clipboard->GetText());
}

}  // namespace
}  // namespace zv::platform
