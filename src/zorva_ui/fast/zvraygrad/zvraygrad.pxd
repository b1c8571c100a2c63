# Declarations of the gradient classes for compiled callers (Cython, C++ mode).
#
#     # distutils: language = c++
#     from zorva_ui.fast.zvraygrad.zvraygrad cimport GradientRaylib, ClickGradient
#
# The layouts mirror zvraygrad.h field by field: when the consumer is imported, Cython checks the
# size of each type against these declarations and takes the operation table from the type's
# `__pyx_vtable__` capsule, so `g._update_colors(colors)` is a native call through the object's own
# table (a ClickGradient held as a GradientRaylib runs its own update).

from libc.stdint cimport int32_t
from libcpp.vector cimport vector


# One colour as the shader takes it: red, green, blue, alpha, each 0..1 (same layout as the
# rendering layer's Vector4).
cdef struct Vector4:
    float x
    float y
    float z
    float w


cdef class GradientRaylib:
    cdef list raw_colors
    cdef int32_t _transparency
    cdef float _angle
    cdef object _center  # ZvVector2 or None
    cdef object type
    cdef vector[Vector4] _colors
    cdef vector[float] _stops

    # Rebuilds _colors and _stops (ClickGradient: also weights) from a colour list or None;
    # a failure is left as the pending exception.
    cdef void _update_colors(self, list colors) except *


cdef class ClickGradient(GradientRaylib):
    cdef vector[float] weights
