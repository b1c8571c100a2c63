"""More colours than the shader holds: the call that sets them says so, in both renderers."""

import warnings

import pytest

from zorva_ui.core import GradientType
from zorva_ui.fast.gradient_shader import MAX_COLORS
from zorva_ui.fast.zvraygrad.zvraygrad import ClickGradient, GradientRaylib
from zorva_ui.rendering.pygame.gradient import GradientPygame

BLACK, WHITE = (0, 0, 0, 255), (255, 255, 255, 255)
MESSAGE = f"100 colours given; the gradient shader draws at most {MAX_COLORS}"


@pytest.mark.parametrize("cls", [GradientRaylib, ClickGradient, GradientPygame])
def test_dropped_colours_warn_when_a_gradient_outgrows_the_shader(cls):
    many = [BLACK] * 64 + [WHITE] * 36
    with pytest.warns(UserWarning, match=MESSAGE) as construction:
        gradient = cls(many, GradientType.Linear)
    with warnings.catch_warnings():
        warnings.simplefilter("error")
        gradient.colors = many  # already too many: said once, not on every assignment
        gradient.colors = [BLACK] * MAX_COLORS
        cls([WHITE] * MAX_COLORS, GradientType.Radial)
    with pytest.warns(UserWarning, match=MESSAGE) as assignment:
        gradient.colors = many
    assert {w.filename for w in (*construction, *assignment)} == {__file__}
    assert gradient.colors is many  # the list is kept whole


def test_warnings_as_errors_refuse_the_construction():
    with warnings.catch_warnings():
        warnings.simplefilter("error")
        with pytest.raises(UserWarning):
            GradientRaylib([BLACK] * (MAX_COLORS + 1), GradientType.Linear)
