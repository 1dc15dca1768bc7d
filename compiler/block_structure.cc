// Block statements (if/else/endif, do/loop, for/next, while/endwhile,
// repeat/until, exit): a stack of open blocks remembers the jump operands
// that wait for a target; closing a block patches them.
#include "compiler/compiler_context.h"

namespace zv::compiler {
namespace {

enum Keyword { kIf, kElse, kEndif, kDo, kExit, kLoop, kFor, kNext, kWhile, kEndwhile, kRepeat, kUntil };

struct KeywordInfo {
  const char* name;
  bool opens;
  bool closes;
  int closer;  // of the block it opens
  bool adds_jump;
  bool emits_nothing;
};

constexpr KeywordInfo kKeywords[12] = {
    {"if", true, false, kEndif, true, false},      {"else", false, false, -1, true, false},
    {"endif", false, true, -1, false, true},       {"do", true, false, kLoop, true, true},
    {"exit", false, false, -1, true, false},       {"loop", false, true, -1, true, false},
    {"for", true, false, kNext, true, false},      {"next", false, true, -1, true, false},
    {"while", true, false, kEndwhile, true, false}, {"endwhile", false, true, -1, true, false},
    {"repeat", true, false, kUntil, true, true},   {"until", false, true, -1, true, false},
};

constexpr size_t kMaxOpenBlocks = 1023;
constexpr size_t kMaxExits = 32;

const char* OpenerOf(int closer) {
  for (const KeywordInfo& k : kKeywords)
    if (k.opens && k.closer == closer) return k.name;
  return "";
}

}  // namespace

void Compiler::InitBlockKeywords() {
  blocks_.clear();
  const auto& commands = table_.Commands();
  for (size_t k = 0; k < 12; ++k) {
    keyword_codes_[k] = 0;
    // The last row of the keyword's name gives its code.
    for (const CommandEntry& row : commands)
      if (row.name == kKeywords[k].name) keyword_codes_[k] = row.code;
  }
  command_keyword_.assign(commands.size(), -1);
  for (size_t i = 0; i < commands.size(); ++i)
    for (size_t k = 0; k < 12; ++k)
      if (keyword_codes_[k] != 0 && commands[i].code == keyword_codes_[k])
        command_keyword_[i] = static_cast<int>(k);
  for (size_t t = 0; t < 3; ++t) {
    static constexpr const char* kSignatures[] = {"ll", "ff", "ss"};
    for (const CommandEntry& row : commands)
      if (row.name == "=" && row.signature == kSignatures[t]) {
        assign_codes_[t] = row.code;
        break;
      }
  }
}

bool Compiler::HandleBlockKeyword(int keyword, std::vector<Operand>& operands, std::string_view written,
                                  bool* emits_nothing) {
  const KeywordInfo& info = kKeywords[keyword];
  *emits_nothing = info.emits_nothing;
  const int32_t count = static_cast<int32_t>(CodeSize());
  const int32_t length =
      info.emits_nothing ? 0 : 1 + static_cast<int32_t>(operands.size()) + (info.adds_jump ? 1 : 0);
  const int32_t jump_word = count + 1 + static_cast<int32_t>(operands.size());
  int32_t jump_value = 0;
  auto patch = [this](int32_t word, int32_t position) {
    if (word >= 0 && static_cast<size_t>(word) < code_.size())
      code_[static_cast<size_t>(word)] = static_cast<uint32_t>(numbering::kCode + position);
  };

  if (info.opens) {
    if (blocks_.size() >= kMaxOpenBlocks) return Fail(CompileMessage::kTooManyNestedBlocks);
    Block block;
    block.keyword = keyword;
    block.opening_operand = info.emits_nothing ? -1 : jump_word;
    // The loop of a for or while starts with the statement's own code, so
    // the limit or the condition is worked out again on every turn.
    block.start = (keyword == kFor || keyword == kWhile) ? statement_start_ : count + length;
    block.expected_closer = info.closer;
    block.opening_emits_nothing = info.emits_nothing;
    block.line = static_cast<int>(line_index_);
    if (keyword == kFor && !operands.empty()) block.variable = operands.front().number;
    blocks_.push_back(std::move(block));
  } else if (keyword == kElse) {
    if (blocks_.empty() || blocks_.back().keyword != kIf) return Fail("else without if");
    Block& top = blocks_.back();
    if (top.from_case)
      return Fail("else without if: the open block is a case" + LineMention(top.line) + ", which ends with endcase");
    if (top.else_operand >= 0) return Fail("a second else in one if block");
    top.else_operand = jump_word;
    top.else_position = count + 2;
  } else if (keyword == kExit) {
    Block* loop = nullptr;
    for (auto it = blocks_.rbegin(); it != blocks_.rend() && !loop; ++it)
      if (it->keyword != kIf) loop = &*it;
    if (!loop) return Fail("exit outside a do, for, while or repeat loop");
    if (loop->exits.size() >= kMaxExits) return Fail(CompileMessage::kTooManyExits);
    loop->exits.push_back(jump_word);
  } else if (info.closes) {
    if (!CheckClosing(keyword, written)) return false;
    Block& top = blocks_.back();
    const int32_t end = count + length;
    if (top.keyword != kIf) {
      if (!top.opening_emits_nothing) patch(top.opening_operand, end);
      for (int32_t exit : top.exits) patch(exit, end);
      jump_value = numbering::kCode + top.start;
    } else if (top.else_operand >= 0) {
      patch(top.opening_operand, top.else_position);
      patch(top.else_operand, end);
    } else {
      patch(top.opening_operand, end);
    }
    blocks_.pop_back();
  }
  if (info.adds_jump) operands.push_back(Operand{jump_value, 'j'});
  return true;
}

}  // namespace zv::compiler

