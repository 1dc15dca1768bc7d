#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "editor/edit_history.h"
#include "editor/editor_display.h"
#include "editor/editor_images.h"
#include "editor/editor_view.h"
#include "editor/glyph_font.h"
#include "editor/help/help_viewer.h"
#include "editor/kept_changes.h"
#include "editor/kept_list.h"
#include "editor/progress_box.h"
#include "editor/recent_files.h"
#include "editor/requester.h"
#include "editor/source_buffer.h"
#include "editor/source_file.h"
#include "editor/text_editing.h"
#include "platform/clipboard/clipboard.h"
#include "platform/clock/clock.h"
#include "platform/paths/temp_folder.h"
#include "platform/signals/ending_work.h"
#include "platform/text/text_service.h"
#include "platform/window/window.h"

namespace zv::editor {

// One of the two programs the editor holds, one per source tab.
struct SourceDocument {
  SourceBuffer buffer;
  SourceHeader header;
  FileForm form = kNewSourceForm;  // of its file, which it is saved in
  std::string file_name;  // without its folder; empty for an unnamed program
  std::string folder;     // absolute, without a trailing "/"
  EditHistory history;
  TextPosition anchor;    // where a selection by keys or mouse began
  // The autosave its unsaved text came from: it goes once the text is
  // saved or given up.
  std::optional<KeptFile> kept_from;
  std::string Path() const { return folder.empty() ? file_name : folder + "/" + file_name; }
};

// A program to compile and run from the editor.
struct RunRequest {
  std::string source;  // the program's text saved to a work file
  std::string folder;  // its own folder: includes and media are found there
  std::string name;    // the program's name, for messages
  // Its own file (the name alone while it has none): what the window's
  // title and the compile errors call it.
  std::string shown_path;
};
struct RunOutcome {
  bool ran = false;    // false: it did not compile or could not start
  int status = 0;      // the run's exit status
  std::string error;   // the error report, empty after a clean end
};

struct EditorOptions {
  // Where SETUP.INI is read, projects are kept ("MYPROJ") and programs of
  // the help are saved unless the user chooses another folder; absolute.
  std::string app_folder;
  // The runtime that built games start as.
  std::string stub_path = "/proc/self/exe";
  // Compiles and runs a program in the editor's window, the way a run from
  // the command line does, and returns when it ends.
  std::function<RunOutcome(const RunRequest&)> run_program;
  // The time by which changes wait to be kept; the system's when null.
  platform::Clock* clock = nullptr;
};

// Editor modes: 0 while no requester is open, else the purpose of the open
// one.
namespace mode {
constexpr int32_t kEditing = 0;
constexpr int32_t kLoad = 1;
constexpr int32_t kSaveAs = 2;
constexpr int32_t kConfirmOverwrite = 3;
constexpr int32_t kSaveBeforeNew = 5;
constexpr int32_t kSaveBeforeProject = 7;
constexpr int32_t kSaveBeforeLoad = 8;
constexpr int32_t kSaveBeforeQuit = 9;
constexpr int32_t kSaveBeforeRecent = 10;
constexpr int32_t kBuild = 11;
constexpr int32_t kBuildWithMedia = 12;
constexpr int32_t kConfirmBuild = 13;
constexpr int32_t kConfirmBuildWithMedia = 14;
constexpr int32_t kFind = 21;
constexpr int32_t kReplace = 22;
constexpr int32_t kMessage = 23;
constexpr int32_t kProject = 31;
constexpr int32_t kOpenExample = 51;
constexpr int32_t kOpenAutosave = 52;
constexpr int32_t kTools = 71;
constexpr int32_t kChooseTool = 72;
constexpr int32_t kQuit = 99;
}  // namespace mode

// Results of a requester click that are no mode of their own.
namespace result {
constexpr int32_t kCancelChooseTool = 73;
constexpr int32_t kMakeFolder = 81;  // the save and build requesters' new-folder button
constexpr int32_t kNextAutosave = 82;  // no to an autosave offered: it is given up
}  // namespace result

// The source editor: two source tabs over a 640 x 480 screen with menus, a
// toolbar, requesters and the help view. It is driven by the window's
// events and draws one frame per call of Frame().
class Editor {
 public:
  Editor(EditorDisplay& display, platform::Window& window, platform::Clipboard& clipboard,
         platform::TextService& text, EditorOptions options);
  ~Editor();
  Editor(const Editor&) = delete;
  Editor& operator=(const Editor&) = delete;

  // False when the font or the surfaces could not be made.
  bool Ready() const;

  // Loads a program into the live tab; false (with a status message) when
  // it cannot be read.
  bool OpenFile(const std::string& path);

