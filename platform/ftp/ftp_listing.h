#pragma once

#include <string_view>
#include <vector>

#include "platform/ftp/ftp_client.h"

namespace zv::platform {

// Directory listings as servers send them. Lines that cannot be read are
// skipped; "." and ".." never appear in the result.

// Machine-readable listings ("type=file;size=12; name").
std::vector<FtpEntry> ParseMlsdListing(std::string_view text);
// Human-readable listings in the Unix style ("-rw-r--r-- 1 u g 12 Jan 1
// 2020 name") or the DOS style ("01-02-20 10:00AM <DIR> name").
std::vector<FtpEntry> ParseListListing(std::string_view text);

// Sorts names case-insensitively, so listings do not depend on the server.
void SortEntries(std::vector<FtpEntry>& entries);

}  // namespace zv::platform
