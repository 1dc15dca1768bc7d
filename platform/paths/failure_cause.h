#pragma once

#include <cerrno>
#include <string>
#include <string_view>

namespace zv::platform {

// The holds of another program that keep a file from being read or saved
// now, as the errno values a failed operation leaves: each reads as its
// own cause. None of them is one a file operation of ours gets from the
// system otherwise.
inline constexpr int kHeldOpenForWriting = ETXTBSY;
inline constexpr int kHeldBySave = EDEADLK;
inline constexpr int kHeldByReaders = EALREADY;
// A save in place that no folder only its user may write could keep a
// journal for: refused rather than done without one.
inline constexpr int kNoJournalPlace = ENOANO;
// A save in place of a file other users may write, on a file system that
// keeps no mark of a save on the file (platform/paths/save_journal.h):
// refused, since their runs could not tell a killed one.
inline constexpr int kNoSharedMark = EBADSLT;

// The cause that ends the message of a failed file operation: the system's
// text for the errno value, starting in lower case ("no space left on
// device"), so that every command words the same failure the same way.
// Empty for 0: a failure whose cause is not the system's. The holds above
// read "in use by another program, which ...".
std::string CauseOf(int error_number);

// Writes "zentrovex: TEXT" as a line of standard error: what the recovery
// of saves does on its own, which the user must hear of.
void SayOnStandardError(const std::string& text);

// Whether `cause` is that of readers of a file that a save in place waited
// for: a failure the program goes on from, as a warning.
bool IsReadersHold(std::string_view cause);

}  // namespace zv::platform
