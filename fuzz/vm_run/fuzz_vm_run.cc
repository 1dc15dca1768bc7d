// Runs arbitrary code on the core handlers twice: on the dispatch loop's
// fast paths (commands decoded once, commands run in pairs, inline calls)
// and with every command through the handler table. Neither run may crash
// or reach outside the machine, and both must end in the same state.
//
// Each input byte pair becomes one code word, so that most words are
// opcodes the core knows, slots of the right classes, small literals and
// code addresses inside the program: the first byte picks the kind, the
// second the value.
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "runtime/vm/dispatch.h"
#include "runtime/vm/loader.h"
#include "runtime/vm/numeric/random.h"
#include "runtime/vm/opcodes/core_handlers.h"
#include "runtime/vm/vm.h"

namespace {

// A clock that moves on whenever it is read, so every slice ends.
class TickingHost : public zv::VmHost {
 public:
  uint32_t NowMs() override { return now += 5; }
  void PostQuit() override { quit = true; }
  uint32_t now = 0;
  bool quit = false;
};

constexpr std::array<uint32_t, 64> kOpcodes = {
    1,   2,   7,   8,   9,   12,  21,  22,  23,  25,  26,  27,  28,  30,  31,  33,
    41,  43,  51,  52,  61,  64,  65,  66,  71,  74,  76,  81,  84,  85,  86,  87,
    91,  95,  96,  97,  101, 102, 103, 111, 112, 115, 116, 117, 119, 120, 123, 131,
    135, 142, 151, 152, 153, 154, 155, 213, 501, 502, 561, 562, 566, 661, 662, 667};

// DIM with small upper bounds only, so no input asks for gigabytes; a
// larger one ends the run as a failed allocation would.
zv::Handler g_dims[30];
void BoundedDim(zv::Vm& vm) {
  const uint32_t at = vm.Pc();
  const uint32_t opcode = vm.CodeWord(at - 1);
  vm.NextSlot();
  int64_t elements = 1;
  for (uint32_t n = 0; n < (opcode - 500) % 10; ++n) {
    int64_t bound = vm.NextInt();
    elements *= bound < 0 ? 1 : bound + 1;
    if (elements > 4096) {
      vm.RunError(101);
      return;
    }
  }
  vm.SetPc(at);
  g_dims[opcode - 500](vm);
}

zv::Handler g_add;
void TableAdd(zv::Vm& vm) { g_add(vm); }

struct EndState {
  std::vector<uint32_t> words;
  std::vector<std::string> texts;
  int32_t error;
  bool operator==(const EndState&) const = default;
};

// One machine per way, made once: installing a program frees everything
// the previous input left.
struct Machine {
  explicit Machine(bool fast) : vm(handlers, host) {
    zv::RegisterCoreHandlers(handlers);
    for (uint32_t op : {501u, 502u, 503u, 504u, 505u, 511u, 512u, 513u, 514u, 515u, 521u, 522u, 523u, 524u, 525u}) {
      g_dims[op - 500] = handlers.Get(op);
      handlers.Set(static_cast<int>(op), BoundedDim);
    }
    if (!fast) {
      g_add = handlers.Get(81);
      handlers.Set(81, TableAdd);
    }
  }

  EndState Run(const zv::ProgramFile& program) {
    host.now = 0;
    host.quit = false;
    zv::SeedRandom(1);
    zv::InstallProgram(vm, program);
    zv::ResetVmState(vm);
    vm.data_read_index = 0;
    for (int turn = 0; turn < 12 && !vm.program_ended && !host.quit; ++turn) zv::RunVmLoop(vm);
    // The code names temporaries and variables 0-7 of each class only.
    EndState state{{}, {}, vm.errors.code};
    for (uint32_t first : {zv::slots::kIntTemp, zv::slots::kFloatTemp, zv::slots::kIntVar, zv::slots::kFloatVar})
      for (uint32_t slot = first; slot < first + 8; ++slot) state.words.push_back(vm.WordAt(zv::Slot{slot}));
    for (uint32_t first : {zv::slots::kStringTemp, zv::slots::kStringVar})
      for (uint32_t slot = first; slot < first + 8; ++slot) state.texts.emplace_back(vm.StringAt(zv::Slot{slot}));
    return state;
  }

  zv::HandlerTable handlers;
  TickingHost host;
  zv::Vm vm;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const size_t words = size / 2;
  if (words == 0 || words > 4096) return 0;
  zv::ProgramFile program;
  program.int_constants = {0, 1, 2, -1, 5, 100, 2147483647, -2147483647 - 1};
  program.float_constants = {0, 0x3F000000u, 0xC0000000u, 0x7FC00000u};  // 0, 0.5, -2, NaN
  program.string_constants = {"", "a", "bc"};
  program.int_variables = program.float_variables = program.string_variables = 8;
  // Variables 0-3 of each type belong to user function 1, the rest to the
  // main program.
  for (int i = 0; i < 8; ++i) {
    program.int_owners.push_back(i < 4 ? 1 : 0);
    program.float_owners.push_back(i < 4 ? 1 : 0);
    program.string_owners.push_back(i < 4 ? 1 : 0);
  }
  for (size_t i = 0; i < words; ++i) {
    const uint8_t kind = data[2 * i], value = data[2 * i + 1];
    uint32_t word;
    switch (kind % 8) {
      case 0: case 1: word = kOpcodes[value % kOpcodes.size()]; break;
      case 2: word = 10000 + (kind / 8 % 3) * 1000 + value % 8; break;           // temporaries
      case 3: word = 13000 + (kind / 8 % 3) * 2000 + value % 8; break;           // variables
      case 4: word = 19000 + (kind / 8 % 3) * 2000 + value % 8; break;           // constants
      case 5: word = 25000 + value % 8; break;                                  // literals
      case 6: word = 37000 + value % words; break;                              // code addresses
      default: word = value; break;                                             // anything small
    }
    program.code.push_back(word);
    program.lines.push_back(static_cast<int32_t>(i));
  }
  static Machine fast(true), general(false);
  if (!(fast.Run(program) == general.Run(program))) std::abort();
  return 0;
}
