#pragma once

#include <string>

#include "runtime/vm/program_file.h"
#include "runtime/vm/vm.h"

namespace zv {

// Reads, checks and installs a program file. On failure nothing of the file
// is installed and `error` says why.
bool LoadProgramImage(Vm& vm, const std::string& path, std::string* error = nullptr);

// Installs a decoded program: constants, DATA and empty string variables
// into the variable area, and the code with its literals converted to plain
// numbers. Any program already installed is freed first.
bool InstallProgram(Vm& vm, const ProgramFile& program);

// Releases the program and everything the run allocated: strings, arrays,
// user libraries, the call stack.
void FreeProgram(Vm& vm);

// Puts the machine at the start of the program; the message pump calls it
// once before each run.
void ResetVmState(Vm& vm);

}  // namespace zv
