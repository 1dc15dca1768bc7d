#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "compiler/command_table.h"
#include "compiler/compile_messages.h"
#include "compiler/source_text.h"
#include "runtime/vm/program_file.h"

namespace zv::compiler {

// A compiled value: its operand number and its type letter ('l', 'f', 's';
// 'a' for a label or function entry, 'j' for a jump target).
struct Operand {
  int32_t number = -1;
  char type = 'x';
};

// Operand numbers as the compiler writes them (the loader's classes).
namespace numbering {
constexpr int32_t kIntTemp = 10000, kFloatTemp = 11000, kStringTemp = 12000;
constexpr int32_t kIntVar = 13000, kFloatVar = 15000, kStringVar = 17000;
constexpr int32_t kIntConst = 19000, kFloatConst = 21000, kStringConst = 23000;
constexpr int32_t kLiteral = 25000, kLabel = 35000, kCode = 37000;
constexpr int32_t kPerClass = 2000, kTempsPerClass = 1000;
}  // namespace numbering

// 'l', 'f' or 's' by the range of an operand number; 0 outside 10000-34999.
char OperandTypeOf(int32_t number);

// One line of the expanded source: the main program, the added "end" line,
// then the included files.
struct SourceLine {
  std::string text;      // as the compiler reads it (NormalizeLine)
  std::string original;  // as written, for messages and the debug dump
  int file = 0;          // index into the file names
  int line = 0;          // line number in that file
  bool comment_out = false;  // included text outside a function
  size_t length = 0;         // characters as written
  // Characters of a UTF-8 source that the program's character set lacks,
  // each standing in `text` as kForeignByte.
  std::vector<ForeignCharacter> foreign;
};

struct Variable {
  std::string name;
  int32_t owner = 0;
  int32_t number = 0;
  bool array = false;
  int line = 0;  // index of the expanded line of its first use
};

struct Label {
  std::string name;
  int32_t owner = 0;
  int32_t number = 0;
  bool defined = false;
  bool commented = false;  // defined inside a comment block
  int32_t code_position = 0;
  int32_t data_position = 0;
  int line = 0;
  // Code words that name the label, each patched as a code address or, for
  // restore, as a DATA position.
  std::vector<std::pair<uint32_t, bool>> references;  // (word, is DATA position)
};

struct UserFunction {
  std::string name;
  std::string parameters;  // one type letter per parameter
  char result = 'l';
  int line = 0;
  int32_t entry = -1;               // code word after the 26
  std::vector<uint32_t> references;  // call operands to patch with the entry
};

struct Block {
  int keyword = 0;
  int32_t opening_operand = -1;  // code word of the opening jump operand
  int32_t start = 0;
  int32_t else_operand = -1;
  int32_t else_position = 0;
  std::vector<int32_t> exits;
  int expected_closer = 0;
  bool opening_emits_nothing = false;
  int line = 0;
  int32_t variable = -1;   // a for loop's variable, which its next names
  bool from_case = false;  // the if that a case of a select opened
};

struct CompileFailure {
  std::string message;
  int line_index = -1;  // expanded line; -1 = the line being compiled
};

// The state of one compile: tables of names, constants, labels, functions and
// blocks, the code being emitted, and the statement being compiled.
class Compiler {
 public:
  explicit Compiler(const CommandTable& table);

  // Loads the source lines; `resolve_include` finds an included file's text.
  using IncludeReader = std::function<bool(const std::string& name, std::string* resolved_path,
                                           std::string* text)>;
  bool Prepare(std::string_view main_text, const std::string& main_name, IncludeReader reader);
  bool Run(const std::function<void(int)>& progress);
  ProgramFile BuildProgram() const;
  std::string DebugDump() const;
  ArrayNames BuildArrayNames() const;
  SourceMap BuildSourceMap() const;

  const CompileFailure& Failure() const { return failure_; }
  const std::vector<SourceLine>& Lines() const { return lines_; }
  const std::vector<std::string>& Files() const { return files_; }
  int FailingLine() const { return failure_line_; }

  // ---- used across the compiler's parts ----------------------------------
  bool Fail(std::string message);
  bool Fail(CompileMessage message) { return Fail(MessageText(message)); }

