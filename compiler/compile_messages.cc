#include "compiler/compile_messages.h"

namespace zv {

const char* MessageText(CompileMessage message) {
  switch (message) {
    case CompileMessage::kTooManyIntVariables: return "too many integer variables (at most 2000)";
    case CompileMessage::kTooManyFloatVariables: return "too many float variables (at most 2000)";
    case CompileMessage::kTooManyStringVariables: return "too many string variables (at most 2000)";
    case CompileMessage::kTooManyLabels: return "too many labels (at most 2000)";
    case CompileMessage::kTooManyFunctions: return "too many user functions (at most 1023)";
    case CompileMessage::kTooManyIntConstants: return "too many integer constants (at most 2000)";
    case CompileMessage::kTooManyFloatConstants: return "too many float constants (at most 2000)";
    case CompileMessage::kTooManyStringConstants: return "too many string constants (at most 2000)";
    case CompileMessage::kStringTooLong: return "string literal longer than 255 characters";
    case CompileMessage::kBadExpression: return "cannot understand this expression";
    case CompileMessage::kUnbalancedParentheses: return "parentheses do not balance";
    case CompileMessage::kExpressionTooLong: return "expression too long (at most 254 characters)";
    case CompileMessage::kBadLabelName: return "a label name may hold only letters, digits and \"_\"";
    case CompileMessage::kTooManyArguments: return "more than 32 arguments";
    case CompileMessage::kLabelDefinedTwice: return "label defined twice";
    case CompileMessage::kFunctionDefinedTwice: return "user function defined twice";
    case CompileMessage::kBadParameter: return "a function parameter must be a variable name";
    case CompileMessage::kUnknownStatement:
      return "not a command, a function call or an assignment";
    case CompileMessage::kBadIf: return "cannot compile this if statement";
    case CompileMessage::kBadFor: return "cannot compile this for statement (for VAR = START to END [step STEP])";
    case CompileMessage::kBadDim: return "cannot compile this dim statement";
    case CompileMessage::kBadLabel: return "cannot compile the label";
    case CompileMessage::kTooManyDataItems: return "too many DATA items (at most 9999)";
    case CompileMessage::kBadDataItem: return "a DATA item must be a number or a string in quotes";
    case CompileMessage::kBadFunctionHeader: return "bad function declaration";
    case CompileMessage::kBadFunctionResult: return "cannot compile the result after endfunction";
    case CompileMessage::kEndfunctionOutsideFunction: return "endfunction outside a function";
    case CompileMessage::kFunctionNotClosed: return "function without endfunction";
    case CompileMessage::kLineTooLong: return "line too long (at most 254 characters)";
    case CompileMessage::kTooManyIncludes: return "too many include files (at most 255)";
    case CompileMessage::kIncludeNotFound: return "cannot open include file";
    case CompileMessage::kLabelNotDefined: return "label used but not defined";
    case CompileMessage::kArrayNotDimensioned: return "array used but not dimensioned";
    case CompileMessage::kBlockNotClosed: return "block not closed";
    case CompileMessage::kSelectMisplaced: return "select, case, endcase or endselect out of place";
    case CompileMessage::kCaseAfterDefault: return "case after case default";
    case CompileMessage::kTooManyNestedBlocks: return "too many nested blocks (at most 1023)";
    case CompileMessage::kTooManyExits: return "too many exit statements in one loop (at most 32)";
    case CompileMessage::kTooManyArrays: return "too many dim statements (at most 2000)";
    case CompileMessage::kTooManyTemporaries: return "statement too complex (too many intermediate values)";
    case CompileMessage::kProgramTooLong: return "program too long";
    case CompileMessage::kNestedTooDeep: return "statement nested too deeply";
    case CompileMessage::kForNeedsIntVariable: return "the variable of a for loop must be an integer variable";
    case CompileMessage::kForCountsWholeNumbers: return "a for loop counts in whole numbers";
    case CompileMessage::kIntegerOutOfRange: return "integer out of range";
    case CompileMessage::kExponentNumber: return "numbers in exponent form are not supported";
    case CompileMessage::kHexadecimalNumber: return "numbers in hexadecimal form are not supported";
    case CompileMessage::kSourceUnreadable: return "cannot read the source file";
  }
  return "compile error";
}

}  // namespace zv
