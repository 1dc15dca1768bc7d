#include "platform/dynlib/word_call.h"

#include <setjmp.h>
#include <signal.h>

#include <array>
#include <cstdlib>

namespace zv::platform {
namespace {

using Word = uint32_t;

// The faults a foreign function can raise on the calling thread.
constexpr std::array<int, 4> kFaultSignals = {SIGSEGV, SIGBUS, SIGILL, SIGFPE};

// Where a fault inside the running call jumps back to; null outside a call.
thread_local sigjmp_buf* t_fault_return = nullptr;

void OnFault(int signal_number) {
  if (sigjmp_buf* back = t_fault_return) {
    t_fault_return = nullptr;
    siglongjmp(*back, signal_number);
  }
  // A fault outside a guarded call is ours: end the process as it would have.
  ::signal(signal_number, SIG_DFL);
  ::raise(signal_number);
}

// While it lives, faults come to OnFault on a stack of their own (so that
// even a stack overflow inside the function is caught); the previous
// handlers and signal stack come back afterwards.
class FaultGuard {
 public:
  FaultGuard() {
    stack_t current{};
    if (::sigaltstack(nullptr, &current) == 0 && (current.ss_flags & SS_DISABLE)) {
      stack_t own{};
      own.ss_sp = alt_stack_.data();
      own.ss_size = alt_stack_.size();
      own_stack_ = ::sigaltstack(&own, &saved_stack_) == 0;
    }
    struct sigaction action{};
    action.sa_handler = OnFault;
    action.sa_flags = SA_ONSTACK | SA_NODEFER;
    sigemptyset(&action.sa_mask);
    for (size_t i = 0; i < kFaultSignals.size(); ++i) ::sigaction(kFaultSignals[i], &action, &saved_[i]);
  }
  ~FaultGuard() {
    for (size_t i = 0; i < kFaultSignals.size(); ++i) ::sigaction(kFaultSignals[i], &saved_[i], nullptr);
    if (own_stack_) {
      stack_t off{};
      off.ss_flags = SS_DISABLE;
      ::sigaltstack(&off, nullptr);
    }
  }
  FaultGuard(const FaultGuard&) = delete;
  FaultGuard& operator=(const FaultGuard&) = delete;

 private:
  static constexpr size_t kAltStackSize = 64 * 1024;
  alignas(16) static inline std::array<unsigned char, kAltStackSize> alt_stack_{};
  std::array<struct sigaction, kFaultSignals.size()> saved_{};
  stack_t saved_stack_{};
  bool own_stack_ = false;
};

// The functions are foreign code whose parameter types the program alone
// knows; they are called through a pointer of the word-taking type.
#if defined(__clang__)
__attribute__((no_sanitize("function")))
#endif
Word Dispatch(void* f, const Word* a, size_t n) {
  switch (n) {
    case 0: return reinterpret_cast<Word (*)()>(f)();
    case 1: return reinterpret_cast<Word (*)(Word)>(f)(a[0]);
    case 2: return reinterpret_cast<Word (*)(Word, Word)>(f)(a[0], a[1]);
    case 3: return reinterpret_cast<Word (*)(Word, Word, Word)>(f)(a[0], a[1], a[2]);
    case 4: return reinterpret_cast<Word (*)(Word, Word, Word, Word)>(f)(a[0], a[1], a[2], a[3]);
    case 5: return reinterpret_cast<Word (*)(Word, Word, Word, Word, Word)>(f)(a[0], a[1], a[2], a[3], a[4]);
    case 6:
      return reinterpret_cast<Word (*)(Word, Word, Word, Word, Word, Word)>(f)(a[0], a[1], a[2], a[3], a[4], a[5]);
    case 7:
      return reinterpret_cast<Word (*)(Word, Word, Word, Word, Word, Word, Word)>(f)(a[0], a[1], a[2], a[3], a[4],
                                                                                     a[5], a[6]);
    case 8:
      return reinterpret_cast<Word (*)(Word, Word, Word, Word, Word, Word, Word, Word)>(f)(
          a[0], a[1], a[2], a[3], a[4], a[5], a[6], a[7]);
    default:
      return reinterpret_cast<Word (*)(Word, Word, Word, Word, Word, Word, Word, Word, Word)>(f)(
          a[0], a[1], a[2], a[3], a[4], a[5], a[6], a[7], a[8]);
  }
}

}  // namespace

WordCallResult CallWithWords(void* function, std::span<const uint32_t> words) {
  WordCallResult result;
  if (!function || words.size() > kMaxWordArguments) {
    result.refused = true;
    return result;
  }
  std::array<Word, kMaxWordArguments> args{};
  for (size_t i = 0; i < words.size(); ++i) args[i] = words[i];
  const size_t count = words.size();

  FaultGuard guard;
  sigjmp_buf back;
  if (sigsetjmp(back, 1) != 0) {
    // Back from OnFault: the call was abandoned.
    result.faulted = true;
    return result;
  }
  t_fault_return = &back;
  const Word value = Dispatch(function, args.data(), count);
  t_fault_return = nullptr;
  result.value = value;
  return result;
}

}  // namespace zv::platform
