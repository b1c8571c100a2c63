"""The host application's side of the scenarios, which run in subprocesses (the layer chooses its
context once per process): raw GL and EGL through ctypes, the GL state the layer must hand back,
a host scene drawn with raw GL calls, and the JSON report a scenario prints.

Raw calls, not moderngl's, set and read the host state: moderngl caches some state and sets
what it needs before each of its draws, which would hide state the layer failed to restore."""

import ctypes
import hashlib
import json
import sys
import traceback

import numpy as np

# ---- GL and EGL entry points -------------------------------------------------------------

GL_TRIANGLES = 0x0004
GL_DEPTH_BUFFER_BIT, GL_STENCIL_BUFFER_BIT, GL_COLOR_BUFFER_BIT = 0x100, 0x400, 0x4000
GL_ZERO, GL_ONE = 0, 1
GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA = 0x0302, 0x0303
GL_DST_ALPHA, GL_ONE_MINUS_DST_COLOR = 0x0304, 0x0307
GL_FUNC_ADD, GL_MAX, GL_FUNC_REVERSE_SUBTRACT = 0x8006, 0x8008, 0x800B
GL_LESS, GL_EQUAL, GL_KEEP = 0x0201, 0x0202, 0x1E00
GL_BACK, GL_FRONT_AND_BACK, GL_CCW = 0x0405, 0x0408, 0x0901
GL_LINE, GL_FILL = 0x1B01, 0x1B02
GL_CULL_FACE, GL_DEPTH_TEST, GL_STENCIL_TEST = 0x0B44, 0x0B71, 0x0B90
GL_BLEND, GL_SCISSOR_TEST = 0x0BE2, 0x0C11
GL_COLOR_LOGIC_OP, GL_LOGIC_OP_MODE, GL_COPY, GL_XOR = 0x0BF2, 0x0BF0, 0x1503, 0x1506
GL_CLIP_DISTANCE0, CLIP_DISTANCES = 0x3000, 8
GL_TEXTURE_2D, GL_TEXTURE0 = 0x0DE1, 0x84C0
GL_UNSIGNED_BYTE, GL_UNSIGNED_SHORT, GL_RGB, GL_RGBA = 0x1401, 0x1403, 0x1907, 0x1908
GL_PACK_ALIGNMENT, GL_UNPACK_ALIGNMENT = 0x0D05, 0x0CF5
GL_ARRAY_BUFFER, GL_ELEMENT_ARRAY_BUFFER = 0x8892, 0x8893
GL_FRAMEBUFFER, GL_READ_FRAMEBUFFER, GL_DRAW_FRAMEBUFFER = 0x8D40, 0x8CA8, 0x8CA9
GL_RENDERBUFFER, GL_DEPTH24_STENCIL8 = 0x8D41, 0x88F0
GL_COLOR_ATTACHMENT0, GL_DEPTH_STENCIL_ATTACHMENT = 0x8CE0, 0x821A
GL_FRAMEBUFFER_COMPLETE = 0x8CD5

