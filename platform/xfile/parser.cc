#include "platform/xfile/parser.h"

#include <algorithm>
#include <type_traits>

#include "platform/xfile/binary_lexer.h"
#include "platform/xfile/single_float.h"
#include "platform/xfile/text_lexer.h"
#include "platform/xfile/value_walker.h"

namespace zv::platform {
namespace {

std::string Describe(const XToken& token) {
  switch (token.kind) {
    case XTokenKind::kEnd: return "the end of the file";
    case XTokenKind::kName: return "name \"" + std::string(token.text) + "\"";
    case XTokenKind::kString: return "a string";
    case XTokenKind::kInteger:
    case XTokenKind::kNumber: return "a number";
    case XTokenKind::kGuid: return "a GUID";
    case XTokenKind::kIntegerList: return "an integer list";
    case XTokenKind::kFloatList: return "a float list";
    case XTokenKind::kOpenBrace: return "'{'";
    case XTokenKind::kCloseBrace: return "'}'";
    case XTokenKind::kOpenBracket: return "'['";
    case XTokenKind::kCloseBracket: return "']'";
    case XTokenKind::kTemplate: return "\"template\"";
    case XTokenKind::kArray: return "\"array\"";
    case XTokenKind::kPrimitive: return "a type keyword";
    default: return "'" + std::string(token.text) + "'";
  }
}

// Looks, while a file is parsed, for where one number of one object is
// written.
struct NumberProbe {
  uint64_t object_offset = 0;
  uint64_t number = 0;
  std::optional<uint64_t> found;
};

template <class Lexer>
class XParser {
 public:
  XParser(Lexer& lexer, XTemplateRegistry& registry, XDocument& document, int float_bits,
          NumberProbe* probe = nullptr)
      : lexer_(lexer), registry_(registry), document_(document), float_bits_(float_bits), probe_(probe) {}

  void ParseFile() {
    while (true) {
      const XToken& token = lexer_.Peek();
      switch (token.kind) {
        case XTokenKind::kEnd:
          return;
        case XTokenKind::kTemplate:
          ParseTemplate();
          break;
        case XTokenKind::kName:
          if (auto object = ParseDataObject(0)) document_.AddObject(std::move(object));
          break;
        case XTokenKind::kSemicolon:
        case XTokenKind::kComma:
          lexer_.Next();
          break;
        default:
          Fail(token.offset, "expected a template or a data object, found " + Describe(token));
      }
    }
  }

 private:
  // Reads member values straight from the lexer into an object.
  class ValueReader {
   public:
    ValueReader(XParser& parser, XDataObject& object) : parser_(parser), object_(object) {}

    int64_t Integer(XPrimitive type) {
      int64_t value = parser_.lexer_.ReadInteger(type);
      if (!IntegerFits(type, value))
        parser_.Fail(parser_.lexer_.ValueOffset(), std::to_string(value) + " does not fit a " +
                             std::string(PrimitiveKeyword(type)));
      AddNumber(static_cast<double>(value));
      return value;
    }
    void Float(XPrimitive type) {
      double value = parser_.lexer_.ReadFloat();
      // FLOAT members of files with 32-bit floats hold single-precision values.
      if (type == XPrimitive::kFloat && parser_.float_bits_ == 32) value = ToSingle(value);
      AddNumber(value);
    }
    void AddNumber(double value) {
      NumberProbe* probe = parser_.probe_;
      if (probe && object_.offset() == probe->object_offset && object_.numbers().size() == probe->number)
        probe->found = parser_.lexer_.ValueOffset();
      object_.AddNumber(value);
      ++taken_;
    }
    void String(XPrimitive) {
      object_.AddString(parser_.lexer_.ReadString());
      ++taken_;
    }
    void ElementSeparator(const XMember&, int) {}
    void EndMember(const XMember&, int) {}
    uint64_t ValuesTaken() const { return taken_; }
    uint64_t Budget() const { return parser_.lexer_.BytesLeft(); }
    void Reserve(uint64_t count) {
      auto& numbers = object_.numbers();
      const uint64_t needed = numbers.size() + std::min<uint64_t>(count, Budget());
      // Growing by at least double keeps the many small reserves of nested
      // arrays (face corners) from copying the values over and over.
      if (needed > numbers.capacity()) numbers.reserve(std::max<uint64_t>(needed, numbers.capacity() * 2));
    }
    [[noreturn]] void Fail(std::string message) {
      parser_.Fail(parser_.lexer_.Offset(), std::move(message));
    }

   private:
    XParser& parser_;
    XDataObject& object_;
    uint64_t taken_ = 0;
  };

  [[noreturn]] void Fail(uint64_t offset, std::string message) {
    ThrowXError(offset, std::move(message));
  }

  // The text of a token that can stand as a name. The text form spells names
  // that look like numbers or keywords the same way as other names.
  static bool IsWord(const XToken& token) {
    if (token.kind == XTokenKind::kName) return true;
    if constexpr (std::is_same_v<Lexer, XTextLexer>) {
      switch (token.kind) {
        case XTokenKind::kPrimitive:
        case XTokenKind::kTemplate:
        case XTokenKind::kArray:
        case XTokenKind::kInteger:
        case XTokenKind::kNumber:
          return true;
        default:
          break;
      }
    }
    return false;
  }

