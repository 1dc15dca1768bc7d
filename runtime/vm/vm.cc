#include "runtime/vm/vm.h"

#include <cstdio>
#include <stdexcept>

#include "platform/ini/ini_file.h"
#include "runtime/vm/opcodes/opcode_support.h"

namespace zv {
namespace {
NullEngine3D null_engine3d;
NullSound null_sound;
NullInput null_input;
NullEditor null_editor;
}  // namespace

Vm::Vm(const HandlerTable& handlers, VmHost& host)
    : engine3d(&null_engine3d),
      sound(&null_sound),
      input(&null_input),
      editor(&null_editor),
      handlers_(handlers),
      host_(host),
      slots_(slots::kCount, 0) {}

Vm::~Vm() = default;

void Vm::SetString(Slot s, std::string_view text) {
  uint32_t& word = slots_[s.index];
  if (strings_.IsLive(word))
    strings_.Assign(word, text);
  else
    word = strings_.Make(text);
}

void Vm::ReleaseString(Slot s) {
  strings_.Release(slots_[s.index]);
  slots_[s.index] = 0;
}

const std::vector<uint32_t>& Vm::OwnedSlots(int16_t function) const {
  static const std::vector<uint32_t> none;
  auto index = static_cast<uint16_t>(function);
  return index < owned_slots_.size() ? owned_slots_[index] : none;
}

void ThrowOperandFault(uint32_t word, uint32_t pc, const char* expected) {
  char message[128];
  std::snprintf(message, sizeof message, "operand word %u at code word %u is not %s", word,
                pc == 0 ? 0 : pc - 1, expected);
  throw OperandFault(message);
}

void core::ThrowDivideFault() { throw std::overflow_error("-2147483648 / -1 does not fit in an integer"); }

void Vm::FlushTraceLog() {
  if (trace_.empty()) return;
  std::string path = LogFilePath(settings);
  platform::IniFile log = platform::IniFile::Load(path);
  for (auto [pc, opcode] : trace_)
    log.Set("ZENTROVEXLOOPMIDDLE", "PC" + std::to_string(pc), std::to_string(opcode));
  log.Save(path);
  trace_.clear();
}

std::string LogFilePath(const VmSettings& settings) { return settings.app_folder + "KQ.LOG"; }

}  // namespace zv
