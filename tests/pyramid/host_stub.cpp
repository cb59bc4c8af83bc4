// Defaults of the host progress sink's optional operations, until korbcore provides them.
#include "host/host.h"

namespace KORBAS {
void IProgressWork::SetPos(int) {}
int IProgressWork::GetPos() const {
    return 0;
}
int IProgressWork::GetTotal() const {
    return 0;
}
void IProgressWork::Finish() {}
IProgressWork::~IProgressWork() = default;
}  // namespace KORBAS
