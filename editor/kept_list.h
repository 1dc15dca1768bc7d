#pragma once

#include <sys/types.h>

#include <ctime>
#include <optional>
#include <string>
#include <vector>

#include "editor/source_file.h"

namespace zv::editor {

// The file name an unnamed program is run and kept under.
inline constexpr char kUnnamedFileName[] = "untitled.kqa";

// One autosave (editor/autosave.h) and the program whose changes it keeps,
// as the file stood when it was written or found: what may be removed once
// its text is saved or given up is that file and no other that took its
// name since.
struct KeptFile {
  std::string path;    // the autosave
  std::string folder;  // the program's folder
  std::string name;    // the program's file name; empty for an unnamed program
  dev_t device = 0;
  ino_t inode = 0;
  struct timespec modified {};
  bool SameProgram(const std::string& other_folder, const std::string& other_name) const {
    return !name.empty() && name == other_name && folder == other_folder;
  }
};

// The list of every autosave an end of the editor wrote, kept in the user's
// state folder, so that any later start finds them, wherever their
// programs are: one small file of the user's own for each.

// The autosave just written at `path`, for its program; nothing when it
// is gone or the state folder cannot be had.
std::optional<KeptFile> ListKept(const std::string& path, const std::string& folder, const std::string& name);
// Every listed autosave still to offer, newest first: the user's own
// regular file, holding text its program's file does not (every one of an
// unnamed program or one whose file is gone). Entries whose autosave is
// gone, or holds the text of its program's file, leave the list (the file
// itself stays).
std::vector<KeptFile> ListedKeptFiles();
// The autosave at `path` as the user loads it by name: the program the list
// names for it, else the one its name says (NAME.kqa for NAME.kqa.autosave,
// -2, ...; untitled.kqa, where no such file is, an unnamed program), with
// `app_folder` the folder of one kept in the state folder.
KeptFile KeptFileAt(const std::string& path, const std::string& app_folder);
// The file as it stands now; nothing when it is gone or no regular file of
// the user's own.
std::optional<KeptFile> OwnKeptFile(KeptFile kept);
// The autosave's text was saved or given up: the file goes, where it is
// still the one written or found, and leaves the list; another file that
// took its name since stays, listed as it was, and so does one another
// running editor holds (HeldAutosave), which is its work: false then.
bool RemoveKept(const KeptFile& kept);
// Whether a file name is that of an autosave.
bool IsAutosaveName(const std::string& name);

// The text of the program `name` of `folder` as its file holds it; nothing
// for an unnamed program, and where it is no regular file that can be read.
std::optional<SourceText> SavedText(const std::string& folder, const std::string& name);
// Whether the autosave at `path` holds text that `saved` does not (each
// read as the editor reads it, header and lines), whatever the times of
// the two files: always where there is no saved text.
bool HoldsUnsavedText(const std::string& path, const std::optional<SourceText>& saved);

}  // namespace zv::editor
