#pragma once

#include <array>
#include <string>
#include <string_view>

namespace zv::platform {

// Turns the file names that programs give (written for a system with drive
// letters, backslashes and case-blind names) into paths of this machine:
// "\" becomes "/", "X:" maps through the drive table (every drive is the file
// system root unless mapped), and each component that does not exist as
// spelled is matched against its folder without regard to case.
class PathResolver {
 public:
  PathResolver();

  // Maps drive `letter` (either case) to the folder `root`.
  void MapDrive(char letter, std::string root);

  // Only the spelling changes: separators and drive letter.
  std::string ToNative(std::string_view program_path) const;

  // ToNative, then each component that does not exist as spelled takes the
  // spelling of the one entry of its folder that matches without regard to
  // case. Components from the first that matches nothing stay as spelled, so
  // names of files still to be created come out as the program wrote them.
  std::string Resolve(std::string_view program_path) const;

 private:
  std::array<std::string, 26> drives_;
};

// The resolver that every file-opening command uses.
PathResolver& Paths();

// Lower-cases ASCII letters only, as the case-blind matching does.
std::string AsciiLower(std::string_view text);
bool EqualNoCase(std::string_view a, std::string_view b);

}  // namespace zv::platform
