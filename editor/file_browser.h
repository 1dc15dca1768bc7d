#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "editor/editor_images.h"
#include "editor/glyph_font.h"

namespace zv::editor {

// Requester kinds that show a file list.
namespace kind {
constexpr int32_t kLoad = 2;
constexpr int32_t kSave = 3;
constexpr int32_t kQuestion = 4;
constexpr int32_t kBuild = 6;
constexpr int32_t kBuildWithMedia = 7;
constexpr int32_t kProject = 8;
constexpr int32_t kReplace = 11;
constexpr int32_t kFind = 12;
constexpr int32_t kTools = 71;       // the five tool programs
constexpr int32_t kChooseTool = 72;  // an executable for one of them
}  // namespace kind

enum class EntryType : uint32_t { kFolder = 0, kFile = 1, kSource = 2, kExecutable = 3, kDrive = 4 };

// `name` is what the list shows and a user types, in the editor's
// Windows-1252 text; `file_name` is the name on the file system (UTF-8).
struct FileListEntry {
  EntryType type = EntryType::kFile;
  std::string name;
  std::string date;  // month, day and time of the last change, or empty
  std::string file_name;
};

// What a click on the list asks of the requester.
enum class ListClick { kNothing, kSelectedFile, kSelectedFolder, kOpenFile, kMoved };

// The list of places, folders and files in which a requester moves between
// folders and picks a name: seven rows at a time with a scroll bar. Names
// from a folder are only ever used as one component of a path, so no entry
// leads outside the folder the user is in, whatever its name holds.
class FileBrowser {
 public:
  // A folder's entries listed, at most: a folder that holds more is listed
  // in part, the first of its entries by name, and the list says so.
  static constexpr size_t kMostLookedAt = 65536;
  static constexpr int32_t kRows = 7;

  explicit FileBrowser(size_t most_looked_at = kMostLookedAt) : most_looked_at_(most_looked_at) {}

  // The browse folder (an absolute path; empty for the list of places).
  const std::string& Folder() const { return folder_; }
  void SetFolder(std::string folder) { folder_ = std::move(folder); }
  void SetKind(int32_t requester_kind) { kind_ = requester_kind; }

  // Fills the list from the places or the browse folder; a folder that
  // cannot be read gives an empty list and a message.
  void RefreshFileList();
  void ListDrives();
  void ListFolder();
  void ResetList();

  const std::vector<FileListEntry>& Entries() const { return entries_; }
  int32_t Selected() const { return selected_; }  // 1-based; 0 none
  int32_t First() const { return first_; }
  // Whether the folder holds entries the list left out (past the first
  // most_looked_at by name).
  bool Partial() const { return partial_; }
  // Moves the rows shown by `rows` (down: positive) within the list; false
  // when they were at that end already.
  bool ScrollBy(int32_t rows);
  // A message for the requester's box after the last listing, else empty.
  const std::string& Message() const { return message_; }

  // Names below are the editor's text (Windows-1252), as the list shows
  // them and a user types them; paths are the file system's (UTF-8).
  // Full path of a name in the browse folder.
  std::string PathOf(const std::string& name) const;
  std::string PathOf(const FileListEntry& entry) const;
  // True when a listed entry has the name (case-insensitive).
  bool Lists(const std::string& name) const;
  // The listed entries a name means: the one spelled so, else every one
  // that differs from it only in letter case.
  std::vector<const FileListEntry*> Named(const std::string& name) const;
  // The file system's name of the listed entry a name means (of several
  // that differ from it only in case, the first); for a name not listed,
  // the name itself in UTF-8.
  std::string FileNameOf(const std::string& name) const;

  void GoToParentFolder();
  // Enters the folder `name`; false for a name that is not one component.
  bool EnterFolder(const std::string& name);
  // Makes a new folder under the name (or the name with 2, 3, ... added when
  // listed already); false when it cannot be made.
  bool MakeUniqueFolder(const std::string& name);
  // 0 listed, 2 a file of that name exists, 1 the folder was made, 9 it
  // cannot be.
  int32_t CheckProjectName(const std::string& name);

  // Draws the fixed texts of the kind and the rows at the requester's origin.
  void DrawPage(Surface& screen, const GlyphFont& font, const EditorImages& images, int32_t ox, int32_t oy,
                const std::vector<std::string>& info_lines) const;
  void DrawListScrollBar(Surface& screen, int32_t ox, int32_t oy) const;

  // A click at (x, y) relative to the requester's origin.
  ListClick Click(const GlyphFont& font, int32_t x, int32_t y);
  // The entry a click selected.
  const FileListEntry* SelectedEntry() const;
  // While the thumb is dragged: the list follows the mouse.
  bool Dragging() const { return dragging_; }
  void UpdateListDrag(int32_t mouse_y, int32_t oy, bool button_down);

 private:
  bool OpenEntry(const FileListEntry& entry);
  // The thumb of the scroll bar, in pixels from the track's top.
  struct Span {
    int32_t top = 0, bottom = 0;
  };
  Span Thumb() const;
  bool EnterFolderNamed(const std::string& file_name);
  void AddEntry(EntryType type, const std::string& file_name, std::string date);
  // The list's entry for the name in the browse folder, where the kind lists it.
  std::optional<FileListEntry> EntryFor(const std::string& name) const;

  std::vector<FileListEntry> entries_;
  std::string folder_;
  int32_t kind_ = kind::kLoad;
  int32_t selected_ = 0;
  int32_t first_ = 0;
  size_t most_looked_at_;
  bool partial_ = false;
  bool dragging_ = false;
  int32_t drag_anchor_ = 0;
  std::string message_;
};

// Draws text clipped from its front to `width` pixels; returns how many
// pixels were dropped.
int32_t DrawTextClipped(Surface& target, const GlyphFont& font, std::string_view text, bool highlight, int32_t x,
                        int32_t y, int32_t width);

}  // namespace zv::editor