  // symbols.cc
  Operand VariableOperand(std::string_view name, bool array);
  bool IsVariableName(std::string_view name) const;
  char TypeOfName(std::string_view name) const;
  Operand IntConstant(int32_t value);
  Operand FloatConstant(float value);
  Operand StringConstant(std::string_view text);
  Operand AllocTemp(char type);
  Operand AllocRealTemp(char type);
  void ResetTemps();
  void EmitWord(uint32_t word);
  bool EmitInstruction(int32_t opcode, const std::vector<Operand>& operands);
  int FindOrAddLabel(std::string_view name, int32_t owner);
  uint32_t CodeSize() const { return static_cast<uint32_t>(code_.size()); }

  // expression.cc
  Operand CompileExpression(std::string_view text);
  // "cannot understand this expression" with the piece that failed, or the
  // whole expression as written where the piece holds compiled groups.
  std::string BadExpressionMessage(std::string_view piece) const;
  // The piece, or the whole expression as written where the piece holds
  // compiled groups.
  std::string_view AsWritten(std::string_view piece) const;
  bool EmitConversion(Operand& operand, char to);
  static std::string ReplaceWordOperators(std::string_view text);
  static bool IsIntLiteral(std::string_view text);
  static bool IsFloatLiteral(std::string_view text);
  static bool IsStringLiteral(std::string_view text);
  // The first number written in exponent form ("1e3", "2.5e-4") or in
  // hexadecimal ("0x1f") outside quotes, which the language does not take;
  // empty when there is none (number_forms.cc).
  static std::string_view FindUnsupportedNumber(std::string_view text);
  // Which form it is, and the number to write instead.
  static std::string UnsupportedNumberMessage(std::string_view number);
  std::string DescribeSignature(std::string_view types) const;

  // statement.cc
  bool CompileStatement(std::string_view text, bool array_first = false);

  // block_structure.cc
  void InitBlockKeywords();
  // `written` is the keyword's operand as the program wrote it ("i" of
  // next i), for messages.
  bool HandleBlockKeyword(int keyword, std::vector<Operand>& operands, std::string_view written,
                          bool* emits_nothing);
  bool CheckBlocksClosed();
  // Whether the keyword may close the innermost open block; the failure
  // says why not.
  bool CheckClosing(int keyword, std::string_view written);
  // "case needs endcase", "for i needs next i": what the block waits for.
  std::string BlockNeeds(const Block& block) const;
  std::string OpeningText(const Block& block) const;  // "case", "for i", "while"
  std::string ClosingText(const Block& block) const;  // "endcase", "next i", "endwhile"
  // The name of a variable by its operand number; empty for any other operand.
  std::string VariableNameOf(int32_t number) const;
  // " (line 12)", or " (line 3 of lib.kqa)" for a line of another file than
  // the one being compiled.
  std::string LineMention(int line_index) const;
  int KeywordOfCommand(int command) const { return command_keyword_[static_cast<size_t>(command)]; }
  // For a next without a variable: the variable of the for it closes,
  // or the failure that next without one meets.
  bool NameLoopVariable(std::vector<std::string>& pieces);

 private:
  friend class StatementCompiler;

