// Slot steps that are not on the hot path; see cache_slots.h.
#include "fast/zorvacache/cache_slots.h"

#include "fast/common/args.h"
#include "fast/zorvacache/enum_access.h"

namespace zorva::cache {

void raise_not_ready() {
    PyErr_SetString(PyExc_TypeError, "'NoneType' object is not subscriptable");
}

void raise_key_out_of_range(int32_t idx) {
    PyErr_Format(PyExc_IndexError, "Cache key out of range: %d", static_cast<int>(idx));
}

PyObject* new_slot_list() {
    PyObject* list = PyList_New(kSlots);
    if (list == nullptr) return nullptr;
    for (Py_ssize_t i = 0; i < kSlots; ++i) PyList_SET_ITEM(list, i, Py_NewRef(Py_None));
    return list;
}

PyObject* slot_get_or_exec(ZorvaCache* self, int32_t idx, PyObject* func) {
    PyObject** slot = slot_ref(self, idx);
    if (slot == nullptr) return nullptr;
    if (*slot != Py_None) return Py_NewRef(*slot);
    PyRef result = PyRef::steal(PyObject_CallNoArgs(func));
    if (!result) return nullptr;
    // The call may have run code that replaced, resized or emptied the slot list.
    slot = slot_ref(self, idx);
    if (slot == nullptr) return nullptr;
    set_field(*slot, result.new_ref());
    // Releasing the previous object may have refilled the slot; the caller gets its own result.
    return result.release();
}

int slots_clear(ZorvaCache* self) {
    for (int32_t i = 0; i < kSlots; ++i) {
        if (slot_set(self, i, Py_None) < 0) return -1;
    }
    return 0;
}

namespace {

// Sets flags[v] for each item's `value` v in 0..31. The list's length is read before each
// step, and each item is held while its `value` runs arbitrary code.
int collect_keys(PyObject* items, bool (&flags)[kSlots]) {
    if (items == Py_None) {
        PyErr_SetString(PyExc_TypeError, "'NoneType' object is not iterable");
        return -1;
    }
    if (check_exact_value(items, &PyList_Type, false) < 0) return -1;
    PyRef hold = PyRef::borrow(items);
    for (Py_ssize_t i = 0; i < PyList_GET_SIZE(items); ++i) {
        PyRef item = PyRef::borrow(PyList_GET_ITEM(items, i));
        int32_t key;
        if (read_key(item.get(), &key) < 0) return -1;
        if (key >= 0 && key < kSlots) flags[key] = true;
    }
    return 0;
}

}  // namespace

int slots_clear_selected(ZorvaCache* self, PyObject* blacklist, PyObject* whitelist) {
    bool keep[kSlots] = {};
    bool clear[kSlots] = {};
    if (collect_keys(blacklist, keep) < 0 || collect_keys(whitelist, clear) < 0) return -1;
    for (int32_t i = 0; i < kSlots; ++i) {
        if (clear[i] && !keep[i] && slot_set(self, i, Py_None) < 0) return -1;
    }
    return 0;
}

}  // namespace zorva::cache