namespace zv::compiler {

bool Compiler::CheckClosing(int keyword, std::string_view written) {
  const KeywordInfo& info = kKeywords[keyword];
  if (select_open_ && blocks_.size() <= select_depth_)
    return Fail(std::string(info.name) + " comes before the endselect of the select" + LineMention(select_line_));
  if (blocks_.empty()) return Fail(std::string(info.name) + " without " + OpenerOf(keyword));
  const Block& top = blocks_.back();
  // next closes the innermost loop whatever variable it names: the jump
  // back never reads its operand.
  if (top.expected_closer == keyword && !top.from_case) return true;
  std::string closer = info.name;
  if (keyword == kNext && !written.empty()) closer += " " + std::string(written);
  return Fail(closer + " does not close the open " + OpeningText(top) + LineMention(top.line) + ", which needs " +
              ClosingText(top));
}

bool Compiler::NameLoopVariable(std::vector<std::string>& pieces) {
  if (!CheckClosing(kNext, {})) return false;
  pieces.push_back(VariableNameOf(blocks_.back().variable));
  return true;
}

bool Compiler::CheckBlocksClosed() {
  if (blocks_.empty()) return true;
  const Block& open = blocks_.back();
  failure_.line_index = open.line;
  line_index_ = static_cast<size_t>(open.line);
  return Fail(std::string(MessageText(CompileMessage::kBlockNotClosed)) + ": " + BlockNeeds(open));
}

std::string Compiler::VariableNameOf(int32_t number) const {
  if (number < numbering::kIntVar || number >= numbering::kIntConst) return {};
  const int32_t offset = number - numbering::kIntVar;
  const auto& table = variables_[static_cast<size_t>(offset / numbering::kPerClass)];
  const size_t k = static_cast<size_t>(offset % numbering::kPerClass);
  return k < table.size() ? table[k].name : std::string();
}

std::string Compiler::OpeningText(const Block& block) const {
  if (block.from_case) return "case";
  std::string text = kKeywords[block.keyword].name;
  const std::string variable = VariableNameOf(block.variable);
  return variable.empty() ? text : text + " " + variable;
}

std::string Compiler::ClosingText(const Block& block) const {
  if (block.from_case) return "endcase";
  std::string text = kKeywords[block.expected_closer].name;
  const std::string variable = VariableNameOf(block.variable);
  return variable.empty() ? text : text + " " + variable;
}

std::string Compiler::BlockNeeds(const Block& block) const {
  return OpeningText(block) + " needs " + ClosingText(block);
}

std::string Compiler::LineMention(int line_index) const {
  if (line_index < 0 || static_cast<size_t>(line_index) >= lines_.size()) return {};
  const SourceLine& line = lines_[static_cast<size_t>(line_index)];
  std::string text = " (line " + std::to_string(line.line);
  const bool other_file = line_index_ >= lines_.size() || lines_[line_index_].file != line.file;
  if (other_file && static_cast<size_t>(line.file) < written_names_.size())
    text += " of " + written_names_[static_cast<size_t>(line.file)];
  return text + ")";
}

}  // namespace zv::compiler
