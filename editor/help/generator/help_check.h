#pragma once

#include <map>
#include <string>
#include <vector>

#include "compiler/command_table.h"
#include "editor/help/generator/help_source.h"
#include "editor/help/generator/help_syntax.h"

namespace zv::helpgen {

// The rows of the table, commands first, functions with their "[" back.
std::vector<TableRow> TableRowsOf(const CommandTable& table);

// Where each entry lives: its key ("load image", "function sin", "topic
// operators") to the family id.
std::map<std::string, std::string> EntryFamilies(const std::vector<HelpFamily>& families);

// Everything that keeps the reference from matching the command table or
// its own rules (family files named NNN_<family>.txt):
// rows without an entry, entries of names the table does not have, syntax
// lines that no row fits and rows that no syntax line fits, entries without
// text, "see" lines naming no entry, examples sharing a file name.
std::vector<std::string> CheckHelp(const std::vector<HelpFamily>& families, const std::vector<TableRow>& rows);

}  // namespace zv::helpgen
