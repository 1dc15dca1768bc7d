// Every command and function whose operand names a file or folder, found
// from the rows of the command table and the reference's syntax for each,
// run from a UTF-8 source with an accented name: what it makes is named in
// UTF-8 on disk and found again by the same literal; what it reads is found
// under its UTF-8 name and, as a file an older build made, under the
// program's own Windows-1252 bytes. A row added to the table joins by
// itself: an operand is a name where the reference calls it one (file$,
// path$, ...). Then what comes back from the system (listings, folders, the
// command line, the environment) and what goes out to it (output, messages,
// includes, a built game's names).
#include <sys/wait.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <fstream>
#include <map>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "compiler/command_table.h"
#include "editor/help/generator/help_source.h"
#include "platform/text/text_encoding.h"
#include "tests/support/test_paths.h"

namespace zv {
namespace {

namespace fs = std::filesystem;

// The accented stem of every name: as a Linux editor writes it in the
// source, and as a build before the UTF-8 names put it on disk.
const std::string kUtf8Stem = "caf\xC3\xA9\xE2\x82\xAC";
const std::string kOlderStem = "caf\xE9\x80";

// Operands the reference names as files or folders of this machine; a
// name$ is one in the file families. A server's names (remote$) are not.
bool NamesAFolder(std::string_view operand) { return operand == "path$" || operand == "folder$"; }
bool NamesAFile(std::string_view family, std::string_view operand) {
  for (std::string_view name : {"file$", "source$", "destination$", "old$", "new$", "local$", "target$", "first$",
                                "second$"})
    if (operand == name) return true;
  return operand == "name$" && (family == "files" || family == "fileio");
}

// The file that stands under a name a command reads (its ending also ends
// the name where the command writes): by the command's family or, where it
// differs, by its operand.
std::string FixtureOf(const std::string& family, const std::string& command, const std::string& operand) {
  static const std::map<std::string, std::string> kByOperand = {
      {"convert 3ds to x source$", "fixture.3ds"}, {"convert 3ds to x target$", "fixture.x"}};
  static const std::map<std::string, std::string> kByFamily = {
      {"bitmaps", "fixture.bmp"}, {"images", "fixture.bmp"}, {"animations", "fixture.avi"},
      {"sound", "fixture.wav"},   {"music", "fixture.wav"},  {"objects", "fixture.x"},
      {"limbs", "fixture.3ds"},   {"system", "fixture.so"},  {"files", "fixture.dat"},
      {"fileio", "fixture.dat"},  {"ftp", "fixture.dat"},    {"static", "scene.dat"},
      {"animation", "walk.x"}};
  if (auto found = kByOperand.find(command + " " + operand); found != kByOperand.end()) return found->second;
  auto found = kByFamily.find(family);
  return found == kByFamily.end() ? std::string() : found->second;
}

// What a command needs before it runs: the records it works on, an open file.
const std::map<std::string, std::string> kSetUp = {
    {"save image", "get image 1, 0, 0, 4, 4"},
    {"save sound", "load sound \"fixture.wav\", 1"},
    {"save object animation",
     "make object cube 1, 10 : make mesh from object 1, 1 : add limb 1, 1, 1 : set object keyframe 1, 0 : "
     "offset limb 1, 1, 9, 0, 0 : set object keyframe 1, 10"},
    {"merge object animation file",
     "make object cube 1, 10 : make mesh from object 1, 1 : add limb 1, 1, 1 : set object keyframe 1, 0"},
    {"append object animation",
     "make object cube 1, 10 : make mesh from object 1, 1 : add limb 1, 1, 1 : set object keyframe 1, 0"},
    {"write file block", "open file to write 1, \"pack.dat\""},
    {"write file block no size", "open file to write 1, \"pack.dat\""},
    {"write dir block", "open file to write 1, \"pack.dat\""},
    {"read file block",
     "open file to write 1, \"pack.dat\" : write file block 1, \"fixture.dat\" : close file 1 : "
     "open file to read 1, \"pack.dat\""},
    {"read dir block",
     "make directory \"tree\" : copy file \"fixture.dat\", \"tree/a.dat\" : open file to write 1, \"pack.dat\" : "
     "write dir block 1, \"tree\" : close file 1 : open file to read 1, \"pack.dat\""},
};
// A string operand that names nothing here, where "" will not do.
const std::map<std::string, std::string> kTextOperand = {{"ftp get file", "\"remote.dat\""}};

// The fixtures a program makes itself: an animation file and a static scene.
constexpr char kFixtureMaker[] =
    "make object cube 1, 10 : make mesh from object 1, 1 : add limb 1, 1, 1 : set object keyframe 1, 0\r\n"
    "offset limb 1, 1, 9, 0, 0 : set object keyframe 1, 10 : save object animation \"walk.x\", 1\r\n"
    "save static objects \"scene.dat\"\r\n";

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

void WriteFile(const fs::path& path, const std::string& bytes) { std::ofstream(path, std::ios::binary) << bytes; }

std::string ShellQuoted(const std::string& text) { return "'" + text + "'"; }

std::string Trimmed(std::string_view text) {
  const size_t first = text.find_first_not_of(' ');
  if (first == std::string_view::npos) return {};
  return std::string(text.substr(first, text.find_last_not_of(' ') - first + 1));
}

std::string Repeated(const std::string& text, int times) {
  std::string out;
  for (int i = 0; i < times; ++i) out += text;
  return out;
}
// A name of 50 CJK characters: 150 bytes, and more than 255 program
// characters however they are marked.
const std::string kCjk50 = Repeated("\xE6\x9D\xB1", 50);

// The executable under test; ZENTROVEX names another (a build before a
// change, to see the test fail there).
std::string Zentrovex() {
  const char* other = std::getenv("ZENTROVEX");
  return other && *other ? other : zv::test::ZentrovexBinary();
}

// A 3DS model of one triangle.
std::string Chunk3ds(uint16_t id, const std::string& body) {
  const auto length = static_cast<uint32_t>(body.size() + 6);
  std::string chunk{static_cast<char>(id & 0xFF), static_cast<char>(id >> 8)};
  for (int shift = 0; shift < 32; shift += 8) chunk.push_back(static_cast<char>((length >> shift) & 0xFF));
  return chunk + body;
}
std::string Triangle3ds() {
  std::string vertices("\x03\0", 2);
  for (float v : {0.0f, 0.0f, 0.0f, 1.0f, 0.0f, 0.0f, 0.0f, 1.0f, 0.0f})
    vertices.append(reinterpret_cast<const char*>(&v), sizeof v);
  const std::string faces("\x01\0\0\0\x01\0\x02\0\x07\0", 10);
  const std::string mesh = Chunk3ds(0x4100, Chunk3ds(0x4110, vertices) + Chunk3ds(0x4120, faces));
  return Chunk3ds(0x4D4D, Chunk3ds(0x3D3D, Chunk3ds(0x4000, std::string("Box\0", 4) + mesh)));
}

// ---- The cases, from the table and the reference ----------------------------------------

struct Operand {
  std::string text;  // as the reference writes it
  bool folder = false;
  std::string fixture;  // empty for an operand that is no name
  bool remote = false;  // a name of the server's (remote$)
};

struct Case {
  std::string command;  // the row's name
  std::string family;
  std::string line;  // the syntax line
  bool function = false;
  std::vector<Operand> operands;
  std::vector<size_t> names;   // the operands that are names of this machine
  std::vector<size_t> remote;  // the operands that are names of the server's
};

// The name that stands on the server for a remote$ operand: a folder for
// the folder command.
std::string RemoteFixture(const std::string& command) { return command == "ftp set dir" ? "remotedir" : "remote.dat"; }

// The operands of a syntax line without its optional groups.
std::vector<std::string> RequiredOperands(std::string_view text) {
  std::vector<std::string> operands;
  std::string piece;
  int optional = 0, brackets = 0;
  for (const char c : text) {
    if (c == '[') ++optional;
    if (c == ']') --optional;
    if (optional > 0 || c == ']') continue;
    if (c == '(') ++brackets;
    if (c == ')') --brackets;
    if (c == ',' && brackets == 0) {
      operands.push_back(Trimmed(piece));
      piece.clear();
    } else {
      piece += c;
    }
  }
  operands.push_back(Trimmed(piece));
  std::erase(operands, std::string());
  return operands;
}

std::vector<helpgen::HelpFamily> ReadReference() {
  std::vector<fs::path> files;
  for (const fs::directory_entry& entry : fs::directory_iterator(zv::test::SourcePath("compiler/help")))
    if (entry.path().extension() == ".txt") files.push_back(entry.path());
  std::sort(files.begin(), files.end());
  std::vector<helpgen::HelpFamily> families;
  std::vector<std::string> problems;
  for (const fs::path& file : files)
    families.push_back(helpgen::ParseHelpFamily(ReadFile(file), file.filename().string(), &problems));
  return families;
}

// Every row of the table whose syntax has an operand that names a file or
// folder (`with_remote`: of this machine or of the server's), once per
// syntax line. A line belongs to the longest row name it begins with.
std::vector<Case> FileNameCases(bool with_remote = false) {
  const CommandTable& table = CommandTable::Builtin();
  std::set<std::string> functions;
  std::vector<std::string> names;
  for (const CommandEntry& row : table.Commands()) names.push_back(row.name);
  for (const CommandEntry& row : table.Functions()) {
    names.push_back(row.name);
    functions.insert(row.name);
  }
  std::map<std::string, std::vector<std::pair<std::string, std::string>>> lines_of_row;  // row -> (family, line)
  for (const helpgen::HelpFamily& family : ReadReference())
    for (const helpgen::HelpEntry& entry : family.entries) {
      std::vector<std::string> lines = entry.syntax;
      lines.insert(lines.end(), entry.forms.begin(), entry.forms.end());
      for (const std::string& line : lines) {
        std::string row;
        for (const std::string& name : names) {
          const bool begins = line.starts_with(name) && (line.size() == name.size() || line[name.size()] == ' ' ||
                                                         line[name.size()] == '(' || line[name.size()] == '[');
          if (begins && name.size() > row.size()) row = name;
        }
        if (!row.empty()) lines_of_row[row].emplace_back(family.id, line);
      }
    }
  std::vector<Case> cases;
  std::set<std::string> done;
  for (const std::string& row : names) {
    if (!done.insert(row).second) continue;
    for (const auto& [family, line] : lines_of_row[row]) {
      Case c{row, family, line, false, {}, {}, {}};
      std::string rest = Trimmed(std::string_view(line).substr(row.size()));
      c.function = functions.count(row) && rest.starts_with('(') && rest.ends_with(')');
      if (c.function) rest = rest.substr(1, rest.size() - 2);
      for (const std::string& text : RequiredOperands(rest)) {
        Operand operand{text, NamesAFolder(text), "", with_remote && family == "ftp" && text == "remote$"};
        if (operand.remote) {
          operand.fixture = RemoteFixture(row);
          c.remote.push_back(c.operands.size());
        } else if (operand.folder || NamesAFile(family, text)) {
          operand.fixture = operand.folder ? "folder" : FixtureOf(family, row, text);
          c.names.push_back(c.operands.size());
        }
        c.operands.push_back(std::move(operand));
      }
      if (!c.names.empty() || !c.remote.empty()) cases.push_back(std::move(c));
    }
  }
  return cases;
}

// The rows whose name says they handle files (load, save, file, folder)
// and that take a string: a name of a file or folder, but for the strings
// that are text, a variable or a library's function.
std::vector<std::string> RowsNamedForFiles() {
  static const std::set<std::string> kWords = {"load", "save", "file", "files", "dir",
                                               "directory", "folder", "path", "dll"};
  static const std::set<std::string> kNoName = {"read file string", "write file string", "call user dll",
                                                "user dll call exists"};
  const CommandTable& table = CommandTable::Builtin();
  std::set<std::string> rows;
  auto add = [&](const CommandEntry& row, std::string_view operands) {
    std::string words = row.name;
    std::replace(words.begin(), words.end(), '$', ' ');
    std::istringstream in(words);
    bool named = false;
    for (std::string word; in >> word;) named = named || kWords.count(word);
    if (named && operands.find('s') != std::string_view::npos && !kNoName.count(row.name)) rows.insert(row.name);
  };
  for (const CommandEntry& row : table.Commands()) add(row, row.signature);
  for (const CommandEntry& row : table.Functions()) add(row, std::string_view(row.signature).substr(1));
  return {rows.begin(), rows.end()};
}

// The cases this build tries. The sanitizers look for faults of memory,
// which every command of a family meets on the same road, and cost each run
// seconds: there one command of each family. The other builds try them all.
std::vector<Case> CasesToTry(std::vector<Case> cases) {
#ifdef ZV_UNDER_SANITIZERS
  std::set<std::string> families;
  std::erase_if(cases, [&](const Case& c) { return !families.insert(c.family).second; });
#endif
  return cases;
}

// ---- Runs -------------------------------------------------------------------------------

// What a run did: its status and output, and the entries it made.
struct Outcome {
  int status = -1;
  std::string out;
  std::string err;
  std::set<std::string> made;         // paths from the case's folder
  std::set<std::string> made_beside;  // entries made beside that folder
  std::set<std::string> served;       // what the server's folder holds afterwards
  std::string built;                  // what the build of a game said
};

// A file or folder a run finds in place: a copy of a fixture (a folder of
// one file for "folder"), or a decoy of other bytes (an empty folder).
struct Placed {
  std::string name;
  std::string fixture;
  bool decoy = false;
};

// A server of names as bytes, as one whose file system names its files in
// Latin-1 serves them: what it lists is the bytes of its names, and a name
// asked for is those bytes (UTF-8 names are served as such too).
constexpr char kServerScript[] = R"(
import asynchat, sys
from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import FTPHandler
from pyftpdlib.servers import FTPServer
class Bytes(FTPHandler):
    unicode_errors = 'surrogateescape'
    def push(self, s):
        asynchat.async_chat.push(self, s.encode('utf8', 'surrogateescape'))
authorizer = DummyAuthorizer()
authorizer.add_user('user', 'secret', sys.argv[1], perm='elradfmwMT')
Bytes.authorizer = authorizer
FTPServer(('127.0.0.1', 21), Bytes).serve_forever()
)";

std::set<std::string> EntriesBelow(const fs::path& folder) {
  std::set<std::string> entries;
  for (auto it = fs::recursive_directory_iterator(folder); it != fs::recursive_directory_iterator(); ++it)
    entries.insert(fs::relative(it->path(), folder).string());
  return entries;
}

class FileNames : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    work_ = fs::temp_directory_path() / ("zv_file_names_" + std::to_string(::getpid()));
    fs::remove_all(work_);
    fs::create_directories(work_ / "fixtures");
    const fs::path f = work_ / "fixtures";
    fs::copy_file(zv::test::SourcePath("tests/display/codecs/fixtures/rgb24.bmp"), f / "fixture.bmp");
    fs::copy_file(zv::test::SourcePath("tests/audio/library/fixtures/wav/pcm_u8_mono.wav"), f / "fixture.wav");
    fs::copy_file(zv::test::SourcePath("tests/platform/video/clips/raw.avi"), f / "fixture.avi");
    fs::copy_file(zv::test::TestUserLibrary(), f / "fixture.so");
    WriteFile(f / "fixture.x", "xof 0302txt 0032\nMesh { 3; -8.0;-8.0;0.0;, 0.0;8.0;0.0;, 8.0;-8.0;0.0;; 1; 3;0,1,2;; }\n");
    WriteFile(f / "fixture.3ds", Triangle3ds());
    // A program that can be started, as a data file of twelve bytes (an
    // array of three numbers) can be read.
    WriteFile(f / "fixture.dat", "#!/bin/sh\n:\n");
    fs::permissions(f / "fixture.dat", fs::perms::owner_all | fs::perms::group_read | fs::perms::others_read);
    WriteFile(f / "maker.kqa", kFixtureMaker);
    const std::string make = "cd " + ShellQuoted(f.string()) + " && " + ShellQuoted(Zentrovex()) +
                             " run --headless maker.kqa > /dev/null && rm maker.kqa";
    ASSERT_EQ(std::system(make.c_str()), 0);
    WriteFile(work_ / "server.py", kServerScript);
    ftp_ = std::system("unshare -n true 2> /dev/null && /usr/bin/python3 -c 'import pyftpdlib' 2> /dev/null") == 0;
  }
  static void TearDownTestSuite() { fs::remove_all(work_); }

  // The value of each operand of the case's command: `name(i)` for one
  // that is a name, the test's own for the rest.
  using NameValue = std::function<std::string(size_t)>;
  static std::string Statement(const Case& c, const NameValue& name) {
    std::string statement;
    for (size_t i = 0; i < c.operands.size(); ++i) {
      const Operand& o = c.operands[i];
      std::string value;
      if (!o.fixture.empty()) {
        value = name(i);
      } else if (o.text.find('(') != std::string::npos) {
        value = o.text.find('$') != std::string::npos ? "n$(0)" : "n(0)";  // an array by its element
      } else if (o.text.ends_with('$')) {
        auto found = kTextOperand.find(c.command);
        value = found != kTextOperand.end() ? found->second : "\"\"";
      } else {
        value = o.text.ends_with('#') ? "1.0" : "1";
      }
      statement += (i == 0 ? "" : ", ") + value;
    }
    return (c.function ? "print " + c.command + "(" + statement + ")" : c.command + " " + statement) + "\r\n";
  }
  // What comes before the command: its arrays, the server, its set-up.
  static std::string Preamble(const Case& c) {
    std::string program = "dim n(2) : dim n$(2)\r\n";
    if (c.family == "ftp") program += "ftp connect \"127.0.0.1\", \"user\", \"secret\"\r\n";
    if (auto found = kSetUp.find(c.command); found != kSetUp.end()) program += found->second + "\r\n";
    return program;
  }
  static std::string Quoted(const std::string& text) { return "\"" + text + "\""; }
  // The name of operand i as a literal: the UTF-8 name here, the fixed name
  // on the server.
  static std::string Literal(const Case& c, size_t i) {
    return Quoted(c.operands[i].remote ? c.operands[i].fixture : Utf8Name(c, i));
  }
  // Whether each name exists afterwards, by `name(i)`.
  static std::string ExistLines(const Case& c, const NameValue& name) {
    std::string lines;
    for (size_t i : c.names) lines += "print path exists(" + name(i) + ")\r\n";
    return lines;
  }

  // The program of the case: its set-up, the command with a name for each
  // name operand, and whether each name exists afterwards.
  static std::string ProgramOf(const Case& c) {
    const NameValue literal = [&](size_t i) { return Literal(c, i); };
    return Preamble(c) + Statement(c, literal) + ExistLines(c, literal);
  }

  static std::string NameOf(const Case& c, size_t operand, const std::string& stem) {
    const std::string& fixture = c.operands[operand].fixture;
    const size_t dot = fixture.rfind('.');
    return stem + std::to_string(operand + 1) + (dot == std::string::npos ? "" : fixture.substr(dot));
  }
  static std::string Utf8Name(const Case& c, size_t operand) { return NameOf(c, operand, kUtf8Stem); }
  static std::string OlderName(const Case& c, size_t operand) { return NameOf(c, operand, kOlderStem); }
  // What every name of operand i ends in.
  static std::string Tail(const Case& c, size_t operand) { return NameOf(c, operand, ""); }

  // The names of `present`, as UTF-8 names or as the older ones.
  static std::vector<Placed> PlacedNames(const Case& c, const std::set<size_t>& present, bool older) {
    std::vector<Placed> placed;
    for (size_t i : present) placed.push_back({older ? OlderName(c, i) : Utf8Name(c, i), c.operands[i].fixture});
    return placed;
  }
  static void Place(const fs::path& folder, const Placed& p) {
    const fs::path path = folder / p.name;
    if (p.fixture == "folder") {
      fs::create_directory(path);
      if (!p.decoy) fs::copy_file(work_ / "fixtures/fixture.dat", path / "inside.dat");
    } else if (p.decoy) {
      WriteFile(path, "not this one");
    } else {
      fs::copy_file(work_ / "fixtures" / p.fixture, path);
    }
  }
  // A folder of the fixtures, made afresh.
  static fs::path FreshFolder(const std::string& name) {
    const fs::path folder = work_ / name;
    fs::remove_all(folder);
    fs::create_directories(folder);
    for (const fs::directory_entry& fixture : fs::directory_iterator(work_ / "fixtures"))
      fs::copy(fixture.path(), folder / fixture.path().filename());
    return folder;
  }
  static std::set<std::string> EntriesOf(const fs::path& folder) {
    std::set<std::string> entries;
    for (const fs::directory_entry& entry : fs::directory_iterator(folder)) entries.insert(entry.path().filename());
    return entries;
  }
  static int Status(int raw) { return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1; }

  // Runs the case with the names of `present` there, as UTF-8 names or as
  // the older ones.
  static Outcome Run(const Case& c, const std::set<size_t>& present, bool older) {
    return RunProgram(c, ProgramOf(c), PlacedNames(c, present, older));
  }

  // Runs `program` in a folder of the fixtures and `placed`. An FTP case
  // meets a server of its own on the FTP port, in a network of its own,
  // serving `served` (the fixed names of the server's operands when empty).
  static Outcome RunProgram(const Case& c, const std::string& program, const std::vector<Placed>& placed,
                            std::vector<Placed> served = {}) {
    const fs::path folder = FreshFolder("case");
    for (const Placed& p : placed) Place(folder, p);
    WriteFile(folder / "prog.kqa", program);
    const std::set<std::string> before = EntriesBelow(folder);
    const std::string out = (work_ / "out.txt").string(), err = (work_ / "err.txt").string();
    WriteFile(out, "");
    WriteFile(err, "");
    const fs::path served_folder = work_ / "served";
    fs::remove_all(served_folder);
    if (served.empty()) served = {{"remote.dat", "remote.dat"}, {"remotedir", "remotedir"}};
    if (c.family == "ftp") {
      fs::create_directories(served_folder);
      for (const Placed& p : served) {
        if (p.fixture == "remotedir") fs::create_directory(served_folder / p.name);
        else WriteFile(served_folder / p.name, "remote");
      }
    }
    const std::set<std::string> beside = EntriesOf(work_);
    std::string run = "cd " + ShellQuoted(folder.string()) + " && " + ShellQuoted(Zentrovex()) +
                      " run --headless prog.kqa > " + ShellQuoted(out) + " 2> " + ShellQuoted(err);
    if (c.family == "ftp") {
      WriteFile(work_ / "ftp.sh", "ip link set lo up || exit 1\n/usr/bin/python3 " +
                                      ShellQuoted((work_ / "server.py").string()) + " " +
                                      ShellQuoted(served_folder.string()) + " > /dev/null 2>&1 &\n"
                                  "server=$!\n"
                                  "until (echo > /dev/tcp/127.0.0.1/21) 2> /dev/null; do sleep 0.05; done\n" +
                                      run + "\nstatus=$?\nkill $server\nexit $status\n");
      run = "unshare -n bash " + ShellQuoted((work_ / "ftp.sh").string());
    }
    Outcome outcome;
    outcome.status = Status(std::system(run.c_str()));
    outcome.out = ReadFile(out);
    outcome.err = ReadFile(err);
    for (const std::string& entry : EntriesBelow(folder))
      if (!before.count(entry)) outcome.made.insert(entry);
    for (const std::string& entry : EntriesOf(work_))
      if (!beside.count(entry) && entry != "ftp.sh") outcome.made_beside.insert(entry);
    if (c.family == "ftp") outcome.served = EntriesBelow(served_folder);
    return outcome;
  }

  // Builds `program`, in a folder of the fixtures and `placed`, into a game
  // and runs it in a folder of its own.
  static Outcome RunBuiltGame(const std::string& program, const std::vector<Placed>& placed) {
    const fs::path source = FreshFolder("game_source"), played = work_ / "game_played";
    for (const Placed& p : placed) Place(source, p);
    WriteFile(source / "prog.kqa", program);
    fs::remove_all(played);
    fs::create_directories(played);
    const std::string built = (work_ / "built.txt").string(), out = (work_ / "out.txt").string(),
                      err = (work_ / "err.txt").string();
    Outcome outcome;
    const std::string build = "cd " + ShellQuoted(source.string()) + " && " + ShellQuoted(Zentrovex()) +
                              " build prog.kqa -o " + ShellQuoted((played / "game").string()) + " > " +
                              ShellQuoted(built) + " 2>&1";
    outcome.status = Status(std::system(build.c_str()));
    outcome.built = ReadFile(built);
    if (outcome.status != 0) return outcome;
    const std::set<std::string> before = EntriesBelow(played);
    const std::string run = "cd " + ShellQuoted(played.string()) + " && ZENTROVEX_HEADLESS=1 ./game > " +
                            ShellQuoted(out) + " 2> " + ShellQuoted(err);
    outcome.status = Status(std::system(run.c_str()));
    outcome.out = ReadFile(out);
    outcome.err = ReadFile(err);
    for (const std::string& entry : EntriesBelow(played))
      if (!before.count(entry)) outcome.made.insert(entry);
    return outcome;
  }

  // What the case does with none of its names there, and with the fewest
  // names whose presence lets it run and changes what it does (those it
  // reads).
  struct Classified {
    Outcome none, found;
    std::set<size_t> read;
    bool ran = false;
  };
  static Classified Classify(const Case& c) {
    Classified k;
    k.none = k.found = Run(c, {}, false);
    size_t written = 0;
    for (size_t i : c.names) written += k.none.made.count(Utf8Name(c, i));
    k.ran = k.none.status == 0 && written == c.names.size();
    for (uint32_t subset = 1; subset < (1u << c.names.size()) && !k.ran; ++subset) {
      std::set<size_t> present;
      for (size_t n = 0; n < c.names.size(); ++n)
        if (subset & (1u << n)) present.insert(c.names[n]);
      k.found = Run(c, present, false);
      k.ran = k.found.status == 0 && (k.none.status != 0 || k.found.out != k.none.out);
      if (k.ran) k.read = present;
    }
    return k;
  }

  // Why the FTP commands' cases did not run: they leave the test unproven.
  static std::string SkippedFtp(int cases) {
    return std::to_string(cases) + " FTP cases: no network of its own (unshare -n, as root) or no python3-pyftpdlib";
  }

  static inline fs::path work_;
  static inline bool ftp_ = false;
};

