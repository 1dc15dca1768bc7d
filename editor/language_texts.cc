#include "editor/language_texts.h"

#include <array>

namespace zv::editor {
namespace {

constexpr std::array<std::string_view, static_cast<size_t>(Text::kCount)> kTexts = {
    // Buttons.
    "Cancel", "Yes", "No", "Load", "Save", "Build", "Create", "Find", "Replace", "Select", "New",
    // Requester titles and labels.
    "Load Program", "Save Program", "Build Executable", "Build Executable With Media", "Projects",
    "Find", "Replace", "Name", "Project", "Title", "Author", "Date",
    "The program is compiled and written", "as a game that runs on its own.",
    "Media files are not included.",
    "The program is compiled and written", "as a game that runs on its own,",
    "with every media file of the", "program's folder and its subfolders.",
    "Choose a project folder, or type", "a new name to create one with",
    "an empty program of the same name.",
    // The file list.
    "<parent>", "That place cannot be opened.", "This folder cannot be read.",
    // Questions.
    "already exists. Replace it?", "Save the changes to this program?", "Quit the editor?",
    "Open this example program?",
    // Messages.
    "Program saved.", "Program loaded.", "Unnamed program", "Project", "File",
    "The file is read-only.", "The file could not be loaded.", "That is not a program file (.kqa).",
    "The file could not be saved.", "Please type a name.",
    "Executable built.", "The executable could not be built.", "Nothing found.",
    "Project opened.", "Project", "created.", "A file of that name exists.",
    "The project could not be created.", "%", "Program ended.", "The program did not run:",
    "The program ended on an error:",
    "The help pages are not installed.", "There is nothing to undo.", "Change undone.",
    "Source 2 holds unsaved changes: save them first.",
    // Menus.
    "File", "Edit", "Search", "Run", "Source", "Help",
    "New", "Open...", "Save", "Save As...", "Project...", "Build Executable...",
    "Build With Media...", "Exit",
    "Undo", "Cut", "Copy", "Paste", "Select All",
    "Find...", "Find Next", "Replace...",
    "Run Program", "Build Executable...",
    "Source 1", "Source 2",
    "Help Index",
    // The help view's menus.
    "Help", "Back", "Forward", "Close Help",
    // The toolbar.
    "Run", "Help",
    // Tool programs and new folders.
    "OK", "Browse...", "New Folder", "Tool Programs", "Choose A Tool Program",
    "Choose the program that this", "tool slot starts. Only files that", "may be run are listed.",
    "File does not exist!", "That file cannot be run as a program.", "The folder could not be made.",
    "Tool Programs...",
    "Nothing pasted: this file is in Windows-1252, which has no character",
    // Kept changes.
    "holds unsaved changes. Open it? No deletes it.", "Kept in",
    // Redo.
    "Redo", "There is nothing to redo.", "Change redone.",
    // A folder listed in part; names that differ only in letter case.
    "the first %d by name", "No file is named", "differ from it only in letter case: type one of them.",
    // Keeping.
    "Unsaved changes of", "are not kept, so a crash would lose them:", "are kept in", "are kept beside it again.",
    "holds the unsaved changes of another running editor: left to it.",
};

// Every position holds a text: a missing one would shift all after it.
static_assert(!kTexts.back().empty());

}  // namespace

std::string_view LanguageText(Text text) {
  const auto index = static_cast<size_t>(text);
  return index < kTexts.size() ? kTexts[index] : std::string_view();
}

}  // namespace zv::editor
