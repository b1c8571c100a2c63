"""CPU gradient renderer: the gradient picture of the shared GPU shader, painted natively.

`GradientPygame` takes the same constructor arguments as the native `GradientRaylib`, computes
the same normalised colours and stops, and renders the same picture the shader paints (the
definition is docs/gradients.md; the native model in fast/picture/gradient_model.h implements
it, and the shader follows it). A pygame backend draws with it, and the pixel tests use it as
the reference for the GPU.

`render_uniforms` is the picture as a function of the shader's uniform values alone, for callers
(and tests) that want to paint exactly what a given set of uniforms paints.

Pictures come as a numpy array (`render`, `render_uniforms`; numpy is imported at the first such
call), as bytes (`render_bytes`), written into the caller's memory (`render_into`: any writable
buffer, or a pygame Surface) or as a new pygame Surface (`surface`). Only the array needs numpy.
"""

from __future__ import annotations

import builtins
import math
import struct
import sys
import warnings
from collections.abc import Sequence

from zorva_ui.core import LINEAR_ANGLES, RADIAL_CENTERS, GradientType
from zorva_ui.fast.gradient_shader import MAX_COLORS
from zorva_ui.fast.zvpicture import zvpicture as _native

TYPE_CHECKING = False  # as typing.TYPE_CHECKING, without importing typing at start-up
if TYPE_CHECKING:
    from typing import Any, SupportsFloat, SupportsIndex, SupportsInt

    import numpy as np
    import numpy.typing as npt

    # What the native modules take as a number: anything with a float or an index conversion.
    type _Float = SupportsFloat | SupportsIndex
    type _Int = SupportsInt | SupportsIndex
    type _Rgba = tuple[float, float, float, float]
    type _U8 = npt.NDArray[np.uint8]

__all__ = ["GradientPygame", "MAX_COLORS", "compute_stops", "render_uniforms"]

_INT32_MIN = -(2**31)
_INT32_MAX = 2**31 - 1

_FLOAT32 = struct.Struct("f")

# A Surface's masks for RGBA byte order in memory on this machine.
_RGBA_MASKS = (
    (0xFF, 0xFF00, 0xFF0000, 0xFF000000)
    if sys.byteorder == "little"
    else (0xFF000000, 0xFF0000, 0xFF00, 0xFF)
)


def _f32(value: _Float) -> float:
    """A number narrowed to a 32-bit float (rounded to nearest), as a Python float."""
    x = float(value)
    try:
        narrowed: float = _FLOAT32.unpack(_FLOAT32.pack(x))[0]
        return narrowed
    except OverflowError:  # finite, but beyond the largest 32-bit float
        return math.copysign(math.inf, x)


def _to_int32(value: Any) -> int:
    """Integer conversion with the native modules' rules: an int must fit in 32 bits, any other
    object goes through int() (its __int__, else its __index__; a float truncates toward zero)."""
    if not isinstance(value, int):
        kind = type(value)
        if not (hasattr(kind, "__index__") or hasattr(kind, "__int__")):
            raise TypeError("an integer is required")
        value = int(value)
    if not _INT32_MIN <= value <= _INT32_MAX:
        raise OverflowError("value too large to convert to int")
    return int(value)


def _is_weighted(item: object) -> bool:
    return isinstance(item, tuple) and len(item) == 2 and isinstance(item[1], int | float)


def _normalised_color(color: Sequence[Any] | None) -> _Rgba:
    """A colour tuple (r, g, b, a), 0..255 each, divided by 255 and narrowed to 32 bits.
    Nothing is clamped here; the picture clamps. A tuple of fewer than four channels raises
    IndexError; channels after the fourth are ignored."""
    if color is None:
        raise TypeError("'NoneType' object is not subscriptable")
    return (
        _f32(color[0] / 255),
        _f32(color[1] / 255),
        _f32(color[2] / 255),
        _f32(color[3] / 255),
    )