  void HandleEvent(const platform::WindowEvent& event);
  // Composes and presents one frame.
  void Frame();
  bool QuitRequested() const { return quit_; }
  // Quits without asking (when the process is asked to end), keeping every
  // program with unsaved changes as its autosave (EndKeepingChanges).
  void QuitKeepingChanges() { EndKeepingChanges({}); }
  // Offers every program an earlier end kept, wherever it is (a start's
  // first step): each in turn, once a tab free of unsaved changes can take
  // it and typing has paused, yes opening it there, no giving it up (its
  // autosave goes), Escape leaving it for a later start. A key typed while
  // it is asked puts the question off and does what it does in the text.
  void OfferKeptPrograms();
  // Waits until no keep of a tab's changes is under way (the keeping thread
  // writes them while the editor goes on).
  void FinishKeeping() { kept_.Finish(); }
  // How long typing must pause before a kept program is offered.
  static constexpr uint32_t kTypingPauseMs = 1500;

  // ---- State, for the session and tests -----------------------------------------------
  SourceDocument& Live() { return documents_[static_cast<size_t>(live_tab_ - 1)]; }
  int32_t LiveTab() const { return live_tab_; }
  int32_t Mode() const { return mode_; }
  EditorView& View() { return *view_; }
  EditorScreen& Requester() { return *requester_; }
  HelpViewer& Help() { return *help_; }
  bool InHelpView() const { return help_view_; }
  const RecentFileList& RecentFiles() const { return recent_; }
  ProgressBox& Progress() { return *progress_; }
  const GlyphFont& Font() const { return *font_; }

  void RunCommand(Command command, int32_t argument = 0);

 private:
  // ---- Frames (editor.cc) ------------------------------------------------------------
  void DrawEditorScreen();
  // The editor's page (or the help view) on the screen surface, behind any requester.
  void ComposeScreen();
  void DrawHelpView();
  void BuildMenus();
  void RebuildRecentItems();
  void ShowFileStatus();
  void SetStatus(std::string text);
  void RefreshAfterEdit(TextChange change);
  void UpdateCaret();
  void RestoreView();
  void SwitchSourceTab(int32_t tab);
  // Makes an edit at the live program's cursor or selection, kept in its
  // history, and shows it.
  void Edit(EditKind kind, const EditHistory::Edit& edit);
  void LeaveHelpView();

  // ---- Input (editor_input.cc) -----------------------------------------------------------
  // `modifiers`: the modifier keys held with the event (platform::modifier).
  void KeyDown(int32_t key, int32_t modifiers);
  void Character(int32_t c, int32_t modifiers);
  void MouseMove(int32_t x, int32_t y);
  void MouseDown(int32_t x, int32_t y, bool extend_selection);
  void MouseUp();
  void Wheel(int32_t steps);
  void HelpKeyDown(int32_t key, int32_t modifiers);
  // Shows the page before or after the one shown, when there is one.
  void RetraceHelp(bool back);
  void HelpClick(int32_t x, int32_t y);
  void ScrollHelp(int32_t pixels);
  // The help page in rows of its layout, for its scroll bar, and the rows
  // the scroll bar counts as shown.
  int32_t HelpRowCount() const;
  static constexpr int32_t kHelpShownRows = HelpViewer::kVisibleHeight / HelpViewer::kRowUnit;
  int32_t ControlAt(int32_t x, int32_t y) const;
  void RequesterClick(int32_t x, int32_t y);
  void RequesterReturn();
  bool ShortcutKey(int32_t key, int32_t modifiers);
  void Move(Motion motion, bool extend_selection);

