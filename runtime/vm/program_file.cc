#include "runtime/vm/program_file.h"

#include <cstring>

#include "runtime/vm/operand.h"

namespace zv {
namespace {

uint32_t StringWords(size_t length) { return static_cast<uint32_t>((length + 1) / 4 + 1); }

class WordWriter {
 public:
  explicit WordWriter(size_t words) : bytes_(words * 4, 0) {}
  void Put(uint32_t word_index, uint32_t value) {
    std::memcpy(&bytes_[word_index * 4], &value, 4);
  }
  void PutBytes(size_t byte_offset, const void* data, size_t n) {
    if (n) std::memcpy(&bytes_[byte_offset], data, n);
  }
  std::vector<uint8_t> Take() { return std::move(bytes_); }

 private:
  std::vector<uint8_t> bytes_;
};

// Reads words and zero-terminated texts from a file image, refusing anything
// outside it.
class WordReader {
 public:
  explicit WordReader(const std::vector<uint8_t>& bytes) : bytes_(bytes) {}
  size_t Words() const { return bytes_.size() / 4; }
  uint32_t At(size_t index) const {
    uint32_t v;
    std::memcpy(&v, &bytes_[index * 4], 4);
    return v;
  }
  // The text starting at byte `offset` up to its zero byte, which must come
  // before byte `limit`. Sets `ok` false when it does not.
  std::string Text(size_t offset, size_t limit, bool& ok) const {
    size_t end = offset;
    while (end < limit && bytes_[end] != 0) ++end;
    if (end >= limit) {
      ok = false;
      return {};
    }
    return std::string(reinterpret_cast<const char*>(&bytes_[offset]), end - offset);
  }