def compute_stops(weights: Sequence[float]) -> list[float]:
    """Stop positions from colour weights, with the native modules' exact 32-bit steps: each
    colour owns a band proportional to its weight; a middle colour stops at the middle of its
    band, the first at 0 (or 2*b1 - 1 when its band passes the middle), the last at 1 (or
    2*b(n-1) when its band starts before the middle)."""
    return _native.compute_stops([_f32(w) for w in weights])


def render_uniforms(
    width: int,
    height: int,
    *,
    gradient_type: int,
    angle: float,
    center: Sequence[float],
    colors: Sequence[Sequence[float]],
    stops: Sequence[float],
    color_count: int,
    alpha: float,
    size: Sequence[float] | None = None,
) -> _U8:
    """The picture the shader paints into a width x height target for these uniform values:
    a uint8 array (height, width, 4), premultiplied RGBA, top row first.

    `colors` are normalised (0..1) RGBA records; `size` defaults to (width, height), the value
    the gradient module sends. `color_count` is clamped to 0..MAX_COLORS like in the shader;
    `colors` and `stops` must hold at least that many entries."""
    import numpy as np

    width, height = int(width), int(height)
    if width < 0 or height < 0:
        raise ValueError(f"width and height must not be negative, got {width}x{height}")
    out = np.empty((height, width, 4), dtype=np.uint8)  # every pixel is painted
    _native.paint(
        out,
        width,
        height,
        int(gradient_type),
        angle,
        center,
        colors,
        stops,
        int(color_count),
        alpha,
        size,
    )
    return out


def _pygame_target(surface: Any) -> tuple[Any, int, str]:
    """The pixels of a 32-bit pygame Surface as a writable buffer, its pitch, and the byte order
    of its red, green, blue and alpha (or unused) bytes."""
    if surface.get_bytesize() != 4:
        raise ValueError(
            f"the surface has {surface.get_bytesize()} bytes a pixel; gradients are painted "
            "into 32-bit surfaces"
        )
    shifts = surface.get_shifts()[:3]
    orders = {(0, 8, 16): "RGBA", (16, 8, 0): "BGRA"}
    if shifts not in orders:
        raise ValueError(
            f"the surface's channels sit at bit shifts {shifts} (red, green, blue); "
            "gradients are painted in RGBA or BGRA byte order"
        )
    return surface.get_buffer(), surface.get_pitch(), orders[shifts]


