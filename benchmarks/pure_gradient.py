"""The gradient objects written the way a user without the compiled module would write them.

Same steps and the same stop algorithm as `zorva_ui.fast.zvraygrad.zvraygrad`, in plain Python:
colours kept as (r, g, b, a) tuples of floats, stops and weights as lists of floats. Values stay
Python floats (doubles) instead of being narrowed to 32 bits, which only makes this baseline
faster; results agree with the compiled module to float32 precision.

The benchmarks time this against the compiled classes; nothing here draws.
"""

from zorva_ui.core import GradientType

_LINEAR_ANGLES = (
    ("Right", 0.0),
    ("BottomRight", 45.0),
    ("Bottom", 90.0),
    ("BottomLeft", 135.0),
    ("Left", 180.0),
    ("TopLeft", 225.0),
    ("Top", 270.0),
    ("TopRight", 315.0),
)
_RADIAL_CENTRES = (
    ("Center", (0.5, 0.5)),
    ("TopCenter", (0.5, 0.0)),
    ("TopLeft", (0.0, 0.0)),
    ("TopRight", (1.0, 0.0)),
    ("BottomCenter", (0.5, 1.0)),
    ("BottomLeft", (0.0, 1.0)),
    ("BottomRight", (1.0, 1.0)),
)

# Stands in for the shared shader resources: made once, checked by every constructor.
_SHARED_RESOURCES = None


class Vector2:
    __slots__ = ("x", "y")

    def __init__(self, x, y):
        self.x = x
        self.y = y


def tuple_to_vector4(t):
    return (t[0] / 255, t[1] / 255, t[2] / 255, t[3] / 255)


def is_weighted(item):
    return isinstance(item, tuple) and len(item) == 2 and isinstance(item[1], int | float)


def compute_stops(weights):
    """One stop per weight: the middle of each colour's band, the ends stretched to 0 and 1."""
    total_weight = 0.0
    for w in weights:
        total_weight += w
    if total_weight <= 0:
        total_weight = 1.0
    boundaries = [0.0]
    current = 0.0
    for w in weights:
        current += w / total_weight
        boundaries.append(current)
    n = len(weights)
    if n == 0:
        return []
    if n == 1:
        return [0.0]
    stops = []
    rb = boundaries[1]
    stops.append(max(0.0, rb - min(rb, 1.0 - rb)))
    for i in range(1, n - 1):
        stops.append((boundaries[i] + boundaries[i + 1]) * 0.5)
    lb = boundaries[n - 1]
    stops.append(min(1.0, lb + min(lb, 1.0 - lb)))
    return stops


class PureGradient:
    def __init__(
        self,
        colors,
        type=GradientType.Linear,
        direction=None,
        angle=None,
        center=None,
        transparency=None,
    ):
        if colors is not None and not isinstance(colors, list):
            raise TypeError("colors must be a list")
        self.raw_colors = colors
        self.type = type
        self.transparency = 255 if transparency is None else int(transparency)
        self.angle = 0.0
        self.center = Vector2(0.5, 0.5)
        if direction is not None:
            if type == GradientType.Linear:
                if hasattr(direction, "name"):
                    mapping = dict(_LINEAR_ANGLES)
                    self.angle = float(mapping.get(direction.name, 0.0))
                elif isinstance(direction, int | float):
                    self.angle = float(direction)
            elif type == GradientType.Radial:
                if hasattr(direction, "name"):
                    mapping = dict(_RADIAL_CENTRES)
                    x, y = mapping.get(direction.name, (0.5, 0.5))
                    self.center = Vector2(float(x), float(y))
                elif isinstance(direction, tuple):
                    self.center = Vector2(float(direction[0]), float(direction[1]))
        if angle is not None:
            self.angle = float(angle)
        if center is not None:
            self.center = Vector2(float(center[0]), float(center[1]))
        self.update_colors(colors)
        self._ensure_resources()

    @classmethod
    def _ensure_resources(cls):
        global _SHARED_RESOURCES
        if _SHARED_RESOURCES is None:
            _SHARED_RESOURCES = object()

    @property
    def colors(self):
        return self.raw_colors

    @colors.setter
    def colors(self, value):
        self.raw_colors = value
        self.update_colors(value)

    def update_colors(self, colors):
        self.vec_colors = []
        weights = []
        for item in colors:
            if is_weighted(item):
                self.vec_colors.append(tuple_to_vector4(item[0]))
                weights.append(float(item[1]))
            else:
                self.vec_colors.append(tuple_to_vector4(item))
                weights.append(1.0)
        self.stops = compute_stops(weights)


class PureClickGradient(PureGradient):
    def __init__(
        self,
        colors,
        type=GradientType.Radial,
        direction=None,
        angle=None,
        center=None,
        transparency=None,
    ):
        super().__init__(colors, type, direction, angle, center, transparency)

    def update_colors(self, colors):
        self.weights = [float(item[1]) if is_weighted(item) else 1.0 for item in colors]
        self.vec_colors = [
            tuple_to_vector4(item[0] if is_weighted(item) else item) for item in colors
        ]
        self._recalculate_stops()

    def _recalculate_stops(self):
        self.stops = compute_stops(self.weights)

    def set_weight(self, index, weight):
        index = int(index)
        weight = float(weight)
        if index < 0 or index >= len(self.weights):
            raise IndexError(f"Color index out of range! Max: {len(self.weights) - 1}")
        self.weights[index] = weight
        self._recalculate_stops()

    def set_center(self, center):
        self.center = Vector2(float(center[0]), float(center[1]))
