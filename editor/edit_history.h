#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "editor/source_buffer.h"
#include "editor/text_editing.h"

namespace zv::editor {

// The lines of a program that changed: from `first`, `removed` lines of
// the text as it stood gave way to `added` lines; or the whole text did.
struct ChangedLines {
  bool any = false;
  bool all = false;
  int32_t first = 0;
  int32_t removed = 0;
  int32_t added = 0;
  // Adds a later change, given in the numbering of the lines after this one.
  void Add(int32_t change_first, int32_t change_removed, int32_t change_added);
};

// What an edit does, for the steps of the history: characters typed (or
// deleted) one after the other within a line make one step, so that a word
// typed is undone whole; anything else is a step of its own.
enum class EditKind { kTyping, kDeleting, kOther };

// Every change made to a program's lines, in order: undo takes the changes
// back one step at a time, redo brings them again, and a change made after
// an undo takes the place of the steps undone. A step keeps only the lines
// it replaced and the lines that took their place, with the cursor before
// and after it. The history knows the step at which the text was last
// saved, so that the modified flag is clear exactly while the text is the
// saved one.
class EditHistory {
 public:
  using Edit = std::function<TextChange(SourceBuffer&)>;

  // Runs `edit`, which may change, add or remove lines from `first` to
  // `last` and no others, and keeps what it changed as a step.
  TextChange Record(SourceBuffer& buffer, EditKind kind, int32_t first, int32_t last, const Edit& edit);
  // The same for an edit at the cursor or of the selection (text_editing.h),
  // which changes their lines and the one above and below them at most.
  TextChange RecordAtCursor(SourceBuffer& buffer, EditKind kind, const Edit& edit);

  // False when there is no step to take back or bring again.
  bool Undo(SourceBuffer& buffer);
  bool Redo(SourceBuffer& buffer);

  // A program begins: no steps; `saved` says whether its text is its
  // file's.
  void Clear(bool saved);
  // The text as it stands was saved.
  void MarkSaved() { saved_at_ = static_cast<int64_t>(position_); }
  // The lines changed since the last call (a new program changes all), so
  // that whoever follows the text (keeping) copies those alone. Every
  // change of a program's lines goes through the history.
  ChangedLines TakeChangedLines() { return std::exchange(changed_, {}); }

  // The most text the steps hold together: the oldest steps go beyond it.
  static constexpr size_t kMostBytes = size_t{64} << 20;

 private:
  struct Step {
    EditKind kind = EditKind::kOther;
    int32_t first = 0;                // the first line changed
    std::vector<std::string> before;  // the lines there before the change
    std::vector<std::string> after;   // and after it
    TextPosition cursor_before, cursor_after;
    size_t Bytes() const;
  };
  void Add(Step step);
  void Apply(SourceBuffer& buffer, const Step& step, bool forwards);

  std::vector<Step> steps_;
  size_t position_ = 0;     // steps before it are done, steps from it undone
  int64_t saved_at_ = 0;    // the position of the saved text; -1: none
  size_t bytes_ = 0;
  ChangedLines changed_{true, true};
};

}  // namespace zv::editor
