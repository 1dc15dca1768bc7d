#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/vm/services/editor_services.h"

namespace zv {

struct BuildRequest {
  std::string output;          // the game to write
  std::string source;          // the program's .kqa source
  std::string project_folder;  // every media file below it goes in; empty: none
  // The name the game is known by in the lists of names it keeps (the
  // program's file name, so that an update built under another file name
  // keeps the saves); empty: the file name the game runs under.
  std::string program_name = {};
  // The program's own file where `source` is a copy of it (the editor's);
  // empty: `source` is.
  std::string program_file = {};
};

// What a build needs from its surroundings.
struct BuildServices {
  // The runtime that every game starts as: this executable.
  std::string stub_path = "/proc/self/exe";
  // Where the compiled program is written first; ends with "/".
  std::string temp_folder;
  // Compiles `source` into the program file `program`; false with `error`.
  // `included`, when not null, gets every file the program includes.
  std::function<bool(const std::string& source, const std::string& program, std::string* error,
                     std::vector<std::string>* included)>
      compile;
  // True while Escape is held (or was pressed since the last look): the
  // media walk stops and the build fails.
  std::function<bool()> escape_pressed;
  // True once the process is asked to end (a stop signal): the build stops
  // within one block of writing and fails, leaving no partial game.
  std::function<bool()> stop_requested;
  // Told "Adding NAME..." for every media file.
  EditorServices* progress = nullptr;
};

struct BuildResult {
  bool ok = false;
  std::string error;  // why not
};

// Compiles the source and writes the game: the runtime stub, the compiled
// program as the first record, then every media file of the project folder,
// depth first with each folder's entries sorted by name. The game is written
// under a temporary name and renamed into place with its execute bits set,
// so a failed build leaves no partial game and keeps a previous one. A game
// never takes the place of one of its inputs (the program, a file it
// includes, a file it carries): the build fails and says which. Files whose
// names differ only in letter case are named in the build's output.
BuildResult BuildExecutable(const BuildRequest& request, const BuildServices& services);

// True for names that a game carries as media, judged by their last letters
// without regard to case (so any name ending in "x" is one).
bool IsMediaFileName(std::string_view name);

}  // namespace zv
