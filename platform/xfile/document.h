#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/xfile/guid.h"
#include "platform/xfile/header.h"
#include "platform/xfile/standard_templates.h"
#include "platform/xfile/template.h"

namespace zv::platform {

class XDataObject;

// A child that names another data object instead of holding it: "{ name }",
// "{ <guid> }" or both.
struct XReference {
  std::string name;
  std::optional<XGuid> guid;
  uint64_t offset = 0;
  // The object it names, once XDocument::ResolveReferences has run; null when
  // the file holds no such object.
  const XDataObject* target = nullptr;
};

// A child of a data object: an embedded object or a reference.
class XChild {
 public:
  explicit XChild(std::unique_ptr<XDataObject> object);
  explicit XChild(XReference reference);

  bool is_reference() const { return object_ == nullptr; }
  const XDataObject* object() const { return object_.get(); }
  XDataObject* object() { return object_.get(); }
  const XReference* reference() const { return object_ ? nullptr : &reference_; }
  XReference* reference() { return object_ ? nullptr : &reference_; }
  // The object this child stands for: the embedded one, or the reference's
  // target (null while unresolved).
  const XDataObject* Target() const;

 private:
  std::unique_ptr<XDataObject> object_;
  XReference reference_;
};

// One data object: its template, optional name and identity, its member
// values in template order, and its children.
class XDataObject {
 public:
  explicit XDataObject(std::shared_ptr<const XTemplate> type, std::string name = {},
                       std::optional<XGuid> guid = std::nullopt, uint64_t offset = 0);
  XDataObject(const XDataObject&) = delete;
  XDataObject& operator=(const XDataObject&) = delete;

  const XTemplate& type() const { return *type_; }
  const std::shared_ptr<const XTemplate>& type_ptr() const { return type_; }
  XTemplateKind kind() const { return kind_; }
  bool Is(XTemplateKind kind) const { return kind_ == kind; }
  const std::string& name() const { return name_; }
  const std::optional<XGuid>& guid() const { return guid_; }
  // Where the object starts in the file it was read from (0 for built ones).
  uint64_t offset() const { return offset_; }

  // The member values flattened in template order: every integer and float in
  // `numbers`, every string in `strings`. The template tells which is which.
  const std::vector<double>& numbers() const { return numbers_; }
  std::vector<double>& numbers() { return numbers_; }
  const std::vector<std::string>& strings() const { return strings_; }
  std::vector<std::string>& strings() { return strings_; }
  void AddNumber(double value) { numbers_.push_back(value); }
  void AddString(std::string value) { strings_.push_back(std::move(value)); }

  const std::vector<XChild>& children() const { return children_; }
  std::vector<XChild>& children() { return children_; }
  XDataObject& AddChild(std::unique_ptr<XDataObject> child);
  void AddReference(XReference reference);

  // The first child (embedded, or a resolved reference) of `kind`, or null.
  const XDataObject* FindChild(XTemplateKind kind) const;
  // Every such child, in order.
  std::vector<const XDataObject*> ChildrenOfKind(XTemplateKind kind) const;

 private:
  std::shared_ptr<const XTemplate> type_;
  XTemplateKind kind_;
  std::string name_;
  std::optional<XGuid> guid_;
  uint64_t offset_;
  std::vector<double> numbers_;
  std::vector<std::string> strings_;
  std::vector<XChild> children_;
};

// Deep comparison: template (by name without regard to case, and identity),
// name, identity, values and children; references compare by what they name.
bool operator==(const XDataObject& a, const XDataObject& b);

// A whole X file: the header it was read with, the templates it declared and
// its top-level data objects.
class XDocument {
 public:
  XHeader header;
  std::vector<std::shared_ptr<const XTemplate>> templates;
  std::vector<std::unique_ptr<XDataObject>> objects;

  XDataObject& AddObject(std::unique_ptr<XDataObject> object);
  // Points every reference at the first object, in file order and at any
  // depth, that carries its name (exact spelling first, then without regard to
  // case) and its identity; references that match nothing keep a null target.
  void ResolveReferences();
  // Calls `visit` for every data object, depth first, parents before children.
  void ForEachObject(const std::function<void(const XDataObject&)>& visit) const;
};

// Same top-level objects, deeply equal (headers and declared templates aside).
bool SameTree(const XDocument& a, const XDocument& b);

}  // namespace zv::platform
