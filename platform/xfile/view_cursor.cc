#include "platform/xfile/view_cursor.h"

namespace zv::platform {
namespace {

bool SameLayout(const XTemplate& a, const XTemplate& b) {
  if (&a == &b) return true;
  if (a.members.size() != b.members.size()) return false;
  for (size_t i = 0; i < a.members.size(); ++i) {
    const XMember& ma = a.members[i];
    const XMember& mb = b.members[i];
    if (ma.primitive != mb.primitive || ma.dimensions.size() != mb.dimensions.size()) return false;
    for (size_t d = 0; d < ma.dimensions.size(); ++d)
      if (ma.dimensions[d].fixed != mb.dimensions[d].fixed ||
          ma.dimensions[d].member != mb.dimensions[d].member)
        return false;
    if (ma.primitive == XPrimitive::kNone &&
        (!ma.type || !mb.type || !SameLayout(*ma.type, *mb.type)))
      return false;
  }
  return true;
}

}  // namespace

void RequireStandardLayout(const XDataObject& object, XTemplateKind kind) {
  auto standard = StandardTemplate(kind);
  if (!object.Is(kind) || !standard || !SameLayout(object.type(), *standard))
    ThrowXError(object.offset(), object.type().name + " object does not have the layout of the standard " +
                                     (standard ? standard->name : std::string("template")));
}

}  // namespace zv::platform
