#include "editor/editor.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <string_view>
#include <utility>

#include "compiler/compiler.h"
#include "editor/autosave.h"
#include "editor/help/help_pages.h"
#include "editor/language_texts.h"
#include "platform/paths/failure_cause.h"
#include "platform/paths/path_resolver.h"
#include "platform/signals/stop_signals.h"
#include "platform/text/code_page.h"
#include "platform/text/system_text.h"
#include "runtime/builder/exe_builder.h"

namespace zv::editor {
namespace {

namespace fs = std::filesystem;

// "The file could not be saved: why."
std::string SaveFailedText(const std::string& cause) {
  std::string text = Label(Text::kSaveFailed);
  if (cause.empty() || text.empty() || text.back() != '.') return text;
  text.pop_back();
  return text + ": " + cause + ".";
}

bool Exists(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0;
}

std::string FolderOfPath(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return {};
  return slash == 0 ? "/" : path.substr(0, slash);
}

std::string PathInFolder(const std::string& folder, const std::string& name) {
  return folder + (!folder.empty() && folder.back() == '/' ? "" : "/") + name;
}

std::string NameOfPath(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::vector<std::string> NamesOf(const std::vector<const FileListEntry*>& entries) {
  std::vector<std::string> names;
  for (const FileListEntry* entry : entries) names.push_back(entry->name);
  return names;
}

// A message's mentions of a work file read as the program's own name.
std::string NameWorkFile(std::string text, const std::string& work_path, const std::string& file_name) {
  // Reports are program text, as the paths in them are.
  const std::string work_file = platform::ProgramTextOf(work_path);
  const std::string name = platform::ProgramTextOf(file_name);
  for (size_t at = text.find(work_file); at != std::string::npos; at = text.find(work_file, at + name.size()))
    text.replace(at, work_file.size(), name);
  return text;
}

std::string FirstLine(const std::string& text) { return text.substr(0, text.find('\n')); }

// The number at `at` in `text`, or 0 when none stands there.
int32_t NumberAt(const std::string& text, size_t at) {
  int32_t number = 0;
  for (; at < text.size() && text[at] >= '0' && text[at] <= '9' && number < 10000000; ++at)
    number = number * 10 + (text[at] - '0');
  return number;
}

// The line (from 1) that the first line of a run's error report places the
// error on in the program itself, or 0: a compile error begins with the
// program's name and line ("NAME:N: error: ..."), a runtime error ends with
// "(line N" and the command. None when the error is in an included file (a
// compile error then begins with that file's name, a runtime error reads
// "(line N of FILE") or N is past the program's own lines.
int32_t ErrorLine(const std::string& report, const std::string& file_name, int32_t line_count) {
  const std::string first = FirstLine(report);
  const std::string name = platform::ProgramTextOf(file_name);
  int32_t line = 0;
  if (first.compare(0, name.size() + 1, name + ":") == 0) {
    line = NumberAt(first, name.size() + 1);
  } else if (const size_t at = first.rfind(" (line "); at != std::string::npos) {
    const size_t number = at + 7;
    const size_t after = std::min(first.find_first_not_of("0123456789", number), first.size());
    if (first.compare(after, 4, " of ") != 0) line = NumberAt(first, number);
  }
  return line <= line_count ? line : 0;
}

// The run's own word before its messages says nothing in the status line.
constexpr std::string_view kProgramPrefix = "zentrovex: ";


}  // namespace

// ---- Requesters ---------------------------------------------------------------------------------

void Editor::OpenRequester(int32_t new_mode, int32_t requester_kind, const std::string& folder) {
  view_->Menus().SetOpenMenu(0);
  help_menus_.SetOpenMenu(0);
  view_->caret_hidden = true;
  if (!requester_->IsOpen()) ComposeScreen();
  mode_ = new_mode;
  std::vector<std::string> info;
  if (requester_kind == kind::kBuild)
    info = {Label(Text::kBuildInfo1), Label(Text::kBuildInfo2), Label(Text::kBuildInfo3)};
  if (requester_kind == kind::kBuildWithMedia)
    info = {Label(Text::kBuildMediaInfo1), Label(Text::kBuildMediaInfo2), Label(Text::kBuildMediaInfo3),
            Label(Text::kBuildMediaInfo4)};
  if (requester_kind == kind::kProject)
    info = {Label(Text::kProjectInfo1), Label(Text::kProjectInfo2), Label(Text::kProjectInfo3)};
  if (requester_kind == kind::kChooseTool)
    info = {Label(Text::kToolInfo1), Label(Text::kToolInfo2), Label(Text::kToolInfo3)};
  requester_->SetInfoLines(std::move(info));
  requester_->BuildDialog(requester_kind, 320, 240, folder);
  UpdateCaret();
}

void Editor::OpenQuestion(int32_t new_mode, std::string question) {
  requester_->SetQuestion(std::move(question));
  OpenRequester(new_mode, kind::kQuestion);
}

void Editor::CloseRequester() {
  requester_->CloseDialog();
  mode_ = mode::kEditing;
  view_->caret_hidden = false;
  view_->Menus().MarkChanged();
  view_->MarkRowsDirty();
  view_->MarkScrollBarChanged();
  help_changed_ = true;
  UpdateCaret();
}

void Editor::ShowMessage(std::string text) { requester_->SetMessage(std::move(text)); }

bool Editor::TypedName(std::string* name) {
  // A requester that stays open (its message shown) takes what is typed
  // next into the name.
  requester_->StoreField();
  *name = requester_->FieldText(1);
  if (name->empty()) ShowMessage(Label(Text::kNoName));
  return !name->empty();
}

int32_t Editor::ResultOf(int32_t button) const {
  if (button == 0) return 0;
  const bool confirm = button == 2;
  switch (mode_) {
    case mode::kLoad: if (confirm) return 5; break;
    case mode::kSaveAs: if (confirm) return 6; break;
    case mode::kConfirmOverwrite: if (confirm) return 7; break;
    case mode::kSaveBeforeNew: return confirm ? 3 : 4;
    case mode::kSaveBeforeProject: return confirm ? 41 : 42;
    case mode::kSaveBeforeLoad: return confirm ? 43 : 44;
    case mode::kSaveBeforeQuit: return confirm ? 45 : 46;
    case mode::kSaveBeforeRecent: return confirm ? 47 : 48;
    case mode::kBuild:
    case mode::kBuildWithMedia:
    case mode::kConfirmBuild:
    case mode::kConfirmBuildWithMedia:
    case mode::kFind:
    case mode::kReplace:
    case mode::kProject:
    case mode::kOpenExample:
      if (confirm) return mode_;
      break;
    case mode::kOpenAutosave: return confirm ? mode_ : result::kNextAutosave;
    case mode::kTools: if (button >= 2) return mode::kTools; break;
    case mode::kChooseTool: return confirm ? mode::kChooseTool : result::kCancelChooseTool;
    case mode::kQuit: if (confirm) return 2; break;
  }
  if (button == 3 && (mode_ == mode::kSaveAs || mode_ == mode::kBuild || mode_ == mode::kBuildWithMedia))
    return result::kMakeFolder;
  return 1;
}

bool Editor::RequestedPath(const std::string& name, std::string* path) {
  const std::string folder = requester_->List().Folder().empty() ? options_.app_folder : requester_->List().Folder();
  const std::vector<const FileListEntry*> named = requester_->List().Named(name);
  std::vector<std::string> twins;
  std::string found;
  // A name the folder lists is that entry, whatever characters it holds;
  // names match as they do in programs, without regard to case.
  if (name.find('/') == std::string::npos && (!named.empty() || name.find('\\') == std::string::npos)) {
    twins = NamesOf(named);
    found = PathInFolder(folder, named.empty() ? platform::SystemTextOf(name) : named.front()->file_name);
  } else {
    // Otherwise a typed path, in either kind of separator, found as programs
    // find their files.
    found = fs::path(platform::Paths().ResolveFrom(folder, name)).lexically_normal().string();
  }
  // A name the list does not hold (one of a folder listed in part, of a kind
  // it leaves out, a typed path) is found on the disk.
  const std::string typed = platform::SystemTextOf(name.substr(name.find_last_of("/\\") + 1));
  if (named.empty() && platform::EqualNoCase(NameOfPath(found), typed)) {
    const std::string in = FolderOfPath(found);
    if (Exists(PathInFolder(in, typed))) {
      found = PathInFolder(in, typed);
    } else {
      const std::vector<std::string> matches = platform::EntriesIgnoringCase(PathInFolder(in, ""), typed);
      for (const std::string& entry : matches) twins.push_back(platform::ProgramTextOf(entry));
      if (matches.size() == 1) found = PathInFolder(in, matches.front());
    }
  }
  if (twins.size() > 1) {
    ShowCaseTwins(name, twins);
    return false;
  }
  *path = found;
  return true;
}

void Editor::ShowCaseTwins(const std::string& name, const std::vector<std::string>& twins) {
  std::string listed;
  for (size_t i = 0; i < twins.size(); ++i) listed += (i == 0 ? "" : i + 1 == twins.size() ? " and " : ", ") + twins[i];
  ShowMessage(Label(Text::kNoFileNamed) + " " + name + "; " + listed + " " + Label(Text::kCaseTwins));
}

void Editor::RunResult(int32_t result) {
  const auto then_save = [this](std::function<void()> next) {
    CloseRequester();
    if (SaveCurrent()) {
      next();
    } else if (mode_ == mode::kSaveAs) {
      // An unnamed program is named first; what was asked follows the save.
      after_save_as_ = std::move(next);
    }
  };
  switch (result) {
    case 1:
      requester_->SetMessage({});
      requester_->ReleaseButtons();
      CloseRequester();
      break;
    case 2: EndKeepingChanges(quit_given_up_); break;
    case 3: then_save([this] { StartNewProgram(); }); break;
    case 4: CloseRequester(); StartNewProgram(); break;
    case 5: LoadConfirmed(); break;
    case 6: SaveAsConfirmed(); break;
    case 7:
      CloseRequester();
      if (IsFileReadOnly(pending_path_)) {
        SetStatus(Label(Text::kReadOnly));
      } else if (std::string cause; !SaveUnder(pending_path_, pending_header_, &cause)) {
        SetStatus(SaveFailedText(cause));
      } else {
        GoOnAfterSaveAs();
      }
      break;
    case mode::kBuild:
    case mode::kBuildWithMedia: BuildConfirmed(result == mode::kBuildWithMedia, false); break;
    case mode::kConfirmBuild:
    case mode::kConfirmBuildWithMedia: BuildConfirmed(result == mode::kConfirmBuildWithMedia, true); break;
    case mode::kFind: {
      requester_->CommitField();
      const std::string search = requester_->FieldText(1);
      SourceBuffer& b = Live().buffer;
      const int32_t line = b.FindAndReplace(search, nullptr);
      if (line < 0) {
        mode_ = mode::kMessage;
        ShowMessage(Label(Text::kNotFound));
        break;
      }
      CloseRequester();
      view_->SetTopLine(b.cursor_line < b.top_line || b.cursor_line > b.top_line + view_->LastRow()
                            ? std::max(b.cursor_line - 15, 0)
                            : b.top_line);
      RefreshAfterEdit(TextChange::kAllLines);
      break;
    }
    case mode::kReplace: {
      requester_->CommitField();
      const std::string search = requester_->FieldText(1);
      const std::string replacement = requester_->FieldText(2);
      SourceDocument& d = Live();
      int32_t replaced = -1;
      // The replace is one step of the program's history, however many
      // lines it changes.
      d.history.Record(d.buffer, EditKind::kOther, 0, d.buffer.LineCount() - 1, [&](SourceBuffer& b) {
        replaced = b.FindAndReplace(search, &replacement);
        return TextChange::kAllLines;
      });
      if (replaced < 0) {
        mode_ = mode::kMessage;
        ShowMessage(Label(Text::kNotFound));
        break;
      }
      CloseRequester();
      RefreshAfterEdit(TextChange::kAllLines);
      break;
    }
    case mode::kProject: ProjectConfirmed(); break;
    case 41: then_save([this] { OpenProjects(); }); break;
    case 42: CloseRequester(); OpenProjects(); break;
    case 43: then_save([this] { OpenRequester(mode::kLoad, kind::kLoad, Live().folder); }); break;
    case 44: CloseRequester(); OpenRequester(mode::kLoad, kind::kLoad, Live().folder); break;
    case 45: then_save([this] { AskBeforeQuit(); }); break;
    case 46:
      quit_given_up_[static_cast<size_t>(live_tab_ - 1)] = true;
      CloseRequester();
      AskBeforeQuit();
      break;
    case 47: then_save([this] { OpenRecent(pending_recent_); }); break;
    case 48: CloseRequester(); OpenRecent(pending_recent_); break;
    case mode::kOpenExample: CloseRequester(); OpenExample(pending_link_); break;
    case mode::kOpenAutosave: AnswerAutosave(AutosaveAnswer::kOpen); break;
    case result::kNextAutosave: AnswerAutosave(AutosaveAnswer::kGiveUp); break;
    case mode::kTools: CloseRequester(); OpenToolChooser(pending_tool_); break;
    case mode::kChooseTool: ToolChosen(); break;
    case result::kCancelChooseTool: CloseRequester(); OpenToolList(); break;
    case result::kMakeFolder: MakeFolderConfirmed(); break;
  }
}

// ---- The clipboard ----------------------------------------------------------------------------------

// A UTF-8 program's text goes through the clipboard with the characters
// Windows-1252 lacks as themselves, so that a line cut and pasted keeps
// them; a Windows-1252 program can hold none of them.
bool Editor::CopyToClipboard(std::string_view text) {
  const platform::TextEncoding utf8{true, false};
  if (Live().form.encoding.utf8) return clipboard_.SetUtf8Text(FileOfEditorText(text, utf8));
  return clipboard_.SetText(text);
}

std::optional<std::string> Editor::PastedText() {
  const platform::TextEncoding utf8{true, false};
  std::optional<std::string> text = clipboard_.GetUtf8Text();
  if (!text) return text;
  if (Live().form.encoding.utf8) return EditorTextOfFile(*text, utf8);
  // A character the file cannot hold is not changed into another in silence.
  std::string program_text;
  for (size_t pos = 0; pos < text->size();) {
    const char32_t c = platform::NextUtf8(*text, pos);
    const std::optional<char> byte = platform::UnicodeToCp1252(c);
    if (!byte) {
      SetStatus(Label(Text::kNotInCharacterSet) + " " + platform::CharacterName(c) + ".");
      return std::nullopt;
    }
    program_text += *byte;
  }
  return program_text;
}

// ---- Loading and saving ---------------------------------------------------------------------------

bool Editor::LoadPath(const std::string& path, std::string* error) {
  std::optional<SourceText> text = LoadSourceFile(path, error);
  if (!text) return false;
  SourceDocument& d = Live();
  LetGoOfKept(d);
  d.buffer.Replace(std::move(text->lines));
  d.header = text->header;
  d.form = text->form;
  d.buffer.modified = false;
  d.history.Clear(true);
  d.anchor = {};
  d.file_name = NameOfPath(path);
  d.folder = FolderOfPath(path);
  if (d.folder.empty()) d.folder = options_.app_folder;
  recent_.Add(d.file_name, d.folder);
  RebuildRecentItems();
  RestoreView();
  return true;
}

void Editor::LoadConfirmed() {
  std::string name;
  if (!TypedName(&name)) return;
  // An autosave opens as the unsaved changes of its program.
  if (IsAutosaveName(NameOfPath(name))) {
    std::string path;
    if (!RequestedPath(name, &path)) return;
    if (!Exists(path)) {
      ShowMessage(Label(Text::kLoadFailed));
      return;
    }
    CloseRequester();
    OpenKeptInto(live_tab_, KeptFileAt(path, options_.app_folder));
    return;
  }
  // A name is completed as a save completes it.
  name = WithProgramExtension(name);
  if (!IsSourceFileName(name)) {
    ShowMessage(Label(Text::kNotSourceFile));
    return;
  }
  std::string path, error;
  if (!RequestedPath(name, &path)) return;
  if (!LoadPath(path, &error)) {
    ShowMessage(Label(Text::kLoadFailed));
    return;
  }
  CloseRequester();
  SetStatus(Label(Text::kLoaded));
  OfferAutosave();
}

bool Editor::SaveUnder(const std::string& path, const SourceHeader& header, std::string* cause) {
  SourceDocument& d = Live();
  std::string error;
  if (!SaveSourceFile(path, d.buffer.lines, header, d.form, &error)) {
    if (cause) *cause = FileFailureCause(errno);
    return false;
  }
  d.header = header;
  d.file_name = NameOfPath(path);
  d.folder = FolderOfPath(path);
  d.buffer.modified = false;
  d.history.MarkSaved();
  LetGoOfKept(d);
  recent_.Add(d.file_name, d.folder);
  RebuildRecentItems();
  SetStatus(Label(Text::kSaved));
  return true;
}

void Editor::SaveAsConfirmed() {
  std::string name;
  if (!TypedName(&name)) return;
  name = WithProgramExtension(name);
  if (!RequestedPath(name, &pending_path_)) return;
  pending_header_ = {requester_->FieldText(2), requester_->FieldText(3), requester_->FieldText(4)};
  if (Exists(pending_path_)) {
    CloseRequester();
    // The file that would be replaced, which may be spelled otherwise.
    OpenQuestion(mode::kConfirmOverwrite,
                 platform::ProgramTextOf(NameOfPath(pending_path_)) + " " + Label(Text::kFileExists));
    return;
  }
  if (std::string cause; !SaveUnder(pending_path_, pending_header_, &cause)) {
    ShowMessage(SaveFailedText(cause));
    return;
  }
  CloseRequester();
  SetStatus(Label(Text::kSaved));
  GoOnAfterSaveAs();
}

void Editor::GoOnAfterSaveAs() {
  if (std::function<void()> next = std::exchange(after_save_as_, nullptr)) next();
}

std::string Editor::HelpFolder() const { return temp_.File("help"); }

bool Editor::IsHelpExample(const SourceDocument& d) const {
  const std::string folder = HelpFolder();
  return d.folder.compare(0, folder.size(), folder) == 0 &&
         (d.folder.size() == folder.size() || d.folder[folder.size()] == '/');
}

std::string Editor::WriteFolder(const SourceDocument& d) const {
  return IsHelpExample(d) ? options_.app_folder : d.folder;
}

bool Editor::SaveCurrent() {
  SourceDocument& d = Live();
  // An example goes where the user chooses; its own folder goes at exit.
  if (d.file_name.empty() || IsHelpExample(d)) {
    RunCommand(Command::kSaveAs);
    return false;
  }
  if (IsFileReadOnly(d.Path())) {
    SetStatus(Label(Text::kReadOnly));
    return false;
  }
  if (std::string cause; !SaveUnder(d.Path(), d.header, &cause)) {
    SetStatus(SaveFailedText(cause));
    return false;
  }
  return true;
}

void Editor::StartNewProgram() {
  SourceDocument& d = Live();
  LetGoOfKept(d);
  d.buffer.Clear();
  d.buffer.modified = false;
  d.header = {};
  d.form = kNewSourceForm;
  d.file_name.clear();
  d.history.Clear(true);
  d.anchor = {};
  ShowFileStatus();
  RestoreView();
}

// ---- Building -----------------------------------------------------------------------------------

std::string Editor::WorkFile() const { return temp_.File("workfile.tmp"); }

std::string Editor::ProjectArea() const {
  std::string area = options_.app_folder;
  if (area.empty() || area.back() != '/') area += "/";
  return area + "MYPROJ";
}

bool Editor::BuildExecutableNow(const std::string& output, bool with_media) {
  KeepBeforeWaiting();
  SourceDocument& d = Live();
  const std::string work = WorkFile();
  std::string error;
  if (!SaveSourceFile(work, d.buffer.lines, {}, d.form, &error)) {
    SetStatus(Label(Text::kBuildFailed) + " " + error);
    return false;
  }
  const std::string name = d.file_name.empty() ? Label(Text::kUnnamed) : d.file_name;
  BuildServices services;
  services.stub_path = options_.stub_path;
  services.temp_folder = temp_.Path() + "/";
  services.progress = progress_.get();
  services.escape_pressed = [this] { return window_.KeyHeld(platform::key::kEscape); };
  services.stop_requested = [] { return platform::StopSignal() != 0; };
  const std::string include_folder = d.folder;
  services.compile = [this, include_folder](const std::string& source, const std::string& program, std::string* err,
                                            std::vector<std::string>* included) {
    CompileOptions compile_options;
    compile_options.include_folder = include_folder;
    compile_options.progress = [this](int percent) { progress_->DrawProgressBox(percent); };
    CompileResult result = CompileFile(source, program, compile_options);
    if (!result.ok && err) *err = result.error ? FormatCompileError(*result.error) : "the program did not compile";
    if (result.ok && included) *included = std::move(result.included);
    return result.ok;
  };
  progress_->DrawProgressBox(0);
  BuildRequest request{output, work, with_media ? d.folder : std::string()};
  // The game is known by the program's name, and never takes the place of
  // the program's own file.
  request.program_name = d.file_name;
  if (!d.file_name.empty()) request.program_file = d.Path();
  const BuildResult result = BuildExecutable(request, services);
  if (!result.ok) {
    const std::string report = NameWorkFile(result.error, work, name);
    SetStatus(Label(Text::kBuildFailed) + " " + FirstLine(report));
    GoToErrorLine(report, name);
    return false;
  }
  SetStatus(Label(Text::kBuilt));
  return true;
}

void Editor::BuildConfirmed(bool with_media, bool overwrite_confirmed) {
  if (!overwrite_confirmed) {
    std::string name;
    if (!TypedName(&name) || !RequestedPath(name, &pending_path_)) return;
    if (Exists(pending_path_)) {
      CloseRequester();
      OpenQuestion(with_media ? mode::kConfirmBuildWithMedia : mode::kConfirmBuild,
                   name + " " + Label(Text::kFileExists));
      return;
    }
  }
  CloseRequester();
  if (overwrite_confirmed && IsFileReadOnly(pending_path_)) {
    SetStatus(Label(Text::kReadOnly));
    return;
  }
  BuildExecutableNow(pending_path_, with_media);
}

// ---- Projects, recent files, examples ---------------------------------------------------------------

void Editor::ProjectConfirmed() {
  std::string name;
  if (!TypedName(&name)) return;
  const int32_t check = requester_->List().CheckProjectName(name);
  if (check == 2) {
    ShowMessage(Label(Text::kProjectNameIsFile));
    return;
  }
  if (check == 9) {
    ShowMessage(Label(Text::kProjectFailed));
    return;
  }
  if (const std::vector<const FileListEntry*> named = requester_->List().Named(name); named.size() > 1) {
    ShowCaseTwins(name, NamesOf(named));
    return;
  }
  const std::string folder = requester_->List().PathOf(name);
  CloseRequester();
  const std::string program = folder + "/" + platform::SystemTextOf(name) + ".kqa";
  std::string error;
  if (Exists(program)) {
    if (!LoadPath(program, &error)) {
      SetStatus(Label(Text::kLoadFailed));
      return;
    }
    SetStatus(Label(Text::kProjectOpened));
    return;
  }
  StartNewProgram();
  Live().folder = folder;
  if (!SaveUnder(program, {})) {
    SetStatus(Label(Text::kProjectFailed));
    return;
  }
  std::string shown = name;
  if (!shown.empty() && shown[0] >= 'a' && shown[0] <= 'z') shown[0] = static_cast<char>(shown[0] - 32);
  SetStatus(Label(Text::kProjectCreated) + " " + shown + " " + Label(Text::kProjectCreatedEnd));
}

void Editor::OpenProjects() {
  std::error_code ec;
  fs::create_directories(ProjectArea(), ec);
  OpenRequester(mode::kProject, kind::kProject, ProjectArea());
}

void Editor::OpenRecent(int32_t index) {
  const auto& entries = recent_.Entries();
  if (index < 0 || index >= static_cast<int32_t>(entries.size())) return;
  const RecentFile file = entries[static_cast<size_t>(index)];
  example_folder_ = file.folder;
  std::string error;
  if (!LoadPath(file.folder + "/" + file.name, &error)) {
    SetStatus(Label(Text::kLoadFailed));
    return;
  }
  SetStatus(Label(Text::kLoaded));
  OfferAutosave();
}

void Editor::OpenExample(const std::string& link) {
  const HelpFile* file = FindHelpFile(link);
  if (!file) {
    SetStatus(Label(Text::kHelpMissing));
    return;
  }
  if (documents_[1].buffer.modified) {
    SetStatus(Label(Text::kSource2Busy));
    return;
  }
  // The examples live in the editor's private folder, so opening one leaves
  // the user's folders as they were.
  const std::string help_folder = HelpFolder();
  std::string error;
  if (!help_files_written_ && !WriteHelpFiles(help_folder, &error)) {
    SetStatus(error);
    return;
  }
  help_files_written_ = true;
  const std::string path = help_folder + "/" + std::string(file->name);
  LeaveHelpView();
  SwitchSourceTab(2);
  example_folder_ = FolderOfPath(path);
  if (!LoadPath(path, &error)) {
    SetStatus(Label(Text::kLoadFailed));
    return;
  }
  ShowFileStatus();
}

// ---- Tool programs and new folders ------------------------------------------------------------------

void Editor::OpenToolList() { OpenRequester(mode::kTools, kind::kTools, options_.app_folder); }

void Editor::OpenToolChooser(int32_t slot) {
  pending_tool_ = slot;
  const std::string& path = requester_->ToolPath(slot);
  OpenRequester(mode::kChooseTool, kind::kChooseTool, path.empty() ? options_.app_folder : FolderOfPath(path));
  requester_->FieldText(1) = NameOfPath(path);
  requester_->ActivateField(1);
}

void Editor::ToolChosen() {
  std::string name;
  std::string path;
  if (!TypedName(&name) || !RequestedPath(name, &path)) return;
  if (!Exists(path)) {
    ShowMessage(Label(Text::kFileMissing));
    return;
  }
  if (!IsExecutableFile(path)) {
    ShowMessage(Label(Text::kNotExecutable));
    return;
  }
  requester_->SetToolPath(pending_tool_, path);
  CloseRequester();
  OpenToolList();
}

void Editor::MakeFolderConfirmed() {
  requester_->ReleaseButtons();
  if (std::string name; TypedName(&name)) {
    FileBrowser& list = requester_->List();
    if (list.MakeUniqueFolder(name)) {
      list.RefreshFileList();
      list.ResetList();
    } else {
      ShowMessage(Label(Text::kFolderFailed));
    }
  }
  requester_->ActivateField(1);
}

// ---- Running and the help -------------------------------------------------------------------------

void Editor::RunProgram() {
  SourceDocument& d = Live();
  if (!options_.run_program) return;
  KeepBeforeWaiting();
  const std::string name = d.file_name.empty() ? std::string(kUnnamedFileName) : d.file_name;
  const std::string work = temp_.File(name);
  std::string error;
  if (!SaveSourceFile(work, d.buffer.lines, d.header, d.form, &error)) {
    SetStatus(Label(Text::kRunFailed) + " " + error);
    return;
  }
  const platform::WindowRect placement = window_.Placement();
  display_.SelectCursorImage(5);
  const std::string shown_path = d.file_name.empty() ? name : d.Path();
  const RunOutcome outcome =
      options_.run_program({work, d.folder.empty() ? options_.app_folder : d.folder, name, shown_path});
  // The program may have taken the whole screen and hidden the pointer.
  display_.Presenter().SetFullScreen(false);
  window_.SetPlacement(placement);
  window_.SetTitle("Zentrovex");
  window_.ShowCursor(true);
  view_->RestorePage();
  RestoreView();
  if (outcome.error.empty()) {
    SetStatus(Label(Text::kRunFinished));
  } else {
    // A program that ran and then stopped on an error did run: the error
    // and its line say where it ended.
    const Text what = outcome.ran ? Text::kRunEndedOnError : Text::kRunFailed;
    std::string report = NameWorkFile(outcome.error, shown_path, name);
    if (report.compare(0, kProgramPrefix.size(), kProgramPrefix) == 0) report.erase(0, kProgramPrefix.size());
    SetStatus(Label(what) + " " + FirstLine(report));
    GoToErrorLine(report, name);
  }
}

void Editor::GoToErrorLine(const std::string& report, const std::string& name) {
  SourceDocument& d = Live();
  if (const int32_t line = ErrorLine(report, name, d.buffer.LineCount())) {
    PlaceCursor(d.buffer, {line - 1, 0}, false, d.anchor);
    RefreshAfterEdit(TextChange::kAllLines);
  }
}

void Editor::OpenHelp() {
  view_->Menus().SetOpenMenu(0);
  help_->Activate();
  if (!help_->OpenPage(HelpViewer::kStartPage)) {
    help_->Deactivate();
    SetStatus(Label(Text::kHelpMissing));
    return;
  }
  help_view_ = true;
  help_changed_ = true;
  help_->SetScrollPosition(0);
  view_->SetStatus(help_->PageName(), 0);
  UpdateCaret();
}

void Editor::RetraceHelp(bool back) {
  if (!help_view_ || !(back ? help_->GoBack() : help_->GoForward())) return;
  help_changed_ = true;
  view_->SetStatus(help_->PageName(), 0);
}

void Editor::LeaveHelpView() {
  if (!help_view_) return;
  help_->Deactivate();
  help_view_ = false;
  help_menus_.SetOpenMenu(0);
  view_->RestorePage();
  ShowFileStatus();
  RestoreView();
}

void Editor::AfterSavePrompt(int32_t ask_mode, const std::function<void()>& then) {
  if (Live().buffer.modified) {
    OpenQuestion(ask_mode, Label(Text::kAskSaveChanges));
    return;
  }
  then();
}

void Editor::AskBeforeQuit() {
  for (const int32_t tab : {live_tab_, 3 - live_tab_}) {
    const size_t index = static_cast<size_t>(tab - 1);
    if (!documents_[index].buffer.modified || quit_given_up_[index]) continue;
    // The program asked about is the one on the screen, its name and its
    // mark of changes in the status line.
    LeaveHelpView();
    if (tab != live_tab_) {
      SwitchSourceTab(tab);
    } else {
      ShowFileStatus();
    }
    OpenQuestion(mode::kSaveBeforeQuit, Label(Text::kAskSaveChanges));
    return;
  }
  OpenQuestion(mode::kQuit, Label(Text::kAskQuit));
}

// ---- Commands -----------------------------------------------------------------------------------

void Editor::RunCommand(Command command, int32_t argument) {
  if (!Ready()) return;
  SourceDocument& d = Live();
  SourceBuffer& b = d.buffer;
  switch (command) {
    case Command::kNone: break;
    case Command::kNew: AfterSavePrompt(mode::kSaveBeforeNew, [this] { StartNewProgram(); }); break;
    case Command::kOpen:
      AfterSavePrompt(mode::kSaveBeforeLoad, [this] { OpenRequester(mode::kLoad, kind::kLoad, Live().folder); });
      break;
    case Command::kSave: SaveCurrent(); break;
    case Command::kSaveAs:
      after_save_as_ = nullptr;
      OpenRequester(mode::kSaveAs, kind::kSave, WriteFolder(d));
      requester_->FieldText(1) = d.file_name;
      requester_->ActivateField(1);
      requester_->FieldText(2) = d.header.title;
      requester_->FieldText(3) = d.header.author;
      requester_->FieldText(4) = d.header.date;
      break;
    case Command::kProject:
      AfterSavePrompt(mode::kSaveBeforeProject, [this] { OpenProjects(); });
      break;
    case Command::kBuild: OpenRequester(mode::kBuild, kind::kBuild, WriteFolder(d)); break;
    case Command::kBuildWithMedia:
      OpenRequester(mode::kBuildWithMedia, kind::kBuildWithMedia, WriteFolder(d));
      break;
    case Command::kExit:
      quit_given_up_ = {};
      AskBeforeQuit();
      break;
    case Command::kRecentFile:
      pending_recent_ = argument;
      AfterSavePrompt(mode::kSaveBeforeRecent, [this] { OpenRecent(pending_recent_); });
      break;
    case Command::kUndo:
    case Command::kRedo: {
      const bool undo = command == Command::kUndo;
      if (undo ? d.history.Undo(b) : d.history.Redo(b)) {
        SetStatus(Label(undo ? Text::kUndone : Text::kRedone));
        RefreshAfterEdit(TextChange::kAllLines);
      } else {
        SetStatus(Label(undo ? Text::kNothingToUndo : Text::kNothingToRedo));
      }
      break;
    }
    case Command::kCut:
    case Command::kCopy:
      if (b.HasSelection() && CopyToClipboard(SelectedText(b)) && command == Command::kCut)
        Edit(EditKind::kOther, DeleteSelection);
      break;
    case Command::kPaste:
      if (std::optional<std::string> text = PastedText())
        Edit(EditKind::kOther, [&text](SourceBuffer& buffer) { return InsertText(buffer, *text); });
      break;
    case Command::kSelectAll:
      SelectAll(b, d.anchor);
      RefreshAfterEdit(TextChange::kAllLines);
      break;
    case Command::kFind:
      OpenRequester(mode::kFind, kind::kFind);
      break;
    case Command::kFindNext:
      if (b.last_search.empty()) {
        RunCommand(Command::kFind);
      } else if (b.FindAndReplace(b.last_search, nullptr) < 0) {
        SetStatus(Label(Text::kNotFound));
      } else {
        view_->DrawAllRows();
        RefreshAfterEdit(TextChange::kAllLines);
      }
      break;
    case Command::kReplace: OpenRequester(mode::kReplace, kind::kReplace); break;
    case Command::kRun: RunProgram(); break;
    case Command::kSource1: SwitchSourceTab(1); break;
    case Command::kSource2: SwitchSourceTab(2); break;
    case Command::kHelpIndex: OpenHelp(); break;
    case Command::kHelpClose: LeaveHelpView(); break;
    case Command::kHelpBack: RetraceHelp(true); break;
    case Command::kHelpForward: RetraceHelp(false); break;
    case Command::kTools: OpenToolList(); break;
  }
}

}  // namespace zv::editor
