"""The CPU renderer as it was before its native kernel (numpy, colour ramps): the baseline of the
picture benchmark. Kept verbatim below this note.

CPU gradient renderer: the gradient picture of the shared GPU shader, computed with numpy.

`GradientPygame` takes the same constructor arguments as the native `GradientRaylib`, computes
the same normalised colours and stops, and renders the same picture the shader paints (see the
definition at the head of `zorva_ui.fast.gradient_shader`). A pygame backend draws with it, and
the pixel tests use it as the reference for the GPU.

`render_uniforms` is the picture as a function of the shader's uniform values alone, for callers
(and tests) that want to paint exactly what a given set of uniforms paints.

numpy is imported at the first render, not with this module: the gradient module binds
`GradientPygame` at its initialisation, and most processes never render on the CPU.

How a picture is painted: the colour depends on the pixel only through the position t, so a
picture larger than its colour ramp is painted from a ramp of N colours, one per cell of width
1/N along t, sampled at the cell's middle; a pixel takes the colour of the cell its t falls in.
N is chosen so that no colour channel changes by more than half a step across half a cell, so a
pixel is at most 1 from its exact colour.
Cells where that cannot hold (a hard edge, where the colour jumps, or a band too narrow for the
largest ramp) hold a marker instead, and their pixels are painted from their exact t. Pictures
much smaller than the ramp, and pictures where t is the same everywhere, are painted from the
exact t directly.
"""

from __future__ import annotations

import builtins
import math
import operator
import struct
from collections.abc import Sequence

from zorva_ui.core import LINEAR_ANGLES, RADIAL_CENTERS, GradientType
from zorva_ui.fast.gradient_shader import MAX_COLORS

TYPE_CHECKING = False  # as typing.TYPE_CHECKING, without importing typing at start-up
if TYPE_CHECKING:
    from types import ModuleType
    from typing import Any, SupportsFloat, SupportsIndex, SupportsInt

    import numpy as np
    import numpy.typing as npt

    # What the native modules take as a number: anything with a float or an index conversion.
    type _Float = SupportsFloat | SupportsIndex
    type _Int = SupportsInt | SupportsIndex
    type _Rgba = tuple[float, float, float, float]
    # Named once here: inside the functions `np` is the module passed in, not these types.
    type _F64 = npt.NDArray[np.float64]
    type _F32 = npt.NDArray[np.float32]
    type _U8 = npt.NDArray[np.uint8]
    type _U32 = npt.NDArray[np.uint32]
    type _Indices = npt.NDArray[np.intp]

__all__ = ["GradientPygame", "MAX_COLORS", "compute_stops", "render_uniforms"]

_INT32_MIN = -(2**31)
_INT32_MAX = 2**31 - 1

