#pragma once

#include <gtest/gtest.h>

#include <initializer_list>
#include <memory>

#include "runtime/vm/dispatch.h"
#include "runtime/vm/opcodes/core_handlers.h"
#include "services/memory/memory_blocks.h"
#include "services/net/net_handlers.h"
#include "services/net/net_services.h"
#include "tests/runtime/vm/vm_fixture.h"
#include "tests/services/net/fake_session_network.h"

namespace zv::test {

// A machine with the network commands over a fake network (FTP clients
// from `ftp_clients`, none by default), with memory blocks.
class NetTest : public VmTest {
 protected:
  explicit NetTest(FtpConnection::ClientFactory ftp_clients = nullptr, uint16_t ftp_port = 21)
      : fake(new FakeSessionNetwork),
        net(std::unique_ptr<platform::SessionNetwork>(fake), std::move(ftp_clients), host.clock, ftp_port) {
    RegisterCoreHandlers(handlers);
    RegisterNetHandlers(handlers);
    vm.net = &net;
    vm.memory_blocks = &blocks;
  }

  Multiplayer& games() { return net.Games(); }

  // The error or warning raised since the last call (0: none), cleared.
  int32_t Raised() {
    const int32_t code = vm.errors.code;
    vm.errors.code = 0;
    return code;
  }

  // Runs one command, built from operand words of `assembler`, then starts
  // a fresh assembler. Returns what it raised.
  int32_t Exec(uint32_t opcode, std::initializer_list<uint32_t> operands) {
    assembler.Raw({opcode});
    for (uint32_t word : operands) assembler.Raw({word});
    assembler.Op(kEnd);
    Load();
    RunVmLoop(vm);  // a slice after a reset runs nothing
    RunVmLoop(vm);
    assembler = ProgramAssembler();
    return Raised();
  }
  uint32_t I(int32_t v) { return assembler.IntConst(v); }
  uint32_t F(float v) { return assembler.FloatConst(v); }
  uint32_t S(const std::string& v) { return assembler.StringConst(v); }
  // Result operands: the first temporary of each type.
  static constexpr uint32_t kIntResult = 10000;
  static constexpr uint32_t kFloatResult = 11000;
  static constexpr uint32_t kStringResult = 12000;
  int32_t IntResult() const { return vm.IntAt(Slot{0}); }
  float FloatResult() const { return vm.FloatAt(Slot{1000}); }
  std::string StringResult() const { return std::string(vm.StringAt(Slot{2000})); }

  static constexpr uint32_t kEnd = 213;

  FakeSessionNetwork* fake;  // owned by `net`
  MemoryBlocks blocks;
  NetServices net;
};

}  // namespace zv::test