  // ---- Commands and requester results (editor_actions.cc) -------------------------------
  void OpenRequester(int32_t new_mode, int32_t kind, const std::string& folder = {});
  void OpenQuestion(int32_t new_mode, std::string question);
  void CloseRequester();
  void ShowMessage(std::string text);
  // The name in field 1 once its editing is committed; false, with a
  // message asking for one, when it is empty.
  bool TypedName(std::string* name);
  int32_t ResultOf(int32_t button) const;
  void RunResult(int32_t result);
  void LoadConfirmed();
  void SaveAsConfirmed();
  // False when the file could not be written; `cause`, when given, then
  // says why ("no space left on device").
  bool SaveUnder(const std::string& path, const SourceHeader& header, std::string* cause = nullptr);
  // Runs what a save question asked for once its save as is done.
  void GoOnAfterSaveAs();
  // Saves the live program under its own name; an unnamed one opens the
  // save requester instead and false is returned.
  bool SaveCurrent();
  void StartNewProgram();
  void BuildConfirmed(bool with_media, bool overwrite_confirmed);
  bool BuildExecutableNow(const std::string& output, bool with_media);
  void ProjectConfirmed();
  // Opens the project requester on the project area, made when missing.
  void OpenProjects();
  void OpenRecent(int32_t index);
  // Loads a program into the live tab; false with the reason in `error`.
  bool LoadPath(const std::string& path, std::string* error);
  // Offers the live program's newer autosaves, newest first, before any
  // other kept program.
  void OfferAutosave();
  // Whether a tab holds that autosave's text.
  bool IsOpen(const KeptFile& kept) const;
  // Adds what was found to the offers, first or last, each autosave once.
  void AddOffers(const std::vector<KeptFile>& found, bool first);
  // Asks about the first offer once a tab can take it.
  void OfferNextAutosave();
  // A key typed at an offer: the question goes, the offer stays the next,
  // and the key is the text's.
  void PutOffOffer();
  // The tab an autosave would open in: the one showing its program, else
  // one free of unsaved changes (an empty unnamed one first); 0 for none.
  int32_t TabFor(const KeptFile& kept) const;
  enum class AutosaveAnswer { kOpen, kGiveUp, kLater };
  void AnswerAutosave(AutosaveAnswer answer);
  void OpenKeptInto(int32_t tab, const KeptFile& kept);
  // The document's text was saved or given up: so is its autosave's.
  void LetGoOfKept(SourceDocument& d);
  // The clipboard, in the encoding of the live program's file.
  bool CopyToClipboard(std::string_view text);
  std::optional<std::string> PastedText();
  // The path a typed or listed name means in the requester's folder: the
  // entry spelled so, else the one that differs from it only in letter
  // case. False, with a message naming them, where several do.
  bool RequestedPath(const std::string& name, std::string* path);
  // Says that no file has the name, and which differ from it only in case.
  void ShowCaseTwins(const std::string& name, const std::vector<std::string>& twins);
  void OpenExample(const std::string& link);
  void OpenToolList();
  void OpenToolChooser(int32_t slot);
  void ToolChosen();
  void MakeFolderConfirmed();
  void RunProgram();
  // Puts the cursor at the start of the program's line that an error report
  // of a run or a build names, when it names one of the program's own.
  void GoToErrorLine(const std::string& report, const std::string& name);
  void OpenHelp();
  std::string ProjectArea() const;
  std::string WorkFile() const;
  // Where the help's example programs are opened from: a folder of the
  // editor's own, removed at exit.
  std::string HelpFolder() const;
  bool IsHelpExample(const SourceDocument& d) const;
  // Where a requester that writes the program or its game starts: its own
  // folder, or the user's for an example of the help.
  std::string WriteFolder(const SourceDocument& d) const;
  // With unsaved changes, asks first (in `ask_mode`); else runs `then`.
  void AfterSavePrompt(int32_t ask_mode, const std::function<void()>& then);
  // The quit's questions: for each program with changes not yet saved or
  // given up at this quit, the live one first, shown and asked whether to
  // save them (yes saves, naming an unnamed program first; no gives them
  // up; Escape, or a save that fails, ends the quit with nothing lost);
  // then whether to quit.
  void AskBeforeQuit();
  // The one way the editor ends, by its quit or a stop signal: each program
  // with unsaved changes, unless `given_up` at the quit's question, is first
  // kept as a new autosave of its own (KeptChanges, editor/autosave.h).
  // Opening a program whose autosaves are newer offers their text.
  void EndKeepingChanges(std::array<bool, 2> given_up);
  // Before a wait on a run or a build: what each tab holds is kept now, and
  // where it cannot be, the temporary folder, which holds the run's copy of
  // it, stays should the editor be killed.
  void KeepBeforeWaiting();
  uint32_t NowMs();
  // Tells kept_ what each tab holds now: a program with unsaved changes
  // under its name (untitled.kqa while it has none) and in the folder its
  // autosave goes to (its own; for an example of the help, whose folder
  // goes at exit, the one its save offers), or nothing.
  void NoteChanges();
  // Says in the status line what changed in where the tabs are kept: a
  // keep that failed, or went elsewhere than beside the program.
  void ShowKeepNews();

  EditorDisplay& display_;
  platform::Window& window_;
  platform::Clipboard& clipboard_;
  EditorOptions options_;
  platform::TempFolder temp_;
  std::unique_ptr<GlyphFont> font_;
  std::unique_ptr<EditorImages> images_;
  std::unique_ptr<EditorView> view_;
  std::unique_ptr<EditorScreen> requester_;
  std::unique_ptr<ProgressBox> progress_;
  std::unique_ptr<HelpViewer> help_;
  std::array<SourceDocument, 2> documents_;
  int32_t live_tab_ = 1;
  RecentFileList recent_;
  std::string example_folder_;
  int32_t mode_ = mode::kEditing;
  int32_t pending_recent_ = -1;
  int32_t pending_tool_ = 0;  // the tool slot being chosen
  std::string pending_link_;
  std::vector<KeptFile> offers_;  // kept programs to offer, the next first
  // What a yes/no question confirms: the file to write and its header.
  std::string pending_path_;
  SourceHeader pending_header_;
  std::function<void()> after_save_as_;
  // By tab: the changes given up at the quit's question under way.
  std::array<bool, 2> quit_given_up_{};
  bool help_files_written_ = false;
  bool help_view_ = false;
  MenuBar help_menus_;
  bool help_changed_ = true;  // the help page must be drawn again
  bool quit_ = false;
  int32_t mouse_x_ = 0, mouse_y_ = 0;
  bool mouse_down_ = false;
  bool selecting_by_mouse_ = false;
  std::optional<uint32_t> last_typed_ms_;  // the last key typed at the text
  KeptChanges kept_;
  // An end that the editor's loop cannot reach keeps what kept_ holds and
  // removes the temporary folder; last, so that it goes first.
  platform::EndingWork ending_{[this] { kept_.Keep(); }, [this] {
    if (temp_.Valid()) platform::RemoveTree(temp_.Path());
  }};
};

}  // namespace zv::editor
