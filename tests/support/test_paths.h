// Where a test finds this tree's sources and the programs it built. The
// paths are compiled into one small library (test_paths.cc, generated) and
// not into each suite: a suite's objects are then the same in every clone,
// and ccache serves them to a fresh clone at another path.
#pragma once

#include <string>
#include <string_view>

namespace zv::test {

// A file or folder of the source tree, named from its top:
// SourcePath("examples/star_catcher.kqa").
std::string SourcePath(std::string_view relative);

// The zentrovex executable of this build.
std::string ZentrovexBinary();

// The shared library the tests load as a user's own (tests/platform/dynlib).
std::string TestUserLibrary();

}  // namespace zv::test
