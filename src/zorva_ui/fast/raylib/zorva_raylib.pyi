"""Headless OpenGL drawing for zorva_ui: render targets, shaders, blending, textured quads.

The layer draws into whichever GL context the application has current at each call (EGL or
GLX, any number of them), else into a headless EGL context of its own; LAYER.md beside this
module tells the rules. Each context is used from the thread that first used it; failures raise.
"""

import enum
from collections.abc import Buffer, Mapping, Sequence
from os import PathLike
from types import CapsuleType, ModuleType, TracebackType
from typing import (
    Any,
    Final,
    Literal,
    Protocol,
    Self,
    SupportsFloat,
    SupportsIndex,
    SupportsInt,
    TypedDict,
    final,
)

from _typeshed import structseq

from zorva_ui.fast.zvrendertex.zv_render_tex import ZvRenderTexture
from zorva_ui.fast.zvshader.zvshader import ZvShader
from zorva_ui.fast.zvvector2.zvvector2 import ZvVector2

type _Int = SupportsInt | SupportsIndex
type _Float = SupportsFloat | SupportsIndex
# A list is accepted wherever a tuple is.
type _Pair = tuple[_Float, _Float] | list[_Float]
type _Quad = tuple[_Float, _Float, _Float, _Float] | list[_Float]
# (r, g, b, a), each channel an integer 0..255.
type _Rgba = tuple[_Int, _Int, _Int, _Int] | list[_Int]
# One vec4 array item: (x, y, z, w), or a mapping with the keys "x", "y", "z" and "w".
type _Vec4 = _Quad | Mapping[str, _Float]
type _Path = str | bytes | PathLike[str] | PathLike[bytes]

WHITE: Final[tuple[int, int, int, int]]
"""The colour (255, 255, 255, 255), the tint that draws a texture as it is."""

__pyx_capi__: Final[dict[str, CapsuleType]]
"""The fourteen drawing entry points for compiled callers: function capsules named by their C
signature."""

class LayerError(RuntimeError):
    """A failure of the rendering layer itself: OpenGL, EGL or GLX, the context it draws in, or
    its drawing state (a mode ended that was not begun, drawing with nothing to draw into). A
    RuntimeError, so `except RuntimeError` catches it too; also `zorva_ui.LayerError`."""

class BlendMode(enum.IntEnum):
    """How drawn colour combines with the target, between `begin_blend_mode` and
    `end_blend_mode`."""

    BLEND_ALPHA = 0
    """Straight alpha: source x alpha + target x (1 - alpha)."""
    BLEND_ADDITIVE = 1
    """Source x alpha added to the target."""
    BLEND_MULTIPLIED = 2
    """Source times target."""
    BLEND_ADD_COLORS = 3
    """Source added to the target."""
    BLEND_SUBTRACT_COLORS = 4
    """Source subtracted from the target."""
    BLEND_ALPHA_PREMULTIPLY = 5
    """Premultiplied alpha: source + target x (1 - source alpha); what gradients are drawn
    with."""

@final
class Image:
    """RGBA8 pixels in memory, made by `gen_image_color` or `image_from_pixels`; not
    constructible from Python. A writable buffer of (height, width, 4) bytes: numpy.asarray,
    memoryview, PIL.Image.frombuffer and pygame.image.frombuffer share the pixels without a
    copy; `unload_image` raises BufferError while such a view exists."""

    def __buffer__(self, flags: int, /) -> memoryview:
        """The pixels, (height, width, 4) unsigned bytes (BufferError once unloaded)."""

    def __release_buffer__(self, buffer: memoryview, /) -> None:
        """Ends one view of the pixels."""

    def __enter__(self) -> Self:
        """The image itself; the end of the `with` block frees it."""

    def __exit__(
        self,
        exc_type: type[BaseException] | None = None,
        exc_value: BaseException | None = None,
        traceback: TracebackType | None = None,
    ) -> None:
        """Frees the image, also when the block raised (its exception propagates)."""

    @property
    def id(self) -> int:
        """Serial number of the image (the trace names images by it)."""

    @property
    def width(self) -> int:
        """Width in pixels."""

    @property
    def height(self) -> int:
        """Height in pixels."""

    @property
    def data(self) -> bytes | None:
        """A copy of the pixels, RGBA8, top row first (None once unloaded)."""

    @property
    def loaded(self) -> bool:
        """False once `unload_image` freed the pixels."""

    def __repr__(self) -> str:
        """The serial number, the size and whether the pixels are loaded."""

