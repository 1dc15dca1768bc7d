// Makes the help pages, the example programs and the Markdown reference from
// the reference source beside the command table, and checks that source
// against the table.
//
//   zv_help_generator --table commands.txt --errors error_texts.inc --source DIR
//       [--embed FILE.cc]          the C++ source holding the pages
//       [--pages DIR]              writes the pages and examples there
//       [--markdown DIR]           writes the Markdown reference there
//       [--compare-markdown DIR]   fails when DIR's reference is stale
//       [--check]                  fails on any problem of the source
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <system_error>
#include <vector>

#include "compiler/command_table.h"
#include "compiler/program_writer.h"
#include "editor/help/generator/error_table.h"
#include "editor/help/generator/help_check.h"
#include "editor/help/generator/help_source.h"
#include "editor/help/generator/help_writers.h"

namespace {

namespace fs = std::filesystem;
using namespace zv::helpgen;

struct Options {
  std::string table, errors, source, embed, pages, markdown, compare_markdown;
  bool check = false;
};

bool ReadFile(const fs::path& path, std::string* out) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::ostringstream text;
  text << in.rdbuf();
  *out = text.str();
  return true;
}

bool ParseOptions(int argc, char** argv, Options* options) {
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    auto value = [&](std::string* out) {
      if (i + 1 >= argc) return false;
      *out = argv[++i];
      return true;
    };
    bool ok = true;
    if (arg == "--table") ok = value(&options->table);
    else if (arg == "--source") ok = value(&options->source);
    else if (arg == "--errors") ok = value(&options->errors);
    else if (arg == "--embed") ok = value(&options->embed);
    else if (arg == "--pages") ok = value(&options->pages);
    else if (arg == "--markdown") ok = value(&options->markdown);
    else if (arg == "--compare-markdown") ok = value(&options->compare_markdown);
    else if (arg == "--check") options->check = true;
    else ok = false;
    if (!ok) {
      std::fprintf(stderr, "zv_help_generator: unknown or incomplete option \"%s\"\n", arg.c_str());
      return false;
    }
  }
  if (options->table.empty() || options->errors.empty() || options->source.empty()) {
    std::fprintf(stderr, "zv_help_generator: --table, --errors and --source are needed\n");
    return false;
  }
  return true;
}

// The family files of the source folder in name order.
bool ReadFamilies(const fs::path& folder, std::vector<HelpFamily>* families, std::vector<std::string>* problems) {
  std::error_code ec;
  std::vector<fs::path> files;
  for (const fs::directory_entry& entry : fs::directory_iterator(folder, ec))
    if (entry.path().extension() == ".txt") files.push_back(entry.path());
  if (ec) {
    std::fprintf(stderr, "zv_help_generator: cannot list %s\n", folder.string().c_str());
    return false;
  }
  std::sort(files.begin(), files.end());
  for (const fs::path& file : files) {
    std::string text;
    if (!ReadFile(file, &text)) {
      std::fprintf(stderr, "zv_help_generator: cannot read %s\n", file.string().c_str());
      return false;
    }
    families->push_back(ParseHelpFamily(text, file.filename().string(), problems));
  }
  return true;
}

bool WriteAll(const fs::path& folder, const std::vector<GeneratedFile>& files) {
  for (const GeneratedFile& file : files) {
    std::error_code ec;
    fs::create_directories((folder / file.name).parent_path(), ec);
    std::string error;
    if (!zv::compiler::WriteFileAtomically((folder / file.name).string(), file.data, &error)) {
      std::fprintf(stderr, "zv_help_generator: %s\n", error.c_str());
      return false;
    }
  }
  return true;
}

// Lists what differs between the generated reference and the folder's:
// the Markdown files and the example programs below it.
std::vector<std::string> CompareMarkdown(const fs::path& folder, const std::vector<GeneratedFile>& files) {
  std::vector<std::string> stale;
  std::set<std::string> generated;
  for (const GeneratedFile& file : files) {
    generated.insert(file.name);
    std::string current;
    if (!ReadFile(folder / file.name, &current)) {
      stale.push_back(file.name + " is missing");
    } else if (current != file.data) {
      stale.push_back(file.name + " differs");
    }
  }
  std::error_code ec;
  for (const fs::directory_entry& entry : fs::recursive_directory_iterator(folder, ec)) {
    const std::string name = entry.path().lexically_relative(folder).generic_string();
    const fs::path extension = entry.path().extension();
    if ((extension == ".md" || extension == ".kqa") && !generated.count(name)) stale.push_back(name + " is no longer made");
  }
  return stale;
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  if (!ParseOptions(argc, argv, &options)) return 2;
  std::string table_text;
  if (!ReadFile(options.table, &table_text)) {
    std::fprintf(stderr, "zv_help_generator: cannot read %s\n", options.table.c_str());
    return 2;
  }
  const zv::CommandTable table = zv::CommandTable::Parse(table_text);
  const std::vector<TableRow> rows = TableRowsOf(table);
  std::string error_text;
  if (!ReadFile(options.errors, &error_text)) {
    std::fprintf(stderr, "zv_help_generator: cannot read %s\n", options.errors.c_str());
    return 2;
  }

  std::vector<HelpFamily> families;
  std::vector<std::string> problems;
  if (!ReadFamilies(options.source, &families, &problems)) return 2;
  ResolveErrors(ParseErrorTable(error_text), &families, &problems);
  const std::vector<std::string> checked = CheckHelp(families, rows);
  problems.insert(problems.end(), checked.begin(), checked.end());

  const std::vector<GeneratedFile> pages = MakeHelpPages(families, rows);
  if (!options.pages.empty() && !WriteAll(options.pages, pages)) return 2;
  if (!options.embed.empty()) {
    std::string error;
    if (!zv::compiler::WriteFileAtomically(options.embed, MakeEmbeddedSource(pages), &error)) {
      std::fprintf(stderr, "zv_help_generator: %s\n", error.c_str());
      return 2;
    }
    if (!problems.empty() && !options.check)
      std::fprintf(stderr, "zv_help_generator: the help source has %zu problems (the help_source test lists them)\n",
                   problems.size());
  }
  const std::vector<GeneratedFile> markdown = MakeMarkdownReference(families, rows);
  if (!options.markdown.empty() && !WriteAll(options.markdown, markdown)) return 2;

  int status = 0;
  if (options.check) {
    for (const std::string& problem : problems) std::printf("%s\n", problem.c_str());
    if (!problems.empty()) {
      std::printf("%zu problems in the help source\n", problems.size());
      status = 1;
    }
  }
  if (!options.compare_markdown.empty()) {
    const std::vector<std::string> stale = CompareMarkdown(options.compare_markdown, markdown);
    for (const std::string& s : stale) std::printf("docs reference: %s\n", s.c_str());
    if (!stale.empty()) {
      std::printf("the Markdown reference is out of date: run  cmake --build build --target help_reference\n");
      status = 1;
    }
  }
  return status;
}
