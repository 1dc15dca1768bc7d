#include "runtime/builder/exe_builder.h"

#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <optional>
#include <system_error>
#include <vector>

#include "platform/paths/file_save.h"
#include "platform/paths/path_resolver.h"
#include "platform/video/media_endings.h"
#include "runtime/attached/attached_data.h"
#include "runtime/builder/record_writer.h"

namespace zv {
namespace fs = std::filesystem;
namespace {

// What the game's loaders read, by the last letters of a name: a built
// game finds no file but these, so every kind a command loads is here.
constexpr std::string_view kMediaEndings[] = {
    // images, bitmaps and textures
    "bmp", "rle", "dib", "dds", "jpg", "pcx", "png", "psd", "tga", "tif",
    // sounds, and music: modules, MIDI and the media decoder's commonest
    // (IsMediaFileName adds every other ending it reads)
    "wav", "mp2", "mp3", "wma", "ogg", "oga", "opus", "flac", "m4a", "aac", "aif", "aiff", "mid", "midi", "rmi",
    "mod", "s3m", "xm", "it", "sgt",
    // animations
    "avi", "mpg", "mpeg", "mp4", "m4v", "mov", "mkv", "webm", "wmv", "asf", "ogv", "flv",
    // models (any name ending in x)
    "x", "3ds",
    // data files: arrays, settings, static scenes and the files a program opens
    "dat", "arr", "ini", "txt", "csv", "json", "xml", "cfg"};

// Kinds the media decoder finds by their content, not by a name it lists;
// after the dot only, as some are the last letters of ordinary words.
constexpr std::string_view kContentKindEndings[] = {"wv",  "amr", "caf",  "au",  "snd", "voc", "w64",
                                                    "spx", "ts",  "m2ts", "mts", "vob", "rm",  "rmvb"};

bool EndsWithNoCase(std::string_view name, std::string_view ending) {
  return name.size() >= ending.size() && platform::EqualNoCase(name.substr(name.size() - ending.size()), ending);
}

// Makes a folder current for as long as it lives, so the compiler finds the
// project's includes where the program names them.
class CurrentFolder {
 public:
  explicit CurrentFolder(const std::string& folder) {
    std::error_code ec;
    previous_ = fs::current_path(ec);
    if (!ec && !folder.empty()) fs::current_path(folder, ec);
  }
  ~CurrentFolder() {
    std::error_code ec;
    if (!previous_.empty()) fs::current_path(previous_, ec);
  }
  CurrentFolder(const CurrentFolder&) = delete;
  CurrentFolder& operator=(const CurrentFolder&) = delete;

 private:
  fs::path previous_;
};

// The stub is this executable without any records of its own.
uint64_t StubLengthOf(const std::string& stub_path) {
  AttachedData probe("");
  std::string ignored;
  if (probe.Load(stub_path, &ignored) == AttachedData::LoadResult::kLoaded) return probe.StubLength();
  return 0;  // all of it
}

// Sorted without regard to case, so a game's records do not depend on the
// order the file system lists them in.
std::vector<fs::directory_entry> SortedEntries(const fs::path& folder, std::error_code& ec) {
  std::vector<fs::directory_entry> entries;
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) entries.push_back(*it);
  std::sort(entries.begin(), entries.end(), [](const fs::directory_entry& a, const fs::directory_entry& b) {
    std::string la = LowerAscii(a.path().filename().string()), lb = LowerAscii(b.path().filename().string());
    return la != lb ? la < lb : a.path().filename() < b.path().filename();
  });
  return entries;
}

// Where a file or folder lies on its device: one file however it is reached.
struct FileIdentity {
  dev_t device = 0;
  ino_t inode = 0;
  friend bool operator==(const FileIdentity&, const FileIdentity&) = default;
};

std::optional<FileIdentity> IdentityOf(const fs::path& path) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) return std::nullopt;
  return FileIdentity{info.st_dev, info.st_ino};
}

// A game built before: an executable (as this one is) with records after
// it. Text that happens to end in bytes that look like a trailer is none.
bool IsBuiltGame(const std::string& path) {
  char magic[4] = {};
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (!file) return false;
  const bool executable =
      std::fread(magic, 1, sizeof magic, file) == sizeof magic && std::memcmp(magic, "\x7f" "ELF", 4) == 0;
  std::fclose(file);
  return executable && HasAttachedRecords(path);
}

// The game being written, and an earlier build it replaces, never go into
// it when the project folder holds them.
std::vector<FileIdentity> GameFiles(const platform::FileSave& save, const std::string& output) {
  std::vector<FileIdentity> games;
  struct stat info {};
  if (::fstat(save.Fd(), &info) == 0) games.push_back({info.st_dev, info.st_ino});
  if (auto previous = IdentityOf(output); previous && IsBuiltGame(output)) games.push_back(*previous);
  return games;
}

