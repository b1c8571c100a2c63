// Interned names of a module, made once at initialisation and kept for the process.
//
//     struct Names {
//         InternedName copy{"copy"}, dict{"__dict__"}, update{"update"};
//     };
//     ... if (intern(names.copy, names.dict, names.update) < 0) return -1;   // an exec step
//     ... PyObject_GetAttr(obj, names.dict.get());
//
// An attribute or dictionary lookup by an interned str is the interpreter's fast path, and a
// name made afresh per call would cost an allocation and a hash each time.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

namespace zorva {

class InternedName {
  public:
    constexpr explicit InternedName(const char* text) : text_(text) {}
    InternedName(const InternedName&) = delete;
    InternedName& operator=(const InternedName&) = delete;

    // Makes the str once; a repeated initialisation keeps it. 0, or -1 with an exception set.
    int make() {
        if (obj_ == nullptr) obj_ = PyUnicode_InternFromString(text_);
        return obj_ != nullptr ? 0 : -1;
    }
    PyObject* get() const { return obj_; }  // borrowed; null before make()
    const char* text() const { return text_; }

  private:
    const char* text_;
    PyObject* obj_ = nullptr;  // strong, never released: it may outlive the interpreter's end
};

// Makes every name given. 0, or -1 with an exception set.
template <typename... Names>
int intern(Names&... names) {
    return ((names.make() == 0) && ...) ? 0 : -1;
}

}  // namespace zorva
