#include "app/command_line.h"

#include <cstdlib>

#include "platform/text/system_text.h"

namespace zv {

const char kUsage[] =
    "usage: zentrovex                       open the editor\n"
    "       zentrovex edit [FLAGS] [FILE.kqa]\n"
    "                                       open the editor on a program\n"
    "       zentrovex run [FLAGS] FILE.kqa [ARGS...]\n"
    "                                       compile and run a program\n"
    "       zentrovex build FILE.kqa -o GAME\n"
    "                                       write a standalone game\n"
    "       zentrovex --version | --help\n"
    "\n"
    "flags (before FILE):\n"
    "  --headless         no window and no sound; console output goes to stdout\n"
    "  --frames N         stop after N presented frames\n"
    "  --screenshot F.png write the last presented frame to F.png\n"
    "  --events F         edit: play the keys and clicks of script F (headless)\n";

namespace {

// How much of an argument a note shows when the line leaves it out.
constexpr size_t kNamedCharacters = 12;

bool ParseCount(const std::string& text, int* out) {
  char* end = nullptr;
  long value = std::strtol(text.c_str(), &end, 10);
  if (text.empty() || *end != '\0' || value < 0 || value > 1000000000) return false;
  *out = static_cast<int>(value);
  return true;
}

std::optional<CommandLine> Fail(std::string* error, std::string message) {
  if (error) *error = std::move(message);
  return std::nullopt;
}

bool IsHelpFlag(const std::string& word) { return word == "--help" || word == "-h"; }

}  // namespace

std::optional<CommandLine> ParseCommandLine(const std::vector<std::string>& args, std::string* error) {
  CommandLine line;
  if (args.empty()) return line;

  const std::string& verb = args[0];
  if (verb == "--version") {
    line.action = CommandLine::Action::kVersion;
    return line;
  }
  if (IsHelpFlag(verb)) {
    line.action = CommandLine::Action::kHelp;
    return line;
  }
  if (verb == "build") {
    line.action = CommandLine::Action::kBuild;
    for (size_t i = 1; i < args.size(); ++i) {
      if (IsHelpFlag(args[i])) {
        line.action = CommandLine::Action::kHelp;
        return line;
      }
      if (args[i] == "-o") {
        if (++i == args.size()) return Fail(error, "build: -o needs a file name");
        line.output = args[i];
      } else if (line.file.empty()) {
        line.file = args[i];
      } else {
        return Fail(error, "build: unexpected argument '" + args[i] + "'");
      }
    }
    if (line.file.empty()) return Fail(error, "build: no source file given");
    if (line.output.empty()) return Fail(error, "build: no output given (-o GAME)");
    return line;
  }
  if (verb == "run" || verb == "edit") {
    const bool edit = verb == "edit";
    line.action = edit ? CommandLine::Action::kEditor : CommandLine::Action::kRun;
    size_t i = 1;
    for (; i < args.size() && args[i].rfind("--", 0) == 0; ++i) {
      const std::string& flag = args[i];
      if (IsHelpFlag(flag)) {
        line.action = CommandLine::Action::kHelp;
        return line;
      }
      if (edit && flag == "--events") {
        if (++i == args.size()) return Fail(error, "edit: --events needs a file name");
        line.events = args[i];
      } else if (flag == "--headless") {
        line.headless = true;
      } else if (flag == "--frames") {
        if (++i == args.size() || !ParseCount(args[i], &line.frames))
          return Fail(error, verb + ": --frames needs a count");
      } else if (flag == "--screenshot") {
        if (++i == args.size()) return Fail(error, verb + ": --screenshot needs a file name");
        line.screenshot = args[i];
      } else {
        return Fail(error, verb + ": unknown flag '" + flag + "'");
      }
    }
    if (edit) {
      if (i + 1 < args.size()) return Fail(error, "edit: unexpected argument '" + args[i + 1] + "'");
      if (i < args.size()) line.file = args[i];
      return line;
    }
    if (i == args.size()) return Fail(error, "run: no program file given");
    line.file = args[i];
    line.program_args.assign(args.begin() + static_cast<long>(i) + 1, args.end());
    return line;
  }
  return Fail(error, "unknown command '" + verb + "'");
}

std::string ProgramCommandLine(const std::vector<std::string>& words, std::string* left_out) {
  std::string line;
  for (const std::string& word : words) {
    // Cut, a word would name what the user did not type: the line ends
    // before the first word it cannot hold whole, and says so.
    const std::optional<std::string> text = platform::ExactProgramTextOf(word);
    const bool quoted = word.empty() || word.find_first_of(" \t") != std::string::npos;
    const std::string spelled = !text ? std::string() : quoted ? '"' + *text + '"' : *text;
    const size_t length = line.size() + (line.empty() ? 0 : 1) + spelled.size();
    if (!text || length > kProgramCommandLineLimit) {
      if (left_out) {
        *left_out = "the program's command line ends before the argument \"" +
                    platform::ProgramTextBeginning(word, kNamedCharacters) + "\", which " +
                    (text ? "would take it past " + std::to_string(kProgramCommandLineLimit) + " characters"
                          : std::string("holds a control character that program text cannot spell"));
      }
      break;
    }
    if (!line.empty()) line += ' ';
    line += spelled;
  }
  return line;
}

}  // namespace zv