_u, _i, _f, _p = ctypes.c_uint, ctypes.c_int, ctypes.c_float, ctypes.c_void_p
_GL_SIGNATURES = {
    "glGetError": (_u, []),
    "glGenTextures": (None, [_i, _p]),
    "glIsTexture": (ctypes.c_ubyte, [_u]),
    "glIsFramebuffer": (ctypes.c_ubyte, [_u]),
    "glGetString": (ctypes.c_char_p, [_u]),
    "glGetIntegerv": (None, [_u, _p]),
    "glGetBooleanv": (None, [_u, _p]),
    "glGetFloatv": (None, [_u, _p]),
    "glIsEnabled": (ctypes.c_ubyte, [_u]),
    "glEnable": (None, [_u]),
    "glDisable": (None, [_u]),
    "glBindFramebuffer": (None, [_u, _u]),
    "glViewport": (None, [_i, _i, _i, _i]),
    "glScissor": (None, [_i, _i, _i, _i]),
    "glBlendFuncSeparate": (None, [_u, _u, _u, _u]),
    "glBlendEquationSeparate": (None, [_u, _u]),
    "glDepthFunc": (None, [_u]),
    "glDepthMask": (None, [ctypes.c_ubyte]),
    "glStencilFunc": (None, [_u, _i, _u]),
    "glStencilOp": (None, [_u, _u, _u]),
    "glStencilMask": (None, [_u]),
    "glCullFace": (None, [_u]),
    "glFrontFace": (None, [_u]),
    "glColorMask": (None, [ctypes.c_ubyte] * 4),
    "glPolygonMode": (None, [_u, _u]),
    "glLogicOp": (None, [_u]),
    "glDrawBuffers": (None, [_i, _p]),
    "glReadBuffer": (None, [_u]),
    "glPixelStorei": (None, [_u, _i]),
    "glClearColor": (None, [_f] * 4),
    "glClearDepth": (None, [ctypes.c_double]),
    "glClearStencil": (None, [_i]),
    "glClear": (None, [_u]),
    "glUseProgram": (None, [_u]),
    "glBindVertexArray": (None, [_u]),
    "glBindBuffer": (None, [_u, _u]),
    "glBufferSubData": (None, [_u, ctypes.c_ssize_t, ctypes.c_ssize_t, _p]),
    "glActiveTexture": (None, [_u]),
    "glBindTexture": (None, [_u, _u]),
    "glTexSubImage2D": (None, [_u, _i, _i, _i, _i, _i, _u, _u, _p]),
    "glDrawElements": (None, [_u, _i, _u, _p]),
    "glReadPixels": (None, [_i, _i, _i, _i, _u, _u, _p]),
    "glGenFramebuffers": (None, [_i, _p]),
    "glFramebufferTexture2D": (None, [_u, _u, _u, _u, _i]),
    "glGenRenderbuffers": (None, [_i, _p]),
    "glBindRenderbuffer": (None, [_u, _u]),
    "glRenderbufferStorage": (None, [_u, _u, _i, _i]),
    "glFramebufferRenderbuffer": (None, [_u, _u, _u, _u]),
    "glCheckFramebufferStatus": (_u, [_u]),
    "glFinish": (None, []),
}


class _Library:
    """A shared library whose functions get their signatures at first use (so importing this
    module loads nothing)."""

    def __init__(self, names, signatures):
        self._names, self._signatures, self._lib = names, signatures, None

    def __getattr__(self, fn):
        if self._lib is None:
            for name in self._names:
                try:
                    self._lib = ctypes.CDLL(name)
                    break
                except OSError:
                    continue
            else:
                raise OSError(f"none of {self._names} can be loaded")
        f = getattr(self._lib, fn)
        f.restype, f.argtypes = self._signatures[fn]
        setattr(self, fn, f)
        return f


# Both dispatch to whatever context is current on the calling thread.
gl = _Library(["libOpenGL.so.0", "libGL.so.1"], _GL_SIGNATURES)
egl = _Library(
    ["libEGL.so.1"],
    {
        "eglGetCurrentContext": (_p, []),
        "eglGetCurrentDisplay": (_p, []),
        "eglGetCurrentSurface": (_p, [_i]),
        "eglMakeCurrent": (_u, [_p, _p, _p, _p]),
        "eglGetError": (_i, []),
        "eglGetProcAddress": (_p, [ctypes.c_char_p]),
        "eglInitialize": (_u, [_p, _p, _p]),
        "eglChooseConfig": (_u, [_p, _p, _p, _i, _p]),
        "eglBindAPI": (_u, [_u]),
        "eglCreateContext": (_p, [_p, _p, _p, _p]),
        "eglCreatePbufferSurface": (_p, [_p, _p, _p]),
        "eglDestroyContext": (_u, [_p, _p]),
    },
)
EGL_DRAW, EGL_READ = 0x3059, 0x305A


def egl_current():
    """(display, draw surface, read surface, context) current on this thread, 0 for none."""
    return (
        egl.eglGetCurrentDisplay() or 0,
        egl.eglGetCurrentSurface(EGL_DRAW) or 0,
        egl.eglGetCurrentSurface(EGL_READ) or 0,
        egl.eglGetCurrentContext() or 0,
    )


