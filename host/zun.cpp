// zunlang: the object root, reference counting and the string.
#include "host/zun.h"

namespace zun {

Object::~Object() = default;

void Object::AssertValid() const {}

IRefCounter::IRefCounter() : m_nRefCount(1) {}

IRefCounter::IRefCounter(const IRefCounter& other) : Object(other), m_nRefCount(1) {}

IRefCounter& IRefCounter::operator=(const IRefCounter& other) {
    Object::operator=(other);
    return *this;  // the count belongs to this object, not to its value
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

String::String(const char* text) : m_text(text ? text : "") {}

String::String(const char* text, std::size_t length) : m_text(text, length) {}

}  // namespace zun
