"""Pictures of the real gradient module on the GPU path against the CPU renderer.

`generate_texture` and `ClickGradient.draw` go through the gradient module, the rendering layer
and the shared shader; `GradientPygame` paints the same definition with numpy. Every channel of
every pixel must agree within 2.
"""

import numpy as np
import pytest

from zorva_ui.core import GradientType, LinearDirection, RadialDirection
from zorva_ui.core.modules import rl
from zorva_ui.fast.zvraygrad import zvraygrad
from zorva_ui.fast.zvrendertex import zv_render_tex
from zorva_ui.rendering.pygame.gradient import GradientPygame, render_uniforms

GradientRaylib = zvraygrad.GradientRaylib
ClickGradient = zvraygrad.ClickGradient
Linear, Radial = GradientType.Linear, GradientType.Radial

RED, GREEN, BLUE = (255, 0, 0, 255), (0, 255, 0, 255), (0, 0, 255, 255)
WHITE, CLEAR_RED = (255, 255, 255, 255), (255, 0, 0, 0)
TOLERANCE = 2


def pixels(texture):
    width, height = int(texture.size.x), int(texture.size.y)
    data = np.frombuffer(texture.read_pixels(), dtype=np.uint8)
    return data.reshape(height, width, 4)


def assert_close(gpu, cpu):
    assert gpu.shape == cpu.shape
    diff = np.abs(gpu.astype(int) - cpu.astype(int))
    worst = np.unravel_index(np.argmax(diff), diff.shape)
    assert diff.max() <= TOLERANCE, (
        f"pixel {worst[:2]} channel {worst[2]}: gpu {gpu[worst[:2]]} cpu {cpu[worst[:2]]}"
    )


def rendered(gradient, width, height):
    texture = gradient.generate_texture(width, height)
    try:
        return pixels(texture).copy()
    finally:
        texture.unload()


CASES = [
    pytest.param(([RED, BLUE], Linear, LinearDirection.Right), 64, 16, id="linear-right"),
    pytest.param(([RED, GREEN, BLUE], Linear, LinearDirection.Bottom), 16, 64, id="linear-bottom"),
    pytest.param(
        ([RED, GREEN, BLUE], Linear, LinearDirection.TopLeft), 48, 32, id="linear-topleft"
    ),
    pytest.param(([RED, BLUE], Linear, 30), 40, 24, id="linear-30"),
    pytest.param(([WHITE, BLUE, RED], Radial, RadialDirection.Center), 33, 33, id="radial-centre"),
    pytest.param(([WHITE, BLUE], Radial, RadialDirection.BottomRight), 40, 20, id="radial-corner"),
    pytest.param(([WHITE, (BLUE, 3), RED], Radial, (0.2, 0.7)), 31, 17, id="radial-weighted"),
    pytest.param(([(RED, 1), (GREEN, 4), (BLUE, 1)], Linear, None), 60, 8, id="weighted"),
    pytest.param(([RED, CLEAR_RED], Linear, LinearDirection.Right), 32, 8, id="colour-alpha"),
    pytest.param(([(10, 200, 30, 128), (200, 10, 30, 64)], Radial, None), 3, 2, id="tiny"),
    pytest.param(([GREEN], Linear, None), 1, 1, id="one-pixel"),
    pytest.param(([], Linear, None), 5, 3, id="no-colours"),
]


@pytest.mark.parametrize(("args", "width", "height"), CASES)
def test_generate_texture_matches_cpu(args, width, height):
    g = GradientRaylib(list(args[0]), *args[1:], transparency=100)  # texture path ignores it
    cpu = GradientPygame(list(args[0]), *args[1:]).render(width, height)
    assert_close(rendered(g, width, height), cpu)


def test_generate_texture_of_an_odd_size():
    g = GradientRaylib([RED, GREEN, BLUE, WHITE], Linear, angle=200)
    cpu = GradientPygame([RED, GREEN, BLUE, WHITE], Linear, angle=200).render(257, 31)
    assert_close(rendered(g, 257, 31), cpu)


def draw_into_target(gradient, width, height):
    """Draws the click gradient as a widget would: inside its own texture and blend mode."""
    target = zv_render_tex.ZvRenderTexture((width, height))
    try:
        rl.begin_texture_mode(target)
        rl.begin_blend_mode(int(rl.BlendMode.BLEND_ALPHA_PREMULTIPLY))
        target.c_fast_clear((0, 0, 0, 0))
        gradient.draw(0, 0, width, height)
        rl.end_blend_mode()
        rl.end_texture_mode()
        return pixels(target).copy()
    finally:
        target.unload()


@pytest.mark.parametrize("transparency", [255, 128, 0])
def test_draw_applies_transparency_like_cpu(transparency):
    colours = [(WHITE, 1), (BLUE, 2), RED]
    click = ClickGradient(list(colours), transparency=transparency, center=(0.3, 0.6))
    cpu = GradientPygame(list(colours), Radial, center=(0.3, 0.6), transparency=transparency)
    assert_close(draw_into_target(click, 48, 30), cpu.render(48, 30, alpha=cpu.draw_alpha))


def test_draw_after_weight_and_centre_changes_matches_cpu():
    click = ClickGradient([WHITE, GREEN, BLUE])
    click.set_weight(0, 3.0)
    click.set_weight(2, 0.5)
    click.set_center((0.8, 0.25))
    cpu = GradientPygame([(WHITE, 3.0), (GREEN, 1.0), (BLUE, 0.5)], Radial, center=(0.8, 0.25))
    assert_close(draw_into_target(click, 40, 40), cpu.render(40, 40))


def test_negative_weights_unsorted_stops_paint_the_same():
    click = ClickGradient([RED, GREEN, BLUE], Linear)
    click.weights = [1, -1, 1]
    click._recalculate_stops()
    state = click.__reduce__()[2]
    colours = [(c["x"], c["y"], c["z"], c["w"]) for c in state[2]]
    cpu = render_uniforms(
        24,
        6,
        gradient_type=0,
        angle=0.0,
        center=(0.5, 0.5),
        colors=colours,
        stops=state[3],
        color_count=3,
        alpha=1.0,
    )
    assert_close(draw_into_target(click, 24, 6), cpu)