// The last `count` lines of the output: whether each name exists at the end.
std::vector<std::string> LastLines(const std::string& out, size_t count) {
  std::vector<std::string> lines;
  std::istringstream in(out);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  if (lines.size() > count) lines.erase(lines.begin(), lines.end() - static_cast<std::ptrdiff_t>(count));
  return lines;
}

// Every name a run made is UTF-8.
void ExpectUtf8Names(const Case& c, const Outcome& run, const char* which) {
  for (const std::string& made : run.made)
    EXPECT_TRUE(platform::IsValidUtf8(made)) << c.line << " (" << which << "): made \"" << made << "\"";
}

// The cases come from the reference's words for an operand (file$, path$,
// ...): a row whose reference spells its name otherwise would drop out
// unseen.
TEST(FileNameCases, TakeEveryRowNamedForFiles) {
  std::set<std::string> covered;
  for (const Case& c : FileNameCases(true)) covered.insert(c.command);
  for (const std::string& row : RowsNamedForFiles())
    EXPECT_TRUE(covered.count(row)) << "no operand of \"" << row << "\" is a name in the reference's syntax";
}

TEST_F(FileNames, EveryCommandThatNamesAFileFindsAndMakesItInUtf8) {
  // Files, arrays, packs, images, bitmaps, animations, sounds, music,
  // models, static scenes, animations of objects, libraries, FTP.
  const std::vector<Case> cases = CasesToTry(FileNameCases());
  int skipped = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    for (size_t i : c.names) ASSERT_FALSE(c.operands[i].fixture.empty()) << "no fixture for the family " << c.family;
    if (c.family == "ftp" && !ftp_) {
      ++skipped;
      continue;
    }
    const Classified k = Classify(c);
    ExpectUtf8Names(c, k.none, "no names there");
    if (!k.ran) {
      ADD_FAILURE() << "no names it reads let it run; with none it said: " << k.none.err;
      continue;
    }
    const Outcome& found = k.found;
    const std::set<size_t>& read = k.read;
    std::set<size_t> written;
    for (size_t i : c.names)
      if (found.made.count(Utf8Name(c, i))) written.insert(i);
    ExpectUtf8Names(c, found, "its names there");
    // A name it does not read it makes, in UTF-8, and finds again.
    const std::vector<std::string> exists = LastLines(found.out, c.names.size());
    for (size_t n = 0; n < c.names.size(); ++n) {
      const size_t i = c.names[n];
      if (read.count(i)) continue;
      EXPECT_TRUE(written.count(i)) << c.operands[i].text << " is neither read nor made as " << Utf8Name(c, i);
      EXPECT_EQ(n < exists.size() ? exists[n] : "", "1") << c.operands[i].text << " is not found again";
    }
    if (read.empty()) continue;
    // What an older build wrote is read as well, and nothing else changes.
    const Outcome older = Run(c, read, true);
    ExpectUtf8Names(c, older, "older names there");
    EXPECT_EQ(older.status, found.status) << older.err;
    EXPECT_EQ(older.out, found.out);
    EXPECT_EQ(older.made, found.made);
  }
  if (skipped > 0) GTEST_SKIP() << SkippedFtp(skipped);
}


