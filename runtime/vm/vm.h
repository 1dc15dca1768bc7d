#pragma once

#include <array>
#include <bit>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <map>
#include <vector>

#include "runtime/vm/arrays.h"
#include "runtime/vm/call_frames.h"
#include "runtime/vm/checklist.h"
#include "runtime/vm/direct_code.h"
#include "runtime/vm/operand.h"
#include "runtime/vm/operand_cursor.h"
#include "runtime/vm/program_file.h"
#include "runtime/vm/services/editor_services.h"
#include "runtime/vm/services/engine3d_services.h"
#include "runtime/vm/services/input_services.h"
#include "runtime/vm/services/sound_services.h"
#include "runtime/vm/string_heap.h"

namespace zv {

class Vm;
class DisplayServices;  // runtime/display_seam.h
class AttachedData;     // runtime/attached/attached_data.h
class MemoryBlocks;     // services/memory/memory_blocks.h
class NetServices;      // services/net/net_services.h
class InputDevices;     // services/input/input_devices.h
class FileServices;     // services/files/file_services.h
class SystemServices;   // services/system/system_services.h
struct RuntimeState;    // runtime/runtime_state.h

// A command's handler: reads its operands through the Vm's accessors, checks
// them, does its work and stores its result.
using Handler = void (*)(Vm&);

// Opcode -> handler, filled by each subsystem's registration function.
class HandlerTable {
 public:
  HandlerTable() { handlers_.fill(nullptr); }
  void Set(int opcode, Handler handler) {
    if (opcode > 0 && opcode < operand::kOpcodeLimit) handlers_[opcode] = handler;
  }
  Handler Get(uint32_t opcode) const {
    return opcode < handlers_.size() ? handlers_[opcode] : nullptr;
  }

 private:
  std::array<Handler, operand::kOpcodeLimit> handlers_;
};

// What the dispatch loop and the error paths need from the program's
// surroundings: the clock, the message queue, the keyboard and the display.
class VmHost {
 public:
  virtual ~VmHost() = default;
  virtual uint32_t NowMs() = 0;
  // Asks the message pump to end the run at its next turn.
  virtual void PostQuit() = 0;
  // True while F11 or F12 is held.
  virtual bool DebugKeysHeld() { return false; }
  // True once a signal has asked the process to end.
  virtual bool StopSignalled() { return false; }
  virtual size_t PendingDrawRecords() { return 0; }
  // Puts a text on the clipboard; false when the clipboard is unavailable.
  virtual bool SetClipboardText(std::string_view text) { (void)text; return false; }
  // The clipboard's text; nothing when it holds none or is unavailable.
  virtual std::optional<std::string> GetClipboardText() { return std::nullopt; }
};

// The command table's names and signatures, for the error report. Only
// present where the compiler is.
class CommandCatalog {
 public:
  virtual ~CommandCatalog() = default;
  // Index and name of the first command row with this opcode.
  virtual std::optional<std::pair<int, std::string>> FindByCode(int opcode) const = 0;
  // Character n of that row's signature ('l', 'f', 's'), 0 past its end.
  virtual char ParamChar(int index, int n) const = 0;
};


// Where a temporary's value was last read from: an array element, named by
// its array entry, flat index and the entry's generation at the time, so a
// write through it can tell that the array has since been replaced.
struct ElementBinding {
  uint32_t entry = 0;
  uint32_t index = 0;
  uint32_t generation = 0;
  bool bound = false;
};
constexpr int32_t kCallStackSize = 65535;

struct ErrorState {
  int32_t code = 0;
  bool warning = false;
  int32_t internal_code = 0;       // stage reached by a long operation
  std::string last_engine_error;   // last display set-up failure text
  std::string error_info;          // the report for the ERRORINFO box
  int32_t line = 0;                // source line of the failing command (0: unknown)
  std::string file;                // the included file that line is in; empty: the program's own
  std::string command;             // its name in the command table, where the table is present
  std::string subject;             // the file the failure concerns, as the program named it
  std::string cause;               // why it failed, where the code's text alone would hide it
};

// Settings that the core reads.
struct VmSettings {
  bool debug_mode = false;    // trace every command into KQ.LOG
  bool runtime_test = false;  // write the error report to the clipboard
  std::string app_folder;     // where KQ.LOG lives; ends with "/" or is empty
};

// The loaded program and everything the virtual machine keeps while it runs.
class Vm {
 public:
  Vm(const HandlerTable& handlers, VmHost& host);
  ~Vm();
  Vm(const Vm&) = delete;
  Vm& operator=(const Vm&) = delete;

  // ---- Operands of the running command, read in order ------------------
  // Each reads the next operand word and moves past it. They throw
  // OperandFault when the word is not of the class asked for. Evaluate them in
  // separate statements: argument evaluation order is unspecified in C++.

