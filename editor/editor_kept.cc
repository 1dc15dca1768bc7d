// Kept work: what the editor's ends keep of unsaved programs, and how later
// starts give it back.
#include <algorithm>

#include "editor/autosave.h"
#include "editor/editor.h"
#include "editor/language_texts.h"
#include "platform/text/system_text.h"

namespace zv::editor {
namespace {

bool EmptyAndUnnamed(const SourceDocument& d) {
  return d.file_name.empty() && d.buffer.lines.size() == 1 && d.buffer.lines.front().empty();
}

}  // namespace

void Editor::NoteChanges() {
  for (size_t tab = 0; tab < documents_.size(); ++tab) {
    SourceDocument& d = documents_[tab];
    const ChangedLines changed = d.history.TakeChangedLines();
    if (!d.buffer.modified) {
      kept_.Forget(tab);
      continue;
    }
    const std::string folder = WriteFolder(d);
    const KeptPlace place{folder.empty() ? options_.app_folder : folder,
                          d.file_name.empty() ? kUnnamedFileName : d.file_name, d.file_name.empty()};
    kept_.Note(tab, place, changed, d.buffer.lines, d.header, d.form, d.kept_from, NowMs());
  }
}

void Editor::ShowKeepNews() {
  for (const KeepNews& news : kept_.TakeNews()) {
    const std::string changes = Label(Text::kChangesOf) + " " + platform::ProgramTextOf(news.name) + " ";
    if (!news.kept)
      SetStatus(changes + Label(Text::kNotKept) + " " + news.cause + ".");
    else if (news.where.empty())
      SetStatus(changes + Label(Text::kKeptAgain));
    else
      SetStatus(changes + Label(Text::kAreKeptIn) + " " + platform::ProgramTextOf(news.where) + ".");
  }
}

uint32_t Editor::NowMs() {
  static platform::SystemClock system_clock;
  return (options_.clock ? *options_.clock : system_clock).NowMs();
}

void Editor::KeepBeforeWaiting() {
  NoteChanges();
  temp_.KeepAfterKill(!kept_.KeepNow());
}

void Editor::EndKeepingChanges(std::array<bool, 2> given_up) {
  NoteChanges();
  for (size_t tab = 0; tab < documents_.size(); ++tab) {
    if (!given_up[tab]) continue;
    kept_.Forget(tab);
    LetGoOfKept(documents_[tab]);
  }
  kept_.Keep();
  quit_ = true;
}

void Editor::LetGoOfKept(SourceDocument& d) {
  if (d.kept_from) RemoveKept(*d.kept_from);
  d.kept_from.reset();
}

bool Editor::IsOpen(const KeptFile& kept) const {
  return kept_.Holds(kept.path) ||
         std::any_of(documents_.begin(), documents_.end(),
                     [&kept](const SourceDocument& d) { return d.kept_from && d.kept_from->path == kept.path; });
}

void Editor::AddOffers(const std::vector<KeptFile>& found, bool first) {
  std::vector<KeptFile> added;
  for (const KeptFile& kept : found) {
    const auto same = [&kept](const KeptFile& other) { return other.path == kept.path; };
    if (std::none_of(offers_.begin(), offers_.end(), same) && std::none_of(added.begin(), added.end(), same))
      added.push_back(kept);
  }
  offers_.insert(first ? offers_.begin() : offers_.end(), added.begin(), added.end());
}

void Editor::OfferAutosave() {
  const SourceDocument& d = Live();
  if (d.file_name.empty() || IsHelpExample(d)) return;
  AddOffers(UnsavedAutosaves(d.folder, d.file_name), true);
}

void Editor::OfferKeptPrograms() { AddOffers(ListedKeptFiles(), false); }

int32_t Editor::TabFor(const KeptFile& kept) const {
  const int32_t order[] = {live_tab_, 3 - live_tab_};
  for (const int32_t tab : order) {
    const SourceDocument& d = documents_[static_cast<size_t>(tab - 1)];
    if (kept.SameProgram(d.folder, d.file_name) && !d.buffer.modified) return tab;
  }
  for (const bool empty_only : {true, false})
    for (const int32_t tab : order) {
      const SourceDocument& d = documents_[static_cast<size_t>(tab - 1)];
      if (!d.buffer.modified && (!empty_only || EmptyAndUnnamed(d))) return tab;
    }
  return 0;
}

void Editor::OfferNextAutosave() {
  while (!offers_.empty()) {
    // Gone, another file now, or open already (loaded by its name).
    const std::optional<KeptFile> now = OwnKeptFile(offers_.front());
    if (!now || now->inode != offers_.front().inode || now->device != offers_.front().device || IsOpen(*now)) {
      offers_.erase(offers_.begin());
      continue;
    }
    // Another running editor's work is its own: left to it, and said.
    if (HeldByAnotherEditor(now->path)) {
      SetStatus(platform::ProgramTextOf(now->path.substr(now->path.rfind('/') + 1)) + " " + Label(Text::kKeptByAnother));
      offers_.erase(offers_.begin());
      continue;
    }
    // With both tabs holding unsaved changes it waits for one to be saved
    // or given up.
    if (TabFor(*now) == 0) return;
    const std::string& path = now->path;
    SetStatus(Label(Text::kKeptIn) + " " + platform::ProgramTextOf(path.substr(0, path.rfind('/'))));
    OpenQuestion(mode::kOpenAutosave,
                 platform::ProgramTextOf(path.substr(path.rfind('/') + 1)) + " " + Label(Text::kAskOpenAutosave));
    return;
  }
}

void Editor::AnswerAutosave(AutosaveAnswer answer) {
  CloseRequester();
  ShowFileStatus();
  if (offers_.empty()) return;
  const KeptFile kept = offers_.front();
  offers_.erase(offers_.begin());
  if (answer == AutosaveAnswer::kGiveUp && !RemoveKept(kept))
    SetStatus(platform::ProgramTextOf(kept.path.substr(kept.path.rfind('/') + 1)) + " " + Label(Text::kKeptByAnother));
  if (answer != AutosaveAnswer::kOpen) return;
  if (const int32_t tab = TabFor(kept)) OpenKeptInto(tab, kept);
}

void Editor::PutOffOffer() {
  CloseRequester();
  ShowFileStatus();
}

void Editor::OpenKeptInto(int32_t tab, const KeptFile& kept) {
  std::string error;
  std::optional<SourceText> text = LoadSourceFile(kept.path, &error);
  if (!text) {
    SetStatus(Label(Text::kLoadFailed) + " " + error);
    return;
  }
  LeaveHelpView();
  if (tab != live_tab_) SwitchSourceTab(tab);
  SourceDocument& d = Live();
  LetGoOfKept(d);
  // The kept text takes the place of the program's, under the program's
  // own name, as changes still to be saved; another program's comes with
  // its name, folder, header and file form.
  if (!kept.SameProgram(d.folder, d.file_name)) {
    d.file_name = kept.name;
    d.folder = kept.folder;
    d.header = text->header;
    d.form = text->form;
  }
  d.buffer.Replace(std::move(text->lines));
  d.buffer.modified = true;
  d.history.Clear(false);
  d.anchor = {};
  d.kept_from = OwnKeptFile(kept);
  RestoreView();
  ShowFileStatus();
}

}  // namespace zv::editor
