// Expressions, compiled straight from their text: parenthesised groups first,
// each replaced in the text by "?" and the number of the value that holds its
// result; then the operators of the flat text by precedence, "*" "/" and
// "+" "-" each on one level grouping from the left.
#include <array>
#include <cerrno>
#include <cstdlib>

#include "compiler/compile_messages.h"
#include "compiler/compiler_context.h"
#include "compiler/source_text.h"

namespace zv::compiler {
namespace {

constexpr size_t kMaxExpression = 254;
constexpr size_t kMaxArguments = 32;
constexpr int32_t kFloatToInt = 154;
constexpr int32_t kIntToFloat = 155;

// Operator levels, tightest first; each level groups from the left.
const std::array<std::vector<std::string_view>, 11> kLevels = {{
    {"^"}, {"*", "/"}, {"+", "-"}, {">="}, {"<="}, {">"}, {"<"}, {"=="}, {"!"}, {"&"}, {"|"}}};

// The operator at text[i], as the function table names it; empty when none.
std::string_view OperatorAt(std::string_view text, size_t i, size_t* length) {
  *length = 2;
  std::string_view two = text.substr(i, 2);
  if (two == ">=" || two == "=>") return ">=";
  if (two == "<=" || two == "=<") return "<=";
  *length = 1;
  switch (text[i]) {
    case '^': return "^";
    case '*': return "*";
    case '/': return "/";
    case '+': return "+";
    case '-': return "-";
    case '=': return "==";
    case '>': return ">";
    case '<': return "<";
    case '!': return "!";
    case '&': return "&";
    case '|': return "|";
  }
  *length = 0;
  return {};
}

}  // namespace

bool Compiler::IsIntLiteral(std::string_view text) {
  size_t i = (!text.empty() && (text[0] == '-' || text[0] == '+')) ? 1 : 0;
  if (i == text.size()) return false;
  for (; i < text.size(); ++i)
    if (text[i] < '0' || text[i] > '9') return false;
  return true;
}

bool Compiler::IsFloatLiteral(std::string_view text) {
  size_t i = (!text.empty() && (text[0] == '-' || text[0] == '+')) ? 1 : 0;
  int digits = 0, points = 0;
  for (; i < text.size(); ++i) {
    if (text[i] == '.')
      ++points;
    else if (text[i] >= '0' && text[i] <= '9')
      ++digits;
    else
      return false;
  }
  return digits > 0 && points == 1;
}

// One text between one pair of quotes: "a" "b" is two texts side by side,
// never the text a" "b.
bool Compiler::IsStringLiteral(std::string_view text) {
  return text.size() >= 2 && text.front() == '"' && text.find('"', 1) == text.size() - 1;
}

std::string Compiler::ReplaceWordOperators(std::string_view text) {
  auto replace = [](std::string in, std::string_view from, std::string_view to) {
    std::string out;
    bool quoted = false;
    for (size_t i = 0; i < in.size();) {
      if (in[i] == '"') quoted = !quoted;
      if (!quoted && in.compare(i, from.size(), from) == 0) {
        out += to;
        i += from.size();
      } else {
        out += in[i++];
      }
    }
    return out;
  };
  std::string out = replace(std::string(text), "<>", "!");
  out = replace(out, " and ", "&");
  return replace(out, " or ", "|");
}

std::string Compiler::DescribeSignature(std::string_view types) const {
  std::string out;
  for (char t : types) {
    if (!out.empty()) out += ", ";
    switch (t) {
      case 'l': out += "integer"; break;
      case 'f': out += "float"; break;
      case 's': out += "string"; break;
      case 'z': out += "any value"; break;
      case 'a': out += "label"; break;
      default: out += "?";
    }
  }
  return out.empty() ? "nothing" : out;
}

std::string_view Compiler::AsWritten(std::string_view piece) const {
  bool quoted = false, rewritten = false;
  for (size_t i = 0; i + 1 < piece.size() && !rewritten; ++i) {
    if (piece[i] == '"') quoted = !quoted;
    rewritten = !quoted && piece[i] == '?' && piece[i + 1] >= '0' && piece[i + 1] <= '9';
  }
  return rewritten ? std::string_view(expression_source_) : piece;
}

std::string Compiler::BadExpressionMessage(std::string_view piece) const {
  const std::string_view shown = AsWritten(piece);
  return std::string(MessageText(CompileMessage::kBadExpression)) + ": " + Quoted(shown) + OperatorWordHint(shown);
}

Operand Compiler::CompileExpression(std::string_view source) {
  struct Depth {
    int& depth;
    ~Depth() { --depth; }
  } depth_guard{++expression_depth_};
  std::string text = Trim(source);
  if (expression_depth_ == 1) {
    expression_source_ = text;
    // Names may begin with digits: 1e3 would be a variable and 1e-3 one less 3.
    if (std::string_view number = FindUnsupportedNumber(text); !number.empty()) {
      Fail(UnsupportedNumberMessage(number));
      return {};
    }
  }
  if (text.size() > kMaxExpression) {
    Fail(CompileMessage::kExpressionTooLong);
    return {};
  }
  int depth = 0;
  bool quoted = false;
  for (char c : text) {
    if (c == '"') quoted = !quoted;
    if (quoted) continue;
    if (c == '(') ++depth;
    if (c == ')' && --depth < 0) break;
  }
  if (depth != 0) {
    Fail(CompileMessage::kUnbalancedParentheses);
    return {};
  }

  // Replace each grouping parenthesis outside calls by the value of its
  // contents; the parentheses of calls and array reads stay for the operand.
  for (;;) {
    size_t open = std::string::npos;
    std::vector<bool> is_call;
    quoted = false;
    for (size_t i = 0; i < text.size() && open == std::string::npos; ++i) {
      char c = text[i];
      if (c == '"') quoted = !quoted;
      if (quoted) continue;
      if (c == '(') {
        bool call = i > 0 && OpensCall(text[i - 1]);
        if (!call && is_call.empty()) open = i;
        is_call.push_back(call);
      } else if (c == ')' && !is_call.empty()) {
        is_call.pop_back();
      }
    }
    if (open == std::string::npos) break;
    size_t close = open;
    depth = 0;
    quoted = false;
    for (size_t i = open; i < text.size(); ++i) {
      if (text[i] == '"') quoted = !quoted;
      if (quoted) continue;
      if (text[i] == '(') ++depth;
      if (text[i] == ')' && --depth == 0) {
        close = i;
        break;
      }
    }
    Operand inner = CompileExpression(std::string_view(text).substr(open + 1, close - open - 1));
    if (inner.type == 'x') return {};
    text = text.substr(0, open) + "?" + std::to_string(inner.number) + text.substr(close + 1);
    if (text.size() > kMaxExpression) {
      Fail(CompileMessage::kExpressionTooLong);
      return {};
    }
  }
  return CompileFlat(text);
}

Operand Compiler::CompileFlat(std::string_view text) {
  std::vector<std::string> operand_texts;
  std::vector<std::string_view> operators;
  std::string current;
  bool quoted = false;
  int depth = 0;
  for (size_t i = 0; i < text.size();) {
    char c = text[i];
    if (c == '"') quoted = !quoted;
    if (quoted || c == '"') {
      current += c;
      ++i;
      continue;
    }
    if (c == '(') ++depth;
    if (c == ')') --depth;
    size_t length = 0;
    std::string_view op = depth == 0 ? OperatorAt(text, i, &length) : std::string_view();
    // A sign where an operand starts belongs to the operand.
    if (op.empty() || ((c == '-' || c == '+') && Trim(current).empty())) {
      current += c;
      ++i;
      continue;
    }
    operand_texts.push_back(Trim(current));
    operators.push_back(op);
    current.clear();
    i += length;
  }
  operand_texts.push_back(Trim(current));

  std::vector<Operand> values;
  for (const std::string& operand : operand_texts) {
    if (operand.empty()) {
      Fail(BadExpressionMessage(Trim(text)));
      return {};
    }
    Operand value = CompileOperand(operand);
    if (value.type == 'x') return {};
    values.push_back(value);
  }

  for (const auto& level : kLevels) {
    for (size_t i = 0; i < operators.size();) {
      bool here = false;
      for (std::string_view op : level) here = here || op == operators[i];
      if (!here) {
        ++i;
        continue;
      }
      std::vector<Operand> arguments = {values[i], values[i + 1]};
      int row = FindValueFunction(operators[i], arguments);
      if (row < 0) {
        const auto& rows = table_.Functions();
        std::string types = {values[i].type, values[i + 1].type};
        Fail("cannot apply \"" + std::string(operators[i] == "==" ? "=" : operators[i]) + "\" to " +
             DescribeSignature(types) +
             MismatchMessage(rows, table_.FindFunction(operators[i]), types, true));
        return {};
      }
      const CommandEntry& entry = table_.Functions()[static_cast<size_t>(row)];
      Operand result = AllocTemp(entry.signature[0]);
      if (result.type == 'x') return {};
      EmitInstruction(entry.code, {result, values[i], values[i + 1]});
      values[i] = result;
      values.erase(values.begin() + static_cast<long>(i) + 1);
      operators.erase(operators.begin() + static_cast<long>(i));
    }
  }
  return values.front();
}

Operand Compiler::CompileIntLiteral(std::string_view text) {
  errno = 0;
  std::string digits(text);
  long long value = std::strtoll(digits.c_str(), nullptr, 10);
  if (errno == ERANGE || value < INT32_MIN || value > INT32_MAX) {
    Fail(std::string(MessageText(CompileMessage::kIntegerOutOfRange)) + ": " + digits);
    return {};
  }
  return IntConstant(static_cast<int32_t>(value));
}

Operand Compiler::CompileOperand(std::string_view text) {
  if (text.empty()) {
    Fail(CompileMessage::kBadExpression);
    return {};
  }
  // What is left between two operators is one value: a text beside another
  // value ("a" b$, "a" "b", str$(n) "a") is the slip of a missing operator,
  // never a text that holds the code beside it.
  const bool holds_text = FindAtTopLevel(text, [](size_t, char c, int depth) { return c == '"' && depth == 0; }) !=
                          std::string_view::npos;
  if (holds_text && !IsStringLiteral(text)) {
    // The language has no doubled quote inside a text.
    const bool quotes_touch =
        FindAtTopLevel(text, [&text](size_t i, char c, int) { return c == '"' && text.substr(i + 1, 1) == "\""; }) !=
        std::string_view::npos;
    Fail("values stand side by side without an operator: " + Quoted(AsWritten(text)) +
         " (write + between texts to join them, ; between the values of a print, or , between a command's values" +
         (quotes_touch ? "; a quote inside a text is chr$(34))" : ")"));
    return {};
  }
  if (text[0] == '?') {
    int32_t number = 0;
    bool digits = text.size() > 1 && text.size() < 10;
    for (size_t i = 1; i < text.size() && digits; ++i) {
      digits = text[i] >= '0' && text[i] <= '9';
      number = number * 10 + (text[i] - '0');
    }
    if (!digits || OperandTypeOf(number) == 0) {
      Fail(BadExpressionMessage(text));
      return {};
    }
    return {number, OperandTypeOf(number)};
  }

  // A call of a user function or a value function, or an array element.
  bool quoted = false;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '"') quoted = !quoted;
    if (quoted || text[i] != '(' || i == 0 || !OpensCall(text[i - 1])) continue;
    if (text.back() != ')') break;
    std::string name = Trim(text.substr(0, i));
    std::string_view arguments = text.substr(i + 1, text.size() - i - 2);
    int function = FindUserFunction(name);
    if (function >= 0) {
      Operand result;
      if (!CompileUserFunctionCall(arguments, function, &result)) return {};
      return result;
    }
    if (table_.FindFunction(name) >= 0) return CompileValueFunctionCall(name, arguments);
    return CompileArrayRead(name, arguments);
  }

  if (IsIntLiteral(text)) return CompileIntLiteral(text);
  if (IsFloatLiteral(text)) return FloatConstant(static_cast<float>(std::strtod(std::string(text).c_str(), nullptr)));
  if (IsStringLiteral(text)) return StringConstant(text.substr(1, text.size() - 2));
  if (!IsVariableName(text)) {
    Fail(BadExpressionMessage(text));
    return {};
  }
  // A function's name without its parentheses is a variable of that name;
  // whether the program ever gives it a value is known at the end.
  if (!typing_only_ && (table_.FindFunction(text) >= 0 || FindUserFunction(text) >= 0))
    bare_function_names_.push_back({std::string(text), static_cast<int>(line_index_), current_function_});
  return VariableOperand(text, false);
}