  // A value slot (temporary, variable or constant).
  Slot NextSlot() { return cursor_.NextSlot(); }
  int32_t NextInt() { return IntAt(NextSlot()); }
  float NextFloat() { return FloatAt(NextSlot()); }
  // Valid until this slot's string is next stored or released.
  std::string_view NextString() { return StringAt(NextSlot()); }
  // A plain number: a converted literal or a word below the slot range.
  int32_t NextLiteral() { return cursor_.NextLiteral(); }
  // A code address, as the index of the code word it names.
  uint32_t NextTarget() { return cursor_.NextTarget(); }
  // The raw word, for operands a command skips or classifies itself.
  uint32_t NextWord() { return cursor_.NextWord(); }
  void SkipOperands(uint32_t count) { cursor_.Skip(count); }

  // ---- Slots -------------------------------------------------------------
  uint32_t WordAt(Slot s) const { return slots_[s.index]; }
  int32_t IntAt(Slot s) const { return static_cast<int32_t>(slots_[s.index]); }
  float FloatAt(Slot s) const { return std::bit_cast<float>(slots_[s.index]); }
  std::string_view StringAt(Slot s) const { return strings_.View(slots_[s.index]); }
  void SetWord(Slot s, uint32_t w) { slots_[s.index] = w; }
  void SetInt(Slot s, int32_t v) { slots_[s.index] = static_cast<uint32_t>(v); }
  void SetFloat(Slot s, float v) { slots_[s.index] = std::bit_cast<uint32_t>(v); }
  // Gives the slot its own copy of `text`; `text` may view any string of the
  // heap, the slot's own included.
  void SetString(Slot s, std::string_view text);
  // Releases the slot's string and leaves the slot holding no string.
  void ReleaseString(Slot s);
  StringHeap& Strings() { return strings_; }
  const StringHeap& Strings() const { return strings_; }

  // ---- Program state ------------------------------------------------------
  bool HasProgram() const { return cursor_.size != 0; }
  uint32_t Pc() const { return cursor_.pc; }
  void SetPc(uint32_t pc) { cursor_.pc = pc; }
  // Index of the opcode word of the command now running (or last run).
  uint32_t CommandPc() const { return command_pc_; }
  // Puts the program counter back on the running command and yields, so the
  // command runs again next turn (waits, line input, sync).
  void RepeatCommand() {
    cursor_.pc = command_pc_;
    yield = true;
  }
  uint32_t CodeSize() const { return cursor_.size; }
  uint32_t CodeWord(uint32_t index) const { return index < cursor_.size ? code_[index] : 0; }
  int32_t LineOf(uint32_t index) const { return index < lines_.size() ? lines_[index] : 0; }

  const std::vector<uint8_t>& DataTypes() const { return data_types_; }
  const std::vector<int32_t>& IntOwners() const { return int_owners_; }
  const std::vector<int32_t>& FloatOwners() const { return float_owners_; }
  const std::vector<int32_t>& StringOwners() const { return string_owners_; }
  // The variable slots owned by user function `function`: its int, then
  // float, then string variables, each in variable order.
  const std::vector<uint32_t>& OwnedSlots(int16_t function) const;

  const HandlerTable& Handlers() const { return handlers_; }
  VmHost& Host() { return host_; }

  // ---- Errors (the run ends at the next turn of the pump) ------------------
  void RunError(int32_t code);
  void RunWarning(int32_t code);
  // The same for a failure that concerns a file: its message names it.
  void RunError(int32_t code, std::string_view file);
  void RunWarning(int32_t code, std::string_view file);
  // The same with the cause, where the code's text alone would hide it: the
  // message adds it ("Could not open the file "a.dat": no space left on
  // device"). `file` may be empty.
  void RunError(int32_t code, std::string_view file, std::string_view cause);
  void RunWarning(int32_t code, std::string_view file, std::string_view cause);
  // A warning the program goes on from, in a run as in a built game: it is
  // written, with its line and command, where a built game writes its
  // warnings (standard error), and changes neither the run nor its exit
  // status.
  void WarnAndGoOn(int32_t code, std::string_view file, std::string_view cause);
  // Ends the run for the exception being handled (call it inside a catch
  // block): "Out of memory" when an allocation failed, else the severe
  // exception.
  void RunFault();

