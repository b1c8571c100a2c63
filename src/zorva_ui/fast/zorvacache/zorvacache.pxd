# Native interface of Cache for other compiled modules: `cimport` it, and call the operations
# directly through the operation table the type publishes as `__pyx_vtable__`.
# The declaration order below is the table order and must not change.

cdef class Cache:
    cdef list cache_arr

    cdef void c_clear(self) except *
    cdef void c_clear_selected(self, list blacklist, list whitelist) except *
    cdef object c_get(self, int type_idx)
    cdef void c_set(self, int type_idx, object value) except *
    cdef object c_get_or_set_val(self, int type_idx, object value)
    cdef object c_get_or_exec(self, int type_idx, object func)

    @staticmethod
    cdef Cache new()
