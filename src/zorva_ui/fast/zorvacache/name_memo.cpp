// Attribute access by member name remembered; see name_memo.h.
#include "fast/zorvacache/name_memo.h"

#include "fast/common/pyref.h"
#include "fast/zorvacache/enum_access.h"

namespace zorva::cache {

void NameMemo::reset() {
    stale_ = false;
    for (Entry& entry : entries_) {
        Py_CLEAR(entry.name);
        Py_CLEAR(entry.member);
    }
    meta_ = nullptr;
    PyObject* old = cls_;
    cls_ = nullptr;
    Py_XDECREF(old);
}

bool NameMemo::watch(PyObject* dict) {
    if (PyDict_Watch(watcher_, dict) == 0) return true;
    PyErr_Clear();
    return false;
}

void NameMemo::remember(PyObject* enum_cls, PyObject* name, PyObject* member, int32_t key) {
    if (watcher_ < 0 || !PyUnicode_CheckExact(name) || !PyType_Check(enum_cls) ||
        Py_TYPE(member) != reinterpret_cast<PyTypeObject*>(enum_cls) ||
        !value_is_own_attribute(Py_TYPE(member))) {
        return;
    }
    // Lookups made the type tags valid where they can be; 0 means the type has none.
    const PyTypeObject* cls = reinterpret_cast<const PyTypeObject*>(enum_cls);
    PyTypeObject* meta = Py_TYPE(enum_cls);
    const unsigned int cls_tag = cls->tp_version_tag;
    const unsigned int meta_tag = meta->tp_version_tag;
    if (cls_tag == 0 || meta_tag == 0) return;
    // Releases and the lookup below may run code: what is remembered is checked again after.
    if (stale_ || enum_cls != cls_ || !tags_hold()) reset();
    PyObject* found;
    if (standard_member_map(enum_cls, &found) <= 0) {
        PyErr_Clear();
        return;
    }
    PyRef map = PyRef::steal(found);
    PyObject* current;
    if (PyDict_GetItemRef(map.get(), name, &current) <= 0) {  // exact dict, exact str: no code
        PyErr_Clear();
        return;
    }
    Py_DECREF(current);
    if (current != member || !watch(map.get())) return;
    if (cls_ != enum_cls || cls_tag_ != cls_tag || meta_ != meta || meta_tag_ != meta_tag) {
        reset();
        PyObject* old = cls_;  // set again if the releases in reset() remembered something
        cls_ = Py_NewRef(enum_cls);
        Py_XDECREF(old);
        cls_tag_ = cls_tag;
        meta_ = meta;
        meta_tag_ = meta_tag;
    }
    Entry& entry = entries_[index_of(name)];
    PyObject* old_name = entry.name;
    PyObject* old_member = entry.member;
    entry = Entry{Py_NewRef(name), Py_NewRef(member), key};
    Py_XDECREF(old_name);
    Py_XDECREF(old_member);
}

}  // namespace zorva::cache