def make_current(binding):
    """Makes a binding from `egl_current()` current again."""
    display, draw, read, context = binding
    if not egl.eglMakeCurrent(display, draw, read, context):
        raise OSError(f"eglMakeCurrent failed: 0x{egl.eglGetError():x}")


def release_current():
    """Leaves nothing current on this thread."""
    display = egl.eglGetCurrentDisplay()
    if display and not egl.eglMakeCurrent(display, None, None, None):
        raise OSError(f"eglMakeCurrent failed: 0x{egl.eglGetError():x}")


def _egl_context(display, config_attributes, api, context_attributes):
    config, count = _p(), _i()
    ok = (
        egl.eglInitialize(display, None, None)
        and egl.eglChooseConfig(
            display, config_attributes, ctypes.byref(config), 1, ctypes.byref(count)
        )
        and count.value
        and egl.eglBindAPI(api)
    )
    context = ok and egl.eglCreateContext(display, config, None, context_attributes)
    if not context:
        raise OSError(f"no EGL context: 0x{egl.eglGetError():x}")
    return config.value, context


def _platform_display(platform, native):
    get_display = ctypes.CFUNCTYPE(_p, _i, _p, _p)(
        egl.eglGetProcAddress(b"eglGetPlatformDisplayEXT")
    )
    return get_display(platform, native, None)


def make_es_context():
    """Makes an OpenGL ES 3 context current (surfaceless, as moderngl's are)."""
    display = _platform_display(0x31DD, None)  # the surfaceless platform
    renderable_es3 = (_i * 5)(0x3040, 0x0040, 0x3033, 0, 0x3038)
    _, context = _egl_context(display, renderable_es3, 0x30A0, (_i * 3)(0x3098, 3, 0x3038))
    make_current((display, None, None, context))


def make_pbuffer_context():
    """Makes an OpenGL 3.3 core context current with two pbuffers, one to draw to and one to
    read from, on the first EGL device's display; returns `egl_current()`."""
    query = ctypes.CFUNCTYPE(_i, _i, _p, _p)(egl.eglGetProcAddress(b"eglQueryDevicesEXT"))
    devices, count = (_p * 4)(), _i()
    query(4, devices, ctypes.byref(count))
    display = _platform_display(0x313F, devices[0])  # the device platform
    opengl_pbuffer = (_i * 5)(0x3040, 0x0008, 0x3033, 0x0001, 0x3038)
    core_33 = (_i * 7)(0x3098, 3, 0x30FB, 3, 0x30FD, 1, 0x3038)
    config, context = _egl_context(display, opengl_pbuffer, 0x30A2, core_33)
    size = (_i * 5)(0x3057, 8, 0x3056, 8, 0x3038)
    draw = egl.eglCreatePbufferSurface(display, config, size)
    read = egl.eglCreatePbufferSurface(display, config, size)
    make_current((display, draw, read, context))
    return egl_current()


def ints(pname, count=1):
    out = (ctypes.c_int * count)(*([-12345] * count))
    gl.glGetIntegerv(pname, out)
    return list(out)


def bools(pname, count):
    out = (ctypes.c_ubyte * count)()
    gl.glGetBooleanv(pname, out)
    return [bool(v) for v in out]


def floats(pname, count):
    out = (ctypes.c_float * count)()
    gl.glGetFloatv(pname, out)
    return [round(v, 6) for v in out]


def unit_textures(unit):
    """The 2D and buffer textures bound on a texture unit; the active unit is left as it was."""
    active = ints(0x84E0)[0]
    gl.glActiveTexture(GL_TEXTURE0 + unit)
    try:
        return ints(0x8069) + ints(0x8C2C)
    finally:
        gl.glActiveTexture(active)


# ---- The state the layer must hand back ---------------------------------------------------