  std::string ExpectName(const char* what) {
    XToken token = lexer_.Next();
    if (!IsWord(token)) Fail(token.offset, std::string("expected ") + what + ", found " + Describe(token));
    return std::string(token.text);
  }

  void Expect(XTokenKind kind, const char* what) {
    XToken token = lexer_.Next();
    if (token.kind != kind) Fail(token.offset, std::string("expected ") + what + ", found " + Describe(token));
  }

  // Accepts a ';' where the grammar wants one; exporters sometimes leave it out.
  void SkipSemicolon() {
    if (lexer_.Peek().kind == XTokenKind::kSemicolon) lexer_.Next();
  }

  std::optional<XGuid> TakeGuid() {
    if (lexer_.Peek().kind != XTokenKind::kGuid) return std::nullopt;
    return lexer_.Next().guid;
  }

  void ParseTemplate() {
    const uint64_t start = lexer_.Next().offset;
    auto t = std::make_shared<XTemplate>();
    t->name = ExpectName("a template name");
    Expect(XTokenKind::kOpenBrace, "'{' after the template name");
    t->guid = TakeGuid();
    while (true) {
      const XToken& token = lexer_.Peek();
      if (token.kind == XTokenKind::kCloseBrace) {
        lexer_.Next();
        break;
      }
      if (token.kind == XTokenKind::kOpenBracket) {
        ParseRestriction(*t);
      } else if (token.kind == XTokenKind::kSemicolon) {
        lexer_.Next();
      } else if (token.kind == XTokenKind::kEnd) {
        Fail(token.offset, "file ends inside template " + t->name);
      } else {
        t->members.push_back(ParseMember(*t));
      }
    }
    if (std::string problem = t->Measure(); !problem.empty()) Fail(start, problem);
    registry_.Add(t);
    document_.templates.push_back(std::move(t));
  }

  void ParseRestriction(XTemplate& t) {
    lexer_.Next();  // '['
    const XToken& first = lexer_.Peek();
    if (first.kind == XTokenKind::kDot ||
        (first.kind == XTokenKind::kName && first.text.find_first_not_of('.') == std::string_view::npos)) {
      while (lexer_.Peek().kind == XTokenKind::kDot || lexer_.Peek().kind == XTokenKind::kName)
        lexer_.Next();
      Expect(XTokenKind::kCloseBracket, "']' after \"...\"");
      t.restriction = XRestriction::kOpen;
      return;
    }
    t.restriction = XRestriction::kRestricted;
    while (true) {
      XAllowedChild allowed;
      allowed.name = ExpectName("a template name in the restriction");
      allowed.guid = TakeGuid();
      t.allowed.push_back(std::move(allowed));
      XToken token = lexer_.Next();
      if (token.kind == XTokenKind::kCloseBracket) return;
      if (token.kind != XTokenKind::kComma)
        Fail(token.offset, "expected ',' or ']' in the restriction, found " + Describe(token));
    }
  }

  XMember ParseMember(const XTemplate& t) {
    XMember member;
    const bool is_array = lexer_.Peek().kind == XTokenKind::kArray;
    if (is_array) lexer_.Next();
    XToken type = lexer_.Next();
    if (type.kind == XTokenKind::kPrimitive) {
      member.primitive = type.primitive;
    } else if (type.kind == XTokenKind::kName) {
      member.type = registry_.FindByName(type.text);
      if (!member.type)
        Fail(type.offset, "member type " + std::string(type.text) + " is not a known template");
    } else {
      Fail(type.offset, "expected a member type in template " + t.name + ", found " + Describe(type));
    }
    if (IsWord(lexer_.Peek())) member.name = std::string(lexer_.Next().text);
    if (is_array) {
      if (lexer_.Peek().kind != XTokenKind::kOpenBracket)
        Fail(lexer_.Peek().offset, "array " + member.name + " has no dimension");
      while (lexer_.Peek().kind == XTokenKind::kOpenBracket) {
        lexer_.Next();
        member.dimensions.push_back(ParseDimension(t));
        Expect(XTokenKind::kCloseBracket, "']' after an array dimension");
      }
    }
    SkipSemicolon();
    return member;
  }

  XDimension ParseDimension(const XTemplate& t) {
    XToken token = lexer_.Next();
    XDimension dimension;
    if (token.kind == XTokenKind::kInteger) {
      dimension.fixed = token.integer;
    } else if (IsWord(token)) {
      dimension.member = t.FindMember(token.text);
      if (dimension.member < 0)
        Fail(token.offset, "array dimension " + std::string(token.text) +
                               " names no member of template " + t.name);
    } else {
      Fail(token.offset, "expected an array dimension, found " + Describe(token));
    }
    return dimension;
  }

