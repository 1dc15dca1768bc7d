#include "platform/ini/ini_file.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "platform/paths/failure_cause.h"
#include "platform/paths/file_lock.h"
#include "platform/paths/file_read.h"
#include "platform/paths/file_save.h"
#include "platform/paths/path_resolver.h"

namespace zv::platform {
namespace {

std::string_view Trim(std::string_view s) {
  size_t b = 0, e = s.size();
  while (b < e && (s[b] == ' ' || s[b] == '\t')) ++b;
  while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t')) --e;
  return s.substr(b, e - b);
}

// "[name]" -> name; anything else -> nullopt.
std::optional<std::string_view> SectionName(std::string_view line) {
  line = Trim(line);
  if (line.size() < 2 || line.front() != '[') return std::nullopt;
  size_t close = line.find(']');
  if (close == std::string_view::npos) return std::nullopt;
  return Trim(line.substr(1, close - 1));
}

struct KeyValue {
  std::string_view key;
  std::string_view value;
};

std::optional<KeyValue> SplitKeyValue(std::string_view line) {
  std::string_view t = Trim(line);
  if (t.empty() || t.front() == ';' || t.front() == '[') return std::nullopt;
  size_t eq = t.find('=');
  if (eq == std::string_view::npos) return std::nullopt;
  return KeyValue{Trim(t.substr(0, eq)), Trim(t.substr(eq + 1))};
}

std::string Unquote(std::string_view v) {
  if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front())
    v = v.substr(1, v.size() - 2);
  return std::string(v);
}

}  // namespace

IniFile IniFile::Parse(std::string_view text) {
  IniFile ini;
  size_t pos = 0;
  while (pos < text.size()) {
    size_t end = text.find('\n', pos);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(pos, end - pos);
    if (!line.empty() && line.back() == '\r') {
      line.remove_suffix(1);
      ini.crlf_ = true;
    }
    ini.lines_.push_back(Line{std::string(line)});
    pos = end + 1;
  }
  return ini;
}

IniFile IniFile::Load(const std::string& path) { return Read(path).value_or(IniFile{}); }

std::optional<IniFile> IniFile::Read(const std::string& path) {
  const auto bytes = ReadWholeFile(path);
  if (!bytes) {
    if (errno == ENOENT) return IniFile{};
    return std::nullopt;
  }
  return Parse(std::string(bytes->begin(), bytes->end()));
}

int IniFile::FindSection(std::string_view section) const {
  for (size_t i = 0; i < lines_.size(); ++i) {
    auto name = SectionName(lines_[i].raw);
    if (name && EqualNoCase(*name, Trim(section))) return static_cast<int>(i);
  }
  return -1;
}

int IniFile::SectionEnd(int header) const {
  size_t i = static_cast<size_t>(header) + 1;
  while (i < lines_.size() && !SectionName(lines_[i].raw)) ++i;
  return static_cast<int>(i);
}

int IniFile::FindKey(int header, std::string_view key) const {
  int end = SectionEnd(header);
  for (int i = header + 1; i < end; ++i) {
    auto kv = SplitKeyValue(lines_[i].raw);
    if (kv && EqualNoCase(kv->key, Trim(key))) return i;
  }
  return -1;
}

std::optional<std::string> IniFile::Get(std::string_view section, std::string_view key) const {
  int header = FindSection(section);
  if (header < 0) return std::nullopt;
  int line = FindKey(header, key);
  if (line < 0) return std::nullopt;
  return Unquote(SplitKeyValue(lines_[line].raw)->value);
}

std::vector<std::string> IniFile::Keys(std::string_view section) const {
  std::vector<std::string> keys;
  int header = FindSection(section);
  if (header < 0) return keys;
  int end = SectionEnd(header);
  for (int i = header + 1; i < end; ++i)
    if (auto kv = SplitKeyValue(lines_[i].raw)) keys.emplace_back(kv->key);
  return keys;
}

void IniFile::Set(std::string_view section, std::string_view key, std::string_view value) {
  std::string entry = std::string(Trim(key)) + "=" + std::string(value);
  int header = FindSection(section);
  if (header < 0) {
    if (!lines_.empty() && !Trim(lines_.back().raw).empty()) lines_.push_back(Line{""});
    lines_.push_back(Line{"[" + std::string(Trim(section)) + "]"});
    lines_.push_back(Line{entry});
    return;
  }
  int line = FindKey(header, key);
  if (line >= 0) {
    lines_[line].raw = entry;
    return;
  }
  // After the section's last non-blank line, so the blank line that separates
  // sections stays where it was.
  int end = SectionEnd(header);
  while (end > header + 1 && Trim(lines_[end - 1].raw).empty()) --end;
  lines_.insert(lines_.begin() + end, Line{entry});
}

void IniFile::RemoveKey(std::string_view section, std::string_view key) {
  int header = FindSection(section);
  if (header < 0) return;
  int line = FindKey(header, key);
  if (line >= 0) lines_.erase(lines_.begin() + line);
}

void IniFile::RemoveSection(std::string_view section) {
  int header = FindSection(section);
  if (header < 0) return;
  lines_.erase(lines_.begin() + header, lines_.begin() + SectionEnd(header));
}

std::string IniFile::Text() const {
  std::string out;
  const char* eol = crlf_ ? "\r\n" : "\n";
  for (const Line& line : lines_) {
    out += line.raw;
    out += eol;
  }
  return out;
}

bool IniFile::Save(const std::string& path) const { return SaveFile(path, Text()); }

std::string ReadProfileString(const std::string& path, std::string_view section,
                              std::string_view key, std::string_view fallback) {
  auto value = IniFile::Load(path).Get(section, key);
  return value ? *value : std::string(Trim(fallback));
}

bool UpdateIniFile(const std::string& path, const std::function<void(IniFile&)>& change) {
  // Where the file cannot be locked the update goes ahead unguarded; not
  // where another program held the lock past the wait.
  const FileLock lock(path);
  if (!lock.Held() && errno == kHeldBySave) return false;
  // A file that is there but cannot be read is not replaced by one that
  // holds the new value alone.
  std::optional<IniFile> ini = IniFile::Read(path);
  if (!ini) return false;
  change(*ini);
  if (ini->Save(path)) return true;
  // The empty file the lock made for the update goes with it.
  const int error = errno;
  struct stat st {};
  if (lock.MadeFile() && ::stat(path.c_str(), &st) == 0 && st.st_size == 0) ::unlink(path.c_str());
  errno = error;
  return false;
}

bool WriteProfileString(const std::string& path, std::string_view section,
                        std::string_view key, std::string_view value) {
  return UpdateIniFile(path, [&](IniFile& ini) { ini.Set(section, key, value); });
}

}  // namespace zv::platform