# Name -> how to read it. Polygon mode asks for two values (front and back) though a core
# profile may fill only one; the untouched slot keeps its marker both times.
STATE = {
    "program": lambda: ints(0x8B8D),
    "vertex array": lambda: ints(0x85B5),
    "array buffer": lambda: ints(0x8894),
    "element buffer": lambda: ints(0x8895),
    "active texture": lambda: ints(0x84E0),
    "texture binding": lambda: ints(0x8069),
    # Unit 1 holds the layer's gradient ramps while it draws.
    "unit 1 textures": lambda: unit_textures(1),
    "read framebuffer": lambda: ints(0x8CAA),
    "draw framebuffer": lambda: ints(0x8CA6),
    "viewport": lambda: ints(0x0BA2, 4),
    "scissor box": lambda: ints(0x0C10, 4),
    "scissor test": lambda: [bool(gl.glIsEnabled(GL_SCISSOR_TEST))],
    "blend": lambda: [bool(gl.glIsEnabled(GL_BLEND))],
    "blend functions": lambda: ints(0x80C9) + ints(0x80C8) + ints(0x80CB) + ints(0x80CA),
    "blend equations": lambda: ints(0x8009) + ints(0x883D),
    "depth test": lambda: [bool(gl.glIsEnabled(GL_DEPTH_TEST))],
    "stencil test": lambda: [bool(gl.glIsEnabled(GL_STENCIL_TEST))],
    "cull face": lambda: [bool(gl.glIsEnabled(GL_CULL_FACE))],
    "colour mask": lambda: bools(0x0C23, 4),
    "polygon mode": lambda: ints(0x0B40, 2),
    "logic op": lambda: [bool(gl.glIsEnabled(GL_COLOR_LOGIC_OP))],
    "logic op mode": lambda: ints(GL_LOGIC_OP_MODE),
    "clip distances": lambda: [
        bool(gl.glIsEnabled(GL_CLIP_DISTANCE0 + i)) for i in range(CLIP_DISTANCES)
    ],
    "pack alignment": lambda: ints(GL_PACK_ALIGNMENT),
    "unpack alignment": lambda: ints(GL_UNPACK_ALIGNMENT),
    "clear colour": lambda: floats(0x0C22, 4),
}


def capture():
    return {name: read() for name, read in STATE.items()}


def changed(before, after):
    """{item: [before, after]} for the items that differ."""
    return {k: [before[k], after[k]] for k in before if before[k] != after[k]}


# ---- The host scene -----------------------------------------------------------------------

SIZE = 32

_VS = """#version 330 core
in vec3 in_pos;
in vec2 in_uv;
in vec3 in_col;
out vec2 uv;
out vec3 col;
void main() {
    uv = in_uv;
    col = in_col;
    gl_Position = vec4(in_pos, 1.0);
    gl_ClipDistance[0] = in_pos.x + 0.5;  // with clip distance 0 on, the left quarter goes
}
"""
_FS = """#version 330 core
uniform sampler2D tex;
in vec2 uv;
in vec3 col;
out vec4 color;
void main() { color = vec4(texture(tex, uv).rgb * col, 0.75); }
"""

# Triangle A winds counter-clockwise and lies nearer (z -0.5); B winds clockwise, lies farther
# (z 0.5), is drawn second and overlaps A's upper-right part. So depth test, culling, blending
# and polygon mode each change the picture.
_VERTICES = np.array(
    [
        [-0.9, -0.9, -0.5, 0.0, 0.0, 1.0, 0.5, 0.25],
        [0.9, -0.9, -0.5, 1.0, 0.0, 1.0, 0.5, 0.25],
        [-0.9, 0.9, -0.5, 0.0, 1.0, 1.0, 0.5, 0.25],
        [-0.7, -0.3, 0.5, 0.0, 0.0, 0.25, 0.5, 1.0],
        [0.3, 0.9, 0.5, 0.5, 1.0, 0.25, 0.5, 1.0],
        [0.9, -0.5, 0.5, 1.0, 0.0, 0.25, 0.5, 1.0],
    ],
    dtype="f4",
)
_INDICES = np.arange(6, dtype="u2")
# A 3x2 RGB texture: rows of 9 bytes, so the unpack alignment decides where row 2 starts.
_TEXELS = [[(255, 0, 0), (0, 255, 0), (0, 0, 255)], [(255, 255, 0), (0, 255, 255), (255, 0, 255)]]