 private:
  const std::vector<uint8_t>& bytes_;
};

ProgramFileError Refuse(const std::string& what) {
  return ProgramFileError{"not a valid program file: " + what};
}

}  // namespace

std::vector<uint8_t> EncodeProgramFile(const ProgramFile& p) {
  const uint32_t ni = static_cast<uint32_t>(p.int_constants.size());
  const uint32_t nf = static_cast<uint32_t>(p.float_constants.size());
  const uint32_t nd = static_cast<uint32_t>(p.data.size());
  const uint32_t c = static_cast<uint32_t>(p.code.size());

  size_t string_bytes = 0;
  for (const std::string& s : p.string_constants) string_bytes += s.size() + 1;
  const uint32_t ws = static_cast<uint32_t>(string_bytes / 4 + 1);
  const uint32_t wt = nd / 4 + 1;
  uint32_t wd = 0;
  for (const DataItem& d : p.data) wd += d.type == 's' ? StringWords(d.text.size()) : 1;
  const uint32_t wo = 3 + static_cast<uint32_t>(p.int_owners.size() + p.float_owners.size() +
                                                p.string_owners.size());

  const uint32_t first_int = kProgramHeaderWords;
  const uint32_t first_float = first_int + ni;
  const uint32_t first_string = first_float + nf;
  const uint32_t type_list = first_string + ws;
  const uint32_t first_code = type_list + wt + wd + wo;

  WordWriter out(first_code + 2 * size_t{c});
  out.Put(0, kProgramFileVersion);
  out.Put(1, first_int);
  out.Put(2, first_float);
  out.Put(3, first_string);
  out.Put(4, static_cast<uint32_t>(p.string_constants.size()));
  out.Put(5, type_list);
  out.Put(6, nd);
  out.Put(7, first_code);
  out.Put(8, static_cast<uint32_t>(p.int_variables));
  out.Put(9, static_cast<uint32_t>(p.float_variables));
  out.Put(10, static_cast<uint32_t>(p.string_variables));
  out.Put(11, wo);

  for (uint32_t i = 0; i < ni; ++i) out.Put(first_int + i, static_cast<uint32_t>(p.int_constants[i]));
  for (uint32_t i = 0; i < nf; ++i) out.Put(first_float + i, p.float_constants[i]);

  size_t at = size_t{first_string} * 4;
  for (const std::string& s : p.string_constants) {
    out.PutBytes(at, s.data(), s.size());
    at += s.size() + 1;
  }

  for (uint32_t i = 0; i < nd; ++i) out.PutBytes(size_t{type_list} * 4 + i, &p.data[i].type, 1);
  uint32_t word = type_list + wt;
  for (const DataItem& d : p.data) {
    if (d.type == 's') {
      out.PutBytes(size_t{word} * 4, d.text.data(), d.text.size());
      word += StringWords(d.text.size());
    } else {
      out.Put(word++, d.word);
    }
  }

  word = first_code - wo;
  for (const std::vector<int32_t>* table : {&p.int_owners, &p.float_owners, &p.string_owners}) {
    out.Put(word++, static_cast<uint32_t>(table->size()));
    for (int32_t owner : *table) out.Put(word++, static_cast<uint32_t>(owner));
  }

  for (uint32_t i = 0; i < c; ++i) {
    out.Put(first_code + i, p.code[i]);
    out.Put(first_code + c + i, i < p.lines.size() ? static_cast<uint32_t>(p.lines[i]) : 0);
  }
  return out.Take();
}

std::variant<ProgramFile, ProgramFileError> DecodeProgramFile(const std::vector<uint8_t>& bytes) {
  WordReader in(bytes);
  if (bytes.size() % 4 != 0) return Refuse("its length is not a whole number of words");
  if (in.Words() < kProgramHeaderWords) return Refuse("it is shorter than its header");
  if (in.At(0) != kProgramFileVersion) return Refuse("unknown version " + std::to_string(in.At(0)));

  const uint64_t first_int = in.At(1), first_float = in.At(2), first_string = in.At(3);
  const uint64_t string_count = in.At(4), type_list = in.At(5), data_count = in.At(6);
  const uint64_t first_code = in.At(7), owner_words = in.At(11);
  const uint64_t words = in.Words();

  if (!(kProgramHeaderWords <= first_int && first_int <= first_float && first_float <= first_string &&
        first_string < type_list && type_list <= first_code && first_code <= words))
    return Refuse("its sections overlap or run past the end");
  if (owner_words < 3 || owner_words > first_code - type_list)
    return Refuse("the variable-owner tables do not fit");
  if ((words - first_code) % 2 != 0) return Refuse("the code and line table differ in length");

  ProgramFile p;
  const uint64_t ni = first_float - first_int, nf = first_string - first_float;
  if (ni > slots::kConstsPerClass) return Refuse("too many int constants");
  if (nf > slots::kConstsPerClass) return Refuse("too many float constants");
  if (string_count > slots::kConstsPerClass) return Refuse("too many string constants");
  if (data_count > slots::kMaxDataItems) return Refuse("too many DATA items");

  for (uint64_t i = 0; i < ni; ++i) p.int_constants.push_back(static_cast<int32_t>(in.At(first_int + i)));
  for (uint64_t i = 0; i < nf; ++i) p.float_constants.push_back(in.At(first_float + i));

  bool ok = true;
  size_t at = first_string * 4;
  const size_t strings_end = type_list * 4;
  for (uint64_t i = 0; i < string_count; ++i) {
    std::string text = in.Text(at, strings_end, ok);
    if (!ok) return Refuse("a string constant runs past its section");
    at += text.size() + 1;
    p.string_constants.push_back(std::move(text));
  }

  const uint64_t owners_at = first_code - owner_words;
  const uint64_t values_at = type_list + data_count / 4 + 1;
  if (values_at > owners_at) return Refuse("the DATA section runs into the owner tables");
  uint64_t word = values_at;
  for (uint64_t i = 0; i < data_count; ++i) {
    DataItem item;
    item.type = static_cast<char>(bytes[type_list * 4 + i]);
    if (item.type == 's') {
      item.text = in.Text(word * 4, owners_at * 4, ok);
      if (!ok) return Refuse("a DATA string runs past its section");
      word += StringWords(item.text.size());
    } else if (item.type == 'l' || item.type == 'f') {
      if (word >= owners_at) return Refuse("the DATA values run past their section");
      item.word = in.At(word++);
    } else {
      return Refuse("DATA item " + std::to_string(i) + " has an unknown type");
    }
    p.data.push_back(std::move(item));
  }
  if (word > owners_at) return Refuse("the DATA values run past their section");

  word = owners_at;
  for (std::vector<int32_t>* table : {&p.int_owners, &p.float_owners, &p.string_owners}) {
    if (word >= first_code) return Refuse("the variable-owner tables run into the code");
    uint64_t count = in.At(word++);
    if (count > slots::kVarsPerClass || count > first_code - word)
      return Refuse("a variable-owner table is too long");
    for (uint64_t i = 0; i < count; ++i) table->push_back(static_cast<int32_t>(in.At(word++)));
  }
  if (word != first_code) return Refuse("the variable-owner tables do not match their length");

  p.int_variables = static_cast<int32_t>(in.At(8));
  p.float_variables = static_cast<int32_t>(in.At(9));
  p.string_variables = static_cast<int32_t>(in.At(10));
  if (p.string_variables < 0 || static_cast<uint32_t>(p.string_variables) > slots::kVarsPerClass)
    return Refuse("too many string variables");

  const uint64_t c = (words - first_code) / 2;
  p.code.reserve(c);
  p.lines.reserve(c);
  for (uint64_t i = 0; i < c; ++i) {
    uint32_t w = in.At(first_code + i);
    int32_t value = static_cast<int32_t>(w);
    if (value >= operand::kCodeFirst && static_cast<uint64_t>(value - operand::kCodeFirst) >= c)
      return Refuse("code word " + std::to_string(i) + " jumps outside the code");
    p.code.push_back(w);
    p.lines.push_back(static_cast<int32_t>(in.At(first_code + c + i)));
  }
  return p;
}

}  // namespace zv
