// Attribute access by member name (`cache.TEXTURE`): the slot each name stands for, remembered.
//
// The full lookup reads `CacheType._member_map_` through the class's attribute lookup, the map,
// and the member's `value`, which together cost several times the slot read. The answer depends
// on the class's and its metaclass's attributes (covered by their version tags), on the member
// map and on the module's `CacheType` binding (both in watched dicts: any change to one makes
// every answer stale), and on the member's own `_value_`, which the enumeration sets once when it
// makes the member. Only answers reached through the standard enumeration route are remembered;
// anything else takes the full lookup each time.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <cstddef>
#include <cstdint>

#include "fast/common/globals.h"

namespace zorva::cache {

class NameMemo {
  public:
    // The slot key remembered for `name`, if it is still valid: no watched dict has changed
    // since, so the module still binds the class the answers were made for.
    bool find(PyObject* name, int32_t* key) const {
        if (epoch_ != watch_epoch() || !tags_hold()) return false;
        const Entry& entry = entries_[index_of(name)];
        if (entry.name != name || Py_TYPE(entry.member) != reinterpret_cast<PyTypeObject*>(cls_)) {
            return false;
        }
        *key = entry.key;
        return true;
    }

    // After a full lookup of `name` in `enum_cls` found `member` and its slot `key`: remembers
    // them when every input can be watched and `binding` (the module's CacheType) is `enum_cls`.
    // Never raises.
    void remember(const LateGlobal& binding, PyObject* enum_cls, PyObject* name, PyObject* member,
                  int32_t key);

    // Makes every answer stale (a new module object binds CacheType afresh). Runs no code.
    void forget() { epoch_ = 0; }

  private:
    struct Entry {
        PyObject* name = nullptr;    // strong: an exact str, so its identity stays unique
        PyObject* member = nullptr;  // strong
        int32_t key = 0;
    };
    static constexpr size_t kEntries = 64;

    static size_t index_of(PyObject* name) {
        const auto bits = reinterpret_cast<uintptr_t>(name);
        return ((bits >> 4) ^ (bits >> 10)) % kEntries;
    }
    bool tags_hold() const {
        const PyTypeObject* cls = reinterpret_cast<const PyTypeObject*>(cls_);
        return cls->tp_version_tag == cls_tag_ && Py_TYPE(cls_) == meta_ &&
               meta_->tp_version_tag == meta_tag_;
    }

    uint64_t epoch_ = 0;       // the watched dicts' change count the answers hold at; 0: none
    PyObject* cls_ = nullptr;  // strong
    unsigned int cls_tag_ = 0;
    PyTypeObject* meta_ = nullptr;  // compared only; kept alive by cls_
    unsigned int meta_tag_ = 0;
    Entry entries_[kEntries];
};

}  // namespace zorva::cache