// ---- Names the system gives, and marks that name nothing ---------------------------------

// Where a row's name comes from.
enum class From {
  kListing,        // the listing of the folder (checklist files)
  kBuiltGame,      // a built game's carried file, by the program's literal and by its listing
  kServerListing,  // the server's listing
  kServerLiteral,  // the program's literal, for the server's name
  kRefused,        // the program's expression, holding a mark no name may hold
};

// A name the commands that name a file are given in turn. A row that shows
// a command hands its names to the system (and not to a way of its own)
// meets every command. A row that shows what the system then makes of a
// name meets one command of each family, the first it applies to: the
// others hand it the same name the same way, and each such row met on every
// command cost a start of the program, a third of the test's time.
struct NameRow {
  const char* what;
  From from;
  std::string stem;     // the name's bytes before its tail; kRefused: the expression, up to its last literal
  std::string spelled;  // the program's literal (a UTF-8 source); kListing: a twin's, which the name is not
  std::string mark;     // kRefused: the mark the error names
  bool every_command = true;
};

const NameRow kNameRows[] = {
    {"a name that is not UTF-8, made by the shell", From::kListing, "n\xE9\xFF", "", ""},
    {"a Latin-1 name beside its UTF-8 twin", From::kListing, "caf\xE9", "caf\xC3\xA9", "", false},
    {"a name of 40 CJK characters", From::kListing, Repeated("\xE6\x9D\xB1", 40), "", "", false},
    {"a name the path syntax would read otherwise (drive, \"\\\", \"..\")", From::kListing, "C:\\zv_absent\\..\\", "",
     "", false},
    {"a built game carrying a file an older build named", From::kBuiltGame, "l1_caf\xE9", "l1_caf\xC3\xA9", ""},
    {"a server whose names are Latin-1: the name it lists", From::kServerListing, "l1_caf\xE9", "", ""},
    {"a server whose names are Latin-1: the program's literal", From::kServerLiteral, "l1_caf\xE9", "l1_caf\xC3\xA9",
     ""},
    {"a mark that would climb out of the folder", From::kRefused,
     "m$ + \"U+002E\" + m$ + m$ + \"U+002E\" + m$ + m$ + \"U+002F\" + m$ + \"escaped", "", "U+002E"},
    {"a mark that would end the name", From::kRefused, "\"keep\" + m$ + \"U+0000\" + m$ + \"", "", "U+0000", false},
};