BASE = dict(
    unit=2,
    viewport=(0, 0, SIZE, SIZE),
    scissor_box=(1, 2, 3, 4),
    scissor=False,
    blend=False,
    blend_functions=(GL_ONE, GL_ZERO, GL_ONE, GL_ZERO),
    blend_equations=(GL_FUNC_ADD, GL_FUNC_ADD),
    depth=False,
    stencil=False,
    cull=False,
    colour_mask=(1, 1, 1, 1),
    polygon=GL_FILL,
    logic_op=False,
    logic_op_mode=GL_COPY,
    clip_distances=False,
    unpack=4,
    pack=4,
    clear_colour=(0.1, 0.2, 0.3, 0.4),
)

# The scenes: each makes the host's picture depend on one more item of the state. "base" holds
# the bindings every scene makes (program, vertex array, buffers, texture unit 2 and its
# texture, distinct read and draw framebuffers) and GL's defaults for the rest.
SCENES = {
    "base": {},
    "texture unit 0": dict(unit=0),
    "texture unit 1": dict(unit=1),
    "viewport": dict(viewport=(4, 6, 20, 16)),
    "scissor": dict(scissor=True, scissor_box=(3, 5, 17, 11)),
    "blend": dict(
        blend=True,
        blend_functions=(GL_ONE_MINUS_DST_COLOR, GL_SRC_ALPHA, GL_DST_ALPHA, GL_ONE),
        blend_equations=(GL_FUNC_REVERSE_SUBTRACT, GL_MAX),
    ),
    "depth test": dict(depth=True),
    "stencil test": dict(stencil=True),
    "cull face": dict(cull=True),
    "colour mask": dict(colour_mask=(1, 0, 1, 1)),
    "polygon mode": dict(polygon=GL_LINE),
    "logic op": dict(logic_op=True, logic_op_mode=GL_XOR),
    "clip distances": dict(clip_distances=True),
    "pixel alignment": dict(unpack=1, pack=8),
    "clear colour": dict(clear_colour=(0.9, 0.1, 0.5, 1.0)),
}
SCENES["everything"] = {k: v for scene in SCENES.values() for k, v in scene.items()}


def _aligned(n, alignment):
    return (n + alignment - 1) // alignment * alignment


