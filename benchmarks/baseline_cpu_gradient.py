"""The CPU renderer as it was before colour ramps and the deferred numpy import: the baseline of
the picture benchmark. Kept verbatim below this note."""

from __future__ import annotations

import builtins
import math
import operator
from collections.abc import Sequence

import numpy as np

from zorva_ui.core import GradientType
from zorva_ui.fast.gradient_shader import MAX_COLORS

__all__ = ["GradientPygame", "MAX_COLORS", "compute_stops", "render_uniforms"]

_INT32_MIN = -(2**31)
_INT32_MAX = 2**31 - 1

_LINEAR_ANGLES = {
    "Right": 0.0,
    "BottomRight": 45.0,
    "Bottom": 90.0,
    "BottomLeft": 135.0,
    "Left": 180.0,
    "TopLeft": 225.0,
    "Top": 270.0,
    "TopRight": 315.0,
}

_RADIAL_CENTERS = {
    "Center": (0.5, 0.5),
    "TopCenter": (0.5, 0.0),
    "TopLeft": (0.0, 0.0),
    "TopRight": (1.0, 0.0),
    "BottomCenter": (0.5, 1.0),
    "BottomLeft": (0.0, 1.0),
    "BottomRight": (1.0, 1.0),
}


def _f32(value) -> float:
    """A number narrowed to a 32-bit float, as a Python float."""
    return float(np.float32(float(value)))


def _to_int32(value) -> int:
    """Integer conversion with the native modules' rules: an int must fit in 32 bits, any other
    object goes through its integer conversion (a float truncates toward zero)."""
    if not isinstance(value, int):
        kind = type(value)
        if not (hasattr(kind, "__index__") or hasattr(kind, "__int__")):
            raise TypeError("an integer is required")
        value = operator.index(value) if hasattr(kind, "__index__") else int(value)
    if not _INT32_MIN <= value <= _INT32_MAX:
        raise OverflowError("value too large to convert to int")
    return int(value)


def _is_weighted(item) -> bool:
    return isinstance(item, tuple) and len(item) == 2 and isinstance(item[1], int | float)


def _normalised_color(color) -> tuple[float, float, float, float]:
    """A colour tuple (r, g, b, a), 0..255 each, divided by 255 and narrowed to 32 bits.
    Nothing is clamped here; the picture clamps. A tuple of fewer than four channels raises
    IndexError; channels after the fourth are ignored."""
    if color is None:
        raise TypeError("'NoneType' object is not subscriptable")
    return tuple(_f32(color[i] / 255) for i in range(4))


def compute_stops(weights: Sequence[float]) -> list[float]:
    """Stop positions from colour weights, with the native modules' exact 32-bit steps: each
    colour owns a band proportional to its weight; a middle colour stops at the middle of its
    band, the first at 0 (or 2*b1 - 1 when its band passes the middle), the last at 1 (or
    2*b(n-1) when its band starts before the middle)."""
    weights = [_f32(w) for w in weights]
    n = len(weights)
    total = 0.0
    for w in weights:
        total += w
    if total <= 0:
        total = 1.0
    boundaries = [0.0]
    current = np.float32(0.0)
    for w in weights:
        current = np.float32(float(current) + w / total)
        boundaries.append(float(current))
    if n == 0:
        return []
    if n == 1:
        return [0.0]
    stops = []
    b1 = boundaries[1]
    stops.append(_f32(max(0.0, b1 - min(b1, 1.0 - b1))))
    half = np.float32(0.5)
    for i in range(1, n - 1):
        stops.append(float((np.float32(boundaries[i]) + np.float32(boundaries[i + 1])) * half))
    lb = boundaries[n - 1]
    stops.append(_f32(min(1.0, lb + min(lb, 1.0 - lb))))
    return stops


def _gradient_position(gradient_type, angle, center, size, width, height) -> np.ndarray:
    """t at every pixel centre, shape (height, width), float64; see the shader's definition."""
    w, h = float(np.float32(size[0])), float(np.float32(size[1]))
    # Pixel centres as the quad's interpolated texture coordinate times `size`.
    px = (np.arange(width, dtype=np.float64) + 0.5) / width * w if width else np.zeros(0)
    py = (np.arange(height, dtype=np.float64) + 0.5) / height * h if height else np.zeros(0)
    x, y = np.meshgrid(px, py)
    with np.errstate(invalid="ignore", divide="ignore", over="ignore"):
        if gradient_type == 0:
            a32 = np.float32(angle)
            reduced = a32 - np.float32(360.0) * np.floor(a32 / np.float32(360.0))
            radians = float(np.float32(reduced) * np.float32(math.pi / 180.0))
            if math.isfinite(radians):
                dx, dy = math.cos(radians), math.sin(radians)
            else:
                dx = dy = math.nan
            length = abs(w * dx) + abs(h * dy)
            if length > 0.0:
                t = 0.5 + ((x - 0.5 * w) * dx + (y - 0.5 * h) * dy) / length
            else:
                t = np.zeros_like(x)
        else:
            cx = float(np.float32(center[0])) * w
            cy = float(np.float32(center[1])) * h
            radius = math.hypot(max(abs(cx), abs(w - cx)), max(abs(cy), abs(h - cy)))
            if radius > 0.0:
                t = np.hypot(x - cx, y - cy) / radius
            else:
                t = np.zeros_like(x)
    t = np.where(np.isnan(t), 0.0, t)
    return np.clip(t, 0.0, 1.0)


def _sanitised_stops(stops) -> list[float]:
    """NaN takes the previous stop (the first: 0), clamp to 0..1, never below the previous."""
    out = []
    previous = 0.0
    for s in stops:
        s = float(np.float32(s))
        if math.isnan(s):
            s = previous
        s = max(min(max(s, 0.0), 1.0), previous)
        out.append(s)
        previous = s
    return out


