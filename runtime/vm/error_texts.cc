#include "runtime/vm/errors.h"

#include <algorithm>
#include <array>

namespace zv {
namespace {

struct ErrorText {
  int32_t code;
  int32_t message_number;
  const char* text;
};

constexpr ErrorText kErrorTexts[] = {
#define ZV_ERROR_TEXT(code, number, text) {code, number, text},
#include "runtime/vm/error_texts.inc"
#undef ZV_ERROR_TEXT
};

const ErrorText* Find(int32_t code) {
  auto it = std::lower_bound(std::begin(kErrorTexts), std::end(kErrorTexts), code,
                             [](const ErrorText& e, int32_t c) { return e.code < c; });
  return it != std::end(kErrorTexts) && it->code == code ? it : nullptr;
}

}  // namespace

int32_t ErrorMessageNumber(int32_t code) {
  const ErrorText* e = Find(code);
  return e ? e->message_number : -1;
}

std::string GetErrorText(int32_t code) {
  switch (code) {
    case error_code::kOutOfMemory: return "Out of memory";
    case 10008: return "Language not found";
    case error_code::kUnknownCommand: return "Unknown command in program";
    case error_code::kSevereException: return "Severe Exception!";
    case 10011: return "Language file not updated";
  }
  const ErrorText* e = Find(code);
  return e ? e->text : std::string();
}

}  // namespace zv
