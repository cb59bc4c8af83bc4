// zun::IRefCounter: intrusive reference counting; the last SubReference deletes.
#include "host/zun.h"

namespace zun {

IRefCounter::IRefCounter() : m_nRefCount(1) {}

// A copy is a new object: it owns one reference of its own.
IRefCounter::IRefCounter(const IRefCounter& other) : Object(other), m_nRefCount(1) {}

// Assignment copies state, never the count: the references to each object stay.
IRefCounter& IRefCounter::operator=(const IRefCounter& other) {
    Object::operator=(other);
    return *this;
}

IRefCounter::~IRefCounter() = default;

unsigned IRefCounter::AddReference() {
    return ++m_nRefCount;
}

unsigned IRefCounter::SubReference() {
    const unsigned left = --m_nRefCount;
    if (left == 0) delete this;
    return left;
}

}  // namespace zun
