#pragma once

#include <benchmark/benchmark.h>

#include <map>
#include <optional>
#include <string>

namespace zv::bench {

// Compiles and runs a BASIC program headless with the display and the 3D
// engine in this process, in a fresh folder holding `files` (name ->
// contents), presenting nowhere; with `screenshot` set its last frame is
// written there. What it printed, or nothing when it did not compile, ended
// on an error or failed to start.
std::optional<std::string> RunProgram(const std::string& source, const std::map<std::string, std::string>& files = {},
                                      const std::string& screenshot = {});

// Takes the milliseconds a program printed for `frames` frames as the
// iteration's time and its frames per second as a counter; false (and the
// benchmark skipped) when the program did not run.
bool RecordFrameTime(benchmark::State& state, const std::optional<std::string>& printed, int frames);

}  // namespace zv::bench