def _premultiplied(colors) -> np.ndarray:
    """(n, 4) float64: channels clamped to 0..1 (NaN: 0), rgb times alpha."""
    c = np.asarray(colors, dtype=np.float32).astype(np.float64).reshape(-1, 4)
    c = np.clip(np.nan_to_num(c, nan=0.0), 0.0, 1.0)
    c[:, :3] *= c[:, 3:4]
    return c


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
) -> np.ndarray:
    """The picture the shader paints into a width x height target for these uniform values:
    a uint8 array (height, width, 4), premultiplied RGBA, top row first.

    `colors` are normalised (0..1) RGBA records; `size` defaults to (width, height), the value
    the gradient module sends. `color_count` is clamped to 0..MAX_COLORS like in the shader;
    `colors` and `stops` must hold at least that many entries."""
    width, height = int(width), int(height)
    if width < 0 or height < 0:
        raise ValueError(f"width and height must not be negative, got {width}x{height}")
    if size is None:
        size = (width, height)
    count = min(max(int(color_count), 0), MAX_COLORS)
    if len(colors) < count or len(stops) < count:
        raise ValueError(
            f"colorCount {count} needs as many colours and stops, "
            f"got {len(colors)} and {len(stops)}"
        )
    out = np.zeros((height, width, 4), dtype=np.uint8)
    if count == 0 or width == 0 or height == 0:
        return out

    t = _gradient_position(int(gradient_type), angle, center, size, width, height)
    sanitised = _sanitised_stops(stops[:count])
    premultiplied = _premultiplied(colors[:count])

    # The sanitised stops are sorted: k counts the stops at or before t. k = 0 is before the
    # first stop, k = count at or after the last; otherwise t lies in [s(k-1), s(k)), a band of
    # positive width, between colours k-1 and k.
    stop_array = np.asarray(sanitised, dtype=np.float64)
    k = np.searchsorted(stop_array, t, side="right")
    lower = np.clip(k - 1, 0, count - 1)
    upper = np.clip(k, 0, count - 1)
    inside = (k > 0) & (k < count)
    f = np.zeros_like(t)
    span = stop_array[upper] - stop_array[lower]
    np.divide(t - stop_array[lower], span, out=f, where=inside)
    result = premultiplied[lower] + (premultiplied[upper] - premultiplied[lower]) * f[..., None]

    a = float(np.float32(alpha))
    a = 0.0 if math.isnan(a) else min(max(a, 0.0), 1.0)
    out[...] = np.rint(np.clip(result * a, 0.0, 1.0) * 255.0).astype(np.uint8)
    return out


class GradientPygame:
    """A colour gradient rendered on the CPU.

    Arguments as `GradientRaylib`'s: `colors` a list of (r, g, b, a) tuples (0..255) or of
    ((r, g, b, a), weight) pairs; `type` a `GradientType` (anything but `GradientType.Linear`
    paints radially); `direction` a named direction (an enum member whose `name` is in the
    linear or radial direction table), a number (linear angle) or an (x, y) tuple (radial
    centre); explicit `angle` and `center` override it; `transparency` 0..255, default 255.

    `render` paints like `generate_texture` (alpha 1.0, transparency not applied); pass
    `alpha=g.draw_alpha` to get what `ClickGradient.draw` paints over a transparent target."""

    __slots__ = ("raw_colors", "type", "_angle", "_center", "_transparency", "_colors", "_stops")

    def __init__(
        self,
        colors,
        type=GradientType.Linear,
        direction=None,
        angle=None,
        center=None,
        transparency=None,
    ):
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
                    self._angle = _f32(_LINEAR_ANGLES.get(direction.name, 0.0))
                elif isinstance(direction, int | float):
                    self._angle = _f32(direction)
            elif type == GradientType.Radial:
                if hasattr(direction, "name"):
                    cx, cy = _RADIAL_CENTERS.get(direction.name, (0.5, 0.5))
                    self._center = (float(cx), float(cy))
                elif isinstance(direction, tuple):
                    self._center = (float(direction[0]), float(direction[1]))
        if angle is not None:
            self._angle = _f32(angle)
        if center is not None:
            self._center = (float(center[0]), float(center[1]))
        self._colors: list[tuple[float, float, float, float]] = []
        self._stops: list[float] = []
        self._update_colors(colors)

    def _update_colors(self, colors) -> None:
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
        self._colors = normalised
        self._stops = compute_stops(weights)

    @property
    def colors(self):
        return self.raw_colors

    @colors.setter
    def colors(self, value):
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
    def angle(self, value):
        self._angle = _f32(value)

    @property
    def center(self) -> tuple[float, float]:
        return self._center

    @center.setter
    def center(self, value):
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
    def transparency(self, value):
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

    def render(self, width: int, height: int, *, alpha: float = 1.0) -> np.ndarray:
        """The gradient over a width x height rectangle: uint8 (height, width, 4), premultiplied
        RGBA, top row first. `alpha` scales the whole picture (default 1.0, as texture generation
        sends); the stored transparency is not applied unless passed here."""
        width, height = _to_int32(width), _to_int32(height)
        return render_uniforms(
            width,
            height,
            gradient_type=self.gradient_type_int,
            angle=self._angle,
            center=self._center,
            colors=self._colors,
            stops=self._stops,
            color_count=len(self._colors),
            alpha=alpha,
        )

    def __repr__(self) -> str:
        return (
            f"GradientPygame({self.raw_colors!r}, type={self.type!r}, angle={self._angle!r}, "
            f"center={self._center!r}, transparency={self._transparency!r})"
        )