// Why the game may not be written at `output`: it is the program's own
// file or one the program includes. Empty when it may.
std::string InputInTheWay(const std::string& output, const std::string& program,
                          const std::vector<std::string>& included) {
  const std::optional<FileIdentity> replaced = IdentityOf(output);
  if (!replaced || IsBuiltGame(output)) return {};
  if (IdentityOf(program) == replaced) return "cannot write the game over its own program " + output;
  for (const std::string& file : included)
    if (IdentityOf(file) == replaced) return "cannot write the game over " + output + ": the program includes it";
  return {};
}

// Names starting with a dot are configuration on this system, often
// secret: they never go into a game.
bool IsHidden(const std::string& name) { return !name.empty() && name[0] == '.'; }

// Takes the media of a folder and of the folders below it, also of those
// reached through a link. A link that leads back to a folder above it (or
// to a folder above the project) would never end: it is left out, and the
// walk says so, as it does for hidden files and folders and links to nothing.
class MediaWalk {
 public:
  // `skipped` are the game being written and the one it replaces; a file
  // at `output` that is no game may not be carried, as the game would take
  // its place.
  MediaWalk(RecordWriter& writer, const BuildServices& services, std::vector<FileIdentity> skipped,
            const std::string& output)
      : writer_(writer), services_(services), skipped_(std::move(skipped)), output_(IdentityOf(output)) {}

  bool AddProject(const fs::path& folder) {
    std::error_code ec;
    const fs::path real = fs::canonical(folder, ec);
    if (!ec)
      for (fs::path above = real.parent_path(); above != real && !above.empty(); above = above.parent_path()) {
        if (auto identity = IdentityOf(above)) above_.push_back(*identity);
        if (above == above.parent_path()) break;
      }
    return AddFolder(folder, {});
  }

  const std::string& Error() const { return error_; }

 private:
  // Where the walk is: the start of a record's name ("media\\"), and the
  // same as the user writes a path on this system ("media/").
  struct Prefix {
    std::string record;
    std::string shown;
  };

  bool AddFolder(const fs::path& folder, const Prefix& prefix) {
    std::error_code ec;
    std::vector<fs::directory_entry> entries = SortedEntries(folder, ec);
    if (ec) return Fail("cannot list " + folder.string() + ": " + ec.message());
    const std::optional<FileIdentity> identity = IdentityOf(folder);
    if (identity) above_.push_back(*identity);
    for (const fs::directory_entry& entry : entries) {
      if (services_.escape_pressed && services_.escape_pressed()) return Fail("build stopped by Escape");
      if (services_.stop_requested && services_.stop_requested()) return Fail("the build was stopped");
      if (!AddEntry(entry, prefix)) return false;
    }
    if (identity) above_.pop_back();
    return true;
  }

  bool AddEntry(const fs::directory_entry& entry, const Prefix& prefix) {
    const std::string name = entry.path().filename().string();
    const std::string record = prefix.record + name;
    const std::string shown = prefix.shown + name;
    std::error_code ec;
    // Both follow links: a linked folder is walked, a linked file taken.
    const bool folder = entry.is_directory(ec);
    const bool file = !folder && entry.is_regular_file(ec);
    if (folder) {
      if (IsHidden(name)) return Say("Leaving out " + shown + "/ (a hidden folder)");
      const std::optional<FileIdentity> identity = IdentityOf(entry.path());
      if (identity && std::find(above_.begin(), above_.end(), *identity) != above_.end())
        return Say("Leaving out " + shown + " (a link back to a folder above it)");
      return AddFolder(entry.path(), {record + "\\", shown + "/"});
    }
    if (file && IsMediaFileName(name) && !Skipped(entry.path())) {
      if (IsHidden(name)) return Say("Leaving out " + shown + " (a hidden file)");
      if (output_ && IdentityOf(entry.path()) == output_)
        return Fail("cannot write the game over " + shown + ": the game carries it");
      Say("Adding " + shown + "...");
      NoteCaseTwin(record, shown);
      if (!writer_.AddFileRecord(record, entry.path().string())) return Fail(writer_.Error());
      return true;
    }
    if (entry.is_symlink(ec) && !entry.exists(ec)) return Say("Leaving out " + shown + " (a link to nothing)");
    return true;
  }

  // Two names that differ only in letter case are two files here, and two
  // records in the game, which finds each by its own spelling; a program
  // that spells the name another way finds the first. Said, as a program
  // run elsewhere may not mean what it finds.
  void NoteCaseTwin(const std::string& record, const std::string& shown) {
    const auto [first, added] = spellings_.emplace(LowerAscii(record), shown);
    if (!added)
      Say("Warning: " + first->second + " and " + shown +
          " differ only in letter case: the game finds each as spelled, and " + first->second +
          " for any other spelling");
  }

  bool Say(const std::string& text) {
    if (services_.progress) services_.progress->ShowProgressText(text);
    return true;
  }
  bool Fail(std::string message) {
    error_ = std::move(message);
    return false;
  }
  bool Skipped(const fs::path& path) const {
    const std::optional<FileIdentity> identity = IdentityOf(path);
    return identity && std::find(skipped_.begin(), skipped_.end(), *identity) != skipped_.end();
  }

