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

TEST(Clipboard, TheDesktopClipboardRefusesWithoutAWindow) {
  auto clipboard = CreateSdlClipboard();
  EXPECT_FALSE(clipboard->SetText("report"));
  EXPECT_FALSE(clipboard->GetText());
}

}  // namespace
}  // namespace zv::platform