@final
class Texture:
    """A GL texture made by `load_texture_from_image`; released by `unload_texture` or when
    the object goes away. Samples with nearest filtering, clamped to the edge."""

    @property
    def id(self) -> int:
        """GL texture name, in the context it was loaded in."""

    @property
    def width(self) -> int:
        """Width in pixels."""

    @property
    def height(self) -> int:
        """Height in pixels."""

    @property
    def mipmaps(self) -> int:
        """Number of mipmap levels (1)."""

    @property
    def format(self) -> int:
        """Pixel format: 7, RGBA8."""

    @property
    def loaded(self) -> bool:
        """False once released."""

    def __repr__(self) -> str:
        """The GL name, the size and whether it is loaded."""

    def __enter__(self) -> Self:
        """The texture itself; the end of the `with` block releases it."""

    def __exit__(
        self,
        exc_type: type[BaseException] | None = None,
        exc_value: BaseException | None = None,
        traceback: TracebackType | None = None,
    ) -> None:
        """Releases the texture, also when the block raised (its exception propagates)."""

@final
class RenderTarget(structseq[int], tuple[int, int, int, int]):
    """Handle of a render texture's framebuffer, as `begin_texture_mode` takes it:
    (id, texture_id, width, height)."""

    __match_args__: Final = ("id", "texture_id", "width", "height")

    @property
    def id(self) -> int:
        """The layer's name of the render texture."""

    @property
    def texture_id(self) -> int:
        """GL name of the colour texture."""

    @property
    def width(self) -> int:
        """Width in pixels."""

    @property
    def height(self) -> int:
        """Height in pixels."""

@final
class DrawingMode:
    """A begun drawing mode, as the `begin_*` functions return it (one object per kind, made
    once): `with begin_texture_mode(target):` ends the mode at the end of the block."""

    @property
    def name(
        self,
    ) -> Literal["texture_mode", "shader_mode", "blend_mode", "drawing", "scissor_mode", "mode_2d"]:
        """Which mode: the suffix of its begin_ and end_ calls ("texture_mode", "shader_mode",
        "blend_mode", "drawing", "scissor_mode" or "mode_2d")."""

    def __enter__(self) -> Self:
        """The mode itself; the block draws in it."""

    def __exit__(
        self,
        exc_type: type[BaseException] | None = None,
        exc_value: BaseException | None = None,
        traceback: TracebackType | None = None,
    ) -> None:
        """Ends the mode, also when the block raised (its exception propagates)."""

    def __repr__(self) -> str:
        """The mode and how it ends."""

class _KnownContext(TypedDict):
    context: str
    handle: str
    renderer: str
    version: str
    current: bool
    alive: bool
    share_group: int
    thread: int

class _ContextInfo(TypedDict):
    context: str
    renderer: str
    version: str
    startup_seconds: float
    max_texture_size: int
    contexts: list[_KnownContext]
    current: int | None
    error: str | None

def begin_zvshader_mode(shader: ZvShader) -> DrawingMode:
    """Draws with `shader` until `end_shader_mode` or the end of a `with` block over the
    returned mode."""

def get_zvshader_location(shader: ZvShader, name: str) -> int:
    """Location of the uniform `name` in the shader (-1 when it has none)."""

def draw_texture_pro(
    texture: Texture | ZvRenderTexture,
    source: _Quad,
    dest: _Quad,
    origin: _Pair,
    rotation: _Float,
    tint: _Rgba,
) -> None:
    """Draws the `source` rectangle (x, y, width, height in texture pixels; a negative width or
    height mirrors) of a texture into the `dest` rectangle of the current target, rotated by
    `rotation` degrees about `origin` (relative to dest's corner), colours times `tint`."""

def begin_texture_mode(target: ZvRenderTexture | RenderTarget) -> DrawingMode:
    """Draws into a render texture (or its framebuffer handle) until `end_texture_mode` or the
    end of a `with` block over the returned mode."""

def end_texture_mode() -> None:
    """Goes back to the target drawn into before `begin_texture_mode`."""

def end_shader_mode() -> None:
    """Goes back to the shader used before `begin_zvshader_mode`."""

def end_blend_mode() -> None:
    """Goes back to the blend mode used before `begin_blend_mode`."""

def begin_blend_mode(mode: _Int) -> DrawingMode:
    """Blends with a `BlendMode` until `end_blend_mode` or the end of a `with` block over the
    returned mode; another value raises ValueError."""

def set_zvshader_value_vec2_tuple(shader: ZvShader, loc: _Int, value: _Pair) -> None:
    """Sets the vec2 uniform at `loc` from (x, y)."""

def set_zvshader_value_float(shader: ZvShader, loc: _Int, value: _Float) -> None:
    """Sets the float uniform at `loc`."""

def set_zvshader_value_int(shader: ZvShader, loc: _Int, value: _Int) -> None:
    """Sets the int uniform at `loc`."""

