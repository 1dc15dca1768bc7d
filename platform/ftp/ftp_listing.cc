#include "platform/ftp/ftp_listing.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <optional>

#include "platform/paths/path_resolver.h"

namespace zv::platform {
namespace {

// Calls `line` with each line of `text`, without its line end.
template <class F>
void ForEachLine(std::string_view text, F line) {
  while (!text.empty()) {
    const size_t end = text.find('\n');
    std::string_view l = text.substr(0, end);
    if (!l.empty() && l.back() == '\r') l.remove_suffix(1);
    line(l);
    if (end == std::string_view::npos) break;
    text.remove_prefix(end + 1);
  }
}

std::optional<uint64_t> ParseSize(std::string_view digits) {
  uint64_t value = 0;
  auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
  if (error != std::errc{} || end != digits.data() + digits.size()) return std::nullopt;
  return value;
}

bool IsDots(std::string_view name) { return name == "." || name == ".."; }

// The folder's own entries, which every listing may hold: nothing a
// program is given.
bool IsFolderItself(const FtpEntry& entry) { return entry.directory && IsDots(entry.name); }

// The words of a line with where each begins, so the name (the rest of the
// line, blanks and all) can be cut out after the last fixed column.
struct Word {
  std::string_view text;
  size_t start = 0;
};

std::vector<Word> SplitWords(std::string_view line, size_t most) {
  std::vector<Word> words;
  size_t i = 0;
  while (i < line.size() && words.size() < most) {
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
    if (i == line.size()) break;
    const size_t start = i;
    while (i < line.size() && line[i] != ' ' && line[i] != '\t') ++i;
    words.push_back(Word{line.substr(start, i - start), start});
  }
  return words;
}

// The rest of the line after `word` and the blanks that follow it.
std::string_view RestAfter(std::string_view line, const Word& word) {
  size_t i = word.start + word.text.size();
  while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
  return line.substr(i);
}

bool IsMonth(std::string_view w) {
  static constexpr std::array<std::string_view, 12> kMonths = {"jan", "feb", "mar", "apr", "may", "jun",
                                                               "jul", "aug", "sep", "oct", "nov", "dec"};
  return w.size() == 3 && std::find(kMonths.begin(), kMonths.end(), AsciiLower(w)) != kMonths.end();
}

std::optional<FtpEntry> ParseUnixLine(std::string_view line) {
  if (line.size() < 10 || std::string_view("-dlcbps").find(line[0]) == std::string_view::npos) return std::nullopt;
  std::vector<Word> words = SplitWords(line, 9);
  // The size stands just before the month; the name follows day and time.
  for (size_t i = 2; i + 2 < words.size(); ++i) {
    if (!IsMonth(words[i].text)) continue;
    std::optional<uint64_t> size = ParseSize(words[i - 1].text);
    if (!size) continue;
    std::string_view name = RestAfter(line, words[i + 2]);
    if (line[0] == 'l') name = name.substr(0, name.find(" -> "));
    if (name.empty()) return std::nullopt;
    return FtpEntry{std::string(name), line[0] == 'd', *size};
  }
  return std::nullopt;
}

std::optional<FtpEntry> ParseDosLine(std::string_view line) {
  std::vector<Word> words = SplitWords(line, 3);
  if (words.size() < 3 || words[0].text.size() < 8 || words[0].text[2] != '-') return std::nullopt;
  const std::string_view name = RestAfter(line, words[2]);
  if (name.empty()) return std::nullopt;
  if (words[2].text == "<DIR>") return FtpEntry{std::string(name), true, 0};
  std::optional<uint64_t> size = ParseSize(words[2].text);
  if (!size) return std::nullopt;
  return FtpEntry{std::string(name), false, *size};
}

}  // namespace

std::vector<FtpEntry> ParseMlsdListing(std::string_view text) {
  std::vector<FtpEntry> entries;
  ForEachLine(text, [&](std::string_view line) {
    const size_t blank = line.find(' ');
    if (blank == std::string_view::npos) return;
    const std::string_view name = line.substr(blank + 1);
    if (name.empty()) return;
    FtpEntry entry{std::string(name), false, 0};
    std::string_view facts = line.substr(0, blank);
    while (!facts.empty()) {
      const size_t end = facts.find(';');
      const std::string_view fact = facts.substr(0, end);
      facts = end == std::string_view::npos ? std::string_view{} : facts.substr(end + 1);
      const size_t eq = fact.find('=');
      if (eq == std::string_view::npos) continue;
      const std::string key = AsciiLower(fact.substr(0, eq));
      const std::string_view value = fact.substr(eq + 1);
      if (key == "type") {
        const std::string type = AsciiLower(value);
        if (type == "cdir" || type == "pdir") return;
        entry.directory = type == "dir";
      } else if (key == "size") {
        entry.size = ParseSize(value).value_or(0);
      }
    }
    if (!IsFolderItself(entry)) entries.push_back(std::move(entry));
  });
  return entries;
}

std::vector<FtpEntry> ParseListListing(std::string_view text) {
  std::vector<FtpEntry> entries;
  ForEachLine(text, [&](std::string_view line) {
    std::optional<FtpEntry> entry = ParseUnixLine(line);
    if (!entry) entry = ParseDosLine(line);
    if (entry && !IsFolderItself(*entry)) entries.push_back(std::move(*entry));
  });
  return entries;
}

bool NamesOneEntry(std::string_view name) {
  return !name.empty() && !IsDots(name) && name.find_first_of("/\\") == std::string_view::npos;
}

void SortEntries(std::vector<FtpEntry>& entries) {
  std::stable_sort(entries.begin(), entries.end(), [](const FtpEntry& a, const FtpEntry& b) {
    const std::string la = AsciiLower(a.name), lb = AsciiLower(b.name);
    return la != lb ? la < lb : a.name < b.name;
  });
}

}  // namespace zv::platform