class HostScene:
    """The host's objects (made with moderngl, drawn with raw GL) in a `SIZE` square target
    with depth and stencil, plus a small framebuffer that the host reads from."""

    def __init__(self, ctx):
        import moderngl

        self.ctx = ctx
        self.program = ctx.program(vertex_shader=_VS, fragment_shader=_FS)
        # The vertices arrive with each draw, through whatever buffer is bound then; the
        # indices stay in the vertex array's element buffer.
        self.vbo = ctx.buffer(reserve=_VERTICES.nbytes)
        self.ebo = ctx.buffer(_INDICES.tobytes())
        self.vao = ctx.vertex_array(
            self.program,
            [(self.vbo, "3f 2f 3f", "in_pos", "in_uv", "in_col")],
            index_buffer=self.ebo,
            index_element_size=2,
        )
        self.texture = ctx.texture((3, 2), 3)
        self.texture.filter = (moderngl.NEAREST, moderngl.NEAREST)
        self.colour = ctx.texture((SIZE, SIZE), 4)
        self.draw_fb = self._framebuffer_with_depth_stencil(self.colour.glo)
        self.read_source = ctx.texture((4, 4), 3)
        self.read_fb = ctx.framebuffer(color_attachments=[self.read_source])
        self.spare_buffer = ctx.buffer(reserve=64)
        self.spare_texture = ctx.texture((1, 1), 3)

    def _bind_on_unit_1(self):
        active = ints(0x84E0)[0]
        gl.glActiveTexture(GL_TEXTURE0 + 1)
        gl.glBindTexture(GL_TEXTURE_2D, self.spare_texture.glo)
        gl.glActiveTexture(active)

    def faults(self):
        """Item -> a raw GL call that changes just that item from whatever it is (what a layer
        that forgot to restore it would leave behind)."""

        def toggle(cap):
            return lambda: (gl.glDisable if gl.glIsEnabled(cap) else gl.glEnable)(cap)

        def other(values, a, b):
            return b if values == a else a

        return {
            "program": lambda: gl.glUseProgram(0),
            "vertex array": lambda: gl.glBindVertexArray(0),
            "array buffer": lambda: gl.glBindBuffer(GL_ARRAY_BUFFER, self.spare_buffer.glo),
            "element buffer": lambda: gl.glBindBuffer(
                GL_ELEMENT_ARRAY_BUFFER, self.spare_buffer.glo
            ),
            "active texture": lambda: gl.glActiveTexture(GL_TEXTURE0 + 5),
            "texture binding": lambda: gl.glBindTexture(GL_TEXTURE_2D, self.spare_texture.glo),
            "unit 1 textures": self._bind_on_unit_1,
            "read framebuffer": lambda: gl.glBindFramebuffer(GL_READ_FRAMEBUFFER, self.draw_fb),
            "draw framebuffer": lambda: gl.glBindFramebuffer(GL_DRAW_FRAMEBUFFER, self.read_fb.glo),
            "viewport": lambda: gl.glViewport(0, 0, 16, 16),
            "scissor box": lambda: gl.glScissor(0, 0, 8, 8),
            "scissor test": toggle(GL_SCISSOR_TEST),
            "blend": toggle(GL_BLEND),
            "blend functions": lambda: gl.glBlendFuncSeparate(
                GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA, GL_ONE, GL_ONE_MINUS_SRC_ALPHA
            ),
            "blend equations": lambda: gl.glBlendEquationSeparate(GL_FUNC_ADD, GL_FUNC_ADD),
            "depth test": toggle(GL_DEPTH_TEST),
            "stencil test": toggle(GL_STENCIL_TEST),
            "cull face": toggle(GL_CULL_FACE),
            "colour mask": lambda: gl.glColorMask(
                *other(STATE["colour mask"](), [True] * 4, [True, True, True, False])
            ),
            "polygon mode": lambda: gl.glPolygonMode(
                GL_FRONT_AND_BACK, other(STATE["polygon mode"]()[0], GL_FILL, GL_LINE)
            ),
            "pack alignment": lambda: gl.glPixelStorei(
                GL_PACK_ALIGNMENT, other(STATE["pack alignment"]()[0], 1, 4)
            ),
            "unpack alignment": lambda: gl.glPixelStorei(
                GL_UNPACK_ALIGNMENT, other(STATE["unpack alignment"]()[0], 1, 4)
            ),
            "clear colour": lambda: gl.glClearColor(0, 0, 0, 0),
            "logic op": toggle(GL_COLOR_LOGIC_OP),
            "logic op mode": lambda: gl.glLogicOp(
                other(STATE["logic op mode"]()[0], GL_COPY, GL_XOR)
            ),
            "clip distances": toggle(GL_CLIP_DISTANCE0),
        }

    def _framebuffer_with_depth_stencil(self, texture):
        fb, rb = ctypes.c_uint(), ctypes.c_uint()
        gl.glGenFramebuffers(1, ctypes.byref(fb))
        gl.glGenRenderbuffers(1, ctypes.byref(rb))
        gl.glBindRenderbuffer(GL_RENDERBUFFER, rb.value)
        gl.glRenderbufferStorage(GL_RENDERBUFFER, GL_DEPTH24_STENCIL8, SIZE, SIZE)
        gl.glBindRenderbuffer(GL_RENDERBUFFER, 0)
        gl.glBindFramebuffer(GL_FRAMEBUFFER, fb.value)
        gl.glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, texture, 0)
        gl.glFramebufferRenderbuffer(
            GL_FRAMEBUFFER, GL_DEPTH_STENCIL_ATTACHMENT, GL_RENDERBUFFER, rb.value
        )
        status = gl.glCheckFramebufferStatus(GL_FRAMEBUFFER)
        assert status == GL_FRAMEBUFFER_COMPLETE, hex(status)
        gl.glBindFramebuffer(GL_FRAMEBUFFER, 0)
        return fb.value

    def setup(self, scene):
        """Clears the target (colour, depth 1, stencil 1 on the left half, 0 elsewhere) and
        sets the whole host state of `scene` with raw GL."""
        s = dict(BASE, **SCENES[scene])
        self.state = s
        # Emptied, so that the draw shows whether its own uploads reached them; the read
        # source refilled (a wrong draw framebuffer may have drawn into it).
        self.vbo.clear()
        self.texture.write(bytes(18), alignment=1)
        self.read_source.write(bytes(range(3 * 4 * 4)), alignment=1)
        self.program["tex"].value = s["unit"]  # moderngl binds the program for this
        gl.glBindFramebuffer(GL_FRAMEBUFFER, self.draw_fb)
        gl.glDisable(GL_SCISSOR_TEST)
        gl.glColorMask(1, 1, 1, 1)
        gl.glDepthMask(1)
        gl.glStencilMask(0xFF)
        gl.glClearColor(0, 0, 0, 0)
        gl.glClearDepth(1.0)
        gl.glClearStencil(0)
        gl.glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT | GL_STENCIL_BUFFER_BIT)
        gl.glEnable(GL_SCISSOR_TEST)
        gl.glScissor(0, 0, SIZE // 2, SIZE)
        gl.glClearStencil(1)
        gl.glClear(GL_STENCIL_BUFFER_BIT)
        gl.glClearStencil(0)

        gl.glBindFramebuffer(GL_READ_FRAMEBUFFER, self.read_fb.glo)
        gl.glUseProgram(self.program.glo)
        gl.glBindVertexArray(self.vao.glo)
        gl.glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, self.ebo.glo)  # vertex array state
        gl.glBindBuffer(GL_ARRAY_BUFFER, self.vbo.glo)
        gl.glActiveTexture(GL_TEXTURE0 + s["unit"])
        gl.glBindTexture(GL_TEXTURE_2D, self.texture.glo)
        gl.glViewport(*s["viewport"])
        gl.glScissor(*s["scissor_box"])
        (gl.glEnable if s["scissor"] else gl.glDisable)(GL_SCISSOR_TEST)
        (gl.glEnable if s["blend"] else gl.glDisable)(GL_BLEND)
        gl.glBlendFuncSeparate(*s["blend_functions"])
        gl.glBlendEquationSeparate(*s["blend_equations"])
        (gl.glEnable if s["depth"] else gl.glDisable)(GL_DEPTH_TEST)
        gl.glDepthFunc(GL_LESS)
        (gl.glEnable if s["stencil"] else gl.glDisable)(GL_STENCIL_TEST)
        gl.glStencilFunc(GL_EQUAL, 1, 0xFF)
        gl.glStencilOp(GL_KEEP, GL_KEEP, GL_KEEP)
        (gl.glEnable if s["cull"] else gl.glDisable)(GL_CULL_FACE)
        gl.glCullFace(GL_BACK)
        gl.glFrontFace(GL_CCW)
        gl.glColorMask(*s["colour_mask"])
        gl.glPolygonMode(GL_FRONT_AND_BACK, s["polygon"])
        (gl.glEnable if s["logic_op"] else gl.glDisable)(GL_COLOR_LOGIC_OP)
        gl.glLogicOp(s["logic_op_mode"])
        for i in range(CLIP_DISTANCES):
            (gl.glEnable if s["clip_distances"] else gl.glDisable)(GL_CLIP_DISTANCE0 + i)
        gl.glPixelStorei(GL_UNPACK_ALIGNMENT, s["unpack"])
        gl.glPixelStorei(GL_PACK_ALIGNMENT, s["pack"])
        gl.glClearColor(*s["clear_colour"])
        gl.glFinish()

    def draw(self):
        """What the host does next, relying on the state it set: clear, fill the bound vertex
        buffer and texture, draw, read 3x2 pixels from the read framebuffer. Returns that
        read, the target's pixels (rows bottom first, as GL stores them) and the GL error."""
        s = self.state
        gl.glClear(GL_COLOR_BUFFER_BIT)
        gl.glBufferSubData(GL_ARRAY_BUFFER, 0, _VERTICES.nbytes, _VERTICES.ctypes.data)
        stride = _aligned(9, s["unpack"])
        texels = b"".join(bytes(sum(row, ())).ljust(stride, b"\x7f") for row in _TEXELS)
        gl.glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, 3, 2, GL_RGB, GL_UNSIGNED_BYTE, texels)
        gl.glDrawElements(GL_TRIANGLES, 6, GL_UNSIGNED_SHORT, None)
        read = ctypes.create_string_buffer(b"\xee" * 64, 64)
        gl.glReadPixels(0, 0, 3, 2, GL_RGB, GL_UNSIGNED_BYTE, read)
        gl.glFinish()
        error = gl.glGetError()
        return read.raw, self.target_pixels(), error

    def target_pixels(self):
        """The draw target's pixels, (SIZE, SIZE, 4), bottom row first. Changes state."""
        gl.glBindFramebuffer(GL_READ_FRAMEBUFFER, self.draw_fb)
        gl.glPixelStorei(GL_PACK_ALIGNMENT, 4)
        out = ctypes.create_string_buffer(SIZE * SIZE * 4)
        gl.glReadPixels(0, 0, SIZE, SIZE, GL_RGBA, GL_UNSIGNED_BYTE, out)
        return np.frombuffer(out.raw, np.uint8).reshape(SIZE, SIZE, 4).copy()


