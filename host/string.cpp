// zun::String: a byte string returned by value.
#include "host/zun.h"

namespace zun {

String::String(const char* text) : m_text(text ? text : "") {}

String::String(const char* text, std::size_t length)
    : m_text(text ? std::string(text, length) : std::string()) {}

}  // namespace zun