  // source preparation and user functions (user_functions.cc)
  void AddSourceLines(std::string_view bytes, int file);
  bool ExpandIncludes(IncludeReader& reader);
  // A function's name used as a variable.
  struct BareName {
    std::string name;
    int line = 0;
    int32_t owner = 0;
  };
  // The expression after a function's endfunction and its line.
  struct FunctionResult {
    int function = 0;
    size_t line = 0;
    std::string text;
  };
  // The first character of the line that the program's character set
  // lacks, named with its column; empty when the line has none but in a
  // comment.
  std::string ForeignCharacterMessage(size_t line_index) const;
  // The same for text of the line being compiled (a string literal) that
  // holds such a character; empty when it holds none.
  std::string ForeignTextMessage(std::string_view text) const;
  bool ScanUserFunctions();
  // Whether the line begins a file's text (the added end line counts as the
  // main program's end): a comment block ends with the file that opens it.
  bool BeginsFile(size_t line) const;
  // Whether a comment block is open after the line, `open` telling whether
  // one was open before it; the lines are taken as the main pass takes them.
  bool CommentBlockAfter(std::string_view text, bool open) const;
  bool TypeFunctionResults(const std::vector<FunctionResult>& results);
  bool TypeFunctionResult(const FunctionResult& result, char* type);
  bool CompileFunctionHeader(std::string_view text, bool* handled);
  bool ParseFunctionHeader(std::string_view text, std::string* name, std::vector<std::string>* params);
  bool CompileUserFunctionCall(std::string_view arguments, int function, Operand* result);
  int FindUserFunction(std::string_view name) const;
  int CountUserCalls(std::string_view text) const;
  bool ResolveReferences();
  bool CheckArraysDimensioned();
  bool CheckBareFunctionNames();
  std::string BareFunctionNameMessage(const BareName& use) const;
  void CollectDimNames();
  // Why a name written as a call or an array element names nothing that
  // can be used so; `store` for an element assignment.
  std::string UnknownNameMessage(const std::string& name, bool store) const;
  // Why a statement that is no command, call or assignment is none: the
  // value it is, or the unknown words it begins with (name_hints.cc).
  std::string NotAStatementMessage(const std::string& statement);
  // Why a statement whose first `matched` words name a command (0 for
  // none) names another: written "color" for the language's "colour", or
  // the other way round, its words name a longer command. Empty when they
  // do not.
  std::string OtherSpellingMessage(std::string_view statement, size_t matched) const;
  // The string of the line that a quote opens and nothing closes, named;
  // empty when every string of the line (but in a comment) is closed.
  std::string UnclosedStringMessage(size_t line_index) const;
  // True when the text compiles as an expression (nothing is emitted).
  bool IsExpression(std::string_view text);
  bool DefineLabel(std::string_view name);
  Operand LabelOperand(std::string_view name, bool data_kind);

  // expression internals
  Operand CompileFlat(std::string_view text);
  Operand CompileOperand(std::string_view text);
  Operand CompileValueFunctionCall(const std::string& name, std::string_view arguments);
  Operand CompileArrayRead(const std::string& name, std::string_view indices);
  // Emits the call of a value function's row on its compiled arguments into a
  // new temporary, which it returns.
  Operand EmitValueCall(const CommandEntry& entry, std::vector<Operand>& arguments);
  // Compiles one argument of a value function (wanted type `wanted`) onto
  // `values` and `types`, converting a number where the rows from `first`
  // take the other kind; `written` gets its type before that. False when it
  // fails.
  bool CompileValueArgument(std::string_view piece, char wanted, const std::vector<CommandEntry>& rows, int first,
                            std::string& types, std::string& written, std::vector<Operand>& values);
  Operand CompileIntLiteral(std::string_view text);
  int FindValueFunction(std::string_view name, const std::vector<Operand>& arguments) const;
  bool RunAccepts(const std::vector<CommandEntry>& rows, int first, const std::string& types,
                  bool skip_result) const;
  std::string MismatchMessage(const std::vector<CommandEntry>& rows, int first,
                              const std::string& types, bool skip_result) const;

  // statement internals (statement.cc, statement_forms.cc)
  struct Words;
  bool CompileCommand(int index, std::string arguments, bool array_first);
  // Whether operand `operand` of the command row may be a variable it gives
  // a value (a name written there then counts as one the program gives).
  bool MayGiveValue(int index, size_t operand) const;
  // The value of an exitfunction as the function's result, `written` as the
  // program wrote it, for the message.
  bool ConvertToFunctionResult(Operand& value, std::string_view written);
  bool CompileAssignmentOrCall(std::string_view text);
  bool CompileCommandText(std::string_view text, bool array_first);
  bool CompileSelectForm(int kind, const std::vector<std::string>& words, std::string* rest);
  bool CheckSelectClosed();
  bool CompileSingleLineIf(const std::vector<std::string>& words);
  bool CompileFor(const std::vector<std::string>& words, std::string* rest);
  bool CompileDim(const std::vector<std::string>& words, std::string* rest);
  bool CompileData(const std::vector<std::string>& items);
  // The row of the command the words begin with; -1 for none, -2 for a
  // statement found at fault (the failure is set).
  int MatchCommand(std::vector<std::string>& words, std::string* arguments, std::string* rest);

