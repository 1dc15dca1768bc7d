#include "services/files/directory_listing.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <string_view>

#include "platform/paths/save_journal.h"
#include "platform/text/system_text.h"
#include "runtime/attached/kept_names.h"

namespace zv::files {
namespace {

unsigned char LowerAscii(char c) {
  const auto u = static_cast<unsigned char>(c);
  return u >= 'A' && u <= 'Z' ? static_cast<unsigned char>(u + 32) : u;
}

// Negative, zero or positive as `a` sorts before, with or after `b`,
// ignoring the case of ASCII letters.
int CompareNoCase(const std::string& a, const std::string& b) {
  const size_t n = std::min(a.size(), b.size());
  for (size_t i = 0; i < n; ++i) {
    const int d = LowerAscii(a[i]) - LowerAscii(b[i]);
    if (d != 0) return d;
  }
  return a.size() < b.size() ? -1 : a.size() > b.size() ? 1 : 0;
}

int Rank(const std::string& name) {
  if (name == ".") return 0;
  if (name == "..") return 1;
  return 2;
}

bool ListedBefore(const DirectoryEntry& a, const DirectoryEntry& b) {
  if (Rank(a.name) != Rank(b.name)) return Rank(a.name) < Rank(b.name);
  const int order = CompareNoCase(a.name, b.name);
  return order != 0 ? order < 0 : a.name < b.name;
}

}  // namespace

std::optional<std::vector<DirectoryEntry>> ListDirectory(const std::string& folder) {
  DIR* dir = ::opendir(folder.empty() ? "." : folder.c_str());
  if (!dir) return std::nullopt;
  std::vector<DirectoryEntry> entries;
  const std::string prefix = folder.empty() ? std::string() : folder + "/";
  while (const dirent* d = ::readdir(dir)) {
    // The system's own files: a built game's kept list, the journals of
    // saves in place (a program that tidied one away would leave a torn
    // file read as good).
    if (d->d_name == std::string_view(kKeptListName) || platform::IsJournalName(d->d_name)) continue;
    DirectoryEntry entry;
    entry.name = d->d_name;
    const std::string path = prefix + entry.name;
    struct stat st;
    if (::lstat(path.c_str(), &st) == 0) {
      entry.symbolic_link = S_ISLNK(st.st_mode);
      // A link shows what it points at, as the entry a program would open.
      if (entry.symbolic_link) ::stat(path.c_str(), &st);
      entry.directory = S_ISDIR(st.st_mode);
      entry.write_time = st.st_mtime;
      entry.size = st.st_size > 0 ? static_cast<uint64_t>(st.st_size) : 0;
    }
    entries.push_back(std::move(entry));
  }
  ::closedir(dir);
  std::sort(entries.begin(), entries.end(), ListedBefore);
  return entries;
}

void AddCarriedEntries(std::vector<DirectoryEntry>& entries, std::vector<DirectoryEntry> carried) {
  if (carried.empty()) return;
  const size_t on_disk = entries.size();
  for (DirectoryEntry& entry : carried) {
    const auto disk_end = entries.begin() + static_cast<std::ptrdiff_t>(on_disk);
    const bool taken = std::any_of(entries.begin(), disk_end, [&](const DirectoryEntry& listed) {
      return CompareNoCase(listed.name, entry.name) == 0;
    });
    if (!taken) entries.push_back(std::move(entry));
  }
  std::sort(entries.begin(), entries.end(), ListedBefore);
}

bool DirectorySearch::Open(std::vector<DirectoryEntry> carried, const std::string& folder) {
  Close();
  auto entries = ListDirectory(folder);
  if (!entries && !carried.empty()) {
    entries.emplace();
    entries->push_back({".", true});
    entries->push_back({"..", true});
  }
  if (!entries || entries->empty()) return false;
  AddCarriedEntries(*entries, std::move(carried));
  // The program meets each name in its own character set, in a spelling
  // that opens the same file again; a name no spelling leads back to is not
  // given at all.
  std::erase_if(*entries, [this](DirectoryEntry& entry) {
    std::optional<std::string> name = platform::ProgramNameOf(entry.name);
    if (!name) {
      left_out_.push_back(std::move(entry.name));
      return true;
    }
    entry.name = std::move(*name);
    return false;
  });
  std::sort(entries->begin(), entries->end(), ListedBefore);
  entries_ = std::move(*entries);
  position_ = 0;
  open_ = true;
  last_result_ = 0;
  return true;
}

void DirectorySearch::Close() {
  left_out_.clear();
  open_ = false;
  last_result_ = -1;
  entries_.clear();
  position_ = 0;
}

void DirectorySearch::Next() {
  if (!open_) return;
  if (position_ + 1 < entries_.size()) {
    ++position_;
    last_result_ = 0;
  } else {
    last_result_ = -1;
  }
}

const DirectoryEntry* DirectorySearch::Current() const {
  // Past the last entry there is none: its name and date are not the
  // search's any more.
  return open_ && last_result_ != -1 && position_ < entries_.size() ? &entries_[position_] : nullptr;
}

std::string FormatEntryDate(std::time_t time) {
  static const char kDays[7][4] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
  static const char kMonths[12][4] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                      "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  std::tm tm{};
  if (!::localtime_r(&time, &tm) || tm.tm_wday < 0 || tm.tm_wday > 6 || tm.tm_mon < 0 || tm.tm_mon > 11)
    return {};
  char text[64];
  std::snprintf(text, sizeof text, "%.3s %.3s%3d %.2d:%.2d:%.2d %d", kDays[tm.tm_wday], kMonths[tm.tm_mon],
                tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec, 1900 + tm.tm_year);
  return std::string(text).substr(0, 24);
}

}  // namespace zv::files
