#include "editor/help/generator/help_writers.h"

#include <algorithm>
#include <cstdio>
#include <map>

#include "editor/help/generator/help_check.h"
#include "platform/text/code_page.h"

namespace zv::helpgen {
namespace {

constexpr const char* kCrLf = "\r\n";

std::string LowerAscii(std::string text) {
  for (char& c : text)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
  return text;
}

std::string PageOf(const std::string& family_id) { return family_id + ".htm"; }
std::string MarkdownOf(const std::string& family_id) { return family_id + ".md"; }
std::string AnchorOf(const std::string& key) {
  std::string slug = Slug(key);
  std::replace(slug.begin(), slug.end(), '_', '-');
  return slug;
}

// The lines that show how an entry is written: a function's lines begin
// with the type of the value it gives (from the first row that fits).
std::vector<std::string> ShownSyntax(const HelpEntry& entry, const std::vector<TableRow>& rows) {
  std::vector<std::string> lines;
  for (const std::string& line : entry.syntax) {
    if (entry.kind != HelpEntry::Kind::kFunction) {
      lines.push_back(line);
      continue;
    }
    std::string why;
    std::optional<SyntaxShape> shape = ParseSyntaxLine(entry, line, &why);
    char result = 'l';
    if (shape) {
      for (const TableRow& row : rows) {
        if (row.name == entry.name + "[" && RowFitsShape(row, *shape) && !row.signature.empty()) {
          result = row.signature[0];
          break;
        }
      }
    }
    lines.push_back(std::string(TypeWord(result)) + " = " + line);
  }
  lines.insert(lines.end(), entry.forms.begin(), entry.forms.end());
  return lines;
}

// What the entry says about the error, else the runtime's own message.
std::string ErrorText(const HelpError& error) { return error.detail.empty() ? error.meaning : error.detail; }

struct IndexItem {
  std::string heading;
  std::string key;
  std::string family;
};

// Every entry, ordered by heading without regard to case.
std::vector<IndexItem> AllEntries(const std::vector<HelpFamily>& families) {
  std::vector<IndexItem> items;
  for (const HelpFamily& family : families)
    for (const HelpEntry& entry : family.entries) items.push_back({entry.Heading(), entry.Key(), family.id});
  std::stable_sort(items.begin(), items.end(), [](const IndexItem& a, const IndexItem& b) {
    return LowerAscii(a.heading) < LowerAscii(b.heading);
  });
  return items;
}

std::string HeadingOfKey(const std::vector<HelpFamily>& families, const std::string& key) {
  for (const HelpFamily& family : families)
    for (const HelpEntry& entry : family.entries)
      if (entry.Key() == key) return entry.Heading();
  return key;
}

// ---- Pages -----------------------------------------------------------

// Page text: the signs that open and close tags are escaped; in prose the
// code marks go.
std::string PageText(std::string_view text, bool prose = true) {
  std::string out;
  for (char c : text) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '`':
        if (!prose) out += c;
        break;
      default: out += c;
    }
  }
  return out;
}

std::string PageLink(const std::string& target, std::string_view text) {
  return "<A HREF=\"" + target + "\">" + PageText(text) + "</A>";
}

const char* kPageTitleOpen = "<CENTER><FONT SIZE=7 COLOR=YELLOW>";
const char* kPageTitleClose = "<BR></CENTER><FONT COLOR=WHITE>";

std::string FamilyPage(const HelpFamily& family, const std::vector<HelpFamily>& families,
                       const std::map<std::string, std::string>& where, const std::vector<TableRow>& rows) {
  std::string page;
  auto line = [&](const std::string& text) { page += text + kCrLf; };
  line(kPageTitleOpen + PageText(family.title) + kPageTitleClose);
  line("<P>" + PageLink("index.htm", "Contents"));
  for (const std::string& paragraph : family.intro) line("<P>" + PageText(paragraph));
  for (const HelpExample& example : family.examples)
    line("<P>Example program: " + PageLink(example.file, example.title));
  for (const HelpEntry& entry : family.entries) {
    line("<P><P><A NAME=\"" + AnchorOf(entry.Key()) + "\"></A><FONT SIZE=5 COLOR=YELLOW>" +
         PageText(entry.Heading(), false) + "<BR><FONT COLOR=YELLOW>");
    for (const std::string& syntax : ShownSyntax(entry, rows)) line(PageText(syntax, false) + "<BR>");
    line("<FONT COLOR=WHITE>");
    bool first = true;
    for (const std::string& paragraph : entry.paragraphs) {
      line((first ? "" : "<P>") + PageText(paragraph));
      first = false;
    }
    for (const HelpError& error : entry.errors)
      line("<BR>Error " + std::to_string(error.code) + ": " + PageText(ErrorText(error)));
    if (!entry.see.empty()) {
      std::string see = "<BR>See also:";
      bool first_link = true;
      for (const std::string& key : entry.see) {
        auto it = where.find(key);
        if (it == where.end()) continue;
        see += std::string(first_link ? " " : " | ") +
               PageLink(PageOf(it->second) + "#" + AnchorOf(key), HeadingOfKey(families, key));
        first_link = false;
      }
      line(see);
    }
    for (const HelpExample& example : entry.examples)
      line("<BR>Example program: " + PageLink(example.file, example.title));
  }
  line("<P><P>" + PageLink("index.htm", "Contents"));
  return page;
}