// Lines that set a<i>$ to the name the listing gives for operand i, told
// apart from a twin spelled `twin` (none when empty).
std::string ListedNames(const std::string& listing, const std::string& next,
                        const std::vector<std::pair<size_t, std::string>>& tails, const std::string& twin) {
  std::string lines = listing;
  for (const auto& [operand, tail] : tails) {
    lines += "if right$(e$, " + std::to_string(tail.size()) + ") = \"" + tail + "\"";
    if (!twin.empty()) lines += " and e$ <> \"" + twin + tail + "\"";
    lines += " then a" + std::to_string(operand) + "$ = e$\r\n";
  }
  return lines + next;
}
std::string Listed(size_t operand) { return "a" + std::to_string(operand) + "$"; }
std::string ChecklistPick(const std::vector<std::pair<size_t, std::string>>& tails, const std::string& twin) {
  return ListedNames("checklist files\r\nfor k = 1 to checklist quantity()\r\ne$ = checklist string$(k)\r\n",
                     "next k\r\n", tails, twin);
}

TEST_F(FileNames, EveryNameTheSystemGivesOpensWhatItNamesAndNoMarkMakesANameOfWhatNoNameHolds) {
  const std::vector<Case> cases = CasesToTry(FileNameCases(true));
  std::map<std::string, int> met;  // how many commands each row was tried on
  std::set<std::pair<std::string, std::string>> met_in_family;  // (row, family)
  const auto meet = [&](const NameRow& row, const Case& c) {
    ++met[row.what];
    met_in_family.emplace(row.what, c.family);
  };
  int skipped = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    const bool ftp = c.family == "ftp";
    if (ftp && !ftp_) {
      ++skipped;
      continue;
    }
    const Classified k = Classify(c);
    if (!k.ran) {
      ADD_FAILURE() << "no names it reads let it run; with none it said: " << k.none.err;
      continue;
    }
    std::vector<std::pair<size_t, std::string>> read_tails, remote_tails;
    for (size_t i : k.read) read_tails.emplace_back(i, Tail(c, i));
    for (size_t i : c.remote) remote_tails.emplace_back(i, Tail(c, i));
    const auto literal = [&](size_t i) { return Literal(c, i); };
    for (const NameRow& row : kNameRows) {
      SCOPED_TRACE(row.what);
      if (!row.every_command && met_in_family.count({row.what, c.family})) continue;
      const auto read_as = [&](const NameValue& name) {
        return [&, name](size_t i) { return k.read.count(i) ? name(i) : Literal(c, i); };
      };
      Outcome run;
      switch (row.from) {
        case From::kListing: {
          if (k.read.empty()) continue;
          std::vector<Placed> placed;
          for (const auto& [i, tail] : read_tails) {
            placed.push_back({row.stem + tail, c.operands[i].fixture});
            if (!row.spelled.empty()) placed.push_back({row.spelled + tail, c.operands[i].fixture, true});
          }
          const std::string pick = ChecklistPick(read_tails, row.spelled);
          run = RunProgram(c, Preamble(c) + pick + Statement(c, read_as(Listed)) + ExistLines(c, read_as(Listed)),
                           placed);
          // An upload takes the name the file has here.
          if (ftp) {
            for (const auto& [i, tail] : read_tails) EXPECT_TRUE(run.served.count(row.stem + tail)) << tail;
          }
          break;
        }
        case From::kBuiltGame: {
          if (k.read.empty() || ftp) continue;
          std::vector<Placed> placed;
          for (const auto& [i, tail] : read_tails) placed.push_back({row.stem + tail, c.operands[i].fixture});
          const NameValue spelled = [&](size_t i) { return Quoted(row.spelled + Tail(c, i)); };
          const std::string program =
              Preamble(c) + ChecklistPick(read_tails, "") + Statement(c, read_as(spelled)) + ExistLines(c, read_as(Listed));
          run = RunBuiltGame(program, placed);
          // Only what the builder takes along (a library is left out).
          bool carried = true;
          for (const Placed& p : placed) carried = carried && run.built.find("Adding " + p.name) != std::string::npos;
          if (!carried) continue;
          // As the same game does with the file under the UTF-8 name.
          for (Placed& p : placed) p.name = row.spelled + p.name.substr(row.stem.size());
          const Outcome utf8 = RunBuiltGame(program, placed);
          meet(row, c);
          EXPECT_EQ(run.status, utf8.status) << run.err;
          EXPECT_EQ(run.out, utf8.out);
          // What it puts on disk of the carried file keeps the file's name.
          std::set<std::string> made;
          for (const std::string& name : run.made)
            made.insert(name.starts_with(row.stem) ? row.spelled + name.substr(row.stem.size()) : name);
          EXPECT_EQ(made, utf8.made);
          EXPECT_EQ(utf8.status, 0) << utf8.err;
          continue;
        }
        case From::kServerListing:
        case From::kServerLiteral: {
          if (c.remote.empty()) continue;
          std::vector<Placed> served;
          for (const auto& [i, tail] : remote_tails) served.push_back({row.stem + tail, c.operands[i].fixture});
          const bool listing = row.from == From::kServerListing;
          const std::string pick =
              listing ? ListedNames("ftp find first\r\nwhile ftp file type() <> -1\r\ne$ = ftp file name$()\r\n",
                                    "ftp find next\r\nendwhile\r\n", remote_tails, "")
                      : std::string();
          const NameValue remote = [&](size_t i) {
            if (!c.operands[i].remote) return Literal(c, i);
            return listing ? Listed(i) : Quoted(row.spelled + Tail(c, i));
          };
          run = RunProgram(c, Preamble(c) + pick + Statement(c, remote) + ExistLines(c, literal),
                           PlacedNames(c, k.read, false), served);
          break;
        }
        case From::kRefused: {
          std::vector<size_t> names = c.names;
          names.insert(names.end(), c.remote.begin(), c.remote.end());
          for (size_t refused : names) {
            SCOPED_TRACE(c.operands[refused].text);
            std::set<size_t> present = k.read;
            present.erase(refused);
            const NameValue name = [&](size_t i) { return i == refused ? row.stem + Tail(c, i) + "\"" : Literal(c, i); };
            const Outcome refusal =
                RunProgram(c, "m$ = chr$(129)\r\n" + Preamble(c) + Statement(c, name), PlacedNames(c, present, false));
            // A question about such a name is answered as for a missing file.
            if (c.command == "file exists" || c.command == "path exists" || c.command == "file size") {
              EXPECT_EQ(refusal.status, 0) << refusal.err;
              EXPECT_EQ(refusal.out, "0\n");
              continue;
            }
            EXPECT_EQ(refusal.status, 1);
            EXPECT_NE(refusal.err.find("File name not valid"), std::string::npos) << refusal.err;
            EXPECT_NE(refusal.err.find("its mark for " + row.mark), std::string::npos) << refusal.err;
            // Nothing is made for it, here, beside the folder or on the server.
            EXPECT_EQ(refusal.made_beside, std::set<std::string>());
            for (const std::string& made : refusal.made)
              EXPECT_TRUE(made.find("escaped") == std::string::npos && !made.starts_with("keep")) << made;
            if (ftp) {
              EXPECT_EQ(refusal.served, (std::set<std::string>{"remote.dat", "remotedir"}));
            }
          }
          meet(row, c);
          continue;
        }
      }
      meet(row, c);
      EXPECT_EQ(run.status, k.found.status) << run.err;
      EXPECT_EQ(run.out, k.found.out);
      EXPECT_EQ(run.made, k.found.made);
    }
  }
  // The server's rows meet FTP commands alone.
  if (skipped > 0) GTEST_SKIP() << SkippedFtp(skipped);
  for (const NameRow& row : kNameRows) EXPECT_GT(met[row.what], 0) << "no command met: " << row.what;
}


