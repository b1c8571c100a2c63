// Attribute access by member name remembered; see name_memo.h.
#include "fast/zorvacache/name_memo.h"

#include "fast/common/pyref.h"
#include "fast/zorvacache/enum_access.h"

namespace zorva::cache {

namespace {

// References dropped while the memo changes, released only once it is consistent again: a
// release may run code, and code that changes a watched dict then makes the new answers stale.
class Dropped {
  public:
    void add(PyObject* obj) {
        if (obj != nullptr) held_[count_++] = obj;
    }
    ~Dropped() {
        for (size_t i = 0; i < count_; ++i) Py_DECREF(held_[i]);
    }

  private:
    PyObject* held_[2 * 64 + 3];  // every entry's name and member, the class, one more entry
    size_t count_ = 0;
};

}  // namespace

void NameMemo::remember(const LateGlobal& binding, PyObject* enum_cls, PyObject* name,
                        PyObject* member, int32_t key) {
    static_assert(kEntries == 64, "Dropped holds two references per entry");
    if (!PyUnicode_CheckExact(name) || !PyType_Check(enum_cls) ||
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
    Py_DECREF(current);  // the map still holds it
    if (current != member || !watch_dict(map.get())) return;
    // No code has run since the map was read: the answer holds at this count of changes, for
    // the class the module binds now (the binding is kept, hence watched, at this count).
    const uint64_t now = watch_epoch();
    if (binding.peek() != enum_cls) return;
    Dropped dropped;
    if (epoch_ != now || cls_ != enum_cls || cls_tag_ != cls_tag || meta_ != meta ||
        meta_tag_ != meta_tag) {
        for (Entry& entry : entries_) {
            dropped.add(entry.name);
            dropped.add(entry.member);
            entry = Entry{};
        }
        dropped.add(cls_);
        cls_ = Py_NewRef(enum_cls);
        cls_tag_ = cls_tag;
        meta_ = meta;
        meta_tag_ = meta_tag;
        epoch_ = now;
    }
    Entry& entry = entries_[index_of(name)];
    dropped.add(entry.name);
    dropped.add(entry.member);
    entry = Entry{Py_NewRef(name), Py_NewRef(member), key};
}

}  // namespace zorva::cache
