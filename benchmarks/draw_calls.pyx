# distutils: language = c++
# Timing loops for the draw benchmark, compiled so that the loops themselves cost (almost)
# nothing: `draw_loop` calls ClickGradient.draw the way any caller does, and `layer_loop` makes
# the very same layer calls natively, through the capsules the gradient module binds, with the
# arguments prepared beforehand. The difference between the two is the gradient module's own work.

from cpython.pycapsule cimport PyCapsule_GetName, PyCapsule_GetPointer
from cpython.ref cimport PyObject, Py_XDECREF
from libc.stdint cimport int32_t
from libcpp.vector cimport vector

import time

from zorva_ui.fast.zvraygrad.zvraygrad cimport Vector4

ctypedef PyObject* (*BeginShaderFn)(PyObject*)
ctypedef int32_t (*GetLocFn)(PyObject*, PyObject*)
ctypedef int (*DrawTextureProFn)(PyObject*, PyObject*, PyObject*, PyObject*, float, PyObject*)
ctypedef int (*EndFn)()
ctypedef int (*SetVec2TupleFn)(PyObject*, int32_t, PyObject*)
ctypedef int (*SetFloatFn)(PyObject*, int32_t, float)
ctypedef int (*SetIntFn)(PyObject*, int32_t, int32_t)
ctypedef int (*SetVec4ArrayFn)(PyObject*, int32_t, const Vector4*, Py_ssize_t)
ctypedef int (*SetFloatArrayFn)(PyObject*, int32_t, const float*, Py_ssize_t)
ctypedef int (*SetVec2VectorFn)(PyObject*, int32_t, PyObject*)
ctypedef PyObject* (*CreateShaderFn)(PyObject*, PyObject*)

cdef extern from "Python.h":
    PyObject* PyErr_Occurred()
    object PyObject_VectorcallMethod(object name, PyObject** args, size_t nargsf, PyObject* kwnames)


cdef inline bint PyErr_Occurred_():
    return PyErr_Occurred() != NULL


UNIFORMS = ("gradientType", "angle", "centerPos", "colorCount", "alpha", "colors", "stops", "size")


cdef void* function(dict capi, str name) except NULL:
    capsule = capi[name]
    return PyCapsule_GetPointer(capsule, PyCapsule_GetName(capsule))