  RecordWriter& writer_;
  const BuildServices& services_;
  std::vector<FileIdentity> skipped_;
  std::optional<FileIdentity> output_;
  std::map<std::string, std::string> spellings_;  // the first shown name of each record name, lower-cased
  // The folders being walked and those above the project.
  std::vector<FileIdentity> above_;
  std::string error_;
};

// Now, by the clock the file system stamps files with, so that a file
// written after the build is later than this, however soon after.
int64_t BuildTimeNow() {
  timespec now {};
  ::clock_gettime(CLOCK_REALTIME_COARSE, &now);
  return static_cast<int64_t>(now.tv_sec) * 1000000000 + now.tv_nsec;
}

// A game that replaced a file of another kind keeps that file's
// permissions, with execute added wherever read is allowed, so it runs.
void MakeRunnable(const std::string& game) {
  struct stat info {};
  if (::stat(game.c_str(), &info) != 0) return;
  const mode_t mode = info.st_mode & 07777;
  const mode_t runnable = mode | ((mode & 0444) >> 2);
  if (runnable != mode) ::chmod(game.c_str(), runnable);
}

}  // namespace

bool IsMediaFileName(std::string_view name) {
  if (std::any_of(std::begin(kMediaEndings), std::end(kMediaEndings),
                  [&](std::string_view ending) { return EndsWithNoCase(name, ending); }))
    return true;
  // `load music` and `load animation` play whatever the media decoder
  // reads, whatever the list above names.
  const size_t dot = name.rfind('.');
  if (dot == std::string_view::npos || dot + 1 == name.size()) return false;
  const std::string ending = LowerAscii(std::string(name.substr(dot + 1)));
  const std::vector<std::string>& decoded = platform::MediaDecoderEndings();
  return std::binary_search(decoded.begin(), decoded.end(), ending) ||
         std::find(std::begin(kContentKindEndings), std::end(kContentKindEndings), ending) !=
             std::end(kContentKindEndings);
}

BuildResult BuildExecutable(const BuildRequest& request, const BuildServices& services) {
  // A press of Escape made before the build does not stop it.
  if (services.escape_pressed) services.escape_pressed();
  if (!services.compile) return {false, "no compiler in this executable"};

  const std::string program_path = services.temp_folder + "_exefile.dat";
  std::vector<std::string> included;
  {
    std::string compile_error;
    bool compiled;
    const std::string source = fs::absolute(request.source).string();
    {
      CurrentFolder in_project(request.project_folder);
      compiled = services.compile(source, program_path, &compile_error, &included);
    }
    if (!compiled) return {false, compile_error.empty() ? "the program did not compile" : compile_error};
  }
  // The developer's program is never lost to its game.
  const std::string& program = request.program_file.empty() ? request.source : request.program_file;
  if (std::string why = InputInTheWay(request.output, program, included); !why.empty()) return {false, why};

  // The shared save: a link is followed to the game it names, a game with
  // other hard links stays one file with them, and a game the user may not
  // write is refused. A new game may be run wherever it may be read.
  std::optional<platform::FileSave> save =
      platform::FileSave::Begin(request.output, platform::ExistingFile::kReplace, 0777);
  if (!save) return {false, "cannot create " + request.output + ": " + std::strerror(errno)};
  const int fd = ::dup(save->Fd());
  std::FILE* out = fd >= 0 ? ::fdopen(fd, "wb") : nullptr;
  if (!out) {
    if (fd >= 0) ::close(fd);
    return {false, "cannot create " + request.output + ": " + std::strerror(errno)};
  }

  RecordWriter writer(out, services.stop_requested);
  BuildResult result{true, {}};
  if (!writer.WriteStub(services.stub_path, StubLengthOf(services.stub_path)) ||
      !writer.AddFileRecord(program_path, program_path)) {
    result = {false, writer.Error()};
  } else if (!request.project_folder.empty()) {
    MediaWalk walk(writer, services, GameFiles(*save, request.output), request.output);
    if (!walk.AddProject(request.project_folder)) result = {false, walk.Error()};
  }
  if (result.ok && !request.program_name.empty() &&
      !writer.AddRecord(kProgramNameRecordName, std::span(reinterpret_cast<const uint8_t*>(request.program_name.data()),
                                                          request.program_name.size())))
    result = {false, writer.Error()};
  // Last, once every media file has been read: what the game writes after
  // this wins over what it carries.
  if (result.ok && !writer.AddRecord(kBuildTimeRecordName, EncodeBuildTime(BuildTimeNow())))
    result = {false, writer.Error()};
  if (result.ok && !writer.Finish()) result = {false, writer.Error()};
  if (std::fclose(out) != 0 && result.ok)
    result = {false, std::string("cannot write the game: ") + std::strerror(errno)};
  // The game goes into place only while nobody has asked the build to stop;
  // until then the earlier game stays whole, and a failed save leaves
  // nothing behind.
  if (result.ok && services.stop_requested && services.stop_requested()) result = {false, "the build was stopped"};
  if (result.ok && !save->Finish())
    result = {false, "cannot write " + request.output + ": " + std::strerror(errno)};
  if (result.ok) MakeRunnable(save->Target());
  return result;
}

}  // namespace zv
