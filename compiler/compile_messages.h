#pragma once

#include <string>
#include <string_view>

namespace zv {

// The compiler's message texts, one per kind of error.
enum class CompileMessage {
  kTooManyIntVariables,
  kTooManyFloatVariables,
  kTooManyStringVariables,
  kTooManyLabels,
  kTooManyFunctions,
  kTooManyIntConstants,
  kTooManyFloatConstants,
  kTooManyStringConstants,
  kStringTooLong,
  kBadExpression,
  kUnbalancedParentheses,
  kExpressionTooLong,
  kBadLabelName,
  kTooManyArguments,
  kLabelDefinedTwice,
  kFunctionDefinedTwice,
  kBadParameter,
  kUnknownStatement,
  kBadIf,
  kBadFor,
  kBadDim,
  kBadLabel,
  kTooManyDataItems,
  kBadDataItem,
  kBadFunctionHeader,
  kBadFunctionResult,
  kEndfunctionOutsideFunction,
  kFunctionNotClosed,
  kLineTooLong,
  kTooManyIncludes,
  kIncludeNotFound,
  kLabelNotDefined,
  kArrayNotDimensioned,
  kBlockNotClosed,
  kSelectMisplaced,
  kCaseAfterDefault,
  kTooManyNestedBlocks,
  kTooManyExits,
  kTooManyArrays,
  kTooManyTemporaries,
  kProgramTooLong,
  kNestedTooDeep,
  kForNeedsIntVariable,
  kForCountsWholeNumbers,
  kIntegerOutOfRange,
  kExponentNumber,
  kHexadecimalNumber,
  kSourceUnreadable,
};

const char* MessageText(CompileMessage message);

// A name or text as messages show it: between double quotes.
inline std::string Quoted(std::string_view text) { return "\"" + std::string(text) + "\""; }

}  // namespace zv