bool Compiler::RunAccepts(const std::vector<CommandEntry>& rows, int first, const std::string& types,
                          bool skip_result) const {
  if (first < 0) return false;
  const std::string& name = rows[static_cast<size_t>(first)].name;
  for (size_t j = static_cast<size_t>(first); j < rows.size() && rows[j].name == name; ++j) {
    const std::string& sig = rows[j].signature;
    if (!skip_result && (sig == "0" || (!sig.empty() && sig[0] == 'e'))) return true;
    std::string_view params = skip_result && !sig.empty() ? std::string_view(sig).substr(1) : sig;
    bool fits = true;
    for (size_t k = 0; k < types.size() && fits; ++k)
      fits = k < params.size() && (params[k] == 'z' || params[k] == types[k]);
    if (fits) return true;
  }
  return false;
}

std::string Compiler::MismatchMessage(const std::vector<CommandEntry>& rows, int first,
                                      const std::string& types, bool skip_result) const {
  (void)types;
  if (first < 0) return {};
  std::string forms;
  const std::string& name = rows[static_cast<size_t>(first)].name;
  for (size_t j = static_cast<size_t>(first); j < rows.size() && rows[j].name == name; ++j) {
    const std::string& sig = rows[j].signature;
    std::string_view params = skip_result && !sig.empty() ? std::string_view(sig).substr(1) : sig;
    if (params == "0") params = {};
    forms += (forms.empty() ? "; it takes (" : " or (") + DescribeSignature(params) + ")";
  }
  return forms;
}

