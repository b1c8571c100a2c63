// zorva_ui.fast.zorvacache.zorvacache: Cache, 32 slots keyed by the members of CacheType.
//
// Python methods and native operations perform the same slot steps (cache_slots.h) directly;
// the methods never dispatch through the operation table, so a compiled subclass that replaces
// an entry changes only what native callers get.
#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <cstdint>

#include "fast/common/args.h"
#include "fast/common/callable.h"
#include "fast/common/module.h"
#include "fast/common/pickling.h"
#include "fast/common/pyref.h"
#include "fast/zorvacache/cache_slots.h"
#include "fast/zorvacache/enum_access.h"
#include "fast/zorvacache/state.h"
#include "fast/zorvacache/zorvacache.h"

namespace zorva::cache {
namespace {

constexpr const char kModuleName[] = "zorva_ui.fast.zorvacache.zorvacache";
extern PyTypeObject CacheObjectType;  // the class Cache (CacheType is the key enumeration)

// Written by __reduce__, accepted by __pyx_unpickle_Cache: digests of the field list.
constexpr PickleLayout kPickleLayout{{0x0bd51cb4, 0x0e95c4d5, 0x0c883660}, "cache_arr"};

ZorvaCache* as_cache(PyObject* self) {
    return reinterpret_cast<ZorvaCache*>(self);
}

// ---- Native operations (the table) ----------------------------------------------------------

ZorvaCache* op_new();

// The slot steps are the operations; those the table declares as returning nothing report a
// failure by the exception they leave set (`native_void`).
constexpr Native kCClear{kModuleName, "Cache.c_clear", slots_clear};
constexpr Native kCClearSelected{kModuleName, "Cache.c_clear_selected", slots_clear_selected};
constexpr Native kCGet{kModuleName, "Cache.c_get", slot_get};
constexpr Native kCSet{kModuleName, "Cache.c_set", slot_set};
constexpr Native kCGetOrSetVal{kModuleName, "Cache.c_get_or_set_val", slot_get_or_set};
constexpr Native kCGetOrExec{kModuleName, "Cache.c_get_or_exec", slot_get_or_exec};
constexpr Native kCNew{kModuleName, "Cache.new", op_new};

}  // namespace

State state{.vtable = {native_void<kCClear>, native_void<kCClearSelected>, native<kCGet>,
                       native_void<kCSet>, native<kCGetOrSetVal>, native<kCGetOrExec>,
                       native<kCNew>}};

namespace {

// ---- Type slots -----------------------------------------------------------------------------

PyObject* cache_alloc(PyTypeObject* type, PyObject*, PyObject*) {
    PyObject* self = type->tp_alloc(type, 0);
    if (self == nullptr) return nullptr;
    as_cache(self)->vtab = &state.vtable;
    as_cache(self)->cache_arr = Py_NewRef(Py_None);
    return self;
}

int cache_init(PyObject* self, Args) {
    PyObject* slots = new_slot_list();
    if (slots == nullptr) return -1;
    // A new list, not the old one emptied: whoever holds the old list keeps its values.
    set_field(as_cache(self)->cache_arr, slots);
    return 0;
}

int cache_traverse(PyObject* self, visitproc visit, void* arg) {
    Py_VISIT(as_cache(self)->cache_arr);
    return 0;
}

int cache_clear_refs(PyObject* self) {
    set_field(as_cache(self)->cache_arr, Py_NewRef(Py_None));
    return 0;
}

void cache_dealloc(PyObject* self) {
    PyTypeObject* type = Py_TYPE(self);
    // A Python subclass's finaliser runs through the subclass's own deallocation; only a direct
    // deallocation of a finalisable type runs it here.
    if (type->tp_finalize != nullptr && type->tp_dealloc == cache_dealloc &&
        !PyObject_GC_IsFinalized(self)) {
        if (PyObject_CallFinalizerFromDealloc(self) < 0) return;  // resurrected
    }
    // A slot may hold another cache: a long chain is freed through the trashcan, not by one
    // nested call per link.
    PyObject_GC_UnTrack(self);
    Py_TRASHCAN_BEGIN(self, cache_dealloc)
    Py_CLEAR(as_cache(self)->cache_arr);
    type->tp_free(self);
    Py_TRASHCAN_END
}

// Exactly `Cache`, never a subclass, made ready without running __init__.
ZorvaCache* op_new() {
    PyRef self = PyRef::steal(cache_alloc(&CacheObjectType, nullptr, nullptr));
    if (!self) return nullptr;
    PyObject* slots = new_slot_list();
    if (slots == nullptr) return nullptr;
    set_field(as_cache(self.get())->cache_arr, slots);
    return as_cache(self.release());
}

// ---- Python methods -------------------------------------------------------------------------

PyObject* cache_clear(PyObject* self, Args) {
    if (slots_clear(as_cache(self)) < 0) return nullptr;
    Py_RETURN_NONE;
}

// An empty or missing blacklist keeps nothing; an empty or missing whitelist means every member.
PyObject* cache_clear_selected(PyObject* self, Args a) {
    int truth = PyObject_IsTrue(a[0]);
    if (truth < 0) return nullptr;
    PyRef blacklist = PyRef::steal(truth ? Py_NewRef(a[0]) : PyList_New(0));
    if (!blacklist) return nullptr;
    truth = PyObject_IsTrue(a[1]);
    if (truth < 0) return nullptr;
    PyRef whitelist;
    if (truth) {
        whitelist = PyRef::borrow(a[1]);
    } else {
        PyRef cache_type = PyRef::steal(state.cache_type.get());
        if (!cache_type) return nullptr;
        whitelist = PyRef::steal(all_members(cache_type.get()));
        if (!whitelist) return nullptr;
    }
    if (check_exact_value(blacklist.get(), &PyList_Type) < 0 ||
        check_exact_value(whitelist.get(), &PyList_Type) < 0) {
        return nullptr;
    }
    if (slots_clear_selected(as_cache(self), blacklist.get(), whitelist.get()) < 0) return nullptr;
    Py_RETURN_NONE;
}

PyObject* cache_get(PyObject* self, Args a) {
    int32_t key;
    if (check_not_none(a[0], "type") < 0 || read_key(a[0], &key) < 0) return nullptr;
    return slot_get(as_cache(self), key);
}

PyObject* cache_set(PyObject* self, Args a) {
    int32_t key;
    if (read_key(a[0], &key) < 0 || slot_set(as_cache(self), key, a[1]) < 0) return nullptr;
    Py_RETURN_NONE;
}

PyObject* cache_get_or_set_val(PyObject* self, Args a) {
    int32_t key;
    if (read_key(a[0], &key) < 0) return nullptr;
    return slot_get_or_set(as_cache(self), key, a[1]);
}

PyObject* cache_get_or_exec(PyObject* self, Args a) {
    int32_t key;
    if (check_not_none(a[0], "type") < 0 || check_not_none(a[1], "func") < 0 ||
        read_key(a[0], &key) < 0) {
        return nullptr;
    }
    return slot_get_or_exec(as_cache(self), key, a[1]);
}

// The full lookup of `cache.NAME`, remembered when it can be; out of line, so that what was
// remembered is read without it.
[[gnu::noinline]] PyObject* member_slot_by_lookup(PyObject* self, PyObject* name) {
    PyRef cache_type = PyRef::steal(state.cache_type.get());
    if (!cache_type) return nullptr;
    PyObject* member;
    int found = lookup_member(cache_type.get(), name, &member);
    if (found < 0) return nullptr;
    if (found == 0) {
        // An instance made here, so that the name (even None) is its only argument.
        PyRef error = PyRef::steal(PyObject_CallOneArg(PyExc_AttributeError, name));
        if (error) PyErr_SetObject(PyExc_AttributeError, error.get());
        return nullptr;
    }
    PyRef hold = PyRef::steal(member);
    int32_t key;
    if (read_key(member, &key) < 0) return nullptr;
    state.members.remember(state.cache_type, cache_type.get(), name, member, key);
    return slot_get(as_cache(self), key);
}

// The slot of the member called `name`; AttributeError(name) when there is no such member.
PyObject* cache_getattr(PyObject* self, PyObject* name) {
    if (check_exact_arg(name, &PyUnicode_Type, "type") < 0) return nullptr;
    int32_t key;
    if (state.members.find(name, &key)) return slot_get(as_cache(self), key);
    return member_slot_by_lookup(self, name);
}

// Attribute lookup with the `__getattr__` fallback. The type uses the interpreter's own
// dispatcher for classes that define `__getattr__`, taken from a throwaway class: it does the
// normal lookup without raising when it finds nothing, calls `__getattr__` only then, and,
// unlike a lookup function of our own, keeps the interpreter's fast path for method calls
// (`cache.get(m)`), which it grants only to the generic lookup and that dispatcher. The type is
// readied with the inherited generic lookup first, so that its dict gets no `__getattribute__`.
int install_getattr_dispatcher(PyTypeObject* type) {
    if (type->tp_getattro != PyObject_GenericGetAttr) return 0;  // a retried import
    PyRef probe =
        PyRef::steal(PyObject_CallFunction(reinterpret_cast<PyObject*>(&PyType_Type), "s(){sO}",
                                           "_GetattrProbe", "__getattr__", Py_None));
    if (!probe) return -1;
    getattrofunc dispatcher = reinterpret_cast<PyTypeObject*>(probe.get())->tp_getattro;
    if (dispatcher == nullptr || dispatcher == PyObject_GenericGetAttr) {
        PyErr_SetString(PyExc_ImportError, "zorvacache: no __getattr__ dispatcher found");
        return -1;
    }
    type->tp_getattro = dispatcher;
    PyType_Modified(type);
    return 0;
}

// Inlined into its entry (the compiler would keep it apart): `cache[member]` is a hot path.
[[gnu::always_inline]] inline PyObject* cache_getitem(PyObject* self, PyObject* key_obj) {
    PyRef cache_type = PyRef::steal(state.cache_type.get());
    if (!cache_type) return nullptr;
    const int is_member = PyObject_IsInstance(key_obj, cache_type.get());
    if (is_member < 0) return nullptr;
    if (is_member == 0) {
        PyErr_SetString(PyExc_TypeError, "The key for cache access must be of type CacheType");
        return nullptr;
    }
    int32_t key;
    if (read_key(key_obj, &key) < 0) return nullptr;
    return slot_get(as_cache(self), key);
}

constexpr Native kGetItem{kModuleName, "Cache.__getitem__", cache_getitem};

// The sequence item slot exists so that iteration and `in` report the key error too.
PyObject* cache_sq_item(PyObject* self, Py_ssize_t index) {
    PyRef key = PyRef::steal(PyLong_FromSsize_t(index));
    return key ? native<kGetItem>(self, key.get()) : nullptr;
}

// ---- Copying and pickling -------------------------------------------------------------------

PyObject* cache_copy(PyObject* self, Args) {
    PyRef copy = PyRef::steal(PyObject_CallNoArgs(reinterpret_cast<PyObject*>(&CacheObjectType)));
    if (!copy) return nullptr;
    PyObject* slots = as_cache(self)->cache_arr;
    if (!PyList_CheckExact(slots)) {
        raise_not_ready();
        return nullptr;
    }
    PyObject* shallow = PyList_GetSlice(slots, 0, PyList_GET_SIZE(slots));
    if (shallow == nullptr) return nullptr;
    set_field(as_cache(copy.get())->cache_arr, shallow);
    return copy.release();
}

// The values are shared, not deep-copied; `memo` is not used. A subclass's `copy` wins.
PyObject* cache_deepcopy(PyObject* self, Args) {
    return PyObject_CallMethodNoArgs(self, state.copy.get());
}

PyObject* cache_reduce(PyObject* self, Args) {
    PyObject* slots = as_cache(self)->cache_arr;
    PyRef dict;
    if (dict_tail(self, state.dict.get(), &dict) < 0) return nullptr;
    PyRef pickled = PyRef::steal(dict ? PyTuple_Pack(2, slots, dict.get())  //
                                      : PyTuple_Pack(1, slots));
    if (!pickled) return nullptr;
    PyRef unpickle = PyRef::steal(state.unpickle.get());
    if (!unpickle) return nullptr;
    const bool separate = slots != Py_None || dict;
    return reduce_value(unpickle.get(), self, kPickleLayout, pickled.get(), separate);
}

// Restores a state tuple written by __reduce__. The slot list is refused, with the cache left
// as it was, unless it is a list of exactly 32 slots (or None): every operation may then rely
// on 32 slots, whoever wrote the pickle.
int restore_state(PyObject* self, PyObject* pickled) {
    if (PyTuple_GET_SIZE(pickled) < 1) {
        PyErr_SetString(PyExc_IndexError, "Cache state tuple has no items");
        return -1;
    }
    PyObject* slots = PyTuple_GET_ITEM(pickled, 0);
    if (check_exact_value(slots, &PyList_Type) < 0) return -1;
    if (slots != Py_None && PyList_GET_SIZE(slots) != kSlots) {
        PyErr_Format(PyExc_ValueError, "Cache state must hold a list of %d slots, got %zd", kSlots,
                     PyList_GET_SIZE(slots));
        return -1;
    }
    set_field(as_cache(self)->cache_arr, Py_NewRef(slots));
    if (PyTuple_GET_SIZE(pickled) < 2) return 0;
    return restore_dict_tail(self, PyTuple_GET_ITEM(pickled, 1), DictAccess::kGeneric,
                             state.dict.get(), state.update.get());
}

PyObject* cache_setstate(PyObject* self, Args a) {
    if (a[0] == Py_None) {
        PyErr_SetString(PyExc_TypeError,
                        "cannot pass None into a C function argument that is declared 'not None'");
        return nullptr;
    }
    if (check_exact_value(a[0], &PyTuple_Type, false) < 0 || restore_state(self, a[0]) < 0) {
        return nullptr;
    }
    Py_RETURN_NONE;
}

PyObject* unpickle_cache(PyObject*, Args a) {
    return unpickle(kPickleLayout, &CacheObjectType, state.new_.get(), a[0], a[1], a[2],
                    restore_state);
}

// ---- Declarations ---------------------------------------------------------------------------

constexpr Callable kInit{kModuleName, "Cache.__init__", "()", cache_init,
                         "32 slots keyed by the members of CacheType: get, set, fill on demand "
                         "and clear."};
constexpr Callable kClear{kModuleName, "Cache.clear", "($self)", cache_clear,
                          "Empties all 32 slots."};
constexpr Callable kClearSelected{
    kModuleName, "Cache.clear_selected", "($self, blacklist=None, whitelist=None)",
    cache_clear_selected,
    "Empties the slots of the whitelist's members (every CacheType member when it is None or "
    "empty) except those also in the blacklist."};
constexpr Callable kGet{kModuleName, "Cache.get", "($self, type)", cache_get,
                        "The value in the key's slot, or None."};
constexpr Callable kSet{kModuleName, "Cache.set", "($self, type, value)", cache_set,
                        "Stores value in the key's slot (None empties it)."};
constexpr Callable kGetOrSetVal{kModuleName, "Cache.get_or_set_val", "($self, type, value)",
                                cache_get_or_set_val,
                                "The slot's value; an empty slot first gets value."};
constexpr Callable kGetOrExec{
    kModuleName, "Cache.get_or_exec", "($self, type, func)", cache_get_or_exec,
    "The slot's value; for an empty slot func() is called and its result stored."};
constexpr Callable kCopy{kModuleName, "Cache.copy", "($self)", cache_copy,
                         "A new plain Cache holding the same values (not copies of them)."};
constexpr Callable kDeepcopy{kModuleName, "Cache.__deepcopy__", "($self, memo)", cache_deepcopy,
                             "The same as copy(): the values are shared, not deep-copied."};
constexpr Callable kGetattr{kModuleName, "Cache.__getattr__", "($self, type, /)", cache_getattr,
                            "cache.NAME reads the slot of the CacheType member called NAME."};
constexpr Callable kReduce{kModuleName, "Cache.__reduce__", "($self)", cache_reduce,
                           "Pickle support: the reconstructor, the class and the slot list."};
constexpr Callable kSetstate{kModuleName, "Cache.__setstate__", "($self, __pyx_state)",
                             cache_setstate, "Restores the slots from a pickle state tuple."};
constexpr Callable kUnpickle{
    kModuleName, "__pyx_unpickle_Cache", "($module, __pyx_type, __pyx_checksum, __pyx_state)",
    unpickle_cache,
    "Pickle reconstructor: a new __pyx_type with the slots of __pyx_state, after a check of the "
    "layout checksum (pickle.PickleError when it does not match)."};

PyMappingMethods cache_mapping = {.mp_subscript = native<kGetItem>};
PySequenceMethods cache_sequence = {.sq_item = cache_sq_item};

PyTypeObject CacheObjectType = {
    .ob_base = PyVarObject_HEAD_INIT(nullptr, 0).tp_name =
        "zorva_ui.fast.zorvacache.zorvacache.Cache",
    .tp_basicsize = sizeof(ZorvaCache),
    .tp_dealloc = cache_dealloc,
    .tp_as_sequence = &cache_sequence,
    .tp_as_mapping = &cache_mapping,
    .tp_flags = Py_TPFLAGS_DEFAULT | Py_TPFLAGS_BASETYPE | Py_TPFLAGS_HAVE_GC,
    .tp_doc = type_doc<kInit>,
    .tp_traverse = cache_traverse,
    .tp_clear = cache_clear_refs,
    .tp_methods = method_table<kClear, kClearSelected, kGet, kSet, kGetOrSetVal, kGetOrExec, kCopy,
                               kDeepcopy, kGetattr, kReduce, kSetstate>,
    .tp_init = init_slot<kInit>,
    .tp_new = cache_alloc,
};

// ---- Module initialisation ------------------------------------------------------------------

int intern_names(PyObject* module) {
    if (intern(state.copy, state.dict, state.new_, state.update) < 0) return -1;
    state.members.forget();
    if (state.cache_type.bind(module) < 0) return -1;
    return state.unpickle.bind(module);
}

// Enters the module under its full name when a loader has not done so already.
int register_in_sys_modules(PyObject* module) {
    PyObject* modules = PyImport_GetModuleDict();  // borrowed
    PyRef name = PyRef::steal(PyUnicode_FromString(kModuleName));
    if (!name) return -1;
    int present = PyDict_Contains(modules, name.get());
    if (present != 0) return present < 0 ? -1 : 0;
    return PyDict_SetItem(modules, name.get(), module);
}

int add_types(PyObject* module) {
    if (add_type(module, &CacheObjectType, &state.vtable) < 0) return -1;
    return install_getattr_dispatcher(&CacheObjectType);
}

int import_cache_type(PyObject* module) {
    PyRef enums = PyRef::steal(PyImport_ImportModule("zorva_ui.core.enums"));
    if (!enums) return -1;
    PyObject* found;
    if (PyObject_GetOptionalAttr(enums.get(), state.cache_type.name(), &found) < 0) return -1;
    PyRef cache_type = PyRef::steal(found);
    if (!cache_type) {
        PyErr_Format(PyExc_ImportError, "cannot import name %S", state.cache_type.name());
        return -1;
    }
    return PyModule_AddObjectRef(module, "CacheType", cache_type.get());
}

// Bound after CacheType, in the order the module's namespace has always listed them.
int add_functions(PyObject* module) {
    if (PyModule_AddFunctions(module, method_table<kUnpickle>) < 0) return -1;
    PyRef test = PyRef::steal(PyDict_New());
    if (!test) return -1;
    return PyModule_AddObjectRef(module, "__test__", test.get());
}

constexpr ModuleSpec kModule{kModuleName,
                             "Keyed cache: Cache, 32 slots keyed by the members of CacheType.",
                             nullptr,
                             {intern_names, enum_access_init, register_in_sys_modules, add_types,
                              import_cache_type, add_functions}};

}  // namespace
}  // namespace zorva::cache

PyMODINIT_FUNC PyInit_zorvacache() {
    return zorva::define_module<zorva::cache::kModule>();
}