// A game built with accented names finds what it carries by the same
// literals, knows its own name, and keeps what it writes under UTF-8 names.
TEST_F(FileNames, ABuiltGameCarriesAndKeepsAccentedNames) {
  const fs::path source = work_ / "source_\xC3\xA9", played = work_ / "partie_\xC3\xA9";
  fs::remove_all(source);
  fs::remove_all(played);
  fs::create_directories(source / "sous_\xC3\xA9");
  fs::create_directories(played);
  WriteFile(source / "\xC3\xA9t\xC3\xA9.txt", "carried");
  WriteFile(source / "sous_\xC3\xA9/\xC3\xA0.txt", "below");
  const std::string game = (played / "jeu_\xC3\xA9").string();
  WriteFile(source / "jeu_\xC3\xA0.kqa",
            "print file size(\"sous_\xC3\xA9\" + chr$(129) + \"005C\" + chr$(129) + \"\xC3\xA0.txt\")\r\n"
            "print file exists(\"\xC3\xA9t\xC3\xA9.txt\"); file exists(\"sous_\xC3\xA9\\\xC3\xA0.txt\")\r\n"
            "print app file name$() = \"" + game + "\"\r\n"
            "open file to write 1, \"nouveau_\xC3\xA9.txt\" : close file 1\r\n"
            "delete file \"\xC3\xA9t\xC3\xA9.txt\" : open file to write 1, \"\xC3\xA9t\xC3\xA9.txt\" : close file 1\r\n"
            "rename file \"sous_\xC3\xA9\", \"autre\"\r\n"
            "open file to read 2, \"absente_\xC3\xA9.dat\"\r\n");
  const std::string build = "cd " + ShellQuoted(source.string()) + " && " + ShellQuoted(Zentrovex()) +
                            " build jeu_\xC3\xA0.kqa -o " + ShellQuoted(game) + " > /dev/null";
  ASSERT_EQ(std::system(build.c_str()), 0);
  // A name of the player's that holds a "\" is no file the game carries.
  WriteFile(played / "sous_\xC3\xA9\\\xC3\xA0.txt", "disk");
  const std::string out = (work_ / "out.txt").string(), err = (work_ / "err.txt").string();
  const std::string run = "cd " + ShellQuoted(played.string()) + " && ZENTROVEX_HEADLESS=1 " + ShellQuoted(game) +
                          " > " + ShellQuoted(out) + " 2> " + ShellQuoted(err);
  // A warning ends nothing in a built game; it says so in UTF-8.
  std::system(run.c_str());
  EXPECT_NE(ReadFile(err).find("\"absente_\xC3\xA9.dat\""), std::string::npos) << ReadFile(err);
  EXPECT_EQ(ReadFile(out), "4\n11\n1\n");
  EXPECT_TRUE(fs::exists(played / "nouveau_\xC3\xA9.txt"));
  EXPECT_TRUE(fs::exists(played / "\xC3\xA9t\xC3\xA9.txt"));
  // A carried folder moved away takes its files along, by their own names.
  EXPECT_EQ(ReadFile(played / "autre/\xC3\xA0.txt"), "below");
  // The game is known by its program's name.
  EXPECT_EQ(ReadFile(played / ".zentrovex-kept"),
            "jeu_\xC3\xA0.kqa\t\xC3\xA9t\xC3\xA9.txt\njeu_\xC3\xA0.kqa\tsous_\xC3\xA9\n");
}

