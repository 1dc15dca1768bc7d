#pragma once

#include <string_view>
#include <vector>

#include "platform/ftp/ftp_client.h"

namespace zv::platform {

// Directory listings as servers send them. Lines that cannot be read are
// skipped, and so are the folder's own entries ("." and ".." as folders).

// Machine-readable listings ("type=file;size=12; name").
std::vector<FtpEntry> ParseMlsdListing(std::string_view text);
// Human-readable listings in the Unix style ("-rw-r--r-- 1 u g 12 Jan 1
// 2020 name") or the DOS style ("01-02-20 10:00AM <DIR> name").
std::vector<FtpEntry> ParseListListing(std::string_view text);

// Whether a listed name is one name in the listed folder: not "." or "..",
// and without "/" or "\", which a name given back to a command would take
// for a way to another folder.
bool NamesOneEntry(std::string_view name);

// Sorts names case-insensitively, so listings do not depend on the server.
void SortEntries(std::vector<FtpEntry>& entries);

}  // namespace zv::platform
