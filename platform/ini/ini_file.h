#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zv::platform {

// An INI file read and written with profile-string semantics: section and key
// names match without regard to case, blanks around names and values are
// dropped, a value wrapped in matching quotes loses them, and lines starting
// with ';' are comments. Writing keeps every other line as it was; a new key
// goes to the end of its section, a new section to the end of the file.
class IniFile {
 public:
  IniFile() = default;

  // Reads `path`; a missing or unreadable file gives an empty document.
  static IniFile Load(const std::string& path);
  // The same, but nothing (errno set) for a file that is there and cannot
  // be read: an update must not replace what it could not see.
  static std::optional<IniFile> Read(const std::string& path);
  static IniFile Parse(std::string_view text);

  std::optional<std::string> Get(std::string_view section, std::string_view key) const;
  void Set(std::string_view section, std::string_view key, std::string_view value);
  void RemoveKey(std::string_view section, std::string_view key);
  void RemoveSection(std::string_view section);
  std::vector<std::string> Keys(std::string_view section) const;

  std::string Text() const;
  // Saves the text as the file `path` (platform::SaveFile), so a failed write
  // leaves the previous file intact. False when it fails.
  bool Save(const std::string& path) const;

 private:
  struct Line {
    std::string raw;          // the line as it stands in the file, without its end
  };
  // Index of the section header line, or -1.
  int FindSection(std::string_view section) const;
  // Index of the key's line within the section starting at `header`, or -1.
  int FindKey(int header, std::string_view key) const;
  // Index one past the last line belonging to the section at `header`.
  int SectionEnd(int header) const;

  std::vector<Line> lines_;
  bool crlf_ = false;
};

// Reads the file at `path`, lets `change` change it and saves it, while
// holding a lock on the file that every other update made here waits for,
// in this process or another: no update is lost to another made at the same
// time. False (errno set) when the file could not be read or saved; a file
// the update made for itself goes again when the save fails.
bool UpdateIniFile(const std::string& path, const std::function<void(IniFile&)>& change);

// The profile-string calls, each on the file at `path`.
std::string ReadProfileString(const std::string& path, std::string_view section,
                              std::string_view key, std::string_view fallback);
bool WriteProfileString(const std::string& path, std::string_view section,
                        std::string_view key, std::string_view value);

}  // namespace zv::platform
