// A buffer-protocol view held for a scope, released when its holder goes: the Py_buffer
// counterpart of PyRef, so that no error path has to remember PyBuffer_Release.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

namespace zorva {

class BufferView {
  public:
    BufferView() = default;
    BufferView(const BufferView&) = delete;
    BufferView& operator=(const BufferView&) = delete;
    ~BufferView() { release(); }

    // Takes a view of `obj` (releasing any held one first). 0, or -1 with the buffer protocol's
    // exception and nothing held.
    int get(PyObject* obj, int flags) {
        release();
        if (PyObject_GetBuffer(obj, &view_, flags) < 0) return -1;
        held_ = true;
        return 0;
    }

    void release() {
        if (held_) PyBuffer_Release(&view_);
        held_ = false;
    }

    bool held() const { return held_; }
    void* data() const { return view_.buf; }
    Py_ssize_t size() const { return view_.len; }

  private:
    Py_buffer view_{};
    bool held_ = false;
};

}  // namespace zorva
