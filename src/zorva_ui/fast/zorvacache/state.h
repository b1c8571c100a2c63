// Everything the cache module keeps between calls, in the one object `state`: the operation
// table, interned names, the late-bound globals, what `cache.NAME` remembers and what the
// enumeration fast paths found at initialisation.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include "fast/common/globals.h"
#include "fast/common/names.h"
#include "fast/zorvacache/name_memo.h"
#include "fast/zorvacache/zorvacache.h"

namespace zorva::cache {

// One type remembered as qualifying, valid while its version tag is unchanged (the tag changes
// whenever the type or one of its bases is modified, and is never reused).
struct TypeMemo {
    PyTypeObject* type = nullptr;  // borrowed: only compared, never dereferenced when stale
    unsigned int tag = 0;
    bool holds(PyTypeObject* t) const { return t == type && tag != 0 && t->tp_version_tag == tag; }
};

// The standard enumeration machinery (enum_access.cpp), found once; strong, kept for the process.
struct EnumState {
    PyObject* base = nullptr;              // enum.Enum
    PyObject* value_descriptor = nullptr;  // enum.Enum.__dict__["value"]
    PyTypeObject* meta = nullptr;          // enum.EnumType
    PyObject* members_descriptor = nullptr;
    PyObject* getitem_function = nullptr;
    TypeMemo value_memo;  // a member type whose `value` is the member's own `_value_`
    TypeMemo meta_memo;   // a metaclass whose __members__ and __getitem__ are the standard ones
    InternedName value_{"_value_"}, value{"value"}, members{"__members__"}, getitem{"__getitem__"},
        member_map{"_member_map_"}, values{"values"};
};

struct State {
    ZorvaCacheVTable vtable;  // published as __pyx_vtable__
    InternedName copy{"copy"}, dict{"__dict__"}, new_{"__new__"}, update{"update"};
    LateGlobal cache_type{"CacheType"};  // the key enumeration, as the module binds it now
    LateGlobal unpickle{"__pyx_unpickle_Cache"};
    NameMemo members;  // what `cache.NAME` resolved to
    EnumState enums;
};

extern State state;  // zorvacache.cpp

}  // namespace zorva::cache