  const CommandTable& table_;

  // Source.
  std::vector<SourceLine> lines_;
  std::vector<std::string> files_;          // resolved, for compile errors
  std::vector<std::string> written_names_;  // the same files as the program names them
  size_t include_start_ = 0;  // first line of included text

  // Code.
  std::vector<uint32_t> code_;
  std::vector<int32_t> code_lines_;
  int current_line_ = 0;   // expanded line number (1-based) of the line compiled
  size_t line_index_ = 0;  // its index

  // Symbols.
  std::array<std::vector<Variable>, 3> variables_;
  std::array<std::unordered_map<std::string, int32_t>, 3> variable_index_;
  std::vector<int32_t> int_constants_;
  std::vector<uint32_t> float_constants_;
  std::vector<std::string> string_constants_;
  std::unordered_map<int32_t, int32_t> int_constant_index_;
  std::unordered_map<uint32_t, int32_t> float_constant_index_;
  std::vector<Label> labels_;
  std::unordered_map<std::string, int> label_index_;
  std::vector<UserFunction> functions_;
  std::unordered_map<std::string, int> function_index_;
  bool function_names_with_blanks_ = false;
  std::vector<std::pair<std::string, int32_t>> dimensioned_;
  // Every name a dim statement anywhere in the source gives an array: a
  // name used as an array that none gives is no array at all.
  std::unordered_set<std::string> dim_names_;
  std::vector<DataItem> data_;
  // Functions' names used as variables (a bare name is one), with the line
  // and the function of each use; and every name the program may give a
  // value. A name used so that is never given one stands for the function.
  std::vector<BareName> bare_function_names_;
  std::unordered_set<std::string> valued_names_;

  // Blocks.
  std::array<int32_t, 12> keyword_codes_{};
  std::vector<int> command_keyword_;  // per command row: keyword index or -1
  std::vector<Block> blocks_;

  // Statement state.
  bool typing_only_ = false;  // the function pre-pass: type, store nothing
  int32_t current_function_ = 0;
  bool comment_block_ = false;
  // The command whose ";" ended it before the statement that follows, for
  // that statement's messages (print, input and read go on after theirs).
  std::string ended_by_semicolon_;
  std::string statement_after_semicolon_of_;
  bool select_open_ = false;
  bool default_seen_ = false;
  std::string select_expression_;
  size_t select_depth_ = 0;  // blocks open at the select, which its cases nest in
  int select_line_ = 0;      // expanded line of the open select
  std::string select_variable_;  // whether a case of the open select has matched
  int selects_ = 0;              // selects compiled so far
  int32_t statement_start_ = 0;
  std::array<int32_t, 3> next_temp_{};
  bool spill_ = false;         // intermediate values go to hidden variables
  int calls_left_ = 0;         // user-function calls still to come in the statement
  int32_t last_result_word_ = -1;  // code word of the last instruction's result operand
  std::array<int, 3> next_hidden_{};
  char wanted_type_ = 0;
  // The expression being compiled as the user wrote it, and how deep the
  // compile of its groups and arguments is: a message about a piece that
  // already holds compiled groups quotes the whole expression instead.
  std::string expression_source_;
  int expression_depth_ = 0;
  int depth_ = 0;              // nesting of statement compiles
  std::array<int32_t, 3> assign_codes_{151, 152, 153};

  CompileFailure failure_;
  int failure_line_ = -1;
};

int TypeIndex(char type);

// What to write instead of an operator word of other BASICs (mod, not) or
// of a word that joins conditions only (and, or, <>) where one stands in
// the text; empty when none does (name_hints.cc).
std::string OperatorWordHint(std::string_view text);
// Why a statement that begins with a word of other BASICs ("wend",
// "elseif") is none, naming what the language writes; empty for others.
std::string OtherBasicWordMessage(std::string_view statement);

}  // namespace zv::compiler
