#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/paths/journal_form.h"

namespace zv::platform {

// A record in a folder `part` of the state folders (the state folder's,
// else the spare one's) of a file a running program holds in a state the
// next start must know of if the program is killed: a file it deleted and
// holds aside, a file it writes under its name as it goes. It is named for
// the file's identity and flocked for as long as its program holds the
// file; it holds a magic and NUL-ended text fields. Records are not synced.

// A record written in `part`, flocked; its descriptor and name, or -1
// (errno set) where no state folder takes it.
struct HeldRecord {
  int fd = -1;
  std::string name;
};
HeldRecord WriteHeldRecord(const char* part, std::string_view magic, const FileIdentity& file,
                           const std::vector<std::string>& fields);
// Lets the record go: it is removed, and its lock with it.
void RemoveHeldRecord(HeldRecord& record);
// Whether a state folder takes records in `part` now (made when missing).
bool HeldRecordsKept(const char* part);

// Calls `settle` with the name and fields of each record in `part` of the
// state folders whose program has ended, its lock held meanwhile; the
// record goes where `settle` returns true. A file there that is no record
// of that magic is refused and named. How many went. Never waits.
using RecordSettle = std::function<bool(const std::string& name, const std::vector<std::string>& fields)>;
size_t SettleEndedRecords(const char* part, std::string_view magic, const RecordSettle& settle);

// The file a record of a file held beside its name names (its fields: the
// file's absolute path, then the hidden name it waits under in the same
// folder), open for reading, where it is still the very file the record
// `name` was made for: a regular file of the user's own under a hidden name
// of the form `hidden_form` accepts. -1 otherwise.
int OpenHeldBeside(const std::string& name, const std::vector<std::string>& fields,
                   bool (*hidden_form)(std::string_view name));

}  // namespace zv::platform
