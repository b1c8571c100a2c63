"""Core definitions of the toolkit: gradient kinds and directions."""

from enum import Enum


class GradientType(Enum):
    """Kind of a colour gradient."""

    Linear = 0
    Radial = 1


class LinearDirection(Enum):
    """Named directions of a linear gradient (degrees: 0 right, 90 down)."""

    Right = 0
    BottomRight = 45
    Bottom = 90
    BottomLeft = 135
    Left = 180
    TopLeft = 225
    Top = 270
    TopRight = 315


class RadialDirection(Enum):
    """Named centres of a radial gradient, relative to the drawn rectangle."""

    Center = (0.5, 0.5)
    TopCenter = (0.5, 0.0)
    TopLeft = (0.0, 0.0)
    TopRight = (1.0, 0.0)
    BottomCenter = (0.5, 1.0)
    BottomLeft = (0.0, 1.0)
    BottomRight = (1.0, 1.0)


# Name -> angle and name -> (x, y) centre, by member name: a `direction` is matched by its `name`
# (any object with one), so both renderers look names up here rather than in the enumerations.
LINEAR_ANGLES: dict[str, float] = {m.name: float(m.value) for m in LinearDirection}
RADIAL_CENTERS: dict[str, tuple[float, float]] = {m.name: m.value for m in RadialDirection}

__all__ = ["GradientType", "LINEAR_ANGLES", "LinearDirection", "RADIAL_CENTERS", "RadialDirection"]
