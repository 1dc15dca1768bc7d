#include <algorithm>
#include <cstdio>
#include <new>
#include <stdexcept>
#include <utility>

#include "platform/dynlib/system_library.h"
#include "platform/ini/ini_file.h"
#include "platform/paths/failure_cause.h"
#include "platform/text/system_text.h"
#include "runtime/vm/errors.h"

namespace zv {
namespace {

constexpr int32_t kDemotedErrorCodes[] = {1503, 2002, 2007, 2008, 2009, 2010, 3002, 3004, 3201,
                                          3502, 3504, 3507, 4001, 4002, 4101, 7901, 8002, 9011};
constexpr size_t kFormattedLimit = 255;
constexpr size_t kErrorInfoLimit = 10230;

bool EndsSentence(const std::string& text) {
  return !text.empty() && (text.back() == '.' || text.back() == '!' || text.back() == '?');
}
constexpr size_t kOperandTextLimit = 255;
constexpr int kReportedOperands = 9;

std::string Printf(const char* format, auto... args) {
  char buffer[320];
  std::snprintf(buffer, sizeof buffer, format, args...);
  return buffer;
}

// The class letter of a slot: by its range of the variable area.
char SlotClassLetter(uint32_t slot) {
  switch (SlotTypeOf(slot)) {
    case SlotType::kInt: return 'l';
    case SlotType::kFloat: return 'f';
    case SlotType::kString: return 's';
  }
  return 0;
}

std::string OperandLine(const Vm& vm, int position, Slot slot, char type) {
  switch (type) {
    case 'l': return Printf("P%d:%d\n", position, vm.IntAt(slot));
    case 'f': return Printf("P%d:%g\n", position, static_cast<double>(vm.FloatAt(slot)));
    case 's': {
      std::string_view text = vm.StringAt(slot).substr(0, kOperandTextLimit);
      return "P" + std::to_string(position) + ":" + std::string(text) + "\n";
    }
  }
  return {};
}

// The array an array command names in operand `n`, as the program wrote it
// ("scores()"), where the compiler gave the names; else empty.
std::string ArrayNamed(const Vm& vm, uint32_t command_pc, uint32_t n) {
  if (!vm.array_names) return {};
  const uint32_t word = vm.CodeWord(command_pc + n);
  const auto found = vm.array_names->find(word - static_cast<uint32_t>(operand::kSlotFirst));
  return found == vm.array_names->end() ? std::string() : found->second + "()";
}

// What the user wrote for the command: the command table's name, except for
// the array element commands, whose rows bear internal marks ("@=", "@").
std::string CommandAsWritten(const Vm& vm, uint32_t command_pc, const std::string& name) {
  if (name != "@=" && name != "@") return name;
  const bool store = name == "@=";
  // A store names its array first; a read its result first.
  const std::string array = ArrayNamed(vm, command_pc, store ? 1 : 2);
  if (store) return array.empty() ? "array assignment" : "assignment to array " + array;
  return array.empty() ? "array element" : "element of array " + array;
}

// Turns the expanded line of `errors` into its own file's line, where the
// compiler gave the map; a built game keeps the expanded line.
void PlaceInSource(const SourceMap* map, ErrorState& errors) {
  if (!map || errors.line <= 0 || static_cast<size_t>(errors.line) > map->lines.size()) return;
  const SourceMap::Place& place = map->lines[static_cast<size_t>(errors.line) - 1];
  errors.line = place.line;
  if (place.file > 0 && place.file < map->files.size()) errors.file = map->files[place.file];
}

}  // namespace

bool IsDemotedErrorCode(int32_t code) {
  return std::find(std::begin(kDemotedErrorCodes), std::end(kDemotedErrorCodes), code) !=
         std::end(kDemotedErrorCodes);
}

std::string BuildErrorReport(const Vm& vm, uint32_t opcode_index) {
  int32_t opcode = static_cast<int32_t>(vm.CodeWord(opcode_index));
  std::string report = Printf("Line Number:%d\n", vm.LineOf(opcode_index));
  report += Printf("Command Number:%d\n", opcode);

  std::optional<std::pair<int, std::string>> row;
  if (vm.commands) {
    row = vm.commands->FindByCode(opcode);
    report += "Name:" + (row ? row->second : std::string()) + "\n";
  } else {
    report += Printf("Internal Error Code:%d\n", vm.errors.internal_code);
  }

  for (int i = 1; i <= kReportedOperands; ++i) {
    uint32_t index = opcode_index + static_cast<uint32_t>(i);
    if (index >= vm.CodeSize()) break;
    uint32_t word = vm.CodeWord(index);
    if (word == 0) continue;
    uint32_t slot = word - static_cast<uint32_t>(operand::kSlotFirst);
    if (slot >= slots::kAddressable) continue;  // a literal, label or code address
    // With the command table the row's signature types the operand; a command
    // with no row is typed by the slot's class, as in a built game.
    char type = row ? vm.commands->ParamChar(row->first, i - 1) : SlotClassLetter(slot);
    report += OperandLine(vm, i, Slot{slot}, type);
  }
  return report;
}

ErrorState CommandPlace(const Vm& vm, uint32_t command_pc) {
  ErrorState place;
  place.line = vm.LineOf(command_pc);
  PlaceInSource(vm.source_map, place);
  if (vm.commands) {
    if (auto row = vm.commands->FindByCode(static_cast<int32_t>(vm.CodeWord(command_pc))))
      place.command = CommandAsWritten(vm, command_pc, row->second);
  }
  return place;
}

void Vm::NoteErrorPlace() {
  ErrorState place = CommandPlace(*this, command_pc_);
  errors.line = place.line;
  errors.file = std::move(place.file);
  errors.command = std::move(place.command);
  errors.subject.clear();
  errors.cause.clear();
}

void Vm::RunError(int32_t code) { Fail(code, {}, {}); }

void Vm::Fail(int32_t code, std::string_view file, std::string_view cause) {
  NoteErrorPlace();
  if (settings.runtime_test && static_cast<int32_t>(CodeWord(command_pc_)) > 0) {
    std::string report = BuildErrorReport(*this, command_pc_);
    if (host_.SetClipboardText(report) && !commands) {
      errors.error_info.clear();
      if (report.size() < kErrorInfoLimit) errors.error_info = report;
    }
  }
  // Readers of a file kept a save in place from it for a while: the save
  // did not happen, and the program may try again.
  if (IsDemotedErrorCode(code) || platform::IsReadersHold(cause)) {
    Warn(code, file, cause);
    return;
  }
  yield = true;
  errors.code = code;
  errors.warning = false;
  errors.subject = file;
  errors.cause = cause;
  host_.PostQuit();
  program_ended = true;
}

void Vm::RunWarning(int32_t code) { Warn(code, {}, {}); }

void Vm::Warn(int32_t code, std::string_view file, std::string_view cause) {
  if (standalone) {
    // A built game goes on after a warning with nothing on its window, as
    // it always has; the warning and its cause go to standard error, so
    // that a player or a launcher can see why a save did not happen.
    WarnAndGoOn(code, file, cause);
    return;
  }
  NoteErrorPlace();
  yield = true;
  errors.code = code;
  errors.warning = true;
  errors.subject = file;
  errors.cause = cause;
  host_.PostQuit();
}

void Vm::WarnAndGoOn(int32_t code, std::string_view file, std::string_view cause) {
  ErrorState shown = CommandPlace(*this, command_pc_);
  shown.code = code;
  shown.warning = true;
  shown.subject = file;
  shown.cause = cause;
  const std::string text = FormatErrorMessage(shown) + "\n";
  // In UTF-8, as all the game writes to its standard output and error.
  if (standalone_warning_out)
    standalone_warning_out(text);
  else
    platform::WriteSystemText(stderr, text);
}

void Vm::RunFault() {
  int32_t code = error_code::kSevereException;
  std::string subject, cause;
  try {
    throw;
  } catch (const platform::RefusedName& refused) {
    // Thrown where the name crosses to the system, before anything was
    // made under it.
    code = error_code::kNameRefused;
    subject = refused.Name();
    cause = refused.what();
  } catch (const TextTooLong& e) {
    code = error_code::kStringTooLong;
    cause = e.what();
  } catch (const std::bad_alloc&) {
    code = error_code::kOutOfMemory;
  } catch (const std::length_error&) {
    code = error_code::kOutOfMemory;  // a size beyond any allocation
  } catch (const std::overflow_error& e) {
    cause = e.what();  // a result that does not fit, which the fault names
  } catch (const platform::LibraryMissing& missing) {
    cause = missing.what();  // the library the command needs, and why it is not there
  } catch (...) {
  }
  if (code == error_code::kOutOfMemory) memory_reserve_.reset();
  Fail(code, subject, cause);
}

void Vm::RunError(int32_t code, std::string_view file) { Fail(code, file, {}); }

void Vm::RunWarning(int32_t code, std::string_view file) { Warn(code, file, {}); }

void Vm::RunError(int32_t code, std::string_view file, std::string_view cause) { Fail(code, file, cause); }

void Vm::RunWarning(int32_t code, std::string_view file, std::string_view cause) { Warn(code, file, cause); }

std::string FormatErrorPlace(const ErrorState& errors) {
  if (errors.line <= 0) return {};
  std::string place = " (line " + std::to_string(errors.line);
  if (!errors.file.empty()) place += " of " + errors.file;
  if (!errors.command.empty()) place += ": " + errors.command;
  return place + ")";
}

std::string FormatErrorMessage(const ErrorState& errors) {
  std::string text = FormatErrorText(errors);
  while (!text.empty() && text.back() == ' ') text.pop_back();
  return text + FormatErrorPlace(errors);
}

std::string FormatErrorText(const ErrorState& errors) {
  const char* word = errors.warning ? "Warning" : "Error";
  std::string out = errors.code < 10000 ? Printf("Runtime %s : ", word) : Printf("System %s : ", word);
  out += GetErrorText(errors.code);
  if (!errors.subject.empty()) out += " \"" + errors.subject + "\"";
  // A text that ends its own sentence ("Severe Exception!") takes no more
  // punctuation after it.
  if (!errors.cause.empty()) out += (EndsSentence(out) ? " " : ": ") + errors.cause;
  out += EndsSentence(out) ? " " : ". ";
  out += errors.last_engine_error;
  if (out.size() > kFormattedLimit) out.resize(kFormattedLimit);
  return out;
}

void LogRuntimeError(const VmSettings& settings, std::string_view text, const std::tm& when) {
  if (!settings.debug_mode) return;
  std::string key = Printf("RUNTIMEERROR ON %d/%d/%d AT %d:%d", when.tm_mday, when.tm_mon + 1,
                           when.tm_year + 1900, when.tm_hour, when.tm_min);
  platform::WriteProfileString(LogFilePath(settings), "ERRORLOG", key, text);
}

void LogRuntimeError(const VmSettings& settings, std::string_view text) {
  std::time_t now = std::time(nullptr);
  std::tm utc{};
  gmtime_r(&now, &utc);
  LogRuntimeError(settings, text, utc);
}

}  // namespace zv
