#include <cstdio>
#include <string>
#include <vector>

#include "app/command_line.h"

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  std::string error;
  auto line = zv::ParseCommandLine(args, &error);
  if (!line) {
    std::fprintf(stderr, "zentrovex: %s\n\n%s", error.c_str(), zv::kUsage);
    return 2;
  }
  switch (line->action) {
    case zv::CommandLine::Action::kVersion:
      std::printf("zentrovex %s\n", ZV_VERSION);
      return 0;
    case zv::CommandLine::Action::kHelp:
      std::printf("%s", zv::kUsage);
      return 0;
    case zv::CommandLine::Action::kEditor:
      // The editor opens here once it is built.
      std::printf("%s", zv::kUsage);
      return 0;
    case zv::CommandLine::Action::kRun:
    case zv::CommandLine::Action::kBuild:
      // The editor, the compiler and the runner join as they are built.
      std::fprintf(stderr, "zentrovex: this build cannot do that yet\n\n%s", zv::kUsage);
      return 2;
  }
  return 2;
}
