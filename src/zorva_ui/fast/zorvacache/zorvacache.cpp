// The keyed cache module: `Cache`, 32 slots keyed by the members of `CacheType`.
//
// Python methods and native operations perform the same slot steps (cache_slots.h) directly;
// the methods never dispatch through the operation table, so a compiled subclass that replaces
// an entry changes only what native callers get.
#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <cstdint>

#include "fast/common/args.h"
#include "fast/common/module_guard.h"
#include "fast/common/pickling.h"
#include "fast/common/pyref.h"
#include "fast/common/traceback.h"
#include "fast/common/vtable.h"
#include "fast/zorvacache/cache_slots.h"
#include "fast/zorvacache/enum_access.h"
#include "fast/zorvacache/name_memo.h"
#include "fast/zorvacache/zorvacache.h"

#define ZORVA_SOURCE_FILE "fast/zorvacache/zorvacache.cpp"
#define MODULE_NAME "zorva_ui.fast.zorvacache.zorvacache"
#define QUALNAME(method) MODULE_NAME ".Cache." method

namespace zorva::cache {
namespace {

// ---- Module state ---------------------------------------------------------------------------

ModuleGuard g_guard{"zorvacache", MODULE_NAME};
PyTypeObject g_cache_type;
ZorvaCacheVTable g_vtable;
PyObject* g_module_dict = nullptr;  // borrowed: the guard keeps the module for the process

PyObject* g_str_cache_type = nullptr;
PyObject* g_str_copy = nullptr;
PyObject* g_str_dict = nullptr;
PyObject* g_str_new = nullptr;
PyObject* g_str_unpickle = nullptr;
PyObject* g_str_update = nullptr;

// Written by __reduce__, accepted by __pyx_unpickle_Cache: digests of the field list.
constexpr PickleLayout kPickleLayout{{0x0bd51cb4, 0x0e95c4d5, 0x0c883660}, "cache_arr"};

ZorvaCache* as_cache(PyObject* self) {
    return reinterpret_cast<ZorvaCache*>(self);
}

// A module global, looked up at call time (then among the built-ins), so that rebinding it in
// the module takes effect at the next call. New reference, or null with NameError.
PyObject* module_global(PyObject* name) {
    PyObject* value;
    int found = PyDict_GetItemRef(g_module_dict, name, &value);
    if (found != 0) return value;  // found, or an error
    found = PyDict_GetItemRef(PyEval_GetBuiltins(), name, &value);
    if (found != 0) return value;
    PyErr_Format(PyExc_NameError, "name '%U' is not defined", name);
    return nullptr;
}

// `CacheType` as the module namespace binds it, remembered between calls. A watcher on the
// module dict forgets it at any change that may concern that name, so a rebinding still takes
// effect at the next call.
PyObject* g_cache_type_seen = nullptr;  // strong, or null when it must be looked up again
int g_dict_watcher = -1;

NameMemo g_names;

int on_module_dict_event(PyDict_WatchEvent, PyObject* dict, PyObject* key, PyObject*) {
    if (dict != g_module_dict) {  // a dict that remembered member names depend on
        g_names.mark_stale();
        return 0;
    }
    // Any key but another exact str may compare equal to "CacheType".
    bool other_name = key != nullptr && PyUnicode_CheckExact(key) &&
                      PyUnicode_Compare(key, g_str_cache_type) != 0;
    // The dict still holds the value here, so releasing our reference runs no code.
    if (!other_name) Py_CLEAR(g_cache_type_seen);
    return 0;
}

// Without a watcher (the interpreter has a few only) every call looks the name up.
bool g_dict_watched = false;

void watch_module_dict() {
    if (g_dict_watcher < 0) g_dict_watcher = PyDict_AddWatcher(on_module_dict_event);
    g_dict_watched = g_dict_watcher >= 0 && PyDict_Watch(g_dict_watcher, g_module_dict) == 0;
    if (!g_dict_watched) PyErr_Clear();
    g_names.set_watcher(g_dict_watched ? g_dict_watcher : -1);
    Py_CLEAR(g_cache_type_seen);
}

PyObject* cache_type_global() {
    if (g_cache_type_seen != nullptr) return Py_NewRef(g_cache_type_seen);
    PyObject* value;
    int found = PyDict_GetItemRef(g_module_dict, g_str_cache_type, &value);
    if (found > 0 && g_dict_watched) g_cache_type_seen = Py_NewRef(value);
    if (found != 0) return value;
    return module_global(g_str_cache_type);  // the built-ins, or NameError
}

// ---- Type slots -----------------------------------------------------------------------------

PyObject* cache_alloc(PyTypeObject* type, PyObject*, PyObject*) {
    PyObject* self = type->tp_alloc(type, 0);
    if (self == nullptr) return nullptr;
    as_cache(self)->vtab = &g_vtable;
    as_cache(self)->cache_arr = Py_NewRef(Py_None);
    return self;
}

int init_slots(PyObject* self, PyObject* args, PyObject* kwds) {
    if (PyTuple_GET_SIZE(args) != 0) {
        PyErr_Format(PyExc_TypeError, "__init__() takes exactly 0 positional arguments (%zd given)",
                     PyTuple_GET_SIZE(args));
        return -1;
    }
    if (kwds != nullptr && PyDict_GET_SIZE(kwds) != 0) {
        PyErr_SetString(PyExc_TypeError, "__init__() takes no keyword arguments");
        return -1;
    }
    PyObject* slots = new_slot_list();
    if (slots == nullptr) return -1;
    // A new list, not the old one emptied: whoever holds the old list keeps its values.
    set_field(as_cache(self)->cache_arr, slots);
    return 0;
}

int cache_init(PyObject* self, PyObject* args, PyObject* kwds) {
    if (init_slots(self, args, kwds) < 0) {
        ZORVA_TRACEBACK(QUALNAME("__init__"));
        return -1;
    }
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

// ---- Native operations (the table) ----------------------------------------------------------

void op_clear(ZorvaCache* self) {
    if (slots_clear(self) < 0) ZORVA_TRACEBACK(QUALNAME("c_clear"));
}

void op_clear_selected(ZorvaCache* self, PyObject* blacklist, PyObject* whitelist) {
    if (slots_clear_selected(self, blacklist, whitelist) < 0) {
        ZORVA_TRACEBACK(QUALNAME("c_clear_selected"));
    }
}

PyObject* op_get(ZorvaCache* self, int type_idx) {
    PyObject* result = slot_get(self, type_idx);
    if (result == nullptr) ZORVA_TRACEBACK(QUALNAME("c_get"));
    return result;
}

void op_set(ZorvaCache* self, int type_idx, PyObject* value) {
    if (slot_set(self, type_idx, value) < 0) ZORVA_TRACEBACK(QUALNAME("c_set"));
}

PyObject* op_get_or_set_val(ZorvaCache* self, int type_idx, PyObject* value) {
    PyObject* result = slot_get_or_set(self, type_idx, value);
    if (result == nullptr) ZORVA_TRACEBACK(QUALNAME("c_get_or_set_val"));
    return result;
}

PyObject* op_get_or_exec(ZorvaCache* self, int type_idx, PyObject* func) {
    PyObject* result = slot_get_or_exec(self, type_idx, func);
    if (result == nullptr) ZORVA_TRACEBACK(QUALNAME("c_get_or_exec"));
    return result;
}

// Exactly `Cache`, never a subclass, made ready without running __init__.
ZorvaCache* op_new() {
    PyRef self = PyRef::steal(cache_alloc(&g_cache_type, nullptr, nullptr));
    PyObject* slots = self ? new_slot_list() : nullptr;
    if (slots == nullptr) {
        ZORVA_TRACEBACK(QUALNAME("new"));
        return nullptr;
    }
    set_field(as_cache(self.get())->cache_arr, slots);
    return as_cache(self.release());
}

// ---- Python methods -------------------------------------------------------------------------

// Parameter lists, with the names callers may use as keywords.
const char* const kTypeParam[] = {"type"};
const char* const kTypeValueParams[] = {"type", "value"};
const char* const kTypeFuncParams[] = {"type", "func"};
const char* const kListParams[] = {"blacklist", "whitelist"};
const char* const kMemoParam[] = {"memo"};
const char* const kStateParam[] = {"__pyx_state"};
const char* const kUnpickleParams[] = {"__pyx_type", "__pyx_checksum", "__pyx_state"};

const Signature kGetSig{"get", kTypeParam, 1, 1};
const Signature kSetSig{"set", kTypeValueParams, 2, 2};
const Signature kGetOrSetSig{"get_or_set_val", kTypeValueParams, 2, 2};
const Signature kGetOrExecSig{"get_or_exec", kTypeFuncParams, 2, 2};
const Signature kClearSelectedSig{"clear_selected", kListParams, 2, 0};
const Signature kDeepcopySig{"__deepcopy__", kMemoParam, 1, 1};
const Signature kSetstateSig{"__setstate__", kStateParam, 1, 1};
const Signature kUnpickleSig{"__pyx_unpickle_Cache", kUnpickleParams, 3, 3};

PyObject* Cache_clear(PyObject* self, PyObject* const*, Py_ssize_t nargsf, PyObject* kwnames) {
    if (parse_no_args("clear", nargsf, kwnames) < 0 || slots_clear(as_cache(self)) < 0) {
        ZORVA_TRACEBACK(QUALNAME("clear"));
        return nullptr;
    }
    Py_RETURN_NONE;
}

// An empty or missing blacklist keeps nothing; an empty or missing whitelist means every member.
PyObject* clear_selected_impl(PyObject* self, PyObject* blacklist_arg, PyObject* whitelist_arg) {
    int truth = PyObject_IsTrue(blacklist_arg);
    if (truth < 0) return nullptr;
    PyRef blacklist = PyRef::steal(truth ? Py_NewRef(blacklist_arg) : PyList_New(0));
    if (!blacklist) return nullptr;
    truth = PyObject_IsTrue(whitelist_arg);
    if (truth < 0) return nullptr;
    PyRef whitelist;
    if (truth) {
        whitelist = PyRef::borrow(whitelist_arg);
    } else {
        PyRef cache_type = PyRef::steal(cache_type_global());
        if (!cache_type) return nullptr;
        whitelist = PyRef::steal(all_members(cache_type.get()));
        if (!whitelist) return nullptr;
    }
    if (!check_exact_value(blacklist.get(), &PyList_Type) ||
        !check_exact_value(whitelist.get(), &PyList_Type)) {
        return nullptr;
    }
    if (slots_clear_selected(as_cache(self), blacklist.get(), whitelist.get()) < 0) return nullptr;
    Py_RETURN_NONE;
}

PyObject* Cache_clear_selected(PyObject* self, PyObject* const* args, Py_ssize_t nargsf,
                               PyObject* kwnames) {
    PyObject* params[2] = {Py_None, Py_None};
    PyObject* result = nullptr;
    if (parse_args(kClearSelectedSig, args, nargsf, kwnames, params) == 0) {
        result = clear_selected_impl(self, params[0], params[1]);
    }
    if (result == nullptr) ZORVA_TRACEBACK(QUALNAME("clear_selected"));
    return result;
}

PyObject* Cache_get(PyObject* self, PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames) {
    PyObject* type;
    int32_t key;
    PyObject* result = nullptr;
    if (parse_args(kGetSig, args, nargsf, kwnames, &type) == 0 && check_not_none(type, "type") &&
        read_key(type, &key)) {
        result = slot_get(as_cache(self), key);
    }
    if (result == nullptr) ZORVA_TRACEBACK(QUALNAME("get"));
    return result;
}

PyObject* Cache_set(PyObject* self, PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames) {
    PyObject* params[2];
    int32_t key;
    if (parse_args(kSetSig, args, nargsf, kwnames, params) < 0 || !read_key(params[0], &key) ||
        slot_set(as_cache(self), key, params[1]) < 0) {
        ZORVA_TRACEBACK(QUALNAME("set"));
        return nullptr;
    }
    Py_RETURN_NONE;
}

PyObject* Cache_get_or_set_val(PyObject* self, PyObject* const* args, Py_ssize_t nargsf,
                               PyObject* kwnames) {
    PyObject* params[2];
    int32_t key;
    PyObject* result = nullptr;
    if (parse_args(kGetOrSetSig, args, nargsf, kwnames, params) == 0 && read_key(params[0], &key)) {
        result = slot_get_or_set(as_cache(self), key, params[1]);
    }
    if (result == nullptr) ZORVA_TRACEBACK(QUALNAME("get_or_set_val"));
    return result;
}

PyObject* Cache_get_or_exec(PyObject* self, PyObject* const* args, Py_ssize_t nargsf,
                            PyObject* kwnames) {
    PyObject* params[2];
    int32_t key;
    PyObject* result = nullptr;
    if (parse_args(kGetOrExecSig, args, nargsf, kwnames, params) == 0 &&
        check_not_none(params[0], "type") && check_not_none(params[1], "func") &&
        read_key(params[0], &key)) {
        result = slot_get_or_exec(as_cache(self), key, params[1]);
    }
    if (result == nullptr) ZORVA_TRACEBACK(QUALNAME("get_or_exec"));
    return result;
}

// The slot of the member called `name`; AttributeError(name) when there is no such member.
PyObject* member_slot_by_name(PyObject* self, PyObject* name) {
    if (!check_exact_arg(name, &PyUnicode_Type, "type")) return nullptr;
    int32_t key;
    // The remembered binding of CacheType is current while it is set (see cache_type_global).
    if (g_cache_type_seen != nullptr && g_names.find(g_cache_type_seen, name, &key)) {
        return slot_get(as_cache(self), key);
    }
    PyRef cache_type = PyRef::steal(cache_type_global());
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
    if (!read_key(member, &key)) return nullptr;
    if (g_cache_type_seen == cache_type.get())
        g_names.remember(cache_type.get(), name, member, key);
    return slot_get(as_cache(self), key);
}

PyObject* Cache_getattr(PyObject* self, PyObject* name) {
    PyObject* result = member_slot_by_name(self, name);
    if (result == nullptr) ZORVA_TRACEBACK(QUALNAME("__getattr__"));
    return result;
}

// Attribute lookup with the `__getattr__` fallback. The type uses the interpreter's own
// dispatcher for classes that define `__getattr__`, taken from a throwaway class: it does the
// normal lookup without raising when it finds nothing, calls `__getattr__` only then, and,
// unlike a lookup function of our own, keeps the interpreter's fast path for method calls
// (`cache.get(m)`), which it grants only to the generic lookup and that dispatcher.
int install_getattr_dispatcher(PyTypeObject* type) {
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

PyObject* Cache_getitem(PyObject* self, PyObject* key_obj) {
    PyObject* result = nullptr;
    PyRef cache_type = PyRef::steal(cache_type_global());
    if (cache_type) {
        int is_member = PyObject_IsInstance(key_obj, cache_type.get());
        int32_t key;
        if (is_member == 0) {
            PyErr_SetString(PyExc_TypeError, "The key for cache access must be of type CacheType");
        } else if (is_member > 0 && read_key(key_obj, &key)) {
            result = slot_get(as_cache(self), key);
        }
    }
    if (result == nullptr) ZORVA_TRACEBACK(QUALNAME("__getitem__"));
    return result;
}

// The sequence item slot exists so that iteration and `in` report the key error too.
PyObject* cache_sq_item(PyObject* self, Py_ssize_t index) {
    PyRef key = PyRef::steal(PyLong_FromSsize_t(index));
    return key ? Cache_getitem(self, key.get()) : nullptr;
}

// ---- Copying and pickling -------------------------------------------------------------------

PyObject* copy_impl(PyObject* self) {
    PyRef copy = PyRef::steal(PyObject_CallNoArgs(reinterpret_cast<PyObject*>(&g_cache_type)));
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

PyObject* Cache_copy(PyObject* self, PyObject* const*, Py_ssize_t nargsf, PyObject* kwnames) {
    PyObject* result = nullptr;
    if (parse_no_args("copy", nargsf, kwnames) == 0) result = copy_impl(self);
    if (result == nullptr) ZORVA_TRACEBACK(QUALNAME("copy"));
    return result;
}

// The values are shared, not deep-copied; `memo` is not used. A subclass's `copy` wins.
PyObject* Cache_deepcopy(PyObject* self, PyObject* const* args, Py_ssize_t nargsf,
                         PyObject* kwnames) {
    PyObject* memo;
    PyObject* result = nullptr;
    if (parse_args(kDeepcopySig, args, nargsf, kwnames, &memo) == 0) {
        result = PyObject_CallMethodNoArgs(self, g_str_copy);
    }
    if (result == nullptr) ZORVA_TRACEBACK(QUALNAME("__deepcopy__"));
    return result;
}

PyObject* reduce_impl(PyObject* self) {
    PyObject* slots = as_cache(self)->cache_arr;
    PyRef state = PyRef::steal(PyTuple_Pack(1, slots));
    if (!state) return nullptr;
    PyObject* dict_obj;
    if (PyObject_GetOptionalAttr(self, g_str_dict, &dict_obj) < 0) return nullptr;
    PyRef dict = PyRef::steal(dict_obj);
    bool separate = slots != Py_None;
    if (dict && dict.get() != Py_None) {
        int truth = PyObject_IsTrue(dict.get());
        if (truth < 0) return nullptr;
        if (truth) {
            state = PyRef::steal(PyTuple_Pack(2, slots, dict.get()));
            if (!state) return nullptr;
            separate = true;
        }
    }
    PyRef unpickle = PyRef::steal(module_global(g_str_unpickle));
    if (!unpickle) return nullptr;
    PyRef checksum = PyRef::steal(PyLong_FromLongLong(kPickleLayout.accepted[0]));
    if (!checksum) return nullptr;
    PyObject* cls = reinterpret_cast<PyObject*>(Py_TYPE(self));
    if (separate) {
        PyRef args = PyRef::steal(PyTuple_Pack(3, cls, checksum.get(), Py_None));
        if (!args) return nullptr;
        return PyTuple_Pack(3, unpickle.get(), args.get(), state.get());
    }
    PyRef args = PyRef::steal(PyTuple_Pack(3, cls, checksum.get(), state.get()));
    if (!args) return nullptr;
    return PyTuple_Pack(2, unpickle.get(), args.get());
}

PyObject* Cache_reduce(PyObject* self, PyObject* const*, Py_ssize_t nargsf, PyObject* kwnames) {
    PyObject* result = nullptr;
    if (parse_no_args("__reduce__", nargsf, kwnames) == 0) result = reduce_impl(self);
    if (result == nullptr) ZORVA_TRACEBACK(QUALNAME("__reduce__"));
    return result;
}

// Restores a state tuple written by __reduce__. The slot list is refused, with the cache left
// as it was, unless it is a list of exactly 32 slots (or None): every operation may then rely
// on 32 slots, whoever wrote the pickle.
int restore_state(PyObject* self, PyObject* state) {
    if (PyTuple_GET_SIZE(state) < 1) {
        PyErr_SetString(PyExc_IndexError, "Cache state tuple has no items");
        return -1;
    }
    PyObject* slots = PyTuple_GET_ITEM(state, 0);
    if (!check_exact_value(slots, &PyList_Type)) return -1;
    if (slots != Py_None && PyList_GET_SIZE(slots) != kSlots) {
        PyErr_Format(PyExc_ValueError, "Cache state must hold a list of %d slots, got %zd", kSlots,
                     PyList_GET_SIZE(slots));
        return -1;
    }
    set_field(as_cache(self)->cache_arr, Py_NewRef(slots));
    if (PyTuple_GET_SIZE(state) < 2) return 0;
    PyObject* extra = PyTuple_GET_ITEM(state, 1);
    int truth = PyObject_IsTrue(extra);
    if (truth <= 0) return truth;
    PyRef dict = PyRef::steal(PyObject_GenericGetDict(self, nullptr));
    if (!dict) return -1;
    if (PyDict_CheckExact(extra)) return PyDict_Update(dict.get(), extra);
    PyRef done = PyRef::steal(PyObject_CallMethodOneArg(dict.get(), g_str_update, extra));
    return done ? 0 : -1;
}

PyObject* Cache_setstate(PyObject* self, PyObject* const* args, Py_ssize_t nargsf,
                         PyObject* kwnames) {
    PyObject* state;
    bool ok = parse_args(kSetstateSig, args, nargsf, kwnames, &state) == 0;
    if (ok && state == Py_None) {
        PyErr_SetString(PyExc_TypeError,
                        "cannot pass None into a C function argument that is declared 'not None'");
        ok = false;
    }
    ok = ok && check_exact_value(state, &PyTuple_Type, false) && restore_state(self, state) == 0;
    if (!ok) {
        ZORVA_TRACEBACK(QUALNAME("__setstate__"));
        return nullptr;
    }
    Py_RETURN_NONE;
}

PyObject* unpickle_impl(PyObject* type, PyObject* checksum_obj, PyObject* state) {
    int64_t checksum;
    if (!to_int64(checksum_obj, &checksum)) return nullptr;
    if (!check_exact_arg(state, &PyTuple_Type, "__pyx_state")) return nullptr;
    if (!checksum_accepted(kPickleLayout, checksum)) {
        raise_checksum_mismatch(kPickleLayout, checksum);
        return nullptr;
    }
    // Cache.__new__ refuses, with the host's message, a class that is not Cache or a subclass.
    PyRef result = PyRef::steal(
        PyObject_CallMethodOneArg(reinterpret_cast<PyObject*>(&g_cache_type), g_str_new, type));
    if (!result) return nullptr;
    if (state != Py_None && restore_state(result.get(), state) < 0) return nullptr;
    return result.release();
}

PyObject* unpickle_cache(PyObject*, PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames) {
    PyObject* params[3];
    PyObject* result = nullptr;
    if (parse_args(kUnpickleSig, args, nargsf, kwnames, params) == 0) {
        result = unpickle_impl(params[0], params[1], params[2]);
    }
    if (result == nullptr) ZORVA_TRACEBACK(MODULE_NAME ".__pyx_unpickle_Cache");
    return result;
}

// ---- Type and module definitions ------------------------------------------------------------

#define FASTCALL_METHOD(name, func)                                      \
    {name, reinterpret_cast<PyCFunction>(reinterpret_cast<void*>(func)), \
     METH_FASTCALL | METH_KEYWORDS, nullptr}

PyMethodDef g_cache_methods[] = {
    FASTCALL_METHOD("clear", Cache_clear),
    FASTCALL_METHOD("clear_selected", Cache_clear_selected),
    FASTCALL_METHOD("get", Cache_get),
    FASTCALL_METHOD("set", Cache_set),
    FASTCALL_METHOD("get_or_set_val", Cache_get_or_set_val),
    FASTCALL_METHOD("get_or_exec", Cache_get_or_exec),
    FASTCALL_METHOD("copy", Cache_copy),
    FASTCALL_METHOD("__deepcopy__", Cache_deepcopy),
    {"__getattr__", Cache_getattr, METH_O, nullptr},
    FASTCALL_METHOD("__reduce__", Cache_reduce),
    FASTCALL_METHOD("__setstate__", Cache_setstate),
    {nullptr, nullptr, 0, nullptr},
};

PyMappingMethods g_cache_mapping = {nullptr, Cache_getitem, nullptr};
PySequenceMethods g_cache_sequence = {};

PyMethodDef g_module_functions[] = {
    FASTCALL_METHOD("__pyx_unpickle_Cache", unpickle_cache),
    {nullptr, nullptr, 0, nullptr},
};

void fill_cache_type() {
    g_cache_sequence.sq_item = cache_sq_item;
    PyTypeObject& t = g_cache_type;
    t.tp_name = MODULE_NAME ".Cache";
    t.tp_basicsize = sizeof(ZorvaCache);
    t.tp_dealloc = cache_dealloc;
    t.tp_as_sequence = &g_cache_sequence;
    t.tp_as_mapping = &g_cache_mapping;
    t.tp_flags = Py_TPFLAGS_DEFAULT | Py_TPFLAGS_BASETYPE | Py_TPFLAGS_HAVE_GC;
    t.tp_doc = PyDoc_STR(
        "Cache()\n--\n\n32 slots keyed by the members of CacheType: get, set, fill on demand "
        "and clear.");
    t.tp_traverse = cache_traverse;
    t.tp_clear = cache_clear_refs;
    t.tp_methods = g_cache_methods;
    t.tp_init = cache_init;
    t.tp_new = cache_alloc;
}

// Readies the type once per process: a retried import after a failed one finds it ready.
int ready_cache_type() {
    if (!PyType_HasFeature(&g_cache_type, Py_TPFLAGS_READY)) {
        fill_cache_type();
        // Readied with the inherited generic lookup, so that the type's dict gets no
        // `__getattribute__` of its own; the `__getattr__` dispatcher is installed afterwards.
        if (PyType_Ready(&g_cache_type) < 0) return -1;
    }
    if (g_cache_type.tp_getattro != PyObject_GenericGetAttr) return 0;
    return install_getattr_dispatcher(&g_cache_type);
}

int intern_names() {
    const struct {
        PyObject** slot;
        const char* text;
    } names[] = {{&g_str_cache_type, "CacheType"},
                 {&g_str_copy, "copy"},
                 {&g_str_dict, "__dict__"},
                 {&g_str_new, "__new__"},
                 {&g_str_unpickle, "__pyx_unpickle_Cache"},
                 {&g_str_update, "update"}};
    for (const auto& n : names) {
        if (*n.slot == nullptr && (*n.slot = PyUnicode_InternFromString(n.text)) == nullptr) {
            return -1;
        }
    }
    return 0;
}

// Enters the module under its full name when a loader has not done so already.
int register_in_sys_modules(PyObject* module) {
    PyObject* modules = PyImport_GetModuleDict();  // borrowed
    PyRef name = PyRef::steal(PyUnicode_FromString(MODULE_NAME));
    if (!name) return -1;
    int present = PyDict_Contains(modules, name.get());
    if (present != 0) return present < 0 ? -1 : 0;
    return PyDict_SetItem(modules, name.get(), module);
}

int import_cache_type(PyObject* module) {
    PyRef enums = PyRef::steal(PyImport_ImportModule("zorva_ui.core.enums"));
    if (!enums) return -1;
    PyObject* found;
    if (PyObject_GetOptionalAttr(enums.get(), g_str_cache_type, &found) < 0) return -1;
    PyRef cache_type = PyRef::steal(found);
    if (!cache_type) {
        PyErr_Format(PyExc_ImportError, "cannot import name %S", g_str_cache_type);
        return -1;
    }
    return PyModule_AddObjectRef(module, "CacheType", cache_type.get());
}

int exec_steps(PyObject* module) {
    if (intern_names() < 0 || enum_access_init() < 0) return -1;
    if (register_in_sys_modules(module) < 0) return -1;
    g_vtable = ZorvaCacheVTable{op_clear,          op_clear_selected, op_get, op_set,
                                op_get_or_set_val, op_get_or_exec,    op_new};
    if (ready_cache_type() < 0) return -1;
    if (publish_vtable(&g_cache_type, &g_vtable) < 0) return -1;
    if (PyModule_AddObjectRef(module, "Cache", reinterpret_cast<PyObject*>(&g_cache_type)) < 0) {
        return -1;
    }
    if (import_cache_type(module) < 0) return -1;
    if (PyModule_AddFunctions(module, g_module_functions) < 0) return -1;
    PyRef test = PyRef::steal(PyDict_New());
    if (!test || PyModule_AddObjectRef(module, "__test__", test.get()) < 0) return -1;
    g_module_dict = PyModule_GetDict(module);
    watch_module_dict();
    return 0;
}

int module_exec(PyObject* module) {
    int begun = guarded_exec_begin(g_guard, module);
    if (begun != 0) return begun < 0 ? -1 : 0;
    if (exec_steps(module) < 0) {
        guarded_exec_failed(g_guard);
        return -1;
    }
    guarded_exec_done(g_guard);
    return 0;
}

}  // namespace
}  // namespace zorva::cache

PyMODINIT_FUNC PyInit_zorvacache() {
    // Functions are bound by the exec step, after CacheType.
    return zorva::guarded_module_init<zorva::cache::g_guard, zorva::cache::module_exec>(
        PyDoc_STR("Keyed cache: Cache, 32 slots keyed by the members of CacheType."));
}
