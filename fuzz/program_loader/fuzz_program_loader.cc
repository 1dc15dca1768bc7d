// Feeds arbitrary bytes to the program-file decoder. A file that decodes must
// install cleanly and encode back to a file that decodes to the same program.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "runtime/vm/loader.h"
#include "runtime/vm/program_file.h"
#include "runtime/vm/vm.h"

namespace {

class QuietHost : public zv::VmHost {
 public:
  uint32_t NowMs() override { return 0; }
  void PostQuit() override {}
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<uint8_t> bytes(data, data + size);
  auto decoded = zv::DecodeProgramFile(bytes);
  auto* program = std::get_if<zv::ProgramFile>(&decoded);
  if (!program) return 0;

  static zv::HandlerTable handlers;
  static QuietHost host;
  static zv::Vm vm(handlers, host);
  zv::InstallProgram(vm, *program);
  zv::ResetVmState(vm);

  auto again = zv::DecodeProgramFile(zv::EncodeProgramFile(*program));
  auto* same = std::get_if<zv::ProgramFile>(&again);
  if (!same || same->code != program->code || same->data.size() != program->data.size()) std::abort();
  return 0;
}
