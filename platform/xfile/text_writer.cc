#include "platform/xfile/text_writer.h"

#include <charconv>
#include <cmath>

#include "platform/xfile/single_float.h"
#include "platform/xfile/stored_values.h"
#include "platform/xfile/text_delimiters.h"
#include "platform/xfile/value_walker.h"

namespace zv::platform {
namespace {

// A template name must not read as a number either.
bool IsTextTypeName(std::string_view name) {
  if (!IsTextName(name)) return false;
  char first = name.front();
  return !(first >= '0' && first <= '9') && first != '-' && first != '+' && first != '.';
}

void AppendFloat(std::string& out, double value, bool single) {
  if (single) value = ToSingle(value);
  if (std::isnan(value)) {
    out += "0.000000";
    return;
  }
  if (std::isinf(value)) {
    // The old runtime's spelling, which the reader takes back as infinity.
    out += value < 0 ? "-1.#INF00" : "1.#INF00";
    return;
  }
  char buffer[64];
  std::to_chars_result result =
      single ? std::to_chars(buffer, buffer + sizeof buffer, static_cast<float>(value))
             : std::to_chars(buffer, buffer + sizeof buffer, value);
  std::string_view text(buffer, result.ptr - buffer);
  out += text;
  if (text.find_first_of(".e") == std::string_view::npos) out += ".0";
}

}  // namespace

bool IsTextName(std::string_view name) {
  if (name.empty() || name.front() == '#' || name.starts_with("//")) return false;
  for (char c : name)
    if (static_cast<unsigned char>(c) <= ' ' || IsTextDelimiter(c)) return false;
  return true;
}

class XTextWriter::ValueWriter {
 public:
  ValueWriter(XTextWriter& writer, const XDataObject& object, int indent)
      : writer_(writer), out_(writer.out_), values_(object), indent_(indent) {}

  int64_t Integer(XPrimitive type) {
    int64_t value = values_.Integer(type);
    Begin();
    out_ += std::to_string(value);
    return value;
  }
  void Float(XPrimitive type) {
    double value = values_.Float();
    Begin();
    AppendFloat(out_, value, type == XPrimitive::kFloat && writer_.float_bits_ == 32);
  }
  void String(XPrimitive) {
    const std::string& value = values_.String();
    if (value.find('"') != std::string::npos)
      values_.Fail("string holds a double quote, which the text form cannot carry");
    Begin();
    out_ += '"';
    out_ += value;
    out_ += '"';
  }
  void ElementSeparator(const XMember&, int level) {
    out_ += ',';
    if (level == 0) NewLine();
  }
  void EndMember(const XMember&, int level) {
    out_ += ';';
    if (level == 0) NewLine();
  }
  uint64_t ValuesTaken() const { return values_.ValuesTaken(); }
  uint64_t Budget() const { return values_.Budget(); }
  void Reserve(uint64_t) {}
  [[noreturn]] void Fail(const std::string& problem) { values_.Fail(problem); }
  void Finish() {
    values_.Finish();
    if (!line_start_) out_ += '\n';
  }

 private:
  void Begin() {
    if (line_start_) writer_.Indent(indent_);
    line_start_ = false;
  }
  void NewLine() {
    out_ += '\n';
    line_start_ = true;
  }

  XTextWriter& writer_;
  std::string& out_;
  XStoredValues values_;
  int indent_;
  bool line_start_ = true;
};

void XTextWriter::WriteTemplate(const XTemplate& t) {
  auto check = [](bool ok, const std::string& name) {
    if (!ok) ThrowXError(0, "template name \"" + name + "\" cannot be written as text");
  };
  check(IsTextTypeName(t.name), t.name);
  for (const XMember& m : t.members) {
    if (!m.name.empty()) check(IsTextName(m.name), m.name);
    if (m.type) check(IsTextTypeName(m.type->name), m.type->name);
  }
  for (const XAllowedChild& allowed : t.allowed) check(IsTextName(allowed.name), allowed.name);
  out_ += "template " + t.name + " {\n";
  if (t.guid) out_ += " <" + t.guid->ToString() + ">\n";
  for (const XMember& m : t.members) {
    out_ += ' ';
    if (m.is_array()) out_ += "array ";
    out_ += m.primitive == XPrimitive::kNone ? m.TypeName() : std::string(PrimitiveKeyword(m.primitive));
    if (!m.name.empty()) out_ += ' ' + m.name;
    for (const XDimension& d : m.dimensions)
      out_ += '[' + (d.member >= 0 ? t.members[d.member].name : std::to_string(d.fixed)) + ']';
    out_ += ";\n";
  }
  if (t.restriction == XRestriction::kOpen) {
    out_ += " [...]\n";
  } else if (t.restriction == XRestriction::kRestricted) {
    out_ += " [";
    for (size_t i = 0; i < t.allowed.size(); ++i) {
      if (i > 0) out_ += ", ";
      out_ += t.allowed[i].name;
      if (t.allowed[i].guid) out_ += " <" + t.allowed[i].guid->ToString() + ">";
    }
    out_ += "]\n";
  }
  out_ += "}\n\n";
}

void XTextWriter::WriteObject(const XDataObject& object, int indent) {
  if (!IsTextTypeName(object.type().name))
    ThrowXError(object.offset(), "template name \"" + object.type().name + "\" cannot be written");
  if (!object.name().empty() && !IsTextName(object.name()))
    ThrowXError(object.offset(), "object name \"" + object.name() + "\" cannot be written as text");
  Indent(indent);
  out_ += object.type().name;
  if (!object.name().empty()) out_ += ' ' + object.name();
  out_ += " {\n";
  if (object.guid()) {
    Indent(indent + 1);
    out_ += '<' + object.guid()->ToString() + ">\n";
  }
  ValueWriter values(*this, object, indent + 1);
  XValueWalker<ValueWriter>(values).Walk(object.type());
  values.Finish();
  for (const XChild& child : object.children()) {
    if (child.object())
      WriteObject(*child.object(), indent + 1);
    else
      WriteReference(*child.reference(), indent + 1);
  }
  Indent(indent);
  out_ += "}\n";
  if (indent == 0) out_ += '\n';
}

void XTextWriter::WriteReference(const XReference& reference, int indent) {
  if (!reference.name.empty() && !IsTextName(reference.name))
    ThrowXError(reference.offset, "reference name \"" + reference.name + "\" cannot be written as text");
  if (reference.name.empty() && !reference.guid)
    ThrowXError(reference.offset, "reference names no object");
  Indent(indent);
  out_ += '{';
  out_ += reference.name;
  if (reference.guid) out_ += (reference.name.empty() ? "<" : " <") + reference.guid->ToString() + '>';
  out_ += "}\n";
}

}  // namespace zv::platform
