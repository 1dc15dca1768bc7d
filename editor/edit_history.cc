#include "editor/edit_history.h"

#include <algorithm>
#include <utility>

namespace zv::editor {
namespace {

using Lines = std::vector<std::string>;

Lines LinesBetween(const SourceBuffer& buffer, int32_t first, int32_t last) {
  return Lines(buffer.lines.begin() + first, buffer.lines.begin() + last + 1);
}

}  // namespace

void ChangedLines::Add(int32_t change_first, int32_t change_removed, int32_t change_added) {
  if (all) return;
  if (!any) {
    *this = {true, false, change_first, change_removed, change_added};
    return;
  }
  // The two changes' lines, in the numbering between them; lines past them
  // stood `added - removed` places earlier before the first.
  const int32_t low = std::min(first, change_first);
  const int32_t high = std::max(first + added, change_first + change_removed);
  const int32_t old_high = high - (added - removed);
  first = low;
  removed = old_high - low;
  added = high + (change_added - change_removed) - low;
}

size_t EditHistory::Step::Bytes() const {
  size_t bytes = sizeof(Step);
  for (const Lines* lines : {&before, &after})
    for (const std::string& line : *lines) bytes += line.size() + sizeof(std::string);
  return bytes;
}

TextChange EditHistory::Record(SourceBuffer& buffer, EditKind kind, int32_t first, int32_t last, const Edit& edit) {
  buffer.ClampCursor();
  const int32_t count = buffer.LineCount();
  first = std::clamp(first, 0, count - 1);
  last = std::clamp(last, first, count - 1);
  Step step;
  step.kind = kind;
  step.first = first;
  step.before = LinesBetween(buffer, first, last);
  step.cursor_before = {buffer.cursor_line, buffer.cursor_column};
  const TextChange change = edit(buffer);
  if (buffer.lines.empty()) buffer.lines.emplace_back();
  const int32_t new_last = last + buffer.LineCount() - count;
  step.after = LinesBetween(buffer, first, new_last);
  step.cursor_after = {buffer.cursor_line, buffer.cursor_column};
  // Only the lines that differ are kept.
  size_t front = 0;
  while (front < step.before.size() && front < step.after.size() && step.before[front] == step.after[front]) ++front;
  size_t back = 0;
  while (back < step.before.size() - front && back < step.after.size() - front &&
         step.before[step.before.size() - 1 - back] == step.after[step.after.size() - 1 - back])
    ++back;
  step.before = Lines(step.before.begin() + static_cast<std::ptrdiff_t>(front), step.before.end() - static_cast<std::ptrdiff_t>(back));
  step.after = Lines(step.after.begin() + static_cast<std::ptrdiff_t>(front), step.after.end() - static_cast<std::ptrdiff_t>(back));
  step.first += static_cast<int32_t>(front);
  if (step.before.empty() && step.after.empty()) return change;
  changed_.Add(step.first, static_cast<int32_t>(step.before.size()), static_cast<int32_t>(step.after.size()));
  Add(std::move(step));
  return change;
}

TextChange EditHistory::RecordAtCursor(SourceBuffer& buffer, EditKind kind, const Edit& edit) {
  buffer.ClampCursor();
  int32_t low = buffer.cursor_line, high = buffer.cursor_line;
  if (buffer.HasSelection()) {
    const Selection& s = buffer.selection;
    low = std::min({low, s.start_line, s.end_line});
    high = std::max({high, s.start_line, s.end_line});
  }
  return Record(buffer, kind, low - 1, high + 1, edit);
}

void EditHistory::Add(Step step) {
  // What was undone is replaced by the new change.
  while (steps_.size() > position_) {
    bytes_ -= steps_.back().Bytes();
    steps_.pop_back();
  }
  if (saved_at_ > static_cast<int64_t>(position_)) saved_at_ = -1;
  // Typing on in the line where the last step of typing left off.
  if (!steps_.empty() && saved_at_ != static_cast<int64_t>(position_)) {
    Step& last = steps_.back();
    const bool one_line = last.before.size() == 1 && last.after.size() == 1 && step.before.size() == 1 &&
                          step.after.size() == 1;
    if (step.kind != EditKind::kOther && step.kind == last.kind && one_line && step.first == last.first &&
        step.cursor_before == last.cursor_after) {
      bytes_ -= last.Bytes();
      last.after = std::move(step.after);
      last.cursor_after = step.cursor_after;
      bytes_ += last.Bytes();
      return;
    }
  }
  bytes_ += step.Bytes();
  steps_.push_back(std::move(step));
  position_ = steps_.size();
  // The oldest steps go first; the newest always stays.
  size_t dropped = 0;
  while (bytes_ > kMostBytes && steps_.size() - dropped > 1) bytes_ -= steps_[dropped++].Bytes();
  if (dropped > 0) {
    steps_.erase(steps_.begin(), steps_.begin() + static_cast<std::ptrdiff_t>(dropped));
    position_ -= dropped;
    saved_at_ = saved_at_ >= static_cast<int64_t>(dropped) ? saved_at_ - static_cast<int64_t>(dropped) : -1;
  }
}

void EditHistory::Apply(SourceBuffer& buffer, const Step& step, bool forwards) {
  const Lines& out = forwards ? step.before : step.after;
  const Lines& in = forwards ? step.after : step.before;
  const auto first = static_cast<size_t>(std::clamp(step.first, 0, buffer.LineCount()));
  const size_t end = std::min(first + out.size(), buffer.lines.size());
  buffer.lines.erase(buffer.lines.begin() + static_cast<std::ptrdiff_t>(first),
                     buffer.lines.begin() + static_cast<std::ptrdiff_t>(end));
  buffer.lines.insert(buffer.lines.begin() + static_cast<std::ptrdiff_t>(first), in.begin(), in.end());
  changed_.Add(static_cast<int32_t>(first), static_cast<int32_t>(end - first), static_cast<int32_t>(in.size()));
  if (buffer.lines.empty()) {
    buffer.lines.emplace_back();
    changed_.all = true;
  }
  const TextPosition cursor = forwards ? step.cursor_after : step.cursor_before;
  buffer.ClearSelection();
  buffer.cursor_line = cursor.line;
  buffer.cursor_column = cursor.column;
  buffer.ClampCursor();
}

bool EditHistory::Undo(SourceBuffer& buffer) {
  if (position_ == 0) return false;
  Apply(buffer, steps_[--position_], false);
  buffer.modified = saved_at_ != static_cast<int64_t>(position_);
  return true;
}

bool EditHistory::Redo(SourceBuffer& buffer) {
  if (position_ == steps_.size()) return false;
  Apply(buffer, steps_[position_++], true);
  buffer.modified = saved_at_ != static_cast<int64_t>(position_);
  return true;
}

void EditHistory::Clear(bool saved) {
  changed_ = {true, true};
  steps_.clear();
  position_ = 0;
  bytes_ = 0;
  saved_at_ = saved ? 0 : -1;
}

}  // namespace zv::editor