  std::unique_ptr<XDataObject> ParseDataObject(int depth) {
    const XToken head = lexer_.Next();
    if (depth > kMaxObjectDepth) Fail(head.offset, "data objects nest too deeply");
    std::shared_ptr<const XTemplate> type = registry_.FindByName(head.text);
    std::string name;
    if (IsWord(lexer_.Peek())) name = std::string(lexer_.Next().text);
    std::optional<XGuid> guid = TakeGuid();
    Expect(XTokenKind::kOpenBrace, "'{' to open the data object");
    if (auto inside = TakeGuid()) guid = inside;
    if (!type) {
      SkipObjectBody(head);
      return nullptr;
    }
    auto object = std::make_unique<XDataObject>(type, std::move(name), guid, head.offset);
    ValueReader reader(*this, *object);
    XValueWalker<ValueReader>(reader).Walk(*type);
    lexer_.EndValues();
    ParseChildren(*object, depth);
    return object;
  }

  void ParseChildren(XDataObject& object, int depth) {
    while (true) {
      const XToken& token = lexer_.Peek();
      switch (token.kind) {
        case XTokenKind::kCloseBrace:
          lexer_.Next();
          return;
        case XTokenKind::kOpenBrace:
          object.AddReference(ParseReference());
          break;
        case XTokenKind::kSemicolon:
        case XTokenKind::kComma:
          lexer_.Next();
          break;
        case XTokenKind::kName:
          if (auto child = ParseDataObject(depth + 1)) object.AddChild(std::move(child));
          break;
        case XTokenKind::kEnd:
          Fail(token.offset, "file ends inside " + object.type().name + " object begun at byte " +
                                 std::to_string(object.offset()));
        default:
          Fail(token.offset, "unexpected " + Describe(token) + " in " + object.type().name +
                                 " object begun at byte " + std::to_string(object.offset()));
      }
    }
  }

  XReference ParseReference() {
    XReference reference;
    reference.offset = lexer_.Next().offset;  // '{'
    if (IsWord(lexer_.Peek())) reference.name = std::string(lexer_.Next().text);
    reference.guid = TakeGuid();
    if (reference.name.empty() && !reference.guid)
      Fail(reference.offset, "reference names no object");
    Expect(XTokenKind::kCloseBrace, "'}' to close the reference");
    return reference;
  }

  // Reads past the body of an object whose template is unknown; its opening
  // brace has been read.
  void SkipObjectBody(const XToken& head) {
    int open = 1;
    while (open > 0) {
      XToken token = lexer_.Next();
      if (token.kind == XTokenKind::kOpenBrace) {
        ++open;
      } else if (token.kind == XTokenKind::kCloseBrace) {
        --open;
      } else if (token.kind == XTokenKind::kEnd) {
        Fail(token.offset, "file ends inside object of unknown template " + std::string(head.text) +
                               " begun at byte " + std::to_string(head.offset));
      }
    }
  }

  Lexer& lexer_;
  XTemplateRegistry& registry_;
  XDocument& document_;
  int float_bits_;
  NumberProbe* probe_;
};

template <class Lexer>
XResult<XDocument> Parse(Lexer& lexer, const XHeader& header, XTemplateRegistry registry,
                         NumberProbe* probe = nullptr) {
  XDocument document;
  document.header = header;
  try {
    XParser<Lexer>(lexer, registry, document, header.float_bits, probe).ParseFile();
  } catch (const XFileException& e) {
    return e.error();
  }
  document.ResolveReferences();
  return document;
}

XResult<XDocument> ParseBody(std::span<const uint8_t> file, const XHeader& header, const XTemplateRegistry& templates,
                             NumberProbe* probe) {
  if (header.encoding == XEncoding::kText) {
    XTextLexer lexer(file, kXHeaderSize);
    return Parse(lexer, header, templates, probe);
  }
  XBinaryLexer lexer(file, kXHeaderSize, header.float_bits);
  return Parse(lexer, header, templates, probe);
}

}  // namespace

XResult<XDocument> ParseXBody(std::span<const uint8_t> file, const XHeader& header,
                              const XTemplateRegistry& templates) {
  return ParseBody(file, header, templates, nullptr);
}

std::optional<uint64_t> FindXNumber(std::span<const uint8_t> file, const XHeader& header,
                                    const XTemplateRegistry& templates, uint64_t object_offset, uint64_t number) {
  NumberProbe probe{object_offset, number, std::nullopt};
  ParseBody(file, header, templates, &probe);
  return probe.found;
}

XResult<bool> ParseXTemplates(std::span<const uint8_t> file, XTemplateRegistry& registry) {
  auto header = XHeader::Parse(file);
  if (!header.ok()) return header.error();
  if (header->encoding != XEncoding::kText || header->compressed)
    return XError{0, "templates are read from the text form only"};
  XDocument document;
  XTextLexer lexer(file, kXHeaderSize);
  try {
    XParser<XTextLexer>(lexer, registry, document, header->float_bits).ParseFile();
  } catch (const XFileException& e) {
    return e.error();
  }
  return true;
}

}  // namespace zv::platform