def set_zvshader_value_vec4_v(shader: ZvShader, loc: _Int, values: Sequence[_Vec4]) -> None:
    """Sets the vec4 array uniform at `loc`, one item per element: (x, y, z, w) or a dict with
    those keys. `values` is a list or a tuple."""

def set_zvshader_value_float_v(shader: ZvShader, loc: _Int, values: Sequence[_Float]) -> None:
    """Sets the float array uniform at `loc`. `values` is a list or a tuple."""

def set_zvshader_value_vec2_zvvec(shader: ZvShader, loc: _Int, value: ZvVector2) -> None:
    """Sets the vec2 uniform at `loc` from a vector."""

def gen_image_color(width: _Int, height: _Int, color: _Rgba) -> Image:
    """A width x height image of one (r, g, b, a) colour; sides 1..16384."""

def image_from_pixels(width: _Int, height: _Int, pixels: Buffer) -> Image:
    """A width x height image holding a copy of RGBA8 `pixels`, top row first, from any
    C-contiguous buffer of exactly width * height * 4 bytes (bytes, bytearray, a numpy array);
    sides 1..16384."""

def load_texture_from_image(image: Image, /) -> Texture:
    """A GL texture holding the image's pixels."""

def unload_image(image: Image, /) -> None:
    """Frees the image's pixels (`loaded` becomes False)."""

def unload_texture(texture: Texture, /) -> None:
    """Releases the GL texture (`loaded` becomes False)."""

def write_png(render_texture: ZvRenderTexture, path: _Path, unpremultiply: object = False) -> None:
    """Writes the render texture's pixels to a PNG file (8-bit RGBA), top row first, deflated.
    With a true `unpremultiply`, premultiplied colours (what premultiplied blending leaves in
    the texture) are divided by alpha first, since PNG stores straight alpha. Raises OSError
    when the file cannot be written."""

def _encode_png(pixels: Buffer, width: _Int, height: _Int, stored: object = False) -> bytes:
    """The encoder of `write_png` alone: the PNG file of width x height RGBA8 `pixels` (a
    C-contiguous buffer, top row first). A true `stored` gives the first, uncompressed encoder,
    the baseline of the PNG benchmark."""

def trace_start() -> None:
    """Starts recording one tuple per drawing call (and per object the layer makes)."""

def trace_stop() -> list[tuple[Any, ...]]:
    """Stops recording; returns the records in call order."""

def context_info() -> _ContextInfo:
    """Which context the layer draws in now (an adopted EGL or GLX one, or its own headless EGL
    one), renderer, GL version, start-up time in seconds and the largest texture side (sets the
    context up at its first call there); `contexts`, every context the layer knows, `current`,
    the index of the one it draws in now, and `error`, why it cannot draw now (None when it
    can). Never raises for the context's sake."""

class _Point(Protocol):
    @property
    def x(self) -> _Float: ...
    @property
    def y(self) -> _Float: ...

class _Camera2D(Protocol):
    """raylib's Camera2D, or any object with the same four fields."""

    @property
    def offset(self) -> _Point | _Pair: ...
    @property
    def target(self) -> _Point | _Pair: ...
    @property
    def rotation(self) -> _Float: ...
    @property
    def zoom(self) -> _Float: ...

# The earlier name of the type the frame scope, scissor and camera modes return.
ModeScope = DrawingMode

def begin_drawing() -> DrawingMode:
    """Opens a frame scope: in an adopted context the host's GL state is saved once, at the
    first draw, and put back by `end_drawing`, instead of around every call."""

def end_drawing() -> None:
    """Ends the frame scope; the host's GL state is put back."""

def begin_scissor_mode(x: _Int, y: _Int, width: _Int, height: _Int) -> DrawingMode:
    """Clips every draw to the box (pixels of the target, y down) until `end_scissor_mode`;
    nested boxes intersect, and the host's own clip still applies in its framebuffer."""

def end_scissor_mode() -> None:
    """Goes back to the clip box used before `begin_scissor_mode`."""

def begin_mode_2d(camera: _Camera2D, /) -> DrawingMode:
    """Draws through a 2D camera until `end_mode_2d`: a point p lands at
    offset + zoom * rotate(rotation degrees, clockwise on screen) * (p - target)."""

def end_mode_2d() -> None:
    """Goes back to the camera used before `begin_mode_2d`."""

def attach_host(module: ModuleType, /) -> None:
    """Draws in step with raylib's bindings (the `pyray` or `raylib` module): each draw into
    raylib's framebuffer first submits raylib's batched draws and follows its camera and
    projection. TypeError for anything but those modules."""
