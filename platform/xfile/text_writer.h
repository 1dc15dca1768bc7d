#pragma once

#include <string>

#include "platform/xfile/document.h"

namespace zv::platform {

// Writes the text form: one member per line, ';' after every member, ','
// between array elements, one-space indentation per nesting level, "\n" line
// ends. Throws XFileException for what the text form cannot carry (names that
// are not single words, strings holding a quote) and for objects whose values
// do not match their template.
class XTextWriter {
 public:
  explicit XTextWriter(int float_bits) : float_bits_(float_bits) {}

  void WriteTemplate(const XTemplate& t);
  void WriteObject(const XDataObject& object, int indent = 0);
  std::string& text() { return out_; }

 private:
  class ValueWriter;

  void Indent(int indent) { out_.append(static_cast<size_t>(indent), ' '); }
  void WriteReference(const XReference& reference, int indent);

  int float_bits_;
  std::string out_;
};

// Whether `name` can stand in the text form as a name: one word, without
// blanks, brackets, quotes or separators, not starting a comment.
bool IsTextName(std::string_view name);

}  // namespace zv::platform
