#pragma once

#include <gtest/gtest.h>

#include <memory>

#include "runtime/vm/dispatch.h"
#include "runtime/vm/loader.h"
#include "runtime/vm/vm.h"
#include "tests/support/fake_host.h"
#include "tests/support/program_assembler.h"
#include "tests/support/recording_services.h"

namespace zv::test {

// A machine on a fake host with recording services, and an assembler to
// write its program.
class VmTest : public ::testing::Test {
 protected:
  VmTest() : vm(handlers, host) {
    vm.engine3d = &services.engine3d;
    vm.sound = &services.sound;
    vm.input = &services.input;
    vm.editor = &services.editor;
  }

  // Installs the assembled program and resets the machine for a run.
  void Load() {
    ASSERT_TRUE(InstallProgram(vm, assembler.Finish()));
    ResetVmState(vm);
  }

  HandlerTable handlers;
  FakeHost host;
  RecordingServices services;
  Vm vm;
  ProgramAssembler assembler;
};

}  // namespace zv::test
