#include "compiler/compiler.h"

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "compiler/compiler_context.h"
#include "compiler/program_writer.h"
#include "platform/paths/failure_cause.h"
#include "platform/paths/path_resolver.h"
#include "platform/text/system_text.h"

namespace zv {
namespace compiler {
namespace {

constexpr size_t kMaxCodeWords = size_t{1} << 24;

}  // namespace

bool Compiler::Run(const std::function<void(int)>& progress) {
  if (!ScanUserFunctions()) return false;
  current_function_ = 0;
  InitBlockKeywords();
  int reported_step = 0;
  const size_t total = lines_.size();
  for (size_t i = 0; i < total; ++i) {
    line_index_ = i;
    current_line_ = static_cast<int>(i + 1);
    if (BeginsFile(i)) comment_block_ = false;
    if (!CompileStatement(lines_[i].comment_out ? "`" : lines_[i].text)) {
      if (failure_.message.empty()) Fail(CompileMessage::kUnknownStatement);
      // A character the program cannot hold is what to mend first on its
      // line, then a string left open, which swallows the rest of the line.
      std::string first = ForeignCharacterMessage(i);
      if (first.empty()) first = UnclosedStringMessage(i);
      if (failure_.line_index == static_cast<int>(i) && !first.empty()) failure_.message = std::move(first);
      return false;
    }
    if (code_.size() > kMaxCodeWords) return Fail(CompileMessage::kProgramTooLong);
    if (progress) {
      int percent = static_cast<int>(100 * (i + 1) / total);
      if (percent / 10 > reported_step) {
        reported_step = percent / 10;
        progress(percent);
      }
    }
  }
  // The end-of-program checks; the most basic fault is reported first.
  if (!CheckBlocksClosed() || !CheckSelectClosed()) return false;
  if (!CheckBareFunctionNames()) return false;
  if (!CheckArraysDimensioned()) return false;
  if (!ResolveReferences()) return false;
  // Every program ends with a zero word.
  code_.push_back(0);
  code_lines_.push_back(0);
  return true;
}

}  // namespace compiler

namespace {

// Sources larger than this are refused rather than read into memory whole.
constexpr std::uintmax_t kMaxSourceBytes = std::uintmax_t{64} << 20;

// False with errno set when the file cannot be read whole.
bool ReadWholeFile(const std::string& path, std::string* text) {
  std::error_code ec;
  auto size = std::filesystem::file_size(path, ec);
  if (ec || size > kMaxSourceBytes) {
    errno = ec ? ec.value() : EFBIG;
    return false;
  }
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  text->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return !in.bad();
}

// " (did you mean NAME.kqa?)" when NAME.kqa is beside the file given as
// NAME (a built game beside its program, named without the ending).
std::string SourceBeside(const std::string& path) {
  const std::filesystem::path source = path + ".kqa";
  std::error_code ec;
  if (path.ends_with(".kqa") || !std::filesystem::is_regular_file(source, ec)) return {};
  return " (did you mean " + platform::ProgramTextOf(source.filename().string()) + "?)";
}

// Why a file that does not compile and holds NUL bytes, which no text has,
// is no program: said in one line rather than with its bytes.
std::string NotProgramMessage(std::string_view bytes, const std::string& path) {
  const bool executable = bytes.starts_with("\x7f" "ELF");
  const char* what = executable ? "an executable, not a program's source" : "not a program's source: it holds binary data";
  return what + SourceBeside(path);
}

std::string Canonical(const std::string& path) {
  std::error_code ec;
  auto canonical = std::filesystem::weakly_canonical(path, ec);
  return ec ? path : canonical.string();
}

CompileResult Compile(std::string_view text, const std::string& source_name, const std::string& folder,
                      const CompileOptions& options) {
  compiler::Compiler compiler(CommandTable::Builtin());
  const std::string main_path = Canonical(source_name);
  auto reader = [&](const std::string& name, std::string* resolved, std::string* content) {
    std::string path;
    try {
      path = platform::Paths().ResolveFrom(folder, name);
    } catch (const platform::RefusedName&) {
      return false;  // a name no file can have, so no file to include
    }
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec) || !ReadWholeFile(path, content)) return false;
    *resolved = Canonical(path);
    // The main program is never included into itself.
    if (*resolved == main_path) content->clear();
    return true;
  };

  bool ok = compiler.Prepare(text, source_name, reader) && compiler.Run(options.progress);
  if (!options.debug_dump_path.empty() && !compiler.Lines().empty())
    compiler::WriteFileAtomically(options.debug_dump_path, compiler.DebugDump(), nullptr);

  CompileResult result;
  if (ok) {
    result.ok = true;
    result.program = compiler.BuildProgram();
    result.array_names = compiler.BuildArrayNames();
    result.source_map = compiler.BuildSourceMap();
    const std::vector<std::string>& files = compiler.Files();
    if (!files.empty()) result.included.assign(files.begin() + 1, files.end());
    return result;
  }
  const compiler::CompileFailure& failure = compiler.Failure();
  CompileError error;
  error.message = failure.message;
  const auto& lines = compiler.Lines();
  if (failure.line_index >= 0 && static_cast<size_t>(failure.line_index) < lines.size()) {
    const compiler::SourceLine& line = lines[static_cast<size_t>(failure.line_index)];
    error.file = compiler.Files()[static_cast<size_t>(line.file)];
    error.line = line.line;
    error.statement = line.original;
  } else {
    error.file = source_name;
  }
  result.error = std::move(error);
  return result;
}

}  // namespace

std::string FormatCompileError(const CompileError& error) {
  std::string out = platform::ProgramTextOf(error.file);
  if (error.line > 0) out += ":" + std::to_string(error.line);
  out += ": error: " + error.message;
  if (!error.statement.empty()) out += "\n    " + error.statement;
  return out;
}

CompileResult CompileSource(std::string_view text, const std::string& source_name,
                            const CompileOptions& options) {
  return Compile(text, source_name, options.include_folder.empty() ? "." : options.include_folder, options);
}

CompileResult CompileFile(const std::string& source_path, const std::string& output_path,
                          const CompileOptions& options) {
  std::string text;
  std::error_code ec;
  const std::string& name = options.source_name.empty() ? source_path : options.source_name;
  const bool is_folder = std::filesystem::is_directory(source_path, ec);
  if (is_folder || !ReadWholeFile(source_path, &text)) {
    const std::string cause = platform::CauseOf(is_folder ? EISDIR : errno);
    CompileResult result;
    result.error = CompileError{name, 0, "",
                                MessageText(CompileMessage::kSourceUnreadable) + (cause.empty() ? "" : ": " + cause) +
                                    SourceBeside(source_path)};
    return result;
  }
  std::string folder = options.include_folder;
  if (folder.empty()) {
    folder = std::filesystem::path(source_path).parent_path().string();
    if (folder.empty()) folder = ".";
  }
  CompileResult result = Compile(text, name, folder, options);
  if (!result.ok && text.find('\0') != std::string::npos)
    result.error = CompileError{name, 0, "", NotProgramMessage(text, source_path)};
  if (!result.ok || output_path.empty()) return result;
  std::vector<uint8_t> bytes = EncodeProgramFile(result.program);
  std::string write_error;
  if (!compiler::WriteFileAtomically(
          output_path, std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()),
          &write_error, options.work_file)) {
    result.ok = false;
    result.error = CompileError{output_path, 0, "", write_error};
  }
  return result;
}

}  // namespace zv