// ---- What comes back from the system, and what goes out to it ---------------------------

// A program run in a folder of its own (named in UTF-8) with files in it,
// arguments and the environment.
struct TextCase {
  const char* what;
  std::vector<std::pair<std::string, std::string>> files;  // name on disk, content
  std::string environment;  // NAME=value ... before the command
  std::string arguments;    // after the program, for the shell
  std::string program;      // lines, UTF-8, as a Linux editor writes them
  std::string out;          // the whole standard output ("@" stands for the folder, here and above)
  std::string error;        // a part of standard error
  std::vector<std::pair<std::string, std::optional<std::string>>> disk = {};  // after the run: content, or none
};

// A directory pack of `files` (path as packed, content).
std::string PackOf(const std::vector<std::pair<std::string, std::string>>& files) {
  const auto u32 = [](size_t v) { return std::string{char(v), char(v >> 8), char(v >> 16), char(v >> 24)}; };
  std::string pack = u32(files.size());
  for (const auto& [path, content] : files) pack += u32(path.size() + 1) + path + '\0' + u32(content.size()) + content;
  return pack;
}

TEST_F(FileNames, TextCrossesToAndFromTheSystemAsUtf8) {
  const std::string folder_name = "dossier_\xC3\xA9";
  const std::string folder = (work_ / folder_name).string();
  // The test's folder from the root, as a pack or a drive would name it.
  std::string rel = work_.relative_path().string();
  std::replace(rel.begin(), rel.end(), '/', '\\');
  const TextCase cases[] = {
      {"a listing gives names in the program's characters, in a spelling that opens the same file",
       {{"caf\xC3\xA9\xE2\x82\xAC.txt", "1"}, {"arrow\xE2\x86\x92.txt", "2"}, {"vieux\xE9.txt", "3"}},
       "",
       "",
       "find first : find next : find next\r\n"
       "while find file type() <> -1\r\n"
       "  n$ = find file name$() : print n$; \" \"; file exists(n$); \" \"; n$ = \"caf\xC3\xA9\xE2\x82\xAC.txt\"\r\n"
       "  find next\r\n"
       "endwhile\r\n"
       "checklist files : print checklist string$(4); \" \"; len(checklist string$(3))\r\n",
       "arrow\xE2\x86\x92.txt 1 0\ncaf\xC3\xA9\xE2\x82\xAC.txt 1 1\nprog.kqa 1 0\nvieux\xC3\xA9.txt 1 0\n"
       "caf\xC3\xA9\xE2\x82\xAC.txt 15\n",
       ""},
      {"the working folder", {}, "", "", "print current directory$() : print current directory$() = \"@\"\r\n",
       "@\n1\n", ""},
      {"the command line, its \"\\\" and drives as typed", {}, "", "caf\xC3\xA9 '\xE2\x82\xAC 5' 'C:\\x'",
       "print command line$() : print command line$() = \"caf\xC3\xA9 \" + chr$(34) + \"\xE2\x82\xAC 5\" + chr$(34) + "
       "\" C:\\x\"\r\n",
       "caf\xC3\xA9 \"\xE2\x82\xAC 5\" C:\\x\n1\n", ""},
      {"a folder from the environment", {}, "XDG_CONFIG_HOME=@/r\xC3\xA9glages", "",
       "print windows directory$() = \"@/r\xC3\xA9glages/zentrovex\"\r\n", "1\n", ""},
      {"a message that names a file", {}, "", "", "open file to read 1, \"absente_\xC3\xA9.dat\"\r\n", "",
       "\"absente_\xC3\xA9.dat\""},
      {"an included file",
       {{"biblioth\xC3\xA8que.kqa", "function f$()\r\nendfunction \"inclus \xC3\xA9\"\r\n"}},
       "",
       "",
       "#include \"biblioth\xC3\xA8que.kqa\"\r\nprint f$()\r\n",
       "inclus \xC3\xA9\n",
       ""},
      {"a compile error that names a file", {}, "", "", "#include \"manqu\xC3\xA9" "e.kqa\"\r\n", "",
       "cannot open include file \"manqu\xC3\xA9" "e.kqa\"\n    #include \"manqu\xC3\xA9" "e.kqa\""},
      {"a started program's arguments",
       {},
       "",
       "",
       "q$ = chr$(34) : execute file \"/bin/sh\", \"-c \" + q$ + \"printf %s \xC3\xA9t\xC3\xA9 > started\" + q$, \"\"\r\n"
       "repeat : wait 10 : until file size(\"started\") > 0\r\n"
       "open file to read 1, \"started\" : read file byte 1, b : print b\r\n",
       "195\n",
       ""},
      {"a listed name that is not UTF-8 reaches a started program as its bytes", {{"n\xE9.txt", "latin"}}, "", "",
       "checklist files : for k = 1 to checklist quantity()\r\n"
       "if left$(checklist string$(k), 1) = \"n\" then n$ = checklist string$(k)\r\nnext k\r\n"
       "q$ = chr$(34) : execute file \"/bin/sh\", \"-c \" + q$ + \"cat \" + n$ + \" > started\" + q$, \"\"\r\n"
       "repeat : wait 10 : t = t + 1 : until file size(\"started\") > 0 or t > 3000\r\nprint file size(\"started\")\r\n",
       "5\n", ""},
      {"a name too long for a checklist entry is left out, and named", {{kCjk50 + ".txt", "1"}}, "", "",
       "checklist files : print checklist quantity()\r\n", "3\n",
       "File name cannot be given to the program \"" + Repeated("\xE6\x9D\xB1", 12) +
           "...\": its name takes more than the 255 characters a checklist entry holds"},
      {"a name no program text can spell is left out, and named", {{"c\xC2\x85.txt", "1"}}, "", "",
       "checklist files : print checklist quantity()\r\n", "3\n", "File name cannot be given to the program \"c"},
      {"an argument of letters beyond 255 characters of marks comes whole", {}, "", "x " + kCjk50 + " y",
       "print command line$()\r\n", "x " + kCjk50 + " y\n", ""},
      {"a picture a model file names with a mark no name may hold is one it does not have",
       {{"m.x", "xof 0302txt 0032\nMesh { 3; -8.0;-8.0;0.0;, 0.0;8.0;0.0;, 8.0;-8.0;0.0;; 1; 3;0,1,2;;\n"
                " MeshMaterialList { 1; 1; 0;; Material { 1.0;1.0;1.0;1.0;; 0.0; 0.0;0.0;0.0;; 0.0;0.0;0.0;;\n"
                " TextureFilename { \"\x81U+002E\x81\x81U+002E\x81\x81U+002F\x81t.bmp\"; } } }\n}\n"}},
       "", "", "load object \"m.x\", 1 : print object exist(1)\r\n", "1\n", ""},
      {"an include whose mark stands for a letter is no file", {{"x.kqa", "print \"included\"\r\n"}}, "", "",
       "#include \"\x81U+0078\x81.kqa\"\r\n", "", "cannot open include file"},
      {"a pack of \"\" holds the working folder", {{"src/a.txt", "A"}, {"src/sub/b.txt", "B"}}, "", "",
       "set directory \"src\" : open file to write 1, \"../p.dat\" : write dir block 1, \"\" : close file 1\r\n"
       "set directory \"..\" : open file to read 1, \"p.dat\" : read dir block 1, \"dst\"\r\n"
       "print file exists(\"dst\\a.txt\"); file exists(\"dst\\sub\\b.txt\")\r\n",
       "11\n", ""},
      {"unpacked into \"\", a pack's files land in the working folder; a name taken is left out, and named",
       {{"p.dat", PackOf({{rel + "\\leak\\p.txt", "P"}, {rel + "\\t\\Save.dat", "S"}, {rel + "\\t\\save.dat", "ss"},
                          {rel + "\\t\\caf\xC3\xA9", "U"}, {rel + "\\t\\caf\xE9", "LL"}})}},
       "", "",
       "make directory \"dst\" : set directory \"dst\" : open file to read 1, \"../p.dat\" : read dir block 1, \"\"\r\n"
       "print file exists(\"" + rel + "\\leak\\p.txt\"); path exists(\"@/../leak\"); file size(\"" + rel +
           "\\t\\Save.dat\"); file size(\"" + rel + "\\t\\caf\xC3\xA9\")\r\n",
       "1011\n", "File already exists \"" + rel + "\\t\\save.dat\": the pack's file is left out, and \"" + rel +
           "\\t\\caf\xC3\xA9\""},
      {"a pack gives back every name whole: \":\" inside, a leading drive form, \"\\\"",
       {{"src/Meeting 10:30.txt", "1"}, {"src/a:b:c.txt", "2"}, {"src/C:drive.txt", "3"}, {"src/s/level:2.dat", "4"},
        {"src/a\\b.txt", "5"}},
       "", "",
       "open file to write 1, \"p.dat\" : write dir block 1, \"src\" : close file 1\r\n"
       "open file to read 1, \"p.dat\" : read dir block 1, \"dst\" : m$ = chr$(129)\r\n"
       "print file size(\"dst/Meeting 10:30.txt\"); file size(\"dst/a:b:c.txt\"); file size(\"dst/C:drive.txt\"); "
       "file size(\"dst/s/level:2.dat\"); file size(\"dst/a\" + m$ + \"005C\" + m$ + \"b.txt\")\r\n",
       "11111\n", ""},
      {"a pack cut short names the file it ends inside",
       {{"p.dat", PackOf({{"ok.txt", "O"}, {"cut.txt", std::string(1000, 'c')}}).substr(0, 46)}}, "", "",
       "open file to read 1, \"p.dat\" : read dir block 1, \"dst\"\r\n", "",
       "\"dst\\cut.txt\": the pack ends inside it, 10 of its 1000 bytes there; it is not written",
       {{"dst/ok.txt", "O"}, {"dst/cut.txt", std::nullopt}}},
      {"a pack that ends at a file's end says how many files it lacks",
       {{"p.dat", PackOf({{"a.txt", "A"}, {"b.txt", "B"}, {"c.txt", "C"}}).substr(0, 19)}}, "", "",
       "open file to read 1, \"p.dat\" : read dir block 1, \"dst\"\r\n", "",
       "Could not read from the file \"p.dat\": the pack lacks 2 of its 3 files", {{"dst/a.txt", "A"}, {"dst/b.txt", std::nullopt}}},
      {"a pack that ends inside a name's length says how many files it lacks",
       {{"p.dat", PackOf({{"a.txt", "A"}, {"b.txt", "B"}}).substr(0, 21)}}, "", "",
       "open file to read 1, \"p.dat\" : read dir block 1, \"dst\"\r\n", "",
       "Could not read from the file \"p.dat\": the pack lacks 1 of its 2 files", {{"dst/a.txt", "A"}, {"dst/b.txt", std::nullopt}}},
      {"a pack that ends inside its count says so", {{"p.dat", PackOf({{"a.txt", "A"}}).substr(0, 2)}}, "", "",
       "open file to read 1, \"p.dat\" : read dir block 1, \"dst\"\r\n", "",
       "Could not read from the file \"p.dat\": it ends inside the pack's count of files"},
      {"an empty file is no empty pack", {{"p.dat", ""}}, "", "",
       "open file to read 1, \"p.dat\" : read dir block 1, \"dst\"\r\n", "",
       "Could not read from the file \"p.dat\": it is empty, and holds no pack"},
      {"a record cut short names the file", {{"r.dat", PackOf({{"x", std::string(100, 'r')}}).substr(10, 7)}}, "", "",
       "open file to read 1, \"r.dat\" : read file block 1, \"out.txt\"\r\n", "",
       "\"out.txt\": the file ends inside it, 3 of its 100 bytes there", {{"out.txt", std::nullopt}}},
      {"every file of a pack that cannot be made is named",
       {{"p.dat", PackOf({{"f", "F"}, {"f\\a.txt", "A"}, {"f\\b.txt", "B"}})}}, "", "",
       "open file to read 1, \"p.dat\" : read dir block 1, \"dst\"\r\n", "",
       "\"dst/f/a.txt\": not a directory; it is not written, and \"dst/f/b.txt\" (not a directory)"},
      {"only the journals' own names are hidden", {{".zv-journal-notes.txt", "n"}, {".zv-journal-1a-2b.0-0", "j"}},
       "", "", "checklist files : print checklist quantity(); checklist string$(3)\r\n", "4.zv-journal-notes.txt\n",
       ""},
      {"a listed name in lower case names its entry; a name taken by another case names the file",
       {{"C:X.TXT", "x"}, {"Save.dat", "s"}, {"x.dat", "x"}}, "", "",
       "checklist files : print file size(lower$(checklist string$(3)))\r\nrename file \"x.dat\", \"save.dat\"\r\n",
       "1\n",
       "File already exists \"save.dat\": \"Save.dat\" answers to that name"},
      {"the working folder's name goes back to it, whatever its names hold (U+0085, U+0081 and what reads as a mark, "
       "\"\\\")",
       {{"a\xC2\x85" "b/x\xC2\x81" "E9\xC2\x81/s\\t/in.txt", "in"}}, "", "",
       "m$ = chr$(129) : set directory \"a\" + m$ + \"0085\" + m$ + \"b\"\r\n"
       "set directory \"x\" + m$ + \"0081\" + m$ + \"E9\" + m$ + \"0081\" + m$\r\n"
       "set directory \"s\" + m$ + \"005C\" + m$ + \"t\"\r\n"
       "d$ = current directory$() : set directory \"/\" : set directory d$ : print file exists(\"in.txt\"); "
       "d$ = \"@/a\" + m$ + \"0085\" + m$ + \"b/x\" + m$ + \"0081\" + m$ + \"E9\" + m$ + \"0081\" + m$ + \"/s\" + m$ + "
       "\"005C\" + m$ + \"t\"\r\n",
       "11\n", ""},
  };
  const auto in_folder = [&folder](std::string text) {
    for (size_t at = text.find('@'); at != std::string::npos; at = text.find('@', at + folder.size()))
      text.replace(at, 1, folder);
    return text;
  };
  for (const TextCase& c : cases) {
    SCOPED_TRACE(c.what);
    fs::remove_all(folder);
    fs::create_directories(folder);
    for (const auto& [name, content] : c.files) {
      fs::create_directories((fs::path(folder) / name).parent_path());
      WriteFile(fs::path(folder) / name, content);
    }
    WriteFile(fs::path(folder) / "prog.kqa", in_folder(c.program));
    const std::string out = (work_ / "out.txt").string(), err = (work_ / "err.txt").string();
    const std::string run = "cd " + ShellQuoted(folder) + " && " + in_folder(c.environment) + " " +
                            ShellQuoted(Zentrovex()) + " run --headless prog.kqa " + c.arguments + " > " +
                            ShellQuoted(out) + " 2> " + ShellQuoted(err);
    std::system(run.c_str());
    EXPECT_EQ(ReadFile(out), in_folder(c.out)) << ReadFile(err);
    EXPECT_NE(ReadFile(err).find(c.error), std::string::npos) << ReadFile(err);
    for (const auto& [name, content] : c.disk)
      EXPECT_EQ(fs::exists(fs::path(folder) / name) ? std::optional(ReadFile(fs::path(folder) / name)) : std::nullopt,
                content) << name;
  }
}

}  // namespace
}  // namespace zv