class GradientPygame:
    """A colour gradient rendered on the CPU.

    Arguments as `GradientRaylib`'s: `colors` a list of (r, g, b, a) tuples (0..255) or of
    ((r, g, b, a), weight) pairs; `type` a `GradientType` (anything but `GradientType.Linear`
    paints radially); `direction` a named direction (an enum member whose `name` is in the
    linear or radial direction table), a number (linear angle) or an (x, y) tuple (radial
    centre); explicit `angle` and `center` override it; `transparency` 0..255, default 255.

    `render` paints like `generate_texture` (alpha 1.0, transparency not applied); pass
    `alpha=g.draw_alpha` to get what `ClickGradient.draw` paints over a transparent target."""

    __slots__ = (
        "raw_colors",
        "type",
        "_angle",
        "_center",
        "_transparency",
        "_colors",
        "_stops",
        "_ramp",
    )

    def __init__(
        self,
        colors: list[Any] | None,
        type: object = GradientType.Linear,
        direction: object = None,
        angle: _Float | None = None,
        center: Sequence[_Float] | None = None,
        transparency: _Int | None = None,
    ) -> None:
        if colors is not None and builtins.type(colors) is not list:
            raise TypeError(
                "Argument 'colors' has incorrect type "
                f"(expected list, got {builtins.type(colors).__name__})"
            )
        self.raw_colors = colors
        self.type = type
        self._transparency = 255 if transparency is None else _to_int32(transparency)
        self._angle = 0.0
        self._center = (0.5, 0.5)
        if direction is not None:
            if type == GradientType.Linear:
                if hasattr(direction, "name"):
                    self._angle = _f32(LINEAR_ANGLES.get(direction.name, 0.0))
                elif isinstance(direction, int | float):
                    self._angle = _f32(direction)
            elif type == GradientType.Radial:
                if hasattr(direction, "name"):
                    cx, cy = RADIAL_CENTERS.get(direction.name, (0.5, 0.5))
                    self._center = (float(cx), float(cy))
                elif isinstance(direction, tuple):
                    self._center = (float(direction[0]), float(direction[1]))
        if angle is not None:
            self._angle = _f32(angle)
        if center is not None:
            self._center = (float(center[0]), float(center[1]))
        self._colors: list[tuple[float, float, float, float]] = []
        self._stops: list[float] = []
        self._ramp = _native.Ramp()  # the last colour ramp, with what it was made from
        self._update_colors(colors)

    def _update_colors(self, colors: list[Any] | None) -> None:
        if colors is None:
            raise TypeError("object of type 'NoneType' has no len()")
        normalised, weights = [], []
        for item in colors:
            if _is_weighted(item):
                color, weight = item[0], _f32(item[1])
            else:
                color, weight = item, 1.0
            if color is not None and builtins.type(color) is not tuple:
                raise TypeError(f"Expected tuple, got {builtins.type(color).__name__}")
            normalised.append(_normalised_color(color))
            weights.append(weight)
        fitted = len(self._colors) <= MAX_COLORS
        self._colors = normalised
        self._stops = compute_stops(weights)
        if fitted and len(normalised) > MAX_COLORS:
            # As the native gradient: the list stays whole, the renderer draws MAX_COLORS of it;
            # said once, when the gradient outgrows the shader.
            warnings.warn(
                f"{len(normalised)} colours given; the gradient shader draws at most "
                f"{MAX_COLORS}: colours after the {MAX_COLORS}th are not drawn",
                UserWarning,
                stacklevel=3,
            )

    @property
    def colors(self) -> list[Any] | None:
        return self.raw_colors

    @colors.setter
    def colors(self, value: list[Any] | None) -> None:
        if value is not None and builtins.type(value) is not list:
            raise TypeError(
                "Argument 'value' has incorrect type "
                f"(expected list, got {builtins.type(value).__name__})"
            )
        self.raw_colors = value
        self._update_colors(value)

    @property
    def angle(self) -> float:
        return self._angle

    @angle.setter
    def angle(self, value: _Float) -> None:
        self._angle = _f32(value)

    @property
    def center(self) -> tuple[float, float]:
        return self._center

    @center.setter
    def center(self, value: object) -> None:
        # Like the native gradient: a vector (anything with x and y) or an (x, y) tuple.
        if isinstance(value, tuple) and len(value) == 2:
            self._center = (float(value[0]), float(value[1]))
        elif hasattr(value, "x") and hasattr(value, "y"):
            self._center = (float(value.x), float(value.y))
        else:
            raise TypeError("center must be a vector or a tuple of (x, y)")

    @property
    def transparency(self) -> int:
        return self._transparency

    @transparency.setter
    def transparency(self, value: _Int) -> None:
        self._transparency = _to_int32(value)

    @property
    def normalized_colors(self) -> list[tuple[float, float, float, float]]:
        """The colours divided by 255, one (r, g, b, a) per entry, as the shader receives them."""
        return list(self._colors)

    @property
    def stops(self) -> list[float]:
        """One stop per colour, as the shader receives them."""
        return list(self._stops)

    @property
    def gradient_type_int(self) -> int:
        """The "gradientType" uniform: 0 for a linear gradient, else 1."""
        return 0 if self.type == GradientType.Linear else 1

    @property
    def draw_alpha(self) -> float:
        """The "alpha" a direct draw sends: transparency / 255 as a 32-bit float."""
        return _f32(self._transparency * (1.0 / 255.0))

    def render(self, width: _Int, height: _Int, *, alpha: float = 1.0) -> _U8:
        """The gradient over a width x height rectangle: uint8 (height, width, 4), premultiplied
        RGBA, top row first. `alpha` scales the whole picture (default 1.0, as texture generation
        sends); the stored transparency is not applied unless passed here."""
        import numpy as np

        width, height = _to_int32(width), _to_int32(height)
        if width < 0 or height < 0:
            raise ValueError(f"width and height must not be negative, got {width}x{height}")
        out = np.empty((height, width, 4), dtype=np.uint8)
        self._paint(out, width, height, alpha, None, "RGBA")
        return out

    def render_bytes(self, width: _Int, height: _Int, *, alpha: float = 1.0) -> bytes:
        """The picture of `render` as bytes (premultiplied RGBA, 4 a pixel, top row first),
        without numpy."""
        result: bytes = self._paint(None, width, height, alpha, None, "RGBA")
        return result

    def render_into(
        self,
        target: Any,
        width: _Int,
        height: _Int,
        *,
        alpha: float = 1.0,
        stride: _Int | None = None,
        order: str = "RGBA",
    ) -> None:
        """Paints the picture of `render` into memory the caller owns: a writable C-contiguous
        buffer (numpy array, bytearray, memoryview, ...) of bytes or 32-bit pixels holding
        exactly `stride` * height bytes (stride defaults to 4 * width), in `order` "RGBA" or
        "BGRA"; or a 32-bit pygame Surface of at least width x height, whose pitch and byte
        order are its own. TypeError for a read-only buffer or one of other items, ValueError
        for one of the wrong size or layout."""
        if hasattr(target, "get_pitch") and hasattr(target, "get_shifts"):
            width, height = _to_int32(width), _to_int32(height)
            if (width, height) != tuple(target.get_size()):
                raise ValueError(
                    f"the surface is {target.get_width()}x{target.get_height()}, "
                    f"the picture {width}x{height}"
                )
            target, stride, order = _pygame_target(target)
        self._paint(target, width, height, alpha, stride, order)

    def surface(self, width: _Int, height: _Int, *, alpha: float = 1.0) -> Any:
        """A new pygame Surface (pygame-ce) holding the picture, painted straight into its
        pixels: 32 bits a pixel with per-pixel alpha (SRCALPHA), RGBA byte order, premultiplied
        colour. Blit it with `special_flags=pygame.BLEND_PREMULTIPLIED` (an opaque gradient
        blits the same either way)."""
        import pygame

        width, height = _to_int32(width), _to_int32(height)
        if width < 0 or height < 0:
            raise ValueError(f"width and height must not be negative, got {width}x{height}")
        surface = pygame.Surface((width, height), pygame.SRCALPHA, 32, _RGBA_MASKS)
        self.render_into(surface, width, height, alpha=alpha)
        return surface

    def _paint(
        self,
        target: Any,
        width: _Int,
        height: _Int,
        alpha: float,
        stride: _Int | None,
        order: str,
    ) -> Any:
        colors = self._colors
        return _native.paint(
            target,
            width,
            height,
            0 if self.type == GradientType.Linear else 1,
            self._angle,
            self._center,
            colors,
            self._stops,
            len(colors),
            alpha,
            None,
            self._ramp,
            stride,
            order,
        )

    # Pickles and copies hold the gradient, not its ramp: the ramp is a memo, made afresh on the
    # next render (pickles from when it was a list of arrays load the same way).
    def __getstate__(self) -> tuple[None, dict[str, Any]]:
        return None, {name: getattr(self, name) for name in self.__slots__ if name != "_ramp"}

    def __setstate__(self, state: tuple[Any, dict[str, Any] | None]) -> None:
        for name, value in (state[1] or {}).items():
            if name != "_ramp":
                object.__setattr__(self, name, value)
        self._ramp = _native.Ramp()

    def __repr__(self) -> str:
        return (
            f"GradientPygame({self.raw_colors!r}, type={self.type!r}, angle={self._angle!r}, "
            f"center={self._center!r}, transparency={self._transparency!r})"
        )
