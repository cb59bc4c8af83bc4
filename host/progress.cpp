// KORBAS::IProgressWork: the defaults of its optional operations.
#include "host/progress.h"

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
