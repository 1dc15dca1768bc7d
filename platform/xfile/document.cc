#include "platform/xfile/document.h"

#include <stdexcept>
#include <unordered_map>

#include "platform/paths/path_resolver.h"

namespace zv::platform {
namespace {

void VisitObject(const XDataObject& object, const std::function<void(const XDataObject&)>& visit) {
  visit(object);
  for (const XChild& child : object.children())
    if (const XDataObject* embedded = child.object()) VisitObject(*embedded, visit);
}

template <class F>
void VisitReferences(XDataObject& object, F&& visit) {
  for (XChild& child : object.children()) {
    if (XDataObject* embedded = child.object())
      VisitReferences(*embedded, visit);
    else
      visit(*child.reference());
  }
}

std::string GuidKey(const XGuid& guid) {
  auto bytes = guid.ToBytes();
  return std::string(bytes.begin(), bytes.end());
}

bool SameReference(const XReference& a, const XReference& b) {
  return a.name == b.name && a.guid == b.guid;
}

}  // namespace

XChild::XChild(std::unique_ptr<XDataObject> object) : object_(std::move(object)) {}

XChild::XChild(XReference reference) : reference_(std::move(reference)) {}

const XDataObject* XChild::Target() const { return object_ ? object_.get() : reference_.target; }

XDataObject::XDataObject(std::shared_ptr<const XTemplate> type, std::string name,
                         std::optional<XGuid> guid, uint64_t offset)
    : type_(type ? std::move(type) : throw std::invalid_argument("XDataObject needs a template")),
      kind_(KindOfTemplate(*type_)),
      name_(std::move(name)),
      guid_(guid),
      offset_(offset) {}

XDataObject& XDataObject::AddChild(std::unique_ptr<XDataObject> child) {
  children_.emplace_back(std::move(child));
  return *children_.back().object();
}

void XDataObject::AddReference(XReference reference) {
  children_.emplace_back(std::move(reference));
}

const XDataObject* XDataObject::FindChild(XTemplateKind kind) const {
  for (const XChild& child : children_) {
    const XDataObject* target = child.Target();
    if (target && target->Is(kind)) return target;
  }
  return nullptr;
}

std::vector<const XDataObject*> XDataObject::ChildrenOfKind(XTemplateKind kind) const {
  std::vector<const XDataObject*> found;
  for (const XChild& child : children_) {
    const XDataObject* target = child.Target();
    if (target && target->Is(kind)) found.push_back(target);
  }
  return found;
}

bool operator==(const XDataObject& a, const XDataObject& b) {
  if (!EqualNoCase(a.type().name, b.type().name) || a.type().guid != b.type().guid) return false;
  if (a.name() != b.name() || a.guid() != b.guid()) return false;
  if (a.numbers() != b.numbers() || a.strings() != b.strings()) return false;
  if (a.children().size() != b.children().size()) return false;
  for (size_t i = 0; i < a.children().size(); ++i) {
    const XChild& ca = a.children()[i];
    const XChild& cb = b.children()[i];
    if (ca.is_reference() != cb.is_reference()) return false;
    if (ca.is_reference() ? !SameReference(*ca.reference(), *cb.reference())
                          : !(*ca.object() == *cb.object()))
      return false;
  }
  return true;
}

XDataObject& XDocument::AddObject(std::unique_ptr<XDataObject> object) {
  objects.push_back(std::move(object));
  return *objects.back();
}

void XDocument::ForEachObject(const std::function<void(const XDataObject&)>& visit) const {
  for (const auto& object : objects) VisitObject(*object, visit);
}

void XDocument::ResolveReferences() {
  std::unordered_map<std::string, const XDataObject*> by_name, by_lower_name, by_guid;
  ForEachObject([&](const XDataObject& object) {
    if (!object.name().empty()) {
      by_name.emplace(object.name(), &object);
      by_lower_name.emplace(AsciiLower(object.name()), &object);
    }
    if (object.guid()) by_guid.emplace(GuidKey(*object.guid()), &object);
  });
  auto find_by_name = [&](const std::string& name) -> const XDataObject* {
    if (auto it = by_name.find(name); it != by_name.end()) return it->second;
    if (auto it = by_lower_name.find(AsciiLower(name)); it != by_lower_name.end()) return it->second;
    return nullptr;
  };
  for (auto& object : objects) {
    VisitReferences(*object, [&](XReference& reference) {
      reference.target = nullptr;
      if (reference.guid) {
        auto it = by_guid.find(GuidKey(*reference.guid));
        if (it != by_guid.end() &&
            (reference.name.empty() || EqualNoCase(it->second->name(), reference.name)))
          reference.target = it->second;
      } else if (!reference.name.empty()) {
        reference.target = find_by_name(reference.name);
      }
    });
  }
}

bool SameTree(const XDocument& a, const XDocument& b) {
  if (a.objects.size() != b.objects.size()) return false;
  for (size_t i = 0; i < a.objects.size(); ++i)
    if (!(*a.objects[i] == *b.objects[i])) return false;
  return true;
}

}  // namespace zv::platform
