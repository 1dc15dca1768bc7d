#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>
#include <variant>
#include <vector>

namespace zv {

// The names the program gave its arrays, by the slot of the array variable.
// The compiler knows them; the program file does not carry them, so only a
// run compiled from source has them.
using ArrayNames = std::unordered_map<uint32_t, std::string>;

// Where each line of the expanded source came from: the program's own file
// (file 0) or one it includes. The program file keeps only the expanded line
// of each code word, so, like ArrayNames, only a run compiled from source
// has this.
struct SourceMap {
  struct Place {
    uint32_t file = 0;  // index into `files`
    int32_t line = 0;   // line in that file, from 1
  };
  std::vector<std::string> files;  // as the program names them; [0] is the program
  std::vector<Place> lines;        // expanded line n at index n - 1
};

// One DATA item as the program file carries it.
struct DataItem {
  char type = 'l';  // 'l' int, 'f' float, 's' string
  uint32_t word = 0;  // the int, or the bits of the float
  std::string text;   // the string
};

// The contents of a compiled program file: the compiler fills one and encodes
// it; the loader decodes and checks one before anything of it is installed.
//
// The file is a run of little-endian 32-bit words: a 1024-word header, then
// the int, float and string constants, the DATA type list and values, the
// variable-owner tables, the code and one source line per code word.
struct ProgramFile {
  std::vector<int32_t> int_constants;
  std::vector<uint32_t> float_constants;  // IEEE single bits
  std::vector<std::string> string_constants;
  std::vector<DataItem> data;
  int32_t int_variables = 0;     // header counts (the owner tables give the
  int32_t float_variables = 0;   // per-variable detail)
  int32_t string_variables = 0;
  std::vector<int32_t> int_owners;  // owning user function per variable
  std::vector<int32_t> float_owners;
  std::vector<int32_t> string_owners;
  std::vector<uint32_t> code;       // as the compiler wrote it
  std::vector<int32_t> lines;       // one per code word
};

constexpr uint32_t kProgramFileVersion = 1;
constexpr uint32_t kProgramHeaderWords = 1024;

std::vector<uint8_t> EncodeProgramFile(const ProgramFile& program);

// Decodes and checks a program file. Every section must lie inside the file,
// every count within the variable area's limits, every DATA type must be
// known and every code address must point into the code; anything else is
// refused with a message saying what is wrong.
struct ProgramFileError {
  std::string message;
};
std::variant<ProgramFile, ProgramFileError> DecodeProgramFile(const std::vector<uint8_t>& bytes);

}  // namespace zv