cdef class LayerCalls:
    """The layer calls of one ClickGradient.draw, with their arguments ready."""

    cdef BeginShaderFn begin_shader
    cdef DrawTextureProFn draw_texture_pro
    cdef EndFn end_shader
    cdef SetVec2TupleFn set_vec2_tuple
    cdef SetFloatFn set_float
    cdef SetIntFn set_int
    cdef SetVec4ArrayFn set_vec4_v
    cdef SetFloatArrayFn set_float_v
    cdef SetVec2VectorFn set_vec2_zvvec
    cdef object shader, texture, centre, size, source, dest, origin, tint
    cdef int32_t locs[8]
    cdef int32_t gradient_type, count
    cdef float angle, alpha
    cdef vector[Vector4] colors
    cdef vector[float] stops

    def __init__(self, raylib, shader_type, vertex, fragment, texture, gradient_type, angle,
                 centre, alpha, colors, stops, size, dest, tint):
        cdef dict capi = raylib.__pyx_capi__
        self.begin_shader = <BeginShaderFn>function(capi, "begin_zvshader_mode")
        self.draw_texture_pro = <DrawTextureProFn>function(capi, "draw_texture_pro")
        self.end_shader = <EndFn>function(capi, "end_shader_mode")
        self.set_vec2_tuple = <SetVec2TupleFn>function(capi, "set_zvshader_value_vec2_tuple")
        self.set_float = <SetFloatFn>function(capi, "set_zvshader_value_float")
        self.set_int = <SetIntFn>function(capi, "set_zvshader_value_int")
        self.set_vec4_v = <SetVec4ArrayFn>function(capi, "set_zvshader_value_vec4_v")
        self.set_float_v = <SetFloatArrayFn>function(capi, "set_zvshader_value_float_v")
        self.set_vec2_zvvec = <SetVec2VectorFn>function(capi, "set_zvshader_value_vec2_zvvec")
        cdef GetLocFn get_loc = <GetLocFn>function(capi, "get_zvshader_location")
        # The shader type's operation table: its one static entry compiles a program.
        cdef CreateShaderFn* table = <CreateShaderFn*>PyCapsule_GetPointer(
            shader_type.__dict__["__pyx_vtable__"], NULL)
        cdef PyObject* made = table[0](<PyObject*>vertex, <PyObject*>fragment)
        if made == NULL:
            raise RuntimeError("shader creation failed")
        self.shader = <object>made
        Py_XDECREF(made)
        for i, name in enumerate(UNIFORMS):
            self.locs[i] = get_loc(<PyObject*>self.shader, <PyObject*>name)
            if self.locs[i] == -1 and PyErr_Occurred_():
                raise RuntimeError("location lookup failed")
        self.texture = texture
        self.gradient_type = gradient_type
        self.angle = angle
        self.centre = centre
        self.alpha = alpha
        for c in colors:
            self.colors.push_back(Vector4(c[0], c[1], c[2], c[3]))
        for s in stops:
            self.stops.push_back(s)
        self.count = <int32_t>self.colors.size()
        self.size = size
        self.source = (0, 0, 1, 1)
        self.dest = dest
        self.origin = (0, 0)
        self.tint = tint

    cdef int once(self) except -1:
        cdef PyObject* shader = <PyObject*>self.shader
        if self.set_int(shader, self.locs[0], self.gradient_type) < 0: return -1
        if self.set_float(shader, self.locs[1], self.angle) < 0: return -1
        if self.set_vec2_tuple(shader, self.locs[2], <PyObject*>self.centre) < 0: return -1
        if self.set_int(shader, self.locs[3], self.count) < 0: return -1
        if self.set_float(shader, self.locs[4], self.alpha) < 0: return -1
        if self.set_vec4_v(shader, self.locs[5], self.colors.data(), self.colors.size()) < 0:
            return -1
        if self.set_float_v(shader, self.locs[6], self.stops.data(), self.stops.size()) < 0:
            return -1
        if self.set_vec2_zvvec(shader, self.locs[7], <PyObject*>self.size) < 0: return -1
        cdef PyObject* mode = self.begin_shader(shader)
        if mode == NULL: return -1
        Py_XDECREF(mode)
        if self.draw_texture_pro(<PyObject*>self.texture, <PyObject*>self.source,
                                 <PyObject*>self.dest, <PyObject*>self.origin, 0.0,
                                 <PyObject*>self.tint) < 0:
            return -1
        if self.end_shader() < 0: return -1
        return 0

    def loop(self, Py_ssize_t times):
        """Seconds for `times` runs of the call sequence."""
        cdef Py_ssize_t i
        start = time.perf_counter()
        for i in range(times):
            self.once()
        return time.perf_counter() - start


def draw_loop(gradient, Py_ssize_t times):
    """Seconds for `times` calls of gradient.draw(0.0, 0.0, 1.0, 1.0) (its parameters are floats),
    made the way the interpreter makes a method call: through the method's vectorcall, with no
    bound-method object and no argument tuple."""
    cdef Py_ssize_t i
    cdef object name = "draw"
    cdef object zero = 0.0, one = 1.0
    cdef PyObject* args[5]
    args[0] = <PyObject*>gradient
    args[1] = <PyObject*>zero
    args[2] = <PyObject*>zero
    args[3] = <PyObject*>one
    args[4] = <PyObject*>one
    start = time.perf_counter()
    for i in range(times):
        PyObject_VectorcallMethod(name, args, 5, NULL)
    return time.perf_counter() - start