  // ---- State shared by the commands -----------------------------------------
  bool yield = false;            // end the current slice
  bool program_ended = false;
  bool auto_refresh = true;      // drawing commands end the slice
  // The slice ended on a switch between automatic and manual refresh, which
  // draws nothing: the frame after it is not one of the program's own.
  bool refresh_switched = false;
  bool input_poll_due = false;
  bool time_slice_mode = true;
  uint32_t time_slice_length = 33;
  uint32_t time_slice_start = 0;
  int32_t frame_time = 25;       // minimum milliseconds per frame
  bool app_active = true;
  bool standalone = false;       // a built game is running
  // Where the warnings the program goes on from are written (every warning
  // of a built game); null: standard error.
  std::function<void(std::string_view)> standalone_warning_out;
  bool escape_quits = true;
  uint32_t command_counter = 0;  // frame-synchronised mode's count
  uint32_t clock_check_interval = 32;  // commands between looks at the clock

  ErrorState errors;
  VmSettings settings;
  Checklist checklist;
  RenderTiming render_timing;
  ArrayTable arrays;
  // Grows as calls nest (at most kCallStackSize entries); a reset empties it.
  std::vector<CallEntry> call_stack;
  // Decoded calls, function layouts and the caller variables that open calls saved.
  CallFrames call_frames;
  int32_t call_depth = 0;
  int16_t current_function = 0;
  uint32_t data_read_index = 0;

  // ---- State of the core opcodes ------------------------------------------
  std::string command_line;  // the arguments the program was started with
  // Per temporary slot (0-2999): the element that an element read stored
  // there, so DATA and file reads into the temporary reach the element.
  std::array<ElementBinding, slots::kIntVar> element_bindings{};

  // Neighbouring subsystems; the Null* stand-ins until the app wires real ones.
  Engine3DServices* engine3d;
  SoundServices* sound;
  InputServices* input;
  EditorServices* editor;
  const CommandCatalog* commands = nullptr;  // only where the compiler is
  const ArrayNames* array_names = nullptr;   // likewise
  const SourceMap* source_map = nullptr;     // likewise

  // ---- Start-up, window, console and attached data (runtime/) ---------------
  DisplayServices* display = nullptr;     // null: nothing is drawn
  RuntimeState* runtime = nullptr;        // window, console and input state
  AttachedData* attached_data = nullptr;  // a built game's records; null otherwise

  // ---- Memory blocks (services/memory/) -------------------------------------
  // The program's memory blocks; null where that service is not linked (no
  // block can then be made).
  MemoryBlocks* memory_blocks = nullptr;

  // ---- FTP and multiplayer (services/net/) ----------------------------------
  // The FTP connection and the multiplayer session; null where that service
  // is not linked (its commands then end the run with a fault).
  NetServices* net = nullptr;

  // ---- Keyboard, mouse, joysticks and force feedback (services/input/) -----
  // The input devices and their state blocks; null where that service is not
  // linked (its commands then end the run with a fault).
  InputDevices* input_devices = nullptr;

  // ---- Files, folders, system commands, user libraries ----------------------
  // services/files/: the numbered files, the directory search and the shell;
  // services/system/: the registry, the system flags and the user libraries.
  // Null where those services are not linked (their commands then end the
  // run with a fault).
  FileServices* files = nullptr;
  SystemServices* system = nullptr;

  // DEBUGMODE's trace: the last opcode run at each code position, gathered in
  // memory and merged into KQ.LOG when a slice ends.
  void TraceCommand(uint32_t pc, uint32_t opcode) { trace_[pc] = opcode; }
  void FlushTraceLog();

 private:
  // Records the line and command name of the running command in `errors`.
  void NoteErrorPlace();
  void Fail(int32_t code, std::string_view file, std::string_view cause);
  void Warn(int32_t code, std::string_view file, std::string_view cause);
  friend bool InstallProgram(Vm&, const ProgramFile&);
  friend void FreeProgram(Vm&);
  friend void RunVmLoop(Vm&);
  friend struct DispatchAccess;
  friend void ResetVmState(Vm&);

  const HandlerTable& handlers_;
  VmHost& host_;

  std::vector<uint32_t> code_;
  std::vector<int32_t> lines_;
  OperandCursor cursor_;  // over code_
  // The dispatch loop's decoded form of the code, one entry per word and
  // one past the end; empty until the loop first runs the program.
  std::vector<DirectEntry> direct_;
  uint32_t command_pc_ = 0;
  std::vector<uint32_t> slots_;
  StringHeap strings_;
  std::vector<uint8_t> data_types_;
  std::vector<int32_t> int_owners_, float_owners_, string_owners_;
  std::vector<std::vector<uint32_t>> owned_slots_;  // by function number

  std::map<uint32_t, uint32_t> trace_;  // code position -> opcode

  // Held back for the error path: when an allocation fails it is given back,
  // so that naming the error and ending the run do not fail for want of
  // memory too. Taken again for the next run.
  std::unique_ptr<char[]> memory_reserve_;
};

// Path of the log file "KQ.LOG" in the application folder.
std::string LogFilePath(const VmSettings& settings);

}  // namespace zv
