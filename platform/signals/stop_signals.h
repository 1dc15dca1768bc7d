#pragma once

namespace zv::platform {

// The signals that ask the process to end (SIGINT, SIGTERM, SIGHUP, SIGQUIT,
// SIGUSR1, SIGUSR2, SIGALRM) are noted instead of obeyed at once, so that
// the process ends the way its own quit does: the message pump, the editor and the
// message boxes look at the note on every turn, and everything is cleaned up
// on the way out (the private temporary folder among it). SIGPIPE and
// SIGXFSZ end nothing: the write that raised them fails instead.
//
// Installs the handlers. A signal the process was started with ignored (by
// nohup, or as a background job of a shell) stays ignored.
void CatchStopSignals();

// The signal that asked the process to end, 0 while none has.
int StopSignal();

// Once the process has cleaned up: ends it by the signal it received, as the
// signal's default action would have, so that its parent learns why it
// ended, though without a core file (SIGQUIT's default writes one). Returns
// only when no signal was received.
void EndByStopSignal();

// From any thread, where the main thread cannot clean up (it waits for
// ever on another process): ends the process by the signal at once, as
// EndByStopSignal does, without flushing the C streams, whose locks the
// main thread may hold.
[[noreturn]] void EndNowBySignal(int signal_number);

// Forgets a received signal: for work that the signal came too late to stop
// (and for tests).
void ClearStopSignal();

}  // namespace zv::platform
