#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace zv::editor {

// Every label, title, message and menu text the editor shows, read by its
// fixed position in the language table.
enum class Text : int {
  // Buttons.
  kCancel, kYes, kNo, kLoad, kSave, kBuild, kCreate, kFind, kReplace, kSelect, kNew,
  // Requester titles and labels.
  kLoadTitle, kSaveTitle, kBuildTitle, kBuildMediaTitle, kProjectTitle, kFindTitle, kReplaceTitle,
  kNameLabel, kProjectLabel, kTitleLabel, kAuthorLabel, kDateLabel,
  kBuildInfo1, kBuildInfo2, kBuildInfo3, kBuildMediaInfo1, kBuildMediaInfo2, kBuildMediaInfo3,
  kBuildMediaInfo4, kProjectInfo1, kProjectInfo2, kProjectInfo3,
  // The file list.
  kParentFolder, kDriveUnavailable, kFolderUnreadable,
  // Questions.
  kFileExists, kAskSaveChanges, kAskQuit, kAskOpenExample,
  // Messages.
  kSaved, kLoaded, kUnnamed, kProjectWord, kFileWord, kReadOnly, kLoadFailed, kNotSourceFile,
  kSaveFailed, kNoName, kBuilt, kBuildFailed, kNotFound, kProjectOpened,
  kProjectCreated, kProjectCreatedEnd, kProjectNameIsFile, kProjectFailed, kPercent, kRunFinished,
  kRunFailed, kRunEndedOnError, kHelpMissing, kNothingToUndo, kUndone, kSource2Busy,
  // Menus: titles, then the items of each.
  kMenuFile, kMenuEdit, kMenuSearch, kMenuRun, kMenuSource, kMenuHelp,
  kItemNew, kItemOpen, kItemSave, kItemSaveAs, kItemProject, kItemBuild, kItemBuildMedia, kItemExit,
  kItemUndo, kItemCut, kItemCopy, kItemPaste, kItemSelectAll,
  kItemFind, kItemFindNext, kItemReplace,
  kItemRun, kItemBuildExecutable,
  kItemSource1, kItemSource2,
  kItemHelpIndex,
  // The help view's menus.
  kMenuHelpPages, kMenuBack, kMenuForward, kItemHelpClose,
  // The toolbar.
  kToolbarRun, kToolbarHelp,
  // Tool programs and new folders.
  kOk, kBrowse, kNewFolder, kToolsTitle, kChooseToolTitle, kToolInfo1, kToolInfo2, kToolInfo3,
  kFileMissing, kNotExecutable, kFolderFailed, kItemTools,
  // A paste of a character the program's file cannot hold.
  kNotInCharacterSet,
  // Kept changes.
  kAskOpenAutosave, kKeptIn,
  // Redo.
  kItemRedo, kNothingToRedo, kRedone,
  // A folder listed in part; names that differ only in letter case.
  kPartialList, kNoFileNamed, kCaseTwins,
  // Keeping that fails, or goes elsewhere; another editor's kept work.
  kChangesOf, kNotKept, kAreKeptIn, kKeptAgain, kKeptByAnother,
  kCount
};

// The text at a position of the table.
std::string_view LanguageText(Text text);
// The same, as a string to build a message with.
inline std::string Label(Text text) { return std::string(LanguageText(text)); }

// The table's character set; 177 would turn on right-to-left display.
constexpr int32_t kHebrewCharset = 177;
constexpr int32_t kLanguageCharset = 0;

}  // namespace zv::editor