_FLOAT32 = struct.Struct("f")


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
    object goes through its integer conversion (a float truncates toward zero)."""
    if not isinstance(value, int):
        kind = type(value)
        if not (hasattr(kind, "__index__") or hasattr(kind, "__int__")):
            raise TypeError("an integer is required")
        value = operator.index(value) if hasattr(kind, "__index__") else int(value)
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
    weights = [_f32(w) for w in weights]
    n = len(weights)
    total = 0.0
    for w in weights:
        total += w
    if total <= 0:
        total = 1.0
    boundaries = [0.0]
    current = 0.0
    for w in weights:
        current = _f32(current + w / total)
        boundaries.append(current)
    if n == 0:
        return []
    if n == 1:
        return [0.0]
    stops = []
    b1 = boundaries[1]
    stops.append(_f32(max(0.0, b1 - min(b1, 1.0 - b1))))
    # A 32-bit sum rounded from the exact double sum is the 32-bit sum itself; halving is exact.
    for i in range(1, n - 1):
        stops.append(_f32(_f32(boundaries[i] + boundaries[i + 1]) * 0.5))
    lb = boundaries[n - 1]
    stops.append(_f32(min(1.0, lb + min(lb, 1.0 - lb))))
    return stops


# Colour ramps: at least this many cells, and at most the larger (a power of two either way).
_RAMP_MIN = 4096
_RAMP_MAX = 65536
# Largest change of a channel, in 8-bit steps, between a pixel's t and its cell's middle.
_RAMP_ERROR = 0.5
# Pictures with at most a quarter as many pixels as the ramp has cells are painted exactly: a
# cell costs about half as much to make as a pixel painted from its exact t.
_RAMP_PER_EXACT_PIXEL = 4
# Pixels painted from a ramp per pass: the pass's scratch arrays stay in the processor's cache.
_CHUNK_PIXELS = 1 << 16
# A ramp cell whose pixels are painted from their exact t. No picture holds this colour: a
# premultiplied colour never has more red than alpha. Little-endian RGBA (1, 0, 0, 0).
_MARKER = 1


class _Geometry:
    """t over the pixel grid as the shader defines it: affine in the pixel position (linear), or
    the length of an affine vector (radial). `constant` says t is 0 everywhere."""

    def __init__(
        self,
        gradient_type: int,
        angle: _Float,
        center: Sequence[_Float],
        size: Sequence[_Float],
        width: int,
        height: int,
    ) -> None:
        w, h = _f32(size[0]), _f32(size[1])
        self.w, self.h, self.width, self.height = w, h, width, height
        self.radial = gradient_type != 0
        self.constant = True
        with_size = math.isfinite(w) and math.isfinite(h)
        if not self.radial:
            # The angle reduced to 0..360 and turned to radians in 32-bit steps.
            a = _f32(angle)
            radians = math.nan  # a NaN or infinite angle has no direction
            if math.isfinite(a):
                turns = math.floor(_f32(a / _f32(360.0)))
                reduced = _f32(a - _f32(_f32(360.0) * turns))
                radians = _f32(reduced * _f32(math.pi / 180.0))
            if math.isfinite(radians):
                dx, dy = math.cos(radians), math.sin(radians)
                length = abs(w * dx) + abs(h * dy)
                if with_size and length > 0.0:
                    self.constant = False
                    self.dx, self.dy, self.length = dx, dy, length
        else:
            cx, cy = _f32(center[0]) * w, _f32(center[1]) * h
            radius = math.hypot(max(abs(cx), abs(w - cx)), max(abs(cy), abs(h - cy)))
            if with_size and math.isfinite(radius) and radius > 0.0:
                self.constant = False
                self.cx, self.cy, self.radius = cx, cy, radius

    def _centres(self, np: ModuleType, cols: _F64, rows: _F64) -> tuple[_F64, _F64]:
        return (cols + 0.5) / self.width * self.w, (rows + 0.5) / self.height * self.h

    def exact(self, np: ModuleType, cols: _F64, rows: _F64) -> _F64:
        """t at the pixel centres (cols[k], rows[k]) in float64, NaN as 0, clamped to 0..1."""
        x, y = self._centres(np, cols, rows)
        with np.errstate(invalid="ignore", divide="ignore", over="ignore"):
            if self.constant:
                t = np.zeros(np.broadcast(x, y).shape)
            elif self.radial:
                t = np.hypot(x - self.cx, y - self.cy) / self.radius
            else:
                t = (
                    0.5
                    + ((x - 0.5 * self.w) * self.dx + (y - 0.5 * self.h) * self.dy) / self.length
                )
            t = np.where(np.isnan(t), 0.0, t)
        clamped: _F64 = np.clip(t, 0.0, 1.0)
        return clamped

    def scaled_axes(self, np: ModuleType, cells: int) -> tuple[_F32, _F32]:
        """float32 row and column vectors whose combination is t * cells: their sum (linear), or
        the square root of their sum (radial, squares of the scaled offsets)."""
        x, y = self._centres(
            np, np.arange(self.width, dtype=np.float64), np.arange(self.height, dtype=np.float64)
        )
        if self.radial:
            scale = cells / self.radius
            across = np.square((x - self.cx) * scale)
            down = np.square((y - self.cy) * scale)
        else:
            scale = cells / self.length
            across = (x - 0.5 * self.w) * (self.dx * scale)
            down = 0.5 * cells + (y - 0.5 * self.h) * (self.dy * scale)
        return across.astype(np.float32), down.astype(np.float32)


def _sanitised_stops(stops: Sequence[float]) -> list[float]:
    """NaN takes the previous stop (the first: 0), clamp to 0..1, never below the previous."""
    out = []
    previous = 0.0
    for s in stops:
        s = _f32(s)
        if math.isnan(s):
            s = previous
        s = max(min(max(s, 0.0), 1.0), previous)
        out.append(s)
        previous = s
    return out


def _premultiplied(np: ModuleType, colors: Sequence[Sequence[float]]) -> _F64:
    """(n, 4) float64: channels clamped to 0..1 (NaN: 0), rgb times alpha."""
    c: _F64 = np.asarray(colors, dtype=np.float32).astype(np.float64).reshape(-1, 4)
    c = np.clip(np.nan_to_num(c, nan=0.0), 0.0, 1.0)
    c[:, :3] *= c[:, 3:4]
    return c


class _Ramp:
    """The colours of one gradient as a function of t (sanitised stops, premultiplied colours,
    alpha applied), evaluated exactly or through a ramp of cells."""

    def __init__(
        self,
        np: ModuleType,
        stops: Sequence[float],
        colors: Sequence[Sequence[float]],
        alpha: float,
    ) -> None:
        self.np = np
        self.stops: _F64 = np.asarray(_sanitised_stops(stops), dtype=np.float64)
        self.colors: _F64 = _premultiplied(np, colors) * alpha

    def exact(self, t: _F64) -> _U8:
        """uint8 RGBA (shape of t + (4,)) for clamped positions t."""
        np, stops, colors = self.np, self.stops, self.colors
        count = len(stops)
        # k counts the stops at or before t: k = 0 is before the first stop, k = count at or
        # after the last; otherwise t lies in [s(k-1), s(k)), a band of positive width, between
        # colours k-1 and k.
        k = np.searchsorted(stops, t, side="right")
        lower = np.clip(k - 1, 0, count - 1)
        upper = np.clip(k, 0, count - 1)
        inside = (k > 0) & (k < count)
        f = np.zeros_like(t)
        np.divide(t - stops[lower], stops[upper] - stops[lower], out=f, where=inside)
        result = colors[lower] + (colors[upper] - colors[lower]) * f[..., None]
        picture: _U8 = np.rint(np.clip(result, 0.0, 1.0) * 255.0).astype(np.uint8)
        return picture

    def cells(self) -> tuple[int, _Indices]:
        """The number of ramp cells, and the bands (index pairs into the stops) whose colour
        changes too fast for them."""
        np = self.np
        widths = np.diff(self.stops)
        change = np.abs(np.diff(np.clip(self.colors, 0.0, 1.0), axis=0)).max(axis=1, initial=0)
        with np.errstate(divide="ignore", invalid="ignore"):
            slope = np.where(widths > 0, change * 255.0 / np.where(widths > 0, widths, 1), 0)
        needed = float(slope.max(initial=0.0)) * 0.5 / _RAMP_ERROR
        cells = _RAMP_MIN
        while cells < needed and cells < _RAMP_MAX:
            cells *= 2
        steep = np.nonzero(slope * 0.5 / cells > _RAMP_ERROR)[0]
        return cells, steep

    def table(self, cells: int, steep: _Indices) -> _U32:
        """uint32 colours (RGBA bytes in memory order) of `cells` cells, with the marker in cells
        that touch a hard edge or a steep band."""
        np, stops, colors = self.np, self.stops, self.colors
        middles = (np.arange(cells, dtype=np.float64) + 0.5) / cells
        # The band of each cell's middle, as in `exact`; channels are laid out one after the
        # other so that every step runs along the whole ramp. Before the first stop and from the
        # last on, both ends of the band are the same colour and the fraction does not matter.
        upper = np.searchsorted(stops, middles, side="right")
        lower = np.maximum(upper - 1, 0)
        np.minimum(upper, len(stops) - 1, out=upper)
        low = stops[lower]
        span = stops[upper] - low
        span[span <= 0.0] = 1.0
        fraction = (middles - low) / span
        by_channel = np.ascontiguousarray(colors.T)
        start = np.take(by_channel, lower, axis=1)
        channels = np.take(by_channel, upper, axis=1)
        channels -= start
        channels *= fraction
        channels += start
        np.clip(channels, 0.0, 1.0, out=channels)
        channels *= 255.0
        np.rint(channels, out=channels)
        table: _U32 = (
            np.ascontiguousarray(channels.astype(np.uint8).T).view(np.uint32).reshape(cells)
        )
        # Equal neighbouring stops make the colour jump there; so does nothing else.
        edges = stops[1:][np.diff(stops) == 0]
        # The cell of the edge and its neighbours: t is computed in 32 bits on the ramp's path.
        first = np.floor(edges * cells).astype(np.int64)
        marked = [np.clip(first + step, 0, cells - 1) for step in (-1, 0, 1)]
        for band in steep:
            lo = int(math.floor(stops[band] * cells)) - 1
            hi = int(math.floor(stops[band + 1] * cells)) + 1
            marked.append(np.arange(max(lo, 0), min(hi, cells - 1) + 1))
        if marked:
            table[np.concatenate(marked)] = _MARKER
        return table


def _paint_from_table(
    np: ModuleType, out32: _U32, geometry: _Geometry, ramp: _Ramp, cells: int, table: _U32
) -> None:
    """Paints `out32` (height x width uint32) from the ramp, a band of rows at a time."""
    across, down = geometry.scaled_axes(np, cells)
    width = geometry.width
    rows_per_pass = max(1, _CHUNK_PIXELS // width)
    scaled = np.empty((rows_per_pass, width), dtype=np.float32)
    index = np.empty((rows_per_pass, width), dtype=np.int32)
    marked_cells = bool((table == _MARKER).any())
    for top in range(0, geometry.height, rows_per_pass):
        bottom = min(top + rows_per_pass, geometry.height)
        n = bottom - top
        part, cell = scaled[:n], index[:n]
        np.add(down[top:bottom, None], across[None, :], out=part)
        if geometry.radial:
            np.sqrt(part, out=part)
        # Truncation is the cell number for t >= 0; below 0 it gives 0 or less, and `clip`
        # takes every index below 0 to the first cell and past the end to the last.
        np.copyto(cell, part, casting="unsafe")
        rows = out32[top:bottom]
        np.take(table, cell, out=rows, mode="clip")
        if marked_cells:
            hit_rows, hit_cols = np.nonzero(rows == _MARKER)
            if hit_rows.size:
                t = geometry.exact(
                    np, hit_cols.astype(np.float64), (hit_rows + top).astype(np.float64)
                )
                rows[hit_rows, hit_cols] = ramp.exact(t).view(np.uint32).reshape(-1)


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
    return _render(
        width,
        height,
        gradient_type=gradient_type,
        angle=angle,
        center=center,
        colors=colors,
        stops=stops,
        color_count=color_count,
        alpha=alpha,
        size=size,
        memo=None,
    )


def _render(
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
    size: Sequence[float] | None,
    memo: list[Any] | None,
) -> _U8:
    """render_uniforms; `memo`, a list, keeps the last ramp between calls (empty at first)."""
    import numpy as np

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
    if count == 0 or width == 0 or height == 0:
        return np.zeros((height, width, 4), dtype=np.uint8)
    out = np.empty((height, width, 4), dtype=np.uint8)  # every pixel is painted below

    a = _f32(alpha)
    a = 0.0 if math.isnan(a) else min(max(a, 0.0), 1.0)
    # On a reuse these come out of the memo, which holds anything.
    ramp: _Ramp
    cells: int
    steep: _Indices
    table: _U32 | None
    key = None if memo is None else (tuple(map(tuple, colors[:count])), tuple(stops[:count]), a)
    if memo and memo[0] == key:
        ramp, cells, steep, table = memo[1]
    else:
        ramp = _Ramp(np, stops[:count], colors[:count], a)
        cells, steep = ramp.cells()
        table = None
    geometry = _Geometry(int(gradient_type), angle, center, size, width, height)
    if geometry.constant:
        out[...] = ramp.exact(np.zeros(1))[0]
    elif width * height <= cells // _RAMP_PER_EXACT_PIXEL:
        cols = np.arange(width, dtype=np.float64)[None, :]
        rows = np.arange(height, dtype=np.float64)[:, None]
        out[...] = ramp.exact(geometry.exact(np, cols, rows))
    else:
        if table is None:
            table = ramp.table(cells, steep)
        out32 = out.view(np.uint32).reshape(height, width)
        _paint_from_table(np, out32, geometry, ramp, cells, table)
    if memo is not None:
        memo[:] = [key, (ramp, cells, steep, table)]
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
        self._ramp: list[Any] = []  # the last colour ramp, with what it was made from
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
        self._colors = normalised
        self._stops = compute_stops(weights)

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
        width, height = _to_int32(width), _to_int32(height)
        return _render(
            width,
            height,
            gradient_type=self.gradient_type_int,
            angle=self._angle,
            center=self._center,
            colors=self._colors,
            stops=self._stops,
            color_count=len(self._colors),
            alpha=alpha,
            size=None,
            memo=self._ramp,
        )

    def __repr__(self) -> str:
        return (
            f"GradientPygame({self.raw_colors!r}, type={self.type!r}, angle={self._angle!r}, "
            f"center={self._center!r}, transparency={self._transparency!r})"
        )
