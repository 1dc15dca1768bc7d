#pragma once

#include <filesystem>
#include <span>
#include <string>
#include <string_view>

namespace zv {

// One file of the built-in help: a page ("index.htm", "images.htm", ...) or
// an example program a page links to ("examples/sprites_move.kqa").
struct HelpFile {
  std::string_view name;
  std::string_view data;
};

// Every file of the built-in help, pages first, by name.
std::span<const HelpFile> HelpFiles();

// The file of that name, read without regard to case, with "\" read as "/",
// a leading "./" dropped and a link's "#place" left out; null when there is
// none.
const HelpFile* FindHelpFile(std::string_view name);

// True when a link's target names one of the example programs, which the
// editor opens as source, rather than a page, which the viewer shows.
bool IsHelpProgramLink(std::string_view target);

// Writes every help file below `folder` (made when missing), each through a
// temporary name, so that the editor can open an example program like any
// other file. False with the reason in `*error` when a file cannot be
// written.
bool WriteHelpFiles(const std::filesystem::path& folder, std::string* error);

}  // namespace zv