std::string IndexPage(const std::vector<HelpFamily>& families) {
  std::string page;
  auto line = [&](const std::string& text) { page += text + kCrLf; };
  line(kPageTitleOpen + std::string("Zentrovex Help") + kPageTitleClose);
  line("<P>The commands and functions of the language, family by family. Each family's page gives every "
       "command's syntax, what it does and the errors it can raise. Click an underlined name to follow it; "
       "an example program opens in the editor.");
  line("<P><P><FONT SIZE=5 COLOR=YELLOW>Families<BR><FONT COLOR=WHITE>");
  for (const HelpFamily& family : families) line(PageLink(PageOf(family.id), family.title) + "<BR>");
  line("<P><P><FONT SIZE=5 COLOR=YELLOW>Every command from A to Z<BR><FONT COLOR=WHITE>");
  for (const IndexItem& item : AllEntries(families))
    line(PageLink(PageOf(item.family) + "#" + AnchorOf(item.key), item.heading) + "<BR>");
  return page;
}

std::string ExampleProgram(const HelpExample& example) {
  std::string text = "Rem * Title  : " + example.title + kCrLf;
  text += std::string("Rem * Author : Zentrovex Help") + kCrLf + kCrLf;
  for (const std::string& line : example.lines) text += line + kCrLf;
  return text;
}

// ---- Markdown ----------------------------------------------------------

// Markdown text: code marks stay; outside them "<" and "*" are escaped.
std::string MarkdownText(std::string_view text) {
  std::string out;
  bool code = false;
  for (char c : text) {
    if (c == '`') code = !code;
    if (!code && c == '<') {
      out += "&lt;";
    } else if (!code && (c == '*' || c == '\\')) {
      out += '\\';
      out += c;
    } else {
      out += c;
    }
  }
  return out;
}

std::string MarkdownLink(const std::string& family, const std::string& key, const std::string& heading,
                         const std::string& from_family) {
  const std::string file = family == from_family ? "" : MarkdownOf(family);
  return "[`" + heading + "`](" + file + "#" + AnchorOf(key) + ")";
}

// The program file lies beside the Markdown under the name the help pages
// link to, so the link works in both.
void MarkdownExample(const HelpExample& example, std::string* md) {
  *md += "Example program: [*" + example.title + "*](" + example.file + ")\n\n";
  *md += "```basic\n";
  for (const std::string& line : example.lines) *md += line + "\n";
  *md += "```\n\n";
}

std::string FamilyMarkdown(const HelpFamily& family, const std::vector<HelpFamily>& families,
                           const std::map<std::string, std::string>& where, const std::vector<TableRow>& rows) {
  std::string md = "<!-- Generated from compiler/help/ by the help generator; edit the source there. -->\n\n";
  md += "# " + family.title + "\n\n[All families](README.md)\n\n";
  for (const std::string& paragraph : family.intro) md += MarkdownText(paragraph) + "\n\n";
  for (const HelpExample& example : family.examples) MarkdownExample(example, &md);
  if (!family.entries.empty()) {
    md += "| Command | |\n|---|---|\n";
    for (const HelpEntry& entry : family.entries) {
      std::string first = entry.paragraphs.empty() ? "" : entry.paragraphs.front();
      size_t stop = first.find(". ");
      if (stop != std::string::npos) first = first.substr(0, stop + 1);
      std::replace(first.begin(), first.end(), '|', '/');
      md += "| " + MarkdownLink(family.id, entry.Key(), entry.Heading(), family.id) + " | " + MarkdownText(first) + " |\n";
    }
    md += "\n";
  }
  for (const HelpEntry& entry : family.entries) {
    md += "<a id=\"" + AnchorOf(entry.Key()) + "\"></a>\n\n";
    md += "## " + MarkdownText(entry.Heading()) + "\n\n```basic\n";
    for (const std::string& syntax : ShownSyntax(entry, rows)) md += syntax + "\n";
    md += "```\n\n";
    for (const std::string& paragraph : entry.paragraphs) md += MarkdownText(paragraph) + "\n\n";
    if (!entry.errors.empty()) {
      md += "Errors:\n\n";
      for (const HelpError& error : entry.errors)
        md += "- " + std::to_string(error.code) + ": " + MarkdownText(ErrorText(error)) + "\n";
      md += "\n";
    }
    if (!entry.see.empty()) {
      md += "See also:";
      bool first = true;
      for (const std::string& key : entry.see) {
        auto it = where.find(key);
        if (it == where.end()) continue;
        md += std::string(first ? " " : ", ") + MarkdownLink(it->second, key, HeadingOfKey(families, key), family.id);
        first = false;
      }
      md += "\n\n";
    }
    for (const HelpExample& example : entry.examples) MarkdownExample(example, &md);
  }
  return md;
}

