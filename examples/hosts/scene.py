"""The picture every host example draws, so that each shows the same thing (and the tests can
check each the same way): the host's background and a rectangle of its own, a translucent
gradient of ours over them, and another rectangle of the host's over that.

Rectangles are (x, y, width, height) in window pixels, (0, 0) at the top-left corner, y down."""

from zorva_ui.core import GradientType
from zorva_ui.fast.zvraygrad.zvraygrad import ClickGradient

SIZE = (320, 200)
BACKGROUND = (40, 44, 52)
BEFORE = ((20, 20, 120, 80), (90, 200, 120))  # drawn by the host before the gradient
GRADIENT_RECT = (60, 40, 160, 100)
AFTER = ((180, 110, 110, 70), (230, 180, 60))  # drawn by the host after it

COLORS = [(255, 94, 98, 255), (255, 195, 113, 255), (80, 120, 255, 255)]
STYLE = dict(type=GradientType.Linear, angle=30, transparency=192)


def make_gradient():
    """The gradient (make it once the window's context is current)."""
    return ClickGradient(COLORS, **STYLE)
