#pragma once

#include <string>
#include <vector>

#include "editor/help/generator/help_source.h"
#include "editor/help/generator/help_syntax.h"

namespace zv::helpgen {

struct GeneratedFile {
  std::string name;  // relative path, "/" between folders
  std::string data;
};

// The help pages: "index.htm" (the families, then every entry from A to Z),
// one page per family holding all its entries, and the example programs the
// pages link to. Pages and programs have CR LF line ends.
std::vector<GeneratedFile> MakeHelpPages(const std::vector<HelpFamily>& families, const std::vector<TableRow>& rows);

// The same reference as Markdown: "README.md", one file per family and the
// example programs, under the names the help pages give them.
std::vector<GeneratedFile> MakeMarkdownReference(const std::vector<HelpFamily>& families,
                                                 const std::vector<TableRow>& rows);

// A C++ source defining the built-in help files (kBuiltinHelpFiles) from
// `files`.
std::string MakeEmbeddedSource(const std::vector<GeneratedFile>& files);

}  // namespace zv::helpgen