std::string IndexMarkdown(const std::vector<HelpFamily>& families) {
  std::string md = "<!-- Generated from compiler/help/ by the help generator; edit the source there. -->\n\n";
  md += "# Language reference\n\n";
  md += "Every command and function of the language, family by family: how it is written, what it does and "
        "the errors it can raise. The editor's help shows the same pages.\n\n";
  md += "## Families\n\n";
  for (const HelpFamily& family : families) {
    md += "- [" + family.title + "](" + MarkdownOf(family.id) + ")";
    if (!family.intro.empty()) {
      std::string first = family.intro.front();
      size_t stop = first.find(". ");
      if (stop != std::string::npos) first = first.substr(0, stop + 1);
      md += ": " + MarkdownText(first);
    }
    md += "\n";
  }
  md += "\n## From A to Z\n\n";
  for (const IndexItem& item : AllEntries(families))
    md += "- " + MarkdownLink(item.family, item.key, item.heading, "") + "\n";
  return md;
}

// ---- Embedded source ----------------------------------------------------

std::string CLiteral(std::string_view bytes) {
  std::string out = "\"";
  size_t column = 0;
  for (unsigned char c : bytes) {
    if (column >= 100) {
      out += "\"\n    \"";
      column = 0;
    }
    char buffer[8];
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
      column += 2;
    } else if (c == '\n') {
      out += "\\n\"\n    \"";
      column = 0;
    } else if (c == '\r') {
      out += "\\r";
      column += 2;
    } else if (c < 32 || c >= 127 || c == '?') {
      // Octal escapes stop after three digits, so a following digit is safe.
      std::snprintf(buffer, sizeof buffer, "\\%03o", c);
      out += buffer;
      column += 4;
    } else {
      out += static_cast<char>(c);
      ++column;
    }
  }
  return out + "\"";
}

void AddExamplePrograms(const std::vector<HelpFamily>& families, std::vector<GeneratedFile>* files) {
  for (const HelpFamily& family : families) {
    for (const HelpExample& example : family.examples) files->push_back({example.file, ExampleProgram(example)});
    for (const HelpEntry& entry : family.entries)
      for (const HelpExample& example : entry.examples) files->push_back({example.file, ExampleProgram(example)});
  }
}

}  // namespace

std::vector<GeneratedFile> MakeHelpPages(const std::vector<HelpFamily>& families, const std::vector<TableRow>& rows) {
  const std::map<std::string, std::string> where = EntryFamilies(families);
  std::vector<GeneratedFile> files;
  // The source is UTF-8; the viewer draws the editor's own characters, those
  // of programs ("é" is one byte there, "?" stands for what they lack). The
  // example programs are sources, which may be UTF-8.
  files.push_back({"index.htm", platform::Utf8ToCp1252(IndexPage(families))});
  for (const HelpFamily& family : families)
    files.push_back({PageOf(family.id), platform::Utf8ToCp1252(FamilyPage(family, families, where, rows))});
  AddExamplePrograms(families, &files);
  return files;
}

std::vector<GeneratedFile> MakeMarkdownReference(const std::vector<HelpFamily>& families,
                                                 const std::vector<TableRow>& rows) {
  const std::map<std::string, std::string> where = EntryFamilies(families);
  std::vector<GeneratedFile> files;
  files.push_back({"README.md", IndexMarkdown(families)});
  for (const HelpFamily& family : families)
    files.push_back({MarkdownOf(family.id), FamilyMarkdown(family, families, where, rows)});
  AddExamplePrograms(families, &files);
  return files;
}

std::string MakeEmbeddedSource(const std::vector<GeneratedFile>& files) {
  std::string cc = "// Generated by the help generator from compiler/help/; do not edit.\n";
  cc += "#include \"editor/help/help_pages.h\"\n\n#include <cstddef>\n\nnamespace zv {\n\n";
  cc += "extern const HelpFile kBuiltinHelpFiles[] = {\n";
  for (const GeneratedFile& file : files) {
    cc += "  {" + CLiteral(file.name) + ",\n   std::string_view(" + CLiteral(file.data) + ",\n    " +
          std::to_string(file.data.size()) + ")},\n";
  }
  if (files.empty()) cc += "  {\"\", \"\"},\n";
  cc += "};\nextern const std::size_t kBuiltinHelpFileCount = " + std::to_string(files.size()) + ";\n\n";
  cc += "}  // namespace zv\n";
  return cc;
}

}  // namespace zv::helpgen
