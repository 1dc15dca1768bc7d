#pragma once

namespace zv::platform {

// Where a test stops a save to look at what it left, or to kill it there,
// or the editor to signal it there: the process stops itself (SIGSTOP) at
// the moment named by the environment's ZV_TEST_STOP_AT ("MOMENT", or
// "MOMENT#N" for the N-th time it comes), and goes on when it is continued.
//   "rewriting"  a save in place holds the file's lock, its journal is kept
//                and the part of the new content past the old end is in
//                the file (the rest is not)
//   "rewritten-half"  a save in place has copied the first half of the rest
//                over the old content (the second half is old)
//   "published"  a save's new content has taken the file's name, and the
//                save has not yet told the path helper it is done
//   "held"       a file deleted is held aside under its hidden name, its
//                record written
//   "played"     a headless editor's script is played out, every event of
//                it handled and every keep of its changes under way done
void StopHereForTests(const char* moment);

}  // namespace zv::platform
