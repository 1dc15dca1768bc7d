#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "editor/help/generator/help_source.h"

namespace zv::helpgen {

// One row of the command table: its raw name ("image exists[" for a
// function) and its signature.
struct TableRow {
  std::string name;
  std::string signature;
  int code = 0;
};

// The parameters of a syntax line: their types ('l', 'f' or 's' from the
// name's ending), which are optional, and whether more of any kind may
// follow.
struct SyntaxShape {
  struct Param {
    char type = 'l';
    bool optional = false;
  };
  std::vector<Param> params;
  bool open_ended = false;
};

// The shape of `line` for `entry`: a command's line starts with the
// command's name, a function's line is "name(parameters)". Nullopt with the
// reason in `*why` when the line has neither form.
std::optional<SyntaxShape> ParseSyntaxLine(const HelpEntry& entry, std::string_view line, std::string* why);

// True when the row's operands fit the shape: a string parameter for a
// string operand, a number for a number (the compiler converts integers and
// floats as a row needs); a "z" operand or a label takes any parameter.
bool RowFitsShape(const TableRow& row, const SyntaxShape& shape);

// The row's operand types: a function's signature without its result, an
// empty list for "0".
std::string RowParams(const TableRow& row);

// "integer", "float" or "string" for a result type character.
std::string_view TypeWord(char type);

}  // namespace zv::helpgen
