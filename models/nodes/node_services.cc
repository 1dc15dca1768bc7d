#include "models/nodes/node_services.h"

namespace zv::models {

NodeServices& NullNodeServices() {
  static NodeServices none;
  return none;
}

}  // namespace zv::models
