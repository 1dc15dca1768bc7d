#include "editor/file_browser.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <ctime>

#include "editor/editor_colours.h"
#include "editor/language_texts.h"
#include "editor/source_buffer.h"
#include "editor/source_file.h"
#include "platform/text/system_text.h"

namespace zv::editor {
namespace {

constexpr int32_t kListLeft = 16;
constexpr int32_t kListRight = 388;
constexpr int32_t kListTop = 45;
constexpr int32_t kListBottom = 157;
constexpr int32_t kRowHeight = 16;
constexpr int32_t kBarX = 391;
constexpr int32_t kBarWidth = 14;
constexpr int32_t kBarHeight = 112;
// However long the list, its thumb stays this tall, to be seen and taken.
constexpr int32_t kMinThumb = 8;

// A name that is exactly one component of a path.
bool IsPlainName(const std::string& name) {
  return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos;
}

std::string JoinPath(const std::string& folder, const std::string& name) {
  if (folder.empty()) return name;
  return folder.back() == '/' ? folder + name : folder + "/" + name;
}

// "Mmm dd hh:mm:ss " of the last change.
std::string DateText(time_t when) {
  char text[32] = {};
  struct tm local {};
  if (!localtime_r(&when, &local) || !asctime_r(&local, text)) return {};
  return std::string(text).substr(4, 16);
}

int32_t GroupOf(EntryType type) {
  switch (type) {
    case EntryType::kFolder: return 0;
    case EntryType::kSource: return 1;
    case EntryType::kExecutable: return 2;
    default: return 3;
  }
}

bool IsFolder(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

}  // namespace

int32_t DrawTextClipped(Surface& target, const GlyphFont& font, std::string_view text, bool highlight, int32_t x,
                        int32_t y, int32_t width) {
  size_t start = 0;
  const int32_t full = font.TextWidth(text);
  while (start < text.size() && font.TextWidth(text.substr(start)) > width) ++start;
  const std::string_view shown = text.substr(start);
  font.DrawText(target, shown, 2, x, y, highlight, x + font.TextWidth(shown));
  return full - font.TextWidth(shown);
}

std::string FileBrowser::PathOf(const std::string& name) const { return JoinPath(folder_, FileNameOf(name)); }

std::string FileBrowser::PathOf(const FileListEntry& entry) const { return JoinPath(folder_, entry.file_name); }

bool FileBrowser::Lists(const std::string& name) const {
  const std::string lower = LowerAscii(name);
  return std::any_of(entries_.begin(), entries_.end(),
                     [&](const FileListEntry& e) { return LowerAscii(e.name) == lower; });
}

std::vector<const FileListEntry*> FileBrowser::Named(const std::string& name) const {
  const std::string lower = LowerAscii(name);
  std::vector<const FileListEntry*> found;
  for (const FileListEntry& e : entries_) {
    if (e.file_name.empty()) continue;  // the parent entry
    if (e.name == name) return {&e};
    if (LowerAscii(e.name) == lower) found.push_back(&e);
  }
  return found;
}

std::string FileBrowser::FileNameOf(const std::string& name) const {
  const std::vector<const FileListEntry*> named = Named(name);
  return named.empty() ? platform::SystemTextOf(name) : named.front()->file_name;
}

void FileBrowser::AddEntry(EntryType type, const std::string& file_name, std::string date) {
  entries_.push_back({type, platform::ProgramTextOf(file_name), std::move(date), file_name});
}

void FileBrowser::RefreshFileList() {
  message_.clear();
  if (folder_.empty()) {
    ListDrives();
  } else {
    ListFolder();
  }
}

// This system has no drive letters: the places to start from are the file
// system's root and the user's home folder.
void FileBrowser::ListDrives() {
  entries_.clear();
  AddEntry(EntryType::kDrive, "/", {});
  if (const char* home = std::getenv("HOME"); home && *home && std::string(home) != "/")
    AddEntry(EntryType::kDrive, home, {});
  selected_ = 0;
}

std::optional<FileListEntry> FileBrowser::EntryFor(const std::string& name) const {
  const std::string path = JoinPath(folder_, name);
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return std::nullopt;  // a dangling link
  // Builds and tools choose executables: no programs, nothing else.
  const bool builds = kind_ == kind::kBuild || kind_ == kind::kBuildWithMedia || kind_ == kind::kChooseTool;
  EntryType type = EntryType::kFile;
  if (S_ISDIR(st.st_mode)) {
    type = EntryType::kFolder;
  } else if (kind_ == kind::kProject) {
    return std::nullopt;
  } else if (IsSourceFileName(name) && !builds) {
    type = EntryType::kSource;
  } else if (IsExecutableFile(path)) {
    type = EntryType::kExecutable;
  } else if (builds) {
    return std::nullopt;
  }
  return FileListEntry{type, platform::ProgramTextOf(name), DateText(st.st_mtime), name};
}

void FileBrowser::ListFolder() {
  entries_.clear();
  selected_ = 0;
  partial_ = false;
  if (kind_ != kind::kProject)
    entries_.push_back({EntryType::kFolder, std::string(LanguageText(Text::kParentFolder)), {}, {}});
  DIR* dir = ::opendir(folder_.c_str());
  if (!dir) {
    message_ = std::string(LanguageText(Text::kFolderUnreadable));
    return;
  }
  // A folder of more entries than the list holds is listed in part: the
  // entries first by name, whatever order the folder hands them out in, so
  // that the part shown has no gaps. The heap's top is the last of them.
  const auto by_name = [](const FileListEntry& a, const FileListEntry& b) {
    const std::string la = LowerAscii(a.name), lb = LowerAscii(b.name);
    return la != lb ? la < lb : a.name < b.name;
  };
  std::vector<FileListEntry> first;
  while (const dirent* found = ::readdir(dir)) {
    const std::string name = found->d_name;
    if (name == "." || name == "..") continue;
    const bool full = first.size() == most_looked_at_;
    // One past the last kept needs a look only until the list is known to
    // be partial.
    if (full && partial_ && !by_name({EntryType::kFile, platform::ProgramTextOf(name), {}, {}}, first.front()))
      continue;
    std::optional<FileListEntry> entry = EntryFor(name);
    if (!entry) continue;
    if (!full) {
      first.push_back(std::move(*entry));
      std::push_heap(first.begin(), first.end(), by_name);
      continue;
    }
    partial_ = true;
    if (!by_name(*entry, first.front())) continue;
    std::pop_heap(first.begin(), first.end(), by_name);
    first.back() = std::move(*entry);
    std::push_heap(first.begin(), first.end(), by_name);
  }
  ::closedir(dir);
  std::sort(first.begin(), first.end(), [&by_name](const FileListEntry& a, const FileListEntry& b) {
    const int32_t ga = GroupOf(a.type), gb = GroupOf(b.type);
    return ga != gb ? ga < gb : by_name(a, b);
  });
  entries_.insert(entries_.end(), std::make_move_iterator(first.begin()), std::make_move_iterator(first.end()));
}

void FileBrowser::ResetList() {
  first_ = 0;
  dragging_ = false;
}

bool FileBrowser::ScrollBy(int32_t rows) {
  const int32_t last = std::max(static_cast<int32_t>(entries_.size()) - kRows, 0);
  const int32_t first = std::clamp(first_ + rows, 0, last);
  if (first == first_) return false;
  first_ = first;
  return true;
}

FileBrowser::Span FileBrowser::Thumb() const {
  const auto count = static_cast<int64_t>(entries_.size());
  if (count <= kRows) return {0, kBarHeight};
  const auto height = static_cast<int32_t>(std::max<int64_t>(kRows * kBarHeight / count, kMinThumb));
  const auto top = static_cast<int32_t>(first_ * (kBarHeight - height) / (count - kRows));
  return {top, top + height};
}

void FileBrowser::GoToParentFolder() {
  if (folder_.empty() || folder_ == "/") {
    folder_.clear();
    return;
  }
  std::string folder = folder_;
  while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
  const size_t slash = folder.find_last_of('/');
  folder_ = slash == std::string::npos || slash == 0 ? "/" : folder.substr(0, slash);
}

bool FileBrowser::EnterFolder(const std::string& name) { return EnterFolderNamed(FileNameOf(name)); }

bool FileBrowser::EnterFolderNamed(const std::string& file_name) {
  if (!IsPlainName(file_name)) return false;
  folder_ = JoinPath(folder_, file_name);
  return true;
}

bool FileBrowser::MakeUniqueFolder(const std::string& name) {
  if (!IsPlainName(name) || folder_.empty()) return false;
  std::string candidate = name;
  for (int32_t n = 2; Lists(candidate); ++n) {
    if (n > 64000) return false;
    candidate = name + std::to_string(n);
  }
  return ::mkdir(JoinPath(folder_, platform::SystemTextOf(candidate)).c_str(), 0777) == 0;
}

int32_t FileBrowser::CheckProjectName(const std::string& name) {
  if (Lists(name)) return 0;
  if (!IsPlainName(name) || folder_.empty()) return 9;
  const std::string path = JoinPath(folder_, platform::SystemTextOf(name));
  if (::access(path.c_str(), F_OK) == 0) return IsFolder(path) ? 0 : 2;
  return ::mkdir(path.c_str(), 0777) == 0 ? 1 : 9;
}

const FileListEntry* FileBrowser::SelectedEntry() const {
  if (selected_ < 1 || selected_ > static_cast<int32_t>(entries_.size())) return nullptr;
  return &entries_[static_cast<size_t>(selected_ - 1)];
}

bool FileBrowser::OpenEntry(const FileListEntry& entry) {
  const bool parent = kind_ != kind::kProject && &entry == &entries_.front() && entry.type == EntryType::kFolder &&
                      entry.name == LanguageText(Text::kParentFolder);
  if (parent) {
    GoToParentFolder();
  } else if (entry.type == EntryType::kDrive) {
    if (!IsFolder(entry.file_name) || ::access(entry.file_name.c_str(), R_OK | X_OK) != 0) {
      message_ = std::string(LanguageText(Text::kDriveUnavailable));
      return false;
    }
    folder_ = entry.file_name;
  } else if (!EnterFolderNamed(entry.file_name)) {
    return false;
  }
  const std::string kept_message = message_;
  RefreshFileList();
  if (message_.empty()) message_ = kept_message;
  ResetList();
  return true;
}

ListClick FileBrowser::Click(const GlyphFont& font, int32_t x, int32_t y) {
  const int32_t count = static_cast<int32_t>(entries_.size());
  if (x >= 390 && x <= 405 && y >= 28 && y <= 170) {
    if (y < kListTop) {
      first_ = std::max(first_ - 1, 0);
    } else if (y > kListBottom) {
      if (first_ < count - kRows) ++first_;
    } else if (count > kRows) {
      const Span thumb = Thumb();
      const int32_t top = kListTop + thumb.top, bottom = kListTop + thumb.bottom;
      if (y >= top && y < bottom) {
        dragging_ = true;
        drag_anchor_ = y - top;
      } else if (y < top) {
        first_ = std::max(first_ - kRows, 0);
      } else {
        first_ = std::min(first_ + kRows, count - kRows);
      }
    }
    return ListClick::kMoved;
  }
  if (x < kListLeft || x > kListRight || y < kListTop || y > kListBottom) return ListClick::kNothing;
  const int32_t entry = first_ + (y - kListTop) / kRowHeight;
  if (entry >= count) return ListClick::kNothing;
  const FileListEntry& e = entries_[static_cast<size_t>(entry)];
  if (x >= font.TextWidth(e.name) + 33) return ListClick::kNothing;
  const bool again = selected_ == entry + 1 && kind_ != kind::kProject;
  if (again) {
    if (e.type == EntryType::kFile || e.type == EntryType::kSource || e.type == EntryType::kExecutable)
      return ListClick::kOpenFile;
    OpenEntry(e);
    return ListClick::kMoved;
  }
  selected_ = entry + 1;
  if (e.type == EntryType::kFolder || e.type == EntryType::kDrive) {
    const bool as_file = kind_ == kind::kProject && e.type == EntryType::kFolder;
    return as_file ? ListClick::kSelectedFile : ListClick::kSelectedFolder;
  }
  return ListClick::kSelectedFile;
}

void FileBrowser::UpdateListDrag(int32_t mouse_y, int32_t oy, bool button_down) {
  if (!dragging_) return;
  const int32_t count = static_cast<int32_t>(entries_.size());
  const Span thumb = Thumb();
  const int32_t travel = kBarHeight - (thumb.bottom - thumb.top);
  const int32_t rows = std::max(count - kRows, 0);
  // The thumb's top follows the mouse along the track; each pixel of its
  // travel is as many rows as the list has to scroll.
  const int64_t offset = mouse_y - (oy + drag_anchor_ + kListTop);
  const auto position = travel > 0 ? static_cast<int32_t>(std::clamp<int64_t>(offset * rows / travel, 0, rows)) : 0;
  first_ = position;
  if (!button_down) dragging_ = false;
}

void FileBrowser::DrawListScrollBar(Surface& screen, int32_t ox, int32_t oy) const {
  const int32_t count = static_cast<int32_t>(entries_.size());
  const uint32_t track = RgbOf565(kRequesterColours565[1]);
  const uint32_t thumb = RgbOf565(kRequesterColours565[0]);
  const Rect bar{ox + kBarX, oy + kListTop, ox + kBarX + kBarWidth, oy + kListTop + kBarHeight};
  FillSurfaceRect(screen, bar, track);
  if (count <= 0) return;
  const Span span = Thumb();
  FillSurfaceRect(screen, Rect{bar.left, bar.top + span.top, bar.right, bar.top + span.bottom}, thumb);
}

void FileBrowser::DrawPage(Surface& screen, const GlyphFont& font, const EditorImages& images, int32_t ox,
                           int32_t oy, const std::vector<std::string>& info_lines) const {
  auto centred = [&](std::string_view text, int32_t x, int32_t y) {
    font.DrawText(screen, text, 2, ox + x - font.TextWidth(text) / 2, oy + y);
  };
  auto draw_image = [&](int32_t number, int32_t x, int32_t y) {
    if (Surface* s = images.Get(number)) BltFastAt(screen, ox + x, oy + y, *s, 0);
  };
  Text title = Text::kLoadTitle;
  switch (kind_) {
    case kind::kSave: title = Text::kSaveTitle; break;
    case kind::kBuild: title = Text::kBuildTitle; break;
    case kind::kBuildWithMedia: title = Text::kBuildMediaTitle; break;
    case kind::kProject: title = Text::kProjectTitle; break;
    case kind::kChooseTool: title = Text::kChooseToolTitle; break;
  }
  centred(LanguageText(title), 210, 5);
  if (kind_ == kind::kLoad || kind_ == kind::kSave) {
    centred(LanguageText(Text::kNameLabel), 52, 178);
    centred(LanguageText(Text::kTitleLabel), 119, 209);
    centred(LanguageText(Text::kAuthorLabel), 119, 233);
    centred(LanguageText(Text::kDateLabel), 119, 257);
  } else {
    if (kind_ == kind::kProject) {
      draw_image(image::kProjectFrame, 0, 175);
      centred(LanguageText(Text::kProjectLabel), 42, 178);
    } else {
      draw_image(image::kNamePanel, 13, 207);
      centred(LanguageText(Text::kNameLabel), 52, 178);
    }
    const bool four = info_lines.size() >= 4;
    for (size_t i = 0; i < info_lines.size() && i < 4; ++i)
      centred(info_lines[i], 162, four ? 212 + 14 * static_cast<int32_t>(i) : 216 + 16 * static_cast<int32_t>(i));
  }
  // A list of part of its folder says which part after the folder's name,
  // which gives way to it.
  std::string shown = platform::ProgramTextOf(folder_);
  if (partial_) {
    std::string part(LanguageText(Text::kPartialList));
    const size_t count = entries_.size() - (kind_ == kind::kProject ? 0 : 1);
    if (const size_t at = part.find("%d"); at != std::string::npos) part.replace(at, 2, std::to_string(count));
    shown += "  (" + part + ")";
  }
  DrawTextClipped(screen, font, shown, false, ox + 16, oy + 28, 370);
  for (int32_t row = 0; row < kRows; ++row) {
    const int32_t e = first_ + row;
    if (e >= static_cast<int32_t>(entries_.size())) break;
    const FileListEntry& entry = entries_[static_cast<size_t>(e)];
    const int32_t y = oy + kListTop + kRowHeight * row;
    if (Surface* icon = images.Get(image::kFirstListIcon + static_cast<int32_t>(entry.type)))
      BltFastAt(screen, ox + 16, y, *icon, 0);
    DrawTextClipped(screen, font, entry.name, e + 1 == selected_, ox + 33, y, 240);
    DrawTextClipped(screen, font, entry.date, false, ox + 280, y, 116);
  }
}

}  // namespace zv::editor
