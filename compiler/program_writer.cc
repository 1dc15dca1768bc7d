#include "compiler/program_writer.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include "compiler/compiler_context.h"
#include "platform/paths/file_save.h"

namespace zv::compiler {

bool WriteFileAtomically(const std::string& path, std::string_view bytes, std::string* error, bool work_file) {
  const std::span<const uint8_t> content(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
  if (work_file ? platform::SaveWorkFile(path, content) : platform::SaveFile(path, content)) return true;
  const int cause = errno;
  if (error) *error = "cannot write " + path + ": " + std::strerror(cause);
  errno = cause;
  return false;
}

ArrayNames Compiler::BuildArrayNames() const {
  ArrayNames names;
  for (const auto& table : variables_)
    for (const Variable& v : table)
      if (v.array) names.emplace(static_cast<uint32_t>(v.number - numbering::kIntTemp), v.name);
  return names;
}

SourceMap Compiler::BuildSourceMap() const {
  SourceMap map;
  map.files = written_names_;
  map.lines.reserve(lines_.size());
  for (const SourceLine& line : lines_) map.lines.push_back({static_cast<uint32_t>(line.file), line.line});
  return map;
}

ProgramFile Compiler::BuildProgram() const {
  ProgramFile program;
  program.int_constants = int_constants_;
  program.float_constants = float_constants_;
  program.string_constants = string_constants_;
  program.data = data_;
  program.int_variables = static_cast<int32_t>(variables_[0].size());
  program.float_variables = static_cast<int32_t>(variables_[1].size());
  program.string_variables = static_cast<int32_t>(variables_[2].size());
  for (const Variable& v : variables_[0]) program.int_owners.push_back(static_cast<int16_t>(v.owner));
  for (const Variable& v : variables_[1]) program.float_owners.push_back(static_cast<int16_t>(v.owner));
  for (const Variable& v : variables_[2]) program.string_owners.push_back(static_cast<int16_t>(v.owner));
  program.code = code_;
  program.lines = code_lines_;
  return program;
}

std::string Compiler::DebugDump() const {
  std::string out = "Debug Output Script\n\n";
  char number[32];
  for (size_t i = 0; i < lines_.size(); ++i) {
    std::snprintf(number, sizeof number, "%6d : ", static_cast<int>(i + 1));
    std::string text = lines_[i].original;
    if (lines_[i].comment_out) {
      size_t first = text.find_first_not_of(" \t");
      if (first != std::string::npos) text[first] = '`';
    }
    out += number;
    out += text;
    out += "\r\n";
  }
  return out;
}

}  // namespace zv::compiler
