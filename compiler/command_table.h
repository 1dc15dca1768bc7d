#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "runtime/vm/vm.h"

namespace zv {

// One row of the command table: the name as programs spell it (lower case),
// the opcode the virtual machine runs for it and its signature of type
// characters.
struct CommandEntry {
  std::string name;
  int32_t code = 0;
  std::string signature;
};

// The language's vocabulary: commands (and assignment forms and block
// keywords) in one list, value-returning functions (and operators and array
// reads) in another, both in the order of the text they were read from.
class CommandTable {
 public:
  static constexpr size_t kMaxCommands = 768;
  static constexpr size_t kMaxFunctions = 512;
  static constexpr size_t kMaxNameLength = 255;
  static constexpr size_t kMaxSignatureLength = 32;

  // Reads rows "name%code%signature"; a line starting with ";" is a comment.
  // Lines may end in LF or CR LF. Rows beyond the table sizes, or with a name
  // or signature that is too long, are left out and listed in Problems().
  static CommandTable Parse(std::string_view text);

  // The table built into the executable, read once.
  static const CommandTable& Builtin();

  const std::vector<CommandEntry>& Commands() const { return commands_; }
  const std::vector<CommandEntry>& Functions() const { return functions_; }
  const std::vector<std::string>& Problems() const { return problems_; }

  // Index of the first row of that name, -1 when there is none.
  int FindCommand(std::string_view name) const;
  int FindFunction(std::string_view name) const;
  // Index of the first function whose name begins with "@" (array reads).
  int FirstArrayFunction() const { return first_array_function_; }

  // For the runtime error report: the first row with this opcode (commands
  // first, then functions, whose indices follow the commands') and the type
  // of operand n (0-based) of row `index`.
  std::optional<std::pair<int, std::string>> FindByCode(int code) const;
  char ParamChar(int index, int n) const;

 private:
  void Add(std::string name, int32_t code, std::string signature, int line);

  std::vector<CommandEntry> commands_;
  std::vector<CommandEntry> functions_;
  std::unordered_map<std::string, int> command_index_;
  std::unordered_map<std::string, int> function_index_;
  int first_array_function_ = -1;
  std::vector<std::string> problems_;
};

// The command table as the error report reads it.
class CommandTableCatalog final : public CommandCatalog {
 public:
  explicit CommandTableCatalog(const CommandTable& table) : table_(table) {}
  std::optional<std::pair<int, std::string>> FindByCode(int opcode) const override {
    return table_.FindByCode(opcode);
  }
  char ParamChar(int index, int n) const override { return table_.ParamChar(index, n); }

 private:
  const CommandTable& table_;
};

// The catalog over the built-in table, for a Vm run where the compiler is.
const CommandCatalog& BuiltinCommandCatalog();

}  // namespace zv
