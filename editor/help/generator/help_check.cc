#include "editor/help/generator/help_check.h"

#include <set>

namespace zv::helpgen {
namespace {

std::string Where(const HelpFamily& family, const HelpEntry& entry) {
  return family.source + ":" + std::to_string(entry.line) + ": " + entry.Heading() + ": ";
}

void CheckSyntax(const HelpFamily& family, const HelpEntry& entry, const std::vector<const TableRow*>& rows,
                 std::vector<std::string>* problems) {
  if (entry.kind == HelpEntry::Kind::kTopic) return;
  if (entry.syntax.empty() && entry.forms.empty()) {
    problems->push_back(Where(family, entry) + "no syntax line");
    return;
  }
  std::vector<SyntaxShape> shapes;
  for (const std::string& line : entry.syntax) {
    std::string why;
    std::optional<SyntaxShape> shape = ParseSyntaxLine(entry, line, &why);
    if (!shape) {
      problems->push_back(Where(family, entry) + "syntax \"" + line + "\": " + why);
      continue;
    }
    bool used = false;
    for (const TableRow* row : rows) used = used || RowFitsShape(*row, *shape);
    if (!used && !rows.empty())
      problems->push_back(Where(family, entry) + "no row of the command table fits \"" + line + "\"");
    shapes.push_back(*shape);
  }
  // Free forms stand for what the syntax lines cannot say (blocks, arrays).
  if (!entry.forms.empty()) return;
  for (const TableRow* row : rows) {
    if (!row->signature.empty() && row->signature[0] == 'e') continue;
    bool fits = false;
    for (const SyntaxShape& shape : shapes) fits = fits || RowFitsShape(*row, shape);
    if (!fits)
      problems->push_back(Where(family, entry) + "no syntax line fits the row \"" + row->name + "%" +
                          std::to_string(row->code) + "%" + row->signature + "\"");
  }
}

// Family files are named for their family after a number that orders them,
// so that a reader (and the example tests) find a family's file by name.
bool SourceNameFits(const HelpFamily& family) {
  const std::string& name = family.source;
  const size_t underscore = name.find('_');
  if (underscore == std::string::npos || underscore == 0) return false;
  for (size_t i = 0; i < underscore; ++i)
    if (name[i] < '0' || name[i] > '9') return false;
  return name.substr(underscore + 1) == family.id + ".txt";
}

}  // namespace

std::vector<TableRow> TableRowsOf(const CommandTable& table) {
  std::vector<TableRow> rows;
  for (const CommandEntry& e : table.Commands()) rows.push_back({e.name, e.signature, e.code});
  for (const CommandEntry& e : table.Functions()) rows.push_back({e.name + "[", e.signature, e.code});
  return rows;
}

std::map<std::string, std::string> EntryFamilies(const std::vector<HelpFamily>& families) {
  std::map<std::string, std::string> where;
  for (const HelpFamily& family : families)
    for (const HelpEntry& entry : family.entries) where.emplace(entry.Key(), family.id);
  return where;
}

std::vector<std::string> CheckHelp(const std::vector<HelpFamily>& families, const std::vector<TableRow>& rows) {
  std::vector<std::string> problems;
  std::map<std::string, std::vector<const TableRow*>> rows_by_name;
  for (const TableRow& row : rows) rows_by_name[row.name].push_back(&row);

  std::map<std::string, std::string> described;  // row name -> where
  std::set<std::string> keys, family_ids, example_files;
  for (const HelpFamily& family : families) {
    if (!family_ids.insert(family.id).second) problems.push_back(family.source + ": a second family \"" + family.id + "\"");
    if (!SourceNameFits(family))
      problems.push_back(family.source + ": the file of family \"" + family.id + "\" is named NNN_" + family.id + ".txt");
    auto note_example = [&](const HelpExample& example) {
      if (!example_files.insert(example.file).second)
        problems.push_back(family.source + ":" + std::to_string(example.line) + ": a second example named \"" +
                           example.file + "\"");
      if (example.lines.empty())
        problems.push_back(family.source + ":" + std::to_string(example.line) + ": the example has no lines");
    };
    for (const HelpExample& example : family.examples) note_example(example);
    for (const HelpEntry& entry : family.entries) {
      if (!keys.insert(entry.Key()).second) problems.push_back(Where(family, entry) + "described twice");
      if (entry.paragraphs.empty()) problems.push_back(Where(family, entry) + "no text says what it does");
      if (entry.kind == HelpEntry::Kind::kTopic && entry.covers.empty())
        problems.push_back(Where(family, entry) + "a topic covers no row");
      std::vector<const TableRow*> entry_rows;
      for (const std::string& name : entry.RowNames()) {
        auto found = rows_by_name.find(name);
        if (found == rows_by_name.end()) {
          problems.push_back(Where(family, entry) + "the command table has no row \"" + name + "\"");
          continue;
        }
        auto [it, fresh] = described.emplace(name, family.source);
        if (!fresh) problems.push_back(Where(family, entry) + "\"" + name + "\" is described in " + it->second + " too");
        entry_rows.insert(entry_rows.end(), found->second.begin(), found->second.end());
      }
      CheckSyntax(family, entry, entry_rows, &problems);
      for (const HelpExample& example : entry.examples) note_example(example);
    }
  }
  for (const HelpFamily& family : families)
    for (const HelpEntry& entry : family.entries)
      for (const std::string& see : entry.see)
        if (!keys.count(see)) problems.push_back(Where(family, entry) + "\"see " + see + "\" names no entry");
  for (const auto& [name, list] : rows_by_name)
    if (!described.count(name))
      problems.push_back("the row \"" + name + "%" + std::to_string(list.front()->code) + "%" +
                         list.front()->signature + "\" of the command table has no help entry");
  return problems;
}

}  // namespace zv::helpgen