class ModernglScene:
    """A triangle that moderngl draws into its own framebuffer with its own calls (its caches
    of bound objects in play)."""

    _VS = "#version 330 core\nin vec2 p;\nvoid main() { gl_Position = vec4(p, 0, 1); }"
    _FS = "#version 330 core\nout vec4 c;\nvoid main() { c = vec4(1, .5, .25, 1); }"

    def __init__(self, ctx):
        program = ctx.program(vertex_shader=self._VS, fragment_shader=self._FS)
        vbo = ctx.buffer(np.array([-1, -1, 1, -1, 0, 0.8], "f4").tobytes())
        self.vao = ctx.vertex_array(program, [(vbo, "2f", "p")])
        self.fbo = ctx.simple_framebuffer((16, 16), components=4)

    def render(self):
        self.fbo.use()
        self.fbo.clear(0.1, 0.2, 0.3, 1.0)
        self.vao.render()
        return self.fbo.read(components=4)


# ---- Pictures -------------------------------------------------------------------------------


def compare(actual, expected, tolerance=2):
    """{"max": worst difference, "count": pixels beyond tolerance, "worst": (x, y, actual,
    expected)} for two (h, w, 4) arrays, top row first."""
    if actual.shape != expected.shape:
        return {"max": 999, "count": -1, "worst": f"shape {actual.shape} vs {expected.shape}"}
    diff = np.abs(actual.astype(int) - expected.astype(int))
    if not diff.size:
        return {"max": 0, "count": 0, "worst": None}
    y, x, _ = np.unravel_index(np.argmax(diff), diff.shape)
    return {
        "max": int(diff.max()),
        "count": int(np.count_nonzero(diff.max(axis=2) > tolerance)),
        "worst": [int(x), int(y), actual[y, x].tolist(), expected[y, x].tolist()],
    }