int Compiler::FindValueFunction(std::string_view name, const std::vector<Operand>& arguments) const {
  const auto& rows = table_.Functions();
  int first = table_.FindFunction(name);
  if (first < 0) return -1;
  for (size_t j = static_cast<size_t>(first); j < rows.size() && rows[j].name == name; ++j) {
    std::string_view params = std::string_view(rows[j].signature).substr(rows[j].signature.empty() ? 0 : 1);
    if (params.size() != arguments.size()) continue;
    bool fits = true;
    for (size_t k = 0; k < params.size() && fits; ++k)
      fits = params[k] == 'z' || params[k] == arguments[k].type;
    if (fits) return static_cast<int>(j);
  }
  return -1;
}

bool Compiler::EmitConversion(Operand& operand, char to) {
  Operand converted = AllocTemp(to);
  if (converted.type == 'x') return false;
  EmitInstruction(to == 'f' ? kIntToFloat : kFloatToInt, {converted, operand});
  operand = converted;
  return true;
}

bool Compiler::CompileValueArgument(std::string_view piece, char wanted, const std::vector<CommandEntry>& rows,
                                    int first, std::string& types, std::string& written,
                                    std::vector<Operand>& values) {
  const char saved = wanted_type_;
  wanted_type_ = wanted;
  Operand value = CompileExpression(piece);
  wanted_type_ = saved;
  if (value.type == 'x') return false;
  types += value.type;
  written += value.type;
  if ((value.type == 'l' || value.type == 'f') && !RunAccepts(rows, first, types, true)) {
    if (!EmitConversion(value, value.type == 'l' ? 'f' : 'l')) return false;
    types.back() = value.type;
  }
  values.push_back(value);
  return true;
}

