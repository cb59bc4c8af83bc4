// zun::Object: the root of the host's class tree.
#include "host/zun.h"

namespace zun {

Object::~Object() = default;

void Object::AssertValid() const {}

}  // namespace zun
