# cython: language_level=3
# A compiled caller of Cache: cimports its declaration, so that Cython checks the type's size
# and takes the operation table from `__pyx_vtable__` at import.
from zorva_ui.fast.zorvacache.zorvacache cimport Cache

from time import perf_counter_ns


def new():
    return Cache.new()


def c_clear(Cache cache):
    cache.c_clear()


def c_clear_selected(Cache cache, list blacklist, list whitelist):
    cache.c_clear_selected(blacklist, whitelist)


def c_get(Cache cache, int type_idx):
    return cache.c_get(type_idx)


def c_set(Cache cache, int type_idx, value):
    cache.c_set(type_idx, value)


def c_get_or_set_val(Cache cache, int type_idx, value):
    return cache.c_get_or_set_val(type_idx, value)


def c_get_or_exec(Cache cache, int type_idx, func):
    return cache.c_get_or_exec(type_idx, func)


def slot_list(Cache cache):
    return cache.cache_arr


def get_loop_ns(Cache cache, int type_idx, long calls):
    """Nanoseconds per `c_get` call through the operation table, over `calls` calls."""
    cdef long i
    cdef object value
    cdef long long start = perf_counter_ns()
    for i in range(calls):
        value = cache.c_get(type_idx)
    return (perf_counter_ns() - start) / calls