Operand Compiler::EmitValueCall(const CommandEntry& entry, std::vector<Operand>& arguments) {
  Operand result = AllocTemp(entry.signature[0]);
  if (result.type == 'x') return {};
  arguments.insert(arguments.begin(), result);
  EmitInstruction(entry.code, arguments);
  return result;
}

Operand Compiler::CompileValueFunctionCall(const std::string& name, std::string_view arguments) {
  const auto& rows = table_.Functions();
  const int first = table_.FindFunction(name);
  int chosen = first;
  if (wanted_type_ != 0) {
    chosen = -1;
    size_t j = static_cast<size_t>(first);
    for (; j < rows.size() && rows[j].name == name; ++j)
      if (chosen < 0 && !rows[j].signature.empty() && rows[j].signature[0] == wanted_type_)
        chosen = static_cast<int>(j);
    if (chosen < 0) chosen = static_cast<int>(j) - 1;
  }
  const std::string& chosen_signature = rows[static_cast<size_t>(chosen)].signature;

  std::vector<std::string> pieces = SplitTopLevel(arguments);
  if (pieces.size() > kMaxArguments) {
    Fail(CompileMessage::kTooManyArguments);
    return {};
  }
  std::vector<Operand> values;
  std::string types;
  std::string written;
  for (size_t i = 0; i < pieces.size(); ++i) {
    const char wanted = i + 1 < chosen_signature.size() ? chosen_signature[i + 1] : 0;
    if (!CompileValueArgument(pieces[i], wanted, rows, chosen, types, written, values)) return {};
  }
  int row = FindValueFunction(name, values);
  if (row < 0) {
    Fail("wrong parameters for " + name + ": got (" + DescribeSignature(written) + ")" +
         MismatchMessage(rows, first, types, true));
    return {};
  }
  return EmitValueCall(rows[static_cast<size_t>(row)], values);
}

Operand Compiler::CompileArrayRead(const std::string& name, std::string_view indices) {
  const auto& rows = table_.Functions();
  const int first = table_.FirstArrayFunction();
  if (!IsVariableName(name) || first < 0 || !dim_names_.count(name)) {
    // a = 1 and(b = 2): no name, but an operator word before a group.
    const std::string written = name + "(" + std::string(indices) + ")";
    Fail(OperatorWordHint(written).empty() ? UnknownNameMessage(name, false) : BadExpressionMessage(written));
    return {};
  }
  Operand array = VariableOperand(name, true);
  if (array.type == 'x') return {};
  std::vector<Operand> values = {array};
  std::string types(1, array.type);
  std::string written = types;
  std::vector<std::string> pieces = SplitTopLevel(indices);
  if (pieces.size() > kMaxArguments) {
    Fail(CompileMessage::kTooManyArguments);
    return {};
  }
  for (const std::string& piece : pieces)
    if (!CompileValueArgument(piece, 'l', rows, first, types, written, values)) return {};
  int row = FindValueFunction(rows[static_cast<size_t>(first)].name, values);
  if (row < 0) {
    Fail("cannot read array " + name + ": an array takes 1 to 5 integer indices");
    return {};
  }
  return EmitValueCall(rows[static_cast<size_t>(row)], values);
}

}  // namespace zv::compiler