def digest(data):
    return hashlib.sha1(bytes(data)).hexdigest()[:16]


def outcome(fn):
    """Runs `fn`: its result, or "raised Type: message" (what the tests compare)."""
    try:
        return fn()
    except Exception as exc:
        return f"raised {type(exc).__name__}: {exc}"


# ---- Report -----------------------------------------------------------------------------------


def run(main):
    """Runs a scenario's `main()` and prints its result (or the failure) as the last line."""
    try:
        result = {"ok": True, **main()}
    except Exception:
        result = {"ok": False, "traceback": traceback.format_exc()}
    sys.stdout.flush()
    print("RESULT " + json.dumps(result), flush=True)


# ---- The layer ------------------------------------------------------------------------------


def layer():
    """The layer's modules (importing them touches no GL)."""
    from zorva_ui.fast.raylib import zorva_raylib as rl
    from zorva_ui.fast.zvraygrad import zvraygrad
    from zorva_ui.fast.zvrendertex.zv_render_tex import ZvRenderTexture
    from zorva_ui.fast.zvshader.zvshader import ZvShader

    return rl, zvraygrad, ZvRenderTexture, ZvShader


def pixels_of(target):
    """A render texture's pixels, (h, w, 4), top row first."""
    w, h = int(target.size.x), int(target.size.y)
    return np.frombuffer(target.read_pixels(), np.uint8).reshape(h, w, 4).copy()
