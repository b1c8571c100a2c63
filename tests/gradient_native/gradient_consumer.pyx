# distutils: language = c++
# A compiled caller of the gradient classes: reads their fields and calls the colour update
# natively, through the declarations the package ships.

from libcpp.vector cimport vector

from zorva_ui.fast.zvraygrad.zvraygrad cimport ClickGradient, GradientRaylib, Vector4


def update_colors(GradientRaylib g not None, colors):
    # Dispatches through g's own operation table, whatever its actual class.
    g._update_colors(colors)


def update_colors_click(ClickGradient g not None, colors):
    g._update_colors(colors)


def update_colors_times(GradientRaylib g not None, list colors, int times):
    cdef int i
    for i in range(times):
        g._update_colors(colors)


def colors(GradientRaylib g not None):
    cdef Vector4 c
    return [(c.x, c.y, c.z, c.w) for c in g._colors]


def stops(GradientRaylib g not None):
    cdef float s
    return [s for s in g._stops]


def weights(ClickGradient g not None):
    cdef float w
    return [w for w in g.weights]


def scalar_fields(GradientRaylib g not None):
    return (g.raw_colors, g._transparency, g._angle, g._center, g.type)


def sizes(GradientRaylib g not None):
    return (g._colors.size(), g._stops.size())


def set_fields(GradientRaylib g not None, int transparency, float angle):
    g._transparency = transparency
    g._angle = angle


def add_stop(GradientRaylib g not None, float value):
    # Native growth of a vector the module owns: the module must free it with the object.
    g._stops.push_back(value)
