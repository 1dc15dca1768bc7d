#include "services/system/system_commands.h"

#include <cerrno>
#include <string>

#include "platform/paths/failure_cause.h"
#include "platform/text/system_text.h"

#include "runtime/runtime_state.h"
#include "runtime/vm/numeric/random.h"
#include "runtime/vm/opcodes/opcode_support.h"
#include "services/files/console_output.h"
#include "services/system/system_services.h"

namespace zv {
namespace {

namespace op = system_opcode;

// Key paths and value names longer than this are passed over.
constexpr size_t kMaxRegistryName = 254;
// A quotation ends its line and does not wrap.
constexpr TextFlow kQuotationLine{false, false, false};

constexpr const char* kQuotations[3][3] = {
    {"A game is a problem you enjoy solving.", "Every sprite was once a single pixel.",
     "Good timing beats fast drawing."},
    {"Write it, run it, play it, change it.", "The best level is the one you test twice.",
     "Small loops make big worlds."},
    {"Save early, save often.", "A bug found today is a feature kept tomorrow.",
     "Keep the frame rate steady and the player happy."},
};

// ---- Clipboard -----------------------------------------------------------------------

void CmdWriteClipboardText(Vm& vm) {
  const std::string text(vm.NextString());
  vm.Host().SetClipboardText(text);
}

void FnClipboardText(Vm& vm) {
  const Slot result = core::NextStringResult(vm);
  std::string text = vm.Host().GetClipboardText().value_or(std::string());
  // The clipboard's text is a C string: it ends at its first zero.
  text.resize(std::string_view(text.c_str()).size());
  vm.SetString(result, text);
}

// ---- Registry --------------------------------------------------------------------------

// A value that cannot be kept is a failed save like any other: it warns
// with the cause (a built game goes on without it).
void CmdWriteRegistryDword(Vm& vm) {
  const std::string key(vm.NextString());
  const std::string name(vm.NextString());
  const int32_t value = vm.NextInt();
  if (key.size() > kMaxRegistryName || name.size() > kMaxRegistryName) return;
  const platform::Registry& registry = SystemOf(vm).Registry();
  if (!registry.WriteDword(key, name, static_cast<uint32_t>(value)))
    vm.RunWarning(system_error::kRegistryNotWritten, registry.Path(), platform::CauseOf(errno));
}

void FnRegistryDword(Vm& vm) {
  const Slot result = vm.NextSlot();
  const std::string key(vm.NextString());
  const std::string name(vm.NextString());
  if (key.size() > kMaxRegistryName || name.size() > kMaxRegistryName) return;
  vm.SetInt(result, static_cast<int32_t>(SystemOf(vm).Registry().ReadDword(key, name).value_or(0)));
}

// ---- Folders ---------------------------------------------------------------------------

void FnAppFileName(Vm& vm) {
  const Slot result = core::NextStringResult(vm);
  vm.SetString(result, platform::ProgramPathOf(SystemOf(vm).Folders().executable_path));
}

void FnWindowsDirectory(Vm& vm) {
  const Slot result = core::NextStringResult(vm);
  vm.SetString(result, platform::ProgramPathOf(SystemOf(vm).Folders().windows_folder));
}

// ---- Keys and the exit prompt -------------------------------------------------------------

void CmdDisableEscapeKey(Vm& vm) { vm.escape_quits = false; }
void CmdEnableEscapeKey(Vm& vm) { vm.escape_quits = true; }
void CmdDisableSystemKeys(Vm& vm) { SystemOf(vm).SetSystemKeysEnabled(false); }
void CmdEnableSystemKeys(Vm& vm) { SystemOf(vm).SetSystemKeysEnabled(true); }

// The runtime shows the last caption and message given, once, when the
// program has ended.
void CmdSetExitPrompt(Vm& vm) {
  const std::string caption(vm.NextString());
  const std::string message(vm.NextString());
  if (!vm.runtime) return;
  vm.runtime->exit_prompt_title = caption;
  vm.runtime->exit_prompt_text = message;
  vm.runtime->exit_prompt_on = true;
}

// ---- Quotations and internal flags -----------------------------------------------------------

template <int kSet>
void CmdPrintQuotation(Vm& vm) {
  PrintServiceText(vm, kQuotations[kSet][RandomDraw() % 3], kQuotationLine);
  if (!vm.display || vm.display->CurrentBitmap() == 0) YieldForRefresh(vm);
}

template <int kFlag, bool kOn>
void CmdSetInternalFlag(Vm& vm) {
  SystemOf(vm).InternalFlags()[kFlag] = kOn;
}

}  // namespace

void RegisterSystemHandlers(HandlerTable& t) {
  t.Set(op::kWriteClipboardText, CmdWriteClipboardText);
  t.Set(op::kClipboardText, FnClipboardText);
  t.Set(op::kWriteRegistryDword, CmdWriteRegistryDword);
  t.Set(op::kRegistryDword, FnRegistryDword);
  t.Set(op::kAppFileName, FnAppFileName);
  t.Set(op::kWindowsDirectory, FnWindowsDirectory);
  t.Set(op::kDisableEscapeKey, CmdDisableEscapeKey);
  t.Set(op::kEnableEscapeKey, CmdEnableEscapeKey);
  t.Set(op::kDisableSystemKeys, CmdDisableSystemKeys);
  t.Set(op::kEnableSystemKeys, CmdEnableSystemKeys);
  t.Set(op::kSetExitPrompt, CmdSetExitPrompt);
  t.Set(op::kPrintQuotation1, CmdPrintQuotation<0>);
  t.Set(op::kPrintQuotation2, CmdPrintQuotation<1>);
  t.Set(op::kPrintQuotation3, CmdPrintQuotation<2>);
  t.Set(op::kSetInternalFlagAOn, CmdSetInternalFlag<0, true>);
  t.Set(op::kSetInternalFlagAOff, CmdSetInternalFlag<0, false>);
  t.Set(op::kSetInternalFlagBOn, CmdSetInternalFlag<1, true>);
  t.Set(op::kSetInternalFlagBOff, CmdSetInternalFlag<1, false>);
  t.Set(op::kSetInternalFlagCOn, CmdSetInternalFlag<2, true>);
  t.Set(op::kSetInternalFlagCOff, CmdSetInternalFlag<2, false>);
}

}  // namespace zv
