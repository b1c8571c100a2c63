"""The gradient picture pixel by pixel, straight from its written definition (docs/gradients.md):
the one reference the picture tests compare renderers with. Plain Python floats, no colour ramp,
no numpy; pictures are small, or sampled (`Picture.pixel`)."""

import bisect
import math
import struct

MAX_COLORS = 64
# A t this close below a hard edge counts as on the edge (the later colour wins there).
EDGE_SNAP = 2.0**-20

_F32 = struct.Struct("f")


def f32(x):
    """A uniform value as the shader receives it: a 32-bit float."""
    try:
        return _F32.unpack(_F32.pack(float(x)))[0]
    except OverflowError:
        return math.copysign(math.inf, float(x))


def _clamp(x, low=0.0, high=1.0):
    return min(max(x, low), high)


class Picture:
    """The picture a width x height target receives for one set of uniform values."""

    def __init__(
        self,
        width,
        height,
        *,
        gradient_type,
        angle,
        center,
        colors,
        stops,
        color_count,
        alpha,
        size=None,
    ):
        self.width, self.height = width, height
        w, h = (f32(v) for v in (size or (width, height)))
        self.w, self.h = w, h
        count = _clamp(int(color_count), 0, MAX_COLORS)
        alpha = f32(alpha)
        alpha = 0.0 if math.isnan(alpha) else _clamp(alpha)
        self.stops, previous = [], 0.0
        for s in stops[:count]:
            s = f32(s)
            s = previous if math.isnan(s) else s
            previous = max(_clamp(s), previous)
            self.stops.append(previous)
        self.colors = []
        for c in colors[:count]:
            r, g, b, a = (0.0 if math.isnan(f32(v)) else _clamp(f32(v)) for v in c)
            self.colors.append((r * a * alpha, g * a * alpha, b * a * alpha, a * alpha))
        # The t of a pixel centre (x, y) in the rectangle; None: 0 everywhere.
        self.position = None
        if not (math.isfinite(w) and math.isfinite(h)):
            return
        if gradient_type == 0:
            a = f32(angle)
            if not math.isfinite(a):
                return
            rad = math.radians(a % 360.0)
            dx, dy = math.cos(rad), math.sin(rad)
            length = abs(w * dx) + abs(h * dy)
            if length > 0:
                self.position = lambda x, y: 0.5 + ((x - w / 2) * dx + (y - h / 2) * dy) / length
        else:
            cx, cy = f32(center[0]) * w, f32(center[1]) * h
            if not (math.isfinite(cx) and math.isfinite(cy)):
                return
            radius = math.hypot(max(abs(cx), abs(w - cx)), max(abs(cy), abs(h - cy)))
            if math.isfinite(radius) and radius > 0:
                self.position = lambda x, y: math.hypot(x - cx, y - cy) / radius

    def t(self, col, row):
        if self.position is None:
            return 0.0
        t = self.position((col + 0.5) / self.width * self.w, (row + 0.5) / self.height * self.h)
        return 0.0 if math.isnan(t) else _clamp(t)

    def colour(self, t):
        """Premultiplied RGBA bytes at t."""
        stops, colors = self.stops, self.colors
        n = len(stops)
        if n == 0:
            return (0, 0, 0, 0)
        t = min(t + EDGE_SNAP, 1.0)
        k = bisect.bisect_right(stops, t)
        if k == 0:
            c = colors[0]
        elif k == n:
            c = colors[-1]
        else:
            f = (t - stops[k - 1]) / (stops[k] - stops[k - 1])
            c = [lo + (hi - lo) * f for lo, hi in zip(colors[k - 1], colors[k], strict=True)]
        return tuple(round(_clamp(v) * 255) for v in c)

    def pixel(self, col, row):
        return self.colour(self.t(col, row))

    def rows(self):
        """Every pixel: a list of rows of RGBA tuples, the top row first."""
        return [[self.pixel(x, y) for x in range(self.width)] for y in range(self.height)]


def worst_difference(painted, picture, pixels=None):
    """The largest channel difference between `painted` (anything indexable as [row][col][c],
    such as an (h, w, 4) array) and the reference at `pixels` ((col, row) pairs; all by
    default), with where it is."""
    if pixels is None:
        pixels = [(x, y) for y in range(picture.height) for x in range(picture.width)]
    worst, where = 0, None
    for x, y in pixels:
        expected = picture.pixel(x, y)
        got = painted[y][x]
        diff = max(abs(int(got[c]) - expected[c]) for c in range(4))
        if diff > worst:
            worst, where = diff, (x, y, tuple(int(v) for v in got), expected)
    return worst, where
