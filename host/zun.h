// zunlang, the host base library: the object root, intrusive reference
// counting, a small string and a 3-D point.
#pragma once

#include <cstddef>
#include <string>

namespace zun {

// The root of the host's class tree.
//
// Slots: 0 the virtual destructor, 1 AssertValid. Classes derived from it add
// their own operations from slot 2 on.
// Threads: no state of its own; any thread.
class Object {
  public:
    Object() = default;
    Object(const Object&) = default;
    Object& operator=(const Object&) = default;
    virtual ~Object();

    // A debugging hook: derived classes may check their invariants. The base
    // does nothing.
    virtual void AssertValid() const;
};

// An intrusively reference-counted object.
//
// Owns: its count. A new object starts with one reference, which belongs to
// whoever created it; AddReference adds one, SubReference drops one and
// deletes the object (through its virtual destructor) when none is left.
// The destructor is protected: such objects are never deleted directly.
// Copies: a copy starts with a count of one of its own, and assignment leaves
// both counts alone; a count is never copied.
// Threads: the count is not atomic; one thread at a time.
class IRefCounter : public Object {
  public:
    IRefCounter();
    IRefCounter(const IRefCounter& other);
    IRefCounter& operator=(const IRefCounter& other);

    // Returns the new count.
    unsigned AddReference();
    // Returns the new count; 0 means the object has just been deleted.
    unsigned SubReference();
    unsigned GetReferenceCount() const { return m_nRefCount; }

  protected:
    ~IRefCounter() override;

  private:
    unsigned m_nRefCount;
};

// A string of bytes returned by value (NUL-terminated, may hold any bytes).
// Threads: a value type; any thread, one at a time per object.
class String {
  public:
    String() = default;
    String(const char* text);  // a null pointer gives the empty string
    String(const char* text, std::size_t length);

    const char* c_str() const { return m_text.c_str(); }
    std::size_t GetLength() const { return m_text.size(); }
    bool IsEmpty() const { return m_text.empty(); }
    const std::string& str() const { return m_text; }

    friend bool operator==(const String& a, const String& b) { return a.m_text == b.m_text; }
    friend bool operator!=(const String& a, const String& b) { return a.m_text != b.m_text; }

  private:
    std::string m_text;
};

namespace geom {

// A point in three dimensions; plain data.
struct PNT_3D {
    double x = 0.0;
    double y = 0.0;
    double z = 0.0;

    PNT_3D() = default;
    PNT_3D(double px, double py, double pz = 0.0) : x(px), y(py), z(pz) {}
};

}  // namespace geom

}  // namespace zun
