#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <utility>
#include <vector>

namespace zv {

struct SavedSet;

// One entry of the call stack shared by subroutines and user functions.
struct CallEntry {
  uint32_t return_pc = 0;
  int16_t caller_function = 0;
  bool saved_unchecked = false;  // no parameter among the saved slots carried an array
  bool saved_text = false;       // a string among the saved slots
  // The entry of the user-function call whose body runs while this entry is
  // the top one: its own index for a function call, the enclosing call's for
  // a subroutine call, -1 when only the main program runs.
  int32_t function_frame = -1;
  // A function call's site and the layout of the function it entered
  // (CallFrames), -1 for a subroutine call.
  int32_t site = -1;
  int32_t layout = -1;
  // The caller's variables saved by this call: the values of the slots of
  // SavedSet `saved_set` (null: none), a run of CallFrames::saved.
  const SavedSet* saved_set = nullptr;
  uint32_t saved_base = 0;
  uint32_t saved_size = 0;
  // The arrays' epoch at the save: while it holds and `saved_unchecked` is
  // set, none of the saved slots carries an array, so the return writes
  // them back unchecked.
  uint64_t saved_epoch = 0;

  bool HasSavedVariables() const { return saved_size != 0; }
};

// A user-function call's operands, decoded and checked at its first run:
// the code does not change, so later runs of the same call read them here.
struct CallSite {
  uint32_t entry_pc = 0;    // the function's first parameter word
  uint32_t result = 0;      // result slot
  uint32_t count_slot = 0;  // slot holding the argument count
  int32_t count = 0;        // the count the arguments were checked for
  uint32_t first_argument = 0;  // index of the first argument word
  uint32_t arguments = 0;   // where the argument slots start in CallFrames::argument_slots
  int32_t layout = -1;
  bool text_result = false;  // the result slot holds a string
  bool arguments_alias = false;  // an argument slot is an earlier parameter
};

// The slots a call saves while a given function runs, in save order: the
// parameters, then the function's own variables that were not arrays when
// the set was made. A set never changes once made, so a call's saved values
// stay readable by it whatever happens meanwhile.
struct SavedSet {
  std::vector<uint32_t> slots;
  // The same slots as runs of consecutive slots: (first slot, count).
  std::vector<std::pair<uint32_t, uint32_t>> runs;
  bool text = false;             // a string slot among them
  bool array_parameter = false;  // a parameter slot carried an array
};

// A function as entered with a given argument count.
struct FrameLayout {
  uint32_t entry_pc = 0;
  int32_t count = 0;
  int16_t function = 0;
  uint32_t text_parameters = 0;  // string parameters, passed as copies
  std::vector<uint32_t> parameters;
  // What a call made while this function runs saves, as of the arrays'
  // `epoch`; made again when the epoch moves on.
  const SavedSet* saved_set = nullptr;
  uint64_t epoch = 0;
  // `epoch` when that set holds numbers only, else past any epoch: what the
  // fast call compares with.
  uint64_t numeric_epoch = UINT64_MAX;
};

// The decoded call sites and frame layouts of the installed program, and
// the stack of saved variables. A call saves one value per slot of its set:
// the word of an int or float, the length and the bytes (packed four to a
// word) of a string, which is thereby a private copy.
struct CallFrames {
  std::vector<CallSite> sites;
  std::vector<uint32_t> argument_slots;  // the sites' argument slots
  std::vector<uint32_t> site_at;  // per code word: site index + 1, 0 = not decoded
  std::vector<FrameLayout> layouts;
  std::deque<SavedSet> saved_sets;  // a deque, so sets stay where they are
  std::map<std::pair<uint32_t, int32_t>, int32_t> layout_of;  // (entry, count) -> layout

  std::vector<uint32_t> saved;  // the saved records of every open call, in call order
  uint32_t saved_top = 0;

  // For a newly installed program of `code_size` words.
  void Reset(uint32_t code_size) {
    sites.clear();
    argument_slots.clear();
    site_at.assign(code_size, 0);
    layouts.clear();
    layout_of.clear();
    saved_sets.clear();
    ResetStack();
  }
  // For a new run: no call is open.
  void ResetStack() {
    saved.clear();
    saved.shrink_to_fit();
    saved_top = 0;
  }
  // Room for `words` more saved words; returns where they go.
  uint32_t* Reserve(size_t words) {
    if (saved.size() < saved_top + words) saved.resize((saved_top + words) * 2 + 64);
    return saved.data() + saved_top;
  }
};

}  // namespace zv
