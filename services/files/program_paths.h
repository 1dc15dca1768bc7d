#pragma once

#include <string>
#include <string_view>

namespace zv {

class AttachedData;

// File names as programs give them ("C:\Games\Data\Level1.dat") become paths
// of this machine through the path helper: "\" to "/", drive letters through
// its table, case-blind matching of names that do not exist as spelled.
std::string NativePath(std::string_view program_path);

// Where the entry a name finds is spelled otherwise (another letter case,
// or an older build's bytes), why the name is taken: "\"Save.dat\" answers
// to that name"; empty where the name is there as spelled.
std::string TakenNameCause(std::string_view program_path);

// The same after the virtual-file lookup: a name that matches a record
// attached to a built game is served from its temporary copy.
std::string LookUpProgramFile(AttachedData* attached, std::string_view program_path);

}  // namespace zv
